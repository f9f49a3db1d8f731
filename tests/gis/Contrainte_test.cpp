// Import of the regulation-constraint files: names, keys, rows, the call
// into the player and when the files go.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "TestApp.h"
#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/Mdl_ContrainteReglement.h"
#include "platform/RealFileSystem.h"

using Strings = std::vector<std::string>;
using kup::Sep240;
using kup::Sep241;
using kup::Sep242;

namespace {

const std::string kDossier = "C:\\Contraintes";

struct Import : TestApp {
  void fichier(const std::string& nom, const std::string& contenu) { fs.put(kDossier + "\\" + nom, contenu); }
  bool existe(const std::string& nom) { return fs.fileExists(kDossier + "\\" + nom); }
  // The values of the import's call, or nothing when it was not made.
  std::optional<Strings> appel() const {
    for (auto& c : flash.calls) {
      if (c.find("<invoke name=\"KUP_IntegrationContrainteReglement\"") != 0) continue;
      Strings v;
      for (size_t p = c.find("<string>"); p != std::string::npos; p = c.find("<string>", p)) {
        p += 8;
        size_t fin = c.find("</string>", p);
        v.push_back(c.substr(p, fin - p));
      }
      return v;
    }
    return std::nullopt;
  }
  int erreurs(const std::string& source, const std::string& texte = {}) const {
    int n = 0;
    for (auto& c : flash.calls)
      if (c.find("KUP_ErreurContainer") != std::string::npos && c.find("<string>" + source + "</string>") != std::string::npos &&
          c.find(texte) != std::string::npos)
        ++n;
    return n;
  }
  bool erreur(const std::string& source, const std::string& texte = {}) const { return erreurs(source, texte) > 0; }
  static std::string rangee(const std::string& cle, const std::string& sep, const std::string& table,
                            const Strings& champs) {
    std::string r = cle + sep + table + Sep240();
    for (auto& c : champs) r += Sep241() + c;
    return r;
  }
};

// Fails listing the folder from its n-th walk on, as a folder that goes away
// in the middle of an import.
class ParcoursInterrompu : public kup::platform::IFileSystem {
 public:
  ParcoursInterrompu(std::unique_ptr<kup::platform::IFileSystem> fs, int echec)
      : owned_(std::move(fs)), fs_(*owned_), echec_(echec) {}
  std::string hostPath(const std::string& p) const override { return fs_.hostPath(p); }
  bool fileExists(const std::string& p) const override { return fs_.fileExists(p); }
  bool folderExists(const std::string& p) const override { return fs_.folderExists(p); }
  std::vector<std::string> listFiles(const std::string& f) const override {
    if (++walks_ >= echec_) kup::raise(kup::vberr::PathFileAccess);
    return fs_.listFiles(f);
  }
  std::vector<std::string> listFolders(const std::string& f) const override { return fs_.listFolders(f); }
  std::string readFile(const std::string& p) const override { return fs_.readFile(p); }
  void writeFile(const std::string& p, const std::string& b) override { fs_.writeFile(p, b); }
  void appendFile(const std::string& p, const std::string& b) override { fs_.appendFile(p, b); }
  void removeFile(const std::string& p) override { fs_.removeFile(p); }
  void createFolder(const std::string& p) override { fs_.createFolder(p); }
  void copyFile(const std::string& a, const std::string& b) override { fs_.copyFile(a, b); }
  void renameFile(const std::string& a, const std::string& b) override { fs_.renameFile(a, b); }
  void replaceFile(const std::string& a, const std::string& b) override { fs_.replaceFile(a, b); }
  bool isLink(const std::string& p) const override { return fs_.isLink(p); }
  int64_t fileSize(const std::string& p) const override { return fs_.fileSize(p); }
  std::time_t modifiedTime(const std::string& p) const override { return fs_.modifiedTime(p); }
  void setModifiedTime(const std::string& p, std::time_t t) override { fs_.setModifiedTime(p, t); }
  std::string createNewTempFile(const std::function<std::string()>& d, int n, const std::string& b) override {
    return fs_.createNewTempFile(d, n, b);
  }

