// The attachment library loader and the single-sign-on decryption, through
// the real library in the program folder where it matters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "TestApp.h"
#include "core/Core.h"
#include "core/SsoKeys.h"
#include "vb/VbError.h"
#include "documents/AttacheFichier.h"
#include "documents/AttacheFichierTestOutils.h"
#include "platform/RealDynamicLibraries.h"
#include "platform/RealFileSystem.h"

using namespace kup;

namespace {

int32_t Sorvi() { return 1; }

// An App whose libraries are loaded for real from the program folder.
struct AppReelle {
  TestApp t;
  AppReelle() {
    t.app.pf.fs = std::make_unique<platform::RealFileSystem>(platform::DriveMap{});
    t.app.pf.libraries = std::make_unique<platform::RealDynamicLibraries>(t.app.pf.fs.get(), t.app.pf.log.get());
    t.env.program = KUP_PROGRAM_DIR;
  }
};

TEST(loadProcInDLL, ProgramFolderFirstThenTheSearchPath) {
  TestApp t;
  EXPECT_EQ(loadProcInDLL(t.app, "Absent.dll", "SorviDLL"), 0);
  EXPECT_EQ(t.libraries.loads, (std::vector<std::string>{"C:\\Korvane\\Absent.dll", "Absent.dll"}));
  EXPECT_TRUE(t.flash.calls.empty()) << "a library that cannot be loaded is not an error";

  t.libraries.add("AttacheFichier.dll", "SorviDLL", &Sorvi);
  t.libraries.loads.clear();
  EXPECT_NE(loadProcInDLL(t.app, "AttacheFichier.dll", "SorviDLL"), 0);
  EXPECT_EQ(t.libraries.loads, std::vector<std::string>{"C:\\Korvane\\AttacheFichier.dll"});
  EXPECT_EQ(t.libraries.lookups, std::vector<std::string>{"SorviDLL"});

  // Without a library layer at all: reported under its name, handle 0.
  t.app.pf.libraries.reset();
  EXPECT_EQ(loadProcInDLL(t.app, "AttacheFichier.dll", "SorviDLL"), 0);
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_THAT(t.flash.calls[0], ::testing::HasSubstr("<string>loadProcInDLL</string><string>91</string>"));
}

TEST(loadProcInDLL, LoadsTheRealLibraryBesideTheProgram) {
  AppReelle a;
  EXPECT_NE(loadProcInDLL(a.t.app, "AttacheFichier.dll", "SorviDLL"), 0);
  EXPECT_EQ(loadProcInDLL(a.t.app, "PasLa.dll", "SorviDLL"), 0);
  EXPECT_TRUE(a.t.flash.calls.empty());
}

TEST(sDecrypterChaineSSO, ReadsWhatTheToolEncryptedWithTheBuiltInKeys) {
  ASSERT_TRUE(attache_test::Bibliotheques::instance().ok()) << attache_test::Bibliotheques::instance().erreur;
  AppReelle a;
  const std::string user = attache_test::Outil({"encrypt", "sso1", "J\xC3\xA9r\xC3\xB4me Dupont"});
  const std::string pass = attache_test::Outil({"encrypt", "sso2", "s3cr\xC3\xA9t, \"1\""});
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(sDecrypterChaineSSO(a.t.app, user, kCleSSO1), "J\xC3\xA9r\xC3\xB4me Dupont");
  EXPECT_EQ(sDecrypterChaineSSO(a.t.app, user, kCleSSO2), "");
  EXPECT_EQ(sDecrypterChaineSSO(a.t.app, "", kCleSSO1), "");
  EXPECT_EQ(sDecrypterChaineSSO(a.t.app, "bm9uIGNoaWZmcsOp", kCleSSO1), "");

  // The single-sign-on command goes through the installed hook.
  InstallAttacheFichierHooks(a.t.app);
  Args args{user, pass};
  KUP_UtilisateurUnique(a.t.app, args);
  EXPECT_EQ(a.t.app.G_UtilisateurUnique, "J\xC3\xA9r\xC3\xB4me Dupont");
  EXPECT_EQ(a.t.app.G_MotDePasseUnique, "s3cr\xC3\xA9t, \"1\"");
  Args inverses{pass, user};
  KUP_UtilisateurUnique(a.t.app, inverses);
  EXPECT_EQ(a.t.app.G_UtilisateurUnique, "");
  EXPECT_EQ(a.t.app.G_MotDePasseUnique, "");

  // A clear text longer than the buffer is refused rather than cut.
  const std::string long_ = attache_test::Outil({"encrypt", "sso1", std::string(1500, 'a')});
  EXPECT_EQ(sDecrypterChaineSSO(a.t.app, long_, kCleSSO1), "");
}

TEST(sDecrypterChaineSSO, PassesAMissingLibraryToItsCaller) {
  TestApp t;
  try {
    sDecrypterChaineSSO(t.app, "AAAA", kCleSSO1);
    ADD_FAILURE() << "no error raised";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), vberr::DllLoadError);
  }
  TestApp u;
  u.libraries.add("AttacheFichier.dll", "SorviDLL", &Sorvi);
  try {
    sDecrypterChaineSSO(u.app, "AAAA", kCleSSO1);
    ADD_FAILURE() << "no error raised";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), vberr::DllEntryNotFound);
    EXPECT_THAT(e.description(), ::testing::HasSubstr("decrypteChaineBase64"));
  }
  EXPECT_TRUE(t.flash.calls.empty());
}

}  // namespace
