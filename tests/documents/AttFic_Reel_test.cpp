// The attachment commands against the real attachment library and the real
// command-line companion of the program folder, started as a process.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "core/Core.h"
#include "vb/VbString.h"
#include "documents/AttacheFichier.h"
#include "documents/AttacheFichierTestOutils.h"
#include "documents/Courrier_TestOutils.h"
#include "platform/RealDynamicLibraries.h"
#include "platform/RealFileSystem.h"
#include "platform/RealShell.h"
#include "tests/TestApp.h"

namespace fs = std::filesystem;
using namespace kup;
using courrier_test::Valeurs;

namespace {

void Ecrire(const fs::path& p, const std::string& octets) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << octets;
}

bool Attendre(const fs::path& p) {
  for (int i = 0; i < 200 && !fs::exists(p); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return fs::exists(p);
}

class AttFicReel : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = attache_test::DossierTemporaire("attfic");
    ASSERT_FALSE(dir.empty());
    auto& pf = t.app.pf;
    pf.fs = std::make_unique<platform::RealFileSystem>(platform::DriveMap{});
    pf.libraries = std::make_unique<platform::RealDynamicLibraries>(pf.fs.get(), pf.log.get());
    pf.shell = std::make_unique<platform::RealShell>(pf.fs.get(), pf.log.get());
    t.env.program = KUP_PROGRAM_DIR;
    t.app.G_AttacheActif = true;
    t.app.G_RepStockage = {(dir / "stock1").string(), (dir / "stock2").string()};
    fs::create_directories(dir / "stock1");
    fs::create_directories(dir / "stock2");
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Compter(const std::string& id) {
    t.flash.clear();
    KUP_AttFicCompter(t.app, id, "2");
    auto v = Valeurs(t.flash.returnValue());
    return v.size() == 6 ? v[3] : "no reply: " + t.flash.returnValue() + (t.flash.calls.empty() ? "" : t.flash.calls[0]);
  }

  TestApp t;
  fs::path dir;
};

TEST_F(AttFicReel, LibraryCountsTheDossierInEveryStorageFolder) {
  // Identifier shortened, "&" and "<" carried through the envelope.
  // The sub-folder of a dossier: its identifier with "<" (no file name
  // holds it) as "_".
  const std::string dossier = "PC 075 A&B_2 1234";
  Ecrire(dir / "stock1" / dossier / "a.pdf", "a");
  Ecrire(dir / "stock2" / dossier / "b.pdf", "b");
  Ecrire(dir / "stock2" / dossier / "c.pdf", "c");
  Ecrire(dir / "stock2" / dossier / ".cache", "");
  fs::create_directories(dir / "stock2" / dossier / "sous-dossier");
  Ecrire(dir / "stock2" / "PC 075 A&B_2 E1234" / "x.pdf", "pas ce dossier");
  EXPECT_EQ(Compter("PC 075 A&B<2 E1234"), "3");
  EXPECT_EQ(Compter("AUTRE 1 2 3"), "0");

  // Its window: the count follows it into the player.
  t.flash.clear();
  KUP_AttFicAfficher(t.app, "PC 075 A&B<2 E1234", "1");
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_EQ(t.flash.calls[0], sInvokeXML("KUP_AttFicMasquer", {"PC 075 A&B<2 1234", "1", "3", "", ""}));

  // An envelope that names no dossier cannot be counted: -1, answered as 0.
  void* h = dlopen((std::string(KUP_PROGRAM_DIR) + "/AttacheFichier.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(h, nullptr);
  auto count = reinterpret_cast<int32_t (*)(const char*, int32_t)>(dlsym(h, "Count"));
  auto window = reinterpret_cast<int32_t (*)(const char*, int32_t)>(dlsym(h, "Attachement"));
  ASSERT_TRUE(count && window);
  EXPECT_EQ(count("<AttacheFichier><Repertoire>/tmp\\</Repertoire></AttacheFichier>", 0), -1);
  EXPECT_EQ(count("<Identifiant>..</Identifiant>", 0), -1);
  EXPECT_EQ(window("pas une enveloppe", 0), 0);
  dlclose(h);
  EXPECT_EQ(Compter(" "), "0");
}

TEST_F(AttFicReel, CompanionCopiesTheFileIntoTheDossierWithoutReplacingAny) {
  const fs::path source = dir / "mes documents" / "plan de masse.pdf";
  Ecrire(source, "%PDF-1.4 plan");
  const std::string id = "PC 075 12 E1234 F&G";
  const fs::path cible = dir / "stock1" / "PC 075 12 1234 F&G";

  KUP_AttFicAttacher(t.app, id, "2", source.string(), "v4", "", "v6");
  auto reponse = Valeurs(t.flash.returnValue());
  ASSERT_EQ(reponse.size(), 5u) << t.flash.returnValue();
  EXPECT_EQ(reponse[0], id);
  EXPECT_EQ(reponse[2], "42") << "started through the shell";
  ASSERT_TRUE(Attendre(cible / "plan de masse.pdf"));

  t.flash.clear();
  KUP_AttFicAttacher(t.app, id, "2", source.string(), "", "", "");
  ASSERT_TRUE(Attendre(cible / "plan de masse (2).pdf"));
  EXPECT_EQ(Compter(id), "2");
  std::ifstream in(cible / "plan de masse.pdf", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "%PDF-1.4 plan");

  // The parameter text reaches the companion as it was built: blanks in a
  // row and double quotes are not the command line's separators and quotes.
  for (const std::string nom : {"a  b.pdf", "devis \"final\".pdf"}) {
    Ecrire(dir / "mes documents" / nom, nom);
    t.flash.clear();
    KUP_AttFicAttacher(t.app, id, "2", (dir / "mes documents" / nom).string(), "un  deux", "\\\"", "");
    EXPECT_EQ(Valeurs(t.flash.returnValue())[2], "42") << nom;
    EXPECT_TRUE(Attendre(cible / nom)) << nom;
  }
}

}  // namespace