 private:
  std::unique_ptr<kup::platform::IFileSystem> owned_;
  kup::platform::IFileSystem& fs_;
  int echec_;
  mutable int walks_ = 0;
};

}  // namespace

TEST(Contrainte, DossierFileBecomesKeyAndRowsThenIsDeleted) {
  Import t;
  t.fichier("PC_075_12_00001_KUPOPEBDI.txt", "a#b#c#d#e#f\r\n");
  t.fichier("PC_075_12_00002_X_KUPZONEBDI.txt", "z1#z2\n");
  t.fichier("notes.txt", "a#b");
  kup::IntegrationReglementDDE(t.app, kDossier);
  auto v = t.appel();
  ASSERT_TRUE(v);
  ASSERT_EQ(v->size(), 4u);
  // Definitions are walked in table order: the zone file (6) before the
  // operations file (7).
  EXPECT_EQ((*v)[0], "PC 075 12 00002 X" + Sep242() + "PC 075 12 00001");
  std::string zone = Import::rangee("PC 075 12 00002 X", Sep240(), "DOSZON", {"z1", "z2"});
  std::string ope = Import::rangee("PC 075 12 00001", Sep241(), "DOSOPE", {"a", "b", "c", "d", "e", "f"});
  EXPECT_EQ((*v)[1], zone + Sep242() + ope);
  EXPECT_EQ((*v)[2], "");
  EXPECT_FALSE(t.existe("PC_075_12_00001_KUPOPEBDI.txt"));
  EXPECT_FALSE(t.existe("PC_075_12_00002_X_KUPZONEBDI.txt"));
  EXPECT_TRUE(t.existe("notes.txt"));
}

TEST(Contrainte, NameMatchingAndKeys) {
  Import t;
  t.fichier("A_B_C_D_kupzonebdi.TXT", "x");
  t.fichier("KUPZONEBDI.txt", "y");                 // one part: no match
  t.fichier("A_B_C_D_KUPOPEPARC.txt", "p1#p2#p3");  // same dossier: key once
  t.fichier("A_B_C_D_E_KUPZONEBDI.txt_G_H", "w");   // eight parts: the first seven count
  kup::IntegrationReglementDDE(t.app, kDossier + "\\");
  auto v = t.appel();
  ASSERT_TRUE(v);
  auto cles = kup::Split((*v)[0], Sep242());
  std::sort(cles.begin(), cles.end());
  EXPECT_EQ(cles, (Strings{"A B C D", "A B C D E"}));
  EXPECT_EQ(t.erreurs("DecomposeNomFichier"), 1);  // once, not at every walk of the folder
  EXPECT_TRUE(t.existe("KUPZONEBDI.txt"));
  EXPECT_FALSE(t.existe("A_B_C_D_kupzonebdi.TXT"));
  EXPECT_FALSE(t.existe("A_B_C_D_E_KUPZONEBDI.txt_G_H"));
  // The parcel file reads like the dossier files: key, table, 3 fields.
  EXPECT_NE((*v)[1].find(Import::rangee("A B C D", Sep241(), "DOSOPE", {"p1", "p2", "p3"})), std::string::npos);
}

