// Every file the program leaves in TEMP, on a real folder where another
// user has planted a link under the first name the program will draw.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "TestApp.h"
#include "core/Core.h"
#include "documents/AttacheFichierTestOutils.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_Html.h"
#include "gis/SIG_Thematique.h"
#include "office/ApCourrier.h"
#include "office/MemoryWord.h"
#include "platform/RealFileSystem.h"

using namespace kup;
namespace stdfs = std::filesystem;

namespace {

// The letter on the in-memory word processor.
ApCourrier& Lettre(TestApp& t) {
  ApCourrier& d = G_Courrier(t.app);
  d.setTypeEditeur(2);
  d.twinFactory = MemoryWordFactory(std::make_shared<MemoryWordApp>());
  d.OpenEditor();
  d.OpenDocument("K:\\docs\\lettre.rtf");
  return d;
}

struct Site {
  const char* nom;
  const char* piege;   // the name the link is planted under
  const char* fichier;  // what is left in TEMP (none: the .b64 is read back and deleted at once)
  std::function<void(TestApp&)> ecrire;
};

const Site kSites[] = {
    {"page HTML", "500001.html", "250001.html", [](TestApp& t) { sEcrireHtmlTemp(t.app, "page"); }},
    {"fichier thématique", "500001.txt", "250001.txt",
     [](TestApp& t) { KUP_LireThematiqueFichier(t.app, "", "ligne", false); }},
    {"base64 compressée", "500001.b64", nullptr,
     [](TestApp& t) { EXPECT_NE(sCommunFichierVersB64(t.app, "K:\\docs\\a.txt"), ""); }},
    // Names that are the document's own: the link there goes, never followed.
    {"document décodé", "a.txt", "a.txt",
     [](TestApp& t) {
       EXPECT_EQ(sCommunB64VersFichier(t.app, sCommunFichierVersB64(t.app, "K:\\docs\\a.txt")), "K:\\temp\\a.txt");
     }},
    {"copie jointe au courrier", "lettre.doc", "lettre.doc",
     [](TestApp& t) { EXPECT_EQ(Lettre(t).MailMergeOpen(true, true), "lettre.doc"); }},
    {"modèle temporaire", "500001.dot", "250001.dot",
     [](TestApp& t) { EXPECT_EQ(Lettre(t).SaveTemp(), "K:\\temp\\250001.dot"); }},
};

}  // namespace

TEST(TemporaryFiles, APlantedLinkIsNeverWrittenThroughAndNewFilesArePrivate) {
  auto& lib = attache_test::Bibliotheques::instance();
  ASSERT_TRUE(lib.ok()) << lib.erreur;
  const stdfs::path dir = attache_test::DossierTemporaire("kup-temporaires");
  setenv("KUP_DRIVES", ("K=" + dir.string()).c_str(), 1);
  stdfs::create_directories(dir / "docs");
  std::ofstream(dir / "docs" / "a.txt") << "A";
  std::ofstream(dir / "docs" / "lettre.rtf") << "{\\rtf1\\ansi Madame\\par}";

  for (const Site& site : kSites) {
    SCOPED_TRACE(site.nom);
    stdfs::remove_all(dir / "temp");
    stdfs::create_directories(dir / "temp");
    const stdfs::path piege = dir / "temp" / site.piege;
    const stdfs::path victime = dir / "victime";
    stdfs::remove(victime);
    ASSERT_EQ(::symlink(victime.c_str(), piege.c_str()), 0);

    TestApp t;
    t.app.pf.fs = std::make_unique<platform::RealFileSystem>(platform::DriveMap{{{'K', dir.string()}}, "", ""});
    t.env.set("TEMP", "K:\\temp");
    t.libraries.addRaw("AttacheFichier.dll", "FichierVersBase64Compressee", reinterpret_cast<void*>(lib.encode));
    t.libraries.addRaw("AttacheFichier.dll", "Base64CompresseeVersFichier", reinterpret_cast<void*>(lib.decode));
    t.random.script = {0.5, 0.25};  // 500001 is the link's: 250001 next
    site.ecrire(t);

    EXPECT_FALSE(stdfs::exists(stdfs::symlink_status(victime))) << "written through the link";
    if (!site.fichier || piege.filename() != site.fichier) EXPECT_TRUE(stdfs::is_symlink(piege));
    const stdfs::path fichier = dir / "temp" / (site.fichier ? site.fichier : "");
    struct stat st {};
    if (site.fichier && ::lstat(fichier.c_str(), &st) != 0) ADD_FAILURE() << "no " << site.fichier;
    if (site.fichier && ::lstat(fichier.c_str(), &st) == 0) {
      EXPECT_TRUE(S_ISREG(st.st_mode));
      EXPECT_GT(st.st_size, 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u) << "readable by others";
    }
  }
  unsetenv("KUP_DRIVES");
  stdfs::remove_all(dir);
}