TEST(Contrainte, ShortLongBlankAndEofLines) {
  Import t;
  t.fichier("A_B_C_D_KUPOPEBDI.txt",
            std::string("a#b#c#d#e\r\n"              // one short: empty last field
                        "   \r\n\r\n"                // blank lines: no row
                        "a#b#c#d\n"                  // two short: two fields fewer
                        "a##c#d#e#f#g#h\n"           // long: the rest ignored, empty field kept
                        "caf\xE9#\x81#3#4#5#6\r"      // Windows-1252 text, an undefined byte
                        "x<y&z markup#b&#c#d#e#f\n"  // markup: entities in the call
                        "r]]>s#\x01\x0B\x1F") +       // what XML forbids: replaced, as in any call
                '\0' + "#\tt#d#e#f\n"
                "EOF\n"
                "after#eof");
  t.fichier("A&_B_C_D_KUPOPEPARC.txt", "p<1#p2#p3\n");
  kup::IntegrationReglementDDE(t.app, kDossier);
  auto v = t.appel();
  ASSERT_TRUE(v);
  auto rangees = kup::Split((*v)[1], Sep242());
  ASSERT_EQ(rangees.size(), 7u);
  EXPECT_EQ(rangees[0], Import::rangee("A B C D", Sep241(), "DOSOPE", {"a", "b", "c", "d", "e", ""}));
  EXPECT_EQ(rangees[1], Import::rangee("A B C D", Sep241(), "DOSOPE", {"a", "b", "c", "d"}));
  EXPECT_EQ(rangees[2], Import::rangee("A B C D", Sep241(), "DOSOPE", {"a", "", "c", "d", "e", "f"}));
  EXPECT_EQ(kup::Split(rangees[3], Sep241())[2], "café");
  // The whole call reads as any other call with these values.
  Strings lignes{rangees[0], rangees[1], rangees[2],
                 Import::rangee("A B C D", Sep241(), "DOSOPE", {"café", kup::FromCp1252("\x81"), "3", "4", "5", "6"}),
                 Import::rangee("A B C D", Sep241(), "DOSOPE", {"x<y&z markup", "b&", "c", "d", "e", "f"}),
                 Import::rangee("A B C D", Sep241(), "DOSOPE", {"r]]>s", std::string("\x01\x0B\x1F\x00", 4), "\tt", "d", "e", "f"}),
                 Import::rangee("A& B C D", Sep241(), "DOSOPE", {"p<1", "p2", "p3"})};
  EXPECT_EQ(t.flash.calls.back(), kup::sInvokeXML("KUP_IntegrationContrainteReglement",
                                                  {"A B C D" + Sep242() + "A& B C D", kup::Join(lignes, Sep242()), "", ""}));
  const std::string u = "\xEF\xBF\xBD";  // U+FFFD
  EXPECT_NE(t.flash.calls.back().find(Sep241() + "r]]&gt;s" + Sep241() + u + u + u + u + Sep241() + "\tt"),
            std::string::npos);
}

TEST(Contrainte, LineAndFieldReaders) {
  kup::FichierTexte f;
  f.contenu = "  x  \n\n   \nEOF\ny";
  std::string ligne;
  EXPECT_TRUE(kup::sLireLigneSuivante(f, ligne));
  EXPECT_EQ(ligne, "  x  ");  // returned untrimmed
  EXPECT_FALSE(kup::sLireLigneSuivante(f, ligne));
  f = {};
  f.contenu = "\n  \n";
  EXPECT_FALSE(kup::sLireLigneSuivante(f, ligne));
  EXPECT_EQ(ligne, "EOF");

  TestApp t;
  std::string l = "a##c", mot;
  long pos = 0;
  Strings mots;
  while (!l.empty()) {
    kup::LireMotSuivant(t.app, l, mot, "#", 0, pos);
    mots.push_back(mot);
  }
  EXPECT_EQ(mots, (Strings{"a", "", "c"}));
  EXPECT_EQ(kup::BackSlashDossier(t.app, "C:\\x"), "C:\\x\\");
  EXPECT_EQ(kup::BackSlashDossier(t.app, "C:\\x\\"), "C:\\x\\");
}

TEST(Contrainte, EmptyAndMissingFolders) {
  Import t;
  t.fs.createFolder(kDossier);
  kup::IntegrationReglementDDE(t.app, kDossier);
  EXPECT_EQ(t.appel(), (Strings{"", "", "", ""}));

  Import m;
  kup::IntegrationReglementDDE(m.app, "C:\\Absent");
  EXPECT_FALSE(m.appel());
  EXPECT_TRUE(m.erreur("IntegrationReglementDDE"));

  // A folder that is there but cannot be read is no empty import.
  Import u;
  u.fichier("A_B_C_D_KUPOPEBDI.txt", "1#2#3");
  u.fs.fail(kDossier, kup::vberr::PermissionDenied, kup::platform::FakeFileSystem::Op::Read);
  kup::IntegrationReglementDDE(u.app, kDossier);
  EXPECT_FALSE(u.appel());
  EXPECT_TRUE(u.erreur("IntegrationReglementDDE"));
  EXPECT_TRUE(u.existe("A_B_C_D_KUPOPEBDI.txt"));
}

TEST(Contrainte, FilesStayUntilTheirRowsHaveReachedTheInterface) {
  // A walk that fails half-way: no call, and no file deleted.
  Import t;
  t.fichier("A_B_C_D_KUPSERVUPBDI.txt", "1#2#3");
  t.fichier("A_B_C_D_KUPOPEBDI.txt", "1#2#3");
  // The fifth walk fails: the first definition's file has been read by then.
  t.app.pf.fs = std::make_unique<ParcoursInterrompu>(std::move(t.app.pf.fs), 5);
  kup::IntegrationReglementDDE(t.app, kDossier);
  EXPECT_FALSE(t.appel());
  EXPECT_TRUE(t.erreur("IntegrationReglementDDE"));
  EXPECT_TRUE(t.existe("A_B_C_D_KUPSERVUPBDI.txt"));
  EXPECT_TRUE(t.existe("A_B_C_D_KUPOPEBDI.txt"));
}

TEST(Contrainte, CallThatFailsKeepsTheFiles) {
  Import t;
  t.fichier("A_B_C_D_KUPOPEBDI.txt", "1#2#3");
  t.flash.failCalls = true;
  kup::IntegrationReglementDDE(t.app, kDossier);
  EXPECT_TRUE(t.existe("A_B_C_D_KUPOPEBDI.txt"));
}

TEST(Contrainte, UnreadableFileIsReportedAndKept) {
  Import t;
  t.fichier("A_B_C_D_KUPOPEBDI.txt", "1#2#3");
  t.fichier("A_B_C_E_KUPOPEBDI.txt", "4#5#6");
  t.fs.fail(kDossier + "\\A_B_C_D_KUPOPEBDI.txt", kup::vberr::PermissionDenied, kup::platform::FakeFileSystem::Op::Read);
  kup::IntegrationReglementDDE(t.app, kDossier);
  EXPECT_TRUE(t.erreur("FichierLireEcrire", "Permission refusée pour ouvrir le fichier " + kDossier));
  auto v = t.appel();
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)[0], "A B C E");  // the unread dossier is not announced
  EXPECT_EQ((*v)[1], Import::rangee("A B C E", Sep241(), "DOSOPE", {"4", "5", "6"}));
  t.fs.clearFailures();
  EXPECT_TRUE(t.existe("A_B_C_D_KUPOPEBDI.txt"));
  EXPECT_FALSE(t.existe("A_B_C_E_KUPOPEBDI.txt"));
}

TEST(Contrainte, UnreadFilesLeaveNoKeyWhetherFirstOrAfterAReadOne) {
  // Same dossier: the unreadable file comes first (definition 1), then after
  // a read one (definition 6 read, definition 7 not): the key is sent once,
  // with the rows that were read.
  Import t;
  t.fichier("A_B_C_D_KUPSERVUPBDI.txt", "s1#s2#s3");
  t.fichier("A_B_C_D_KUPZONEBDI.txt", "z1");
  t.fichier("A_B_C_D_KUPOPEBDI.txt", "o1");
  t.fichier("E_F_G_H_KUPOPEPARC.txt", "p1");
  for (auto nom : {"A_B_C_D_KUPSERVUPBDI.txt", "A_B_C_D_KUPOPEBDI.txt", "E_F_G_H_KUPOPEPARC.txt"})
    t.fs.fail(kDossier + "\\" + nom, kup::vberr::PermissionDenied, kup::platform::FakeFileSystem::Op::Read);
  kup::IntegrationReglementDDE(t.app, kDossier);
  auto v = t.appel();
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)[0], "A B C D");
  EXPECT_EQ((*v)[1], Import::rangee("A B C D", Sep241(), "DOSZON", {"z1"}));
  EXPECT_EQ(t.erreurs("FichierLireEcrire"), 3);
  t.fs.clearFailures();
  EXPECT_TRUE(t.existe("A_B_C_D_KUPSERVUPBDI.txt"));
  EXPECT_FALSE(t.existe("A_B_C_D_KUPZONEBDI.txt"));
  EXPECT_TRUE(t.existe("A_B_C_D_KUPOPEBDI.txt"));
}

TEST(Contrainte, OpeningFailuresAndTheirTexts) {
  Import t;
  kup::FichierTexte f;
  EXPECT_FALSE(kup::FichierLireEcrire(t.app, "C:\\Contraintes\\absent.txt", f, true, false));
  ASSERT_EQ(t.msgbox.boxes.size(), 1u);
  EXPECT_EQ(t.msgbox.boxes[0].prompt, "Le fichier C:\\Contraintes\\absent.txt n'existe pas");

  t.fichier("x.txt", "1");
  t.fs.fail(kDossier + "\\x.txt", kup::vberr::PathNotFound, kup::platform::FakeFileSystem::Op::Read);
  EXPECT_FALSE(kup::FichierLireEcrire(t.app, kDossier + "\\x.txt", f, true, false));
  EXPECT_TRUE(t.erreur("FichierLireEcrire", "Erreur sur le répertoire ou le nom du fichier : " + kDossier + "\\x.txt"));
  t.fs.fail(kDossier + "\\x.txt", kup::vberr::PathFileAccess, kup::platform::FakeFileSystem::Op::Read);
  EXPECT_FALSE(kup::FichierLireEcrire(t.app, kDossier + "\\x.txt", f, true, false));
  EXPECT_TRUE(t.erreur("FichierLireEcrire", kup::vbErrorText(kup::vberr::PathFileAccess)));
  EXPECT_FALSE(f.ouvert);
}

// On the host's disk, a link dropped in the folder never brings in the file
// it leads to (nor is it deleted); the real files beside it are imported.
TEST(Contrainte, LinksInTheFolderAreNotImported) {
  namespace fs = std::filesystem;
  char modele[] = "/tmp/kup_contrainte_lien_XXXXXX";
  const fs::path racine = ::mkdtemp(modele);
  const fs::path dossier = racine / "depot";
  fs::create_directories(dossier);
  std::ofstream(racine / "secret.txt") << "secret#du#voisin\r\n";
  std::ofstream(dossier / "PC_075_12_00001_KUPOPEBDI.txt") << "a#b\r\n";
  fs::create_symlink(racine / "secret.txt", dossier / "PC_075_12_00002_KUPOPEBDI.txt");
  Import t;
  t.app.pf.fs = std::make_unique<kup::platform::RealFileSystem>(kup::platform::DriveMap{{}, "/tmp", "/tmp"});
  kup::IntegrationReglementDDE(t.app, dossier.string());
  auto v = t.appel();
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)[0], "PC 075 12 00001");
  EXPECT_EQ((*v)[1].find("secret"), std::string::npos) << (*v)[1];
  EXPECT_FALSE(fs::exists(dossier / "PC_075_12_00001_KUPOPEBDI.txt"));
  EXPECT_TRUE(fs::is_symlink(dossier / "PC_075_12_00002_KUPOPEBDI.txt"));
  EXPECT_TRUE(fs::exists(racine / "secret.txt"));
  fs::remove_all(racine);
}
