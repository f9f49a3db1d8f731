// Template and file listings on the fake file system; the base64
// conversions through the real attachment library on real temp folders.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "TestApp.h"
#include "core/Core.h"
#include "vb/VbString.h"
#include "documents/AttacheFichierTestOutils.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_CourrierCache.h"
#include "vb/VbError.h"
#include "platform/RealFileSystem.h"

using namespace kup;
using ::testing::HasSubstr;
using ::testing::ElementsAre;
namespace stdfs = std::filesystem;

namespace {

std::string Rec(const std::string& dossier, const std::string& nom) { return dossier + Sep241() + nom; }

// The records of a list, sorted: the listing order is the directory's.
std::vector<std::string> Records(const StrArray& r) {
  EXPECT_EQ(r.size(), 1u);
  if (r.empty() || r[0].empty()) return {};
  auto v = Split(r[0], Sep242());
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// The error calls sent to the Flex interface.
std::vector<std::string> Erreurs(TestApp& t) {
  std::vector<std::string> out;
  for (auto& c : t.flash.calls)
    if (c.find("KUP_ErreurContainer") != std::string::npos) out.push_back(c);
  return out;
}

std::string Source(const std::string& nom, int numero) {
  return "<string>" + nom + "</string><string>" + std::to_string(numero) + "</string>";
}

class ListeModele : public ::testing::Test {
 protected:
  void SetUp() override {
    t.app.G_RepModele = "C:\\Modeles";
    for (auto n : {"lettre.dot", "AA_commun.dot", "aa_bas.DOT", "ABC_x.dot", "AB_y.dot", "lettre.dotx", "AB_z.txt"})
      t.fs.put(std::string("C:\\Modeles\\Courrier\\") + n, "x");
  }
  TestApp t;
  const std::string racine = "C:\\Modeles\\Courrier\\";
};

TEST_F(ListeModele, FallsBackToTheKindFolderAndFiltersByExtensionAndPrefix) {
  // No Urba sub-folder: the kind folder under the root is listed.
  EXPECT_EQ(Records(sCommunListeModele(t.app, "Courrier", "", "Urba", "", {".DOT"})),
            Sorted({Rec(racine, "lettre.dot"), Rec(racine, "AA_commun.dot"), Rec(racine, "aa_bas.DOT"),
                    Rec(racine, "ABC_x.dot"), Rec(racine, "AB_y.dot")}));
  // With prefix AB: AB_ and AA_ (any case) names only, ABC_ is not AB_.
  EXPECT_EQ(Records(sCommunListeModele(t.app, "Courrier", "ab", "Urba", "", {".dot", ".txt"})),
            Sorted({Rec(racine, "AA_commun.dot"), Rec(racine, "aa_bas.DOT"), Rec(racine, "AB_y.dot"),
                    Rec(racine, "AB_z.txt")}));
  // .dot does not match .dotx; a name ending with two listed extensions is listed twice.
  EXPECT_EQ(Records(sCommunListeModele(t.app, "Courrier", "", "Urba", "", {".dotx", "X"})),
            Sorted({Rec(racine, "lettre.dotx"), Rec(racine, "lettre.dotx")}));
  // An empty first extension lists every file, whatever the others say.
  EXPECT_EQ(Records(sCommunListeModele(t.app, "Courrier", "AB", "Urba", "", {"", ".none"})),
            Sorted({Rec(racine, "AA_commun.dot"), Rec(racine, "aa_bas.DOT"), Rec(racine, "AB_y.dot"),
                    Rec(racine, "AB_z.txt")}));
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(ListeModele, PreferredSubFolderAndWhatTheRecordsCarry) {
  t.fs.put("C:\\Modeles\\Urba\\Courrier\\33_permis.dot", "x");
  t.fs.put("C:\\Modeles\\Urba\\Courrier\\330_autre.dot", "x");
  StrArray r = sCommunListeModele(t.app, "Courrier", "33", "Urba", "ignored", {".dot"});
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0], Rec("C:\\Modeles\\Urba\\Courrier\\", "33_permis.dot"));  // no trailing Chr(242)

  // An empty sub-folder is searched as written, double backslash included.
  StrArray vide = sCommunListeModele(t.app, "Courrier", "", "", "", {"lettre.dot"});
  EXPECT_EQ(vide, StrArray{Rec("C:\\Modeles\\\\Courrier\\", "lettre.dot")});

  // Nothing matching: one record of the searched folder and an empty name.
  EXPECT_EQ(sCommunListeModele(t.app, "Courrier", "ZZ", "Urba", "", {".xls"}),
            StrArray{Rec("C:\\Modeles\\Urba\\Courrier\\", "")});
  EXPECT_EQ(sCommunListeModele(t.app, "Absent", "", "Urba", "", {".dot"}),
            StrArray{Rec("C:\\Modeles\\Absent\\", "")});
}

TEST_F(ListeModele, FailuresGiveAnEmptyArrayAndAreReported) {
  EXPECT_TRUE(sCommunListeModele(t.app, "Courrier", "", "", "", {}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_THAT(Erreurs(t)[0], HasSubstr(Source("sCommunListeModele", 9)));
}

TEST(ListeFichier, FilterMustOccurAfterTheFirstCharacter) {
  TestApp t;
  for (auto n : {"requete.xlt", "REQ_b.XLT", "xlt", "notes.txt"}) t.fs.put(std::string("C:\\Docs\\") + n, "x");
  EXPECT_EQ(Records(sCommunListeFichier(t.app, "C:\\Docs", ".XLT")),
            Sorted({Rec("C:\\Docs\\", "requete.xlt"), Rec("C:\\Docs\\", "REQ_b.XLT")}));
  // A name that begins with the filter is not listed.
  EXPECT_EQ(Records(sCommunListeFichier(t.app, "C:\\Docs\\", "xlt")),
            Sorted({Rec("C:\\Docs\\", "requete.xlt"), Rec("C:\\Docs\\", "REQ_b.XLT")}));
  EXPECT_EQ(Records(sCommunListeFichier(t.app, "C:\\Docs\\", "req")), std::vector<std::string>{});
  EXPECT_EQ(Records(sCommunListeFichier(t.app, "C:\\Docs\\", "")).size(), 4u);
  // Nothing listed: the empty string, unlike the template list.
  EXPECT_EQ(sCommunListeFichier(t.app, "C:\\Docs", ".pdf"), StrArray{""});
  EXPECT_EQ(sCommunListeFichier(t.app, "C:\\Absent", ""), StrArray{""});
  EXPECT_TRUE(Erreurs(t).empty());
}

// ---------------------------------------------------------------- conversions

class Conversions : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& lib = attache_test::Bibliotheques::instance();
    ASSERT_TRUE(lib.ok()) << lib.erreur;
    dir = attache_test::DossierTemporaire("mdlcommun");
    stdfs::create_directories(dir / "temp");
    stdfs::create_directories(dir / "docs");
    // The library maps drives from the environment, as the container's file
    // system does in the program.
    setenv("KUP_DRIVES", ("K=" + dir.string()).c_str(), 1);
    t.app.pf.fs = std::make_unique<platform::RealFileSystem>(platform::DriveMap{{{'K', dir.string()}}, "", ""});
    t.env.set("TEMP", "K:\\temp");
    for (auto [nom, f] : std::initializer_list<std::pair<const char*, void*>>{
             {"FichierVersBase64Compressee", reinterpret_cast<void*>(lib.encode)},
             {"Base64CompresseeVersFichier", reinterpret_cast<void*>(lib.decode)},
             {"chaineBase64VersFichier", reinterpret_cast<void*>(lib.plain)}})
      t.libraries.addRaw("AttacheFichier.dll", nom, f);
  }
  void TearDown() override {
    unsetenv("KUP_DRIVES");
    stdfs::remove_all(dir);
  }

  std::vector<std::string> Temp() {
    std::vector<std::string> v;
    for (auto& e : stdfs::directory_iterator(dir / "temp")) v.push_back(e.path().filename().string());
    std::sort(v.begin(), v.end());
    return v;
  }
  void Ecrire(const stdfs::path& p, const std::string& s) { std::ofstream(p, std::ios::binary) << s; }
  std::string Lire(const stdfs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  TestApp t;
  stdfs::path dir;
};

TEST_F(Conversions, CompressedRoundTripLeavesNothingBehind) {
  const std::string nom = "Arr\xC3\xAAt\xC3\xA9 \xC3\xA9t\xC3\xA9.odt";  // UTF-8 inside, Windows-1252 to the library
  std::string contenu(70000, '\0');
  for (size_t i = 0; i < contenu.size(); ++i) contenu[i] = static_cast<char>((i * 7919) >> 3);
  Ecrire(dir / "docs" / nom, contenu);

  const std::string b64 = sCommunFichierVersB64(t.app, "K:\\docs\\" + nom);
  ASSERT_FALSE(b64.empty());
  EXPECT_EQ(Temp(), std::vector<std::string>{}) << "no .b64 or .zip left in TEMP";

  const std::string chemin = sCommunB64VersFichier(t.app, b64);
  EXPECT_EQ(chemin, "K:\\temp\\" + nom);
  EXPECT_EQ(t.app.fs().readFile(chemin), contenu);
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(Conversions, TemporaryNamesAreNeverReused) {
  Ecrire(dir / "temp" / "500001.b64", "autre document");
  Ecrire(dir / "docs" / "a.txt", "A");
  t.random.script = {0.5, 0.5, 0.25};  // 500001 exists: drawn again
  EXPECT_FALSE(sCommunFichierVersB64(t.app, "K:\\docs\\a.txt").empty());
  EXPECT_EQ(Lire(dir / "temp" / "500001.b64"), "autre document");
  EXPECT_EQ(Temp(), std::vector<std::string>{"500001.b64"});
}

TEST_F(Conversions, LibraryFailuresShowInTheResults) {
  // A missing file: an empty text, nothing reported, nothing left.
  EXPECT_EQ(sCommunFichierVersB64(t.app, "K:\\docs\\absent.doc"), "");
  EXPECT_EQ(Temp(), std::vector<std::string>{});
  // An undecodable text: the returned path ends with "\".
  EXPECT_EQ(sCommunB64VersFichier(t.app, "n'importe quoi"), "K:\\temp\\");
  EXPECT_TRUE(Erreurs(t).empty());
  // A path without a folder part is a failure of the encoder itself.
  EXPECT_EQ(sCommunFichierVersB64(t.app, "a.txt"), "");
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_THAT(Erreurs(t)[0], HasSubstr(Source("sCommunFichierVersB64", 9)));
}

TEST_F(Conversions, PlainDecoderRaisesWhatItCouldNotWriteToItsCaller) {
  EXPECT_EQ(sCommunB64VersFichier2(t.app, "f.bin", "K:\\docs", "AAEC/w=="), "K:\\docs\\f.bin");
  EXPECT_EQ(Lire(dir / "docs" / "f.bin"), std::string("\x00\x01\x02\xFF", 4));

  // Folder missing, text not base64, a name that leaves the folder: no path
  // comes back; the caller gets the error and nothing is reported here.
  auto numero = [&](const std::string& nom, const std::string& dossier, const std::string& texte) {
    try {
      sCommunB64VersFichier2(t.app, nom, dossier, texte);
    } catch (const VbError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(numero("f.bin", "K:\\absent", "AAEC"), 76);
  EXPECT_EQ(numero("g.bin", "K:\\docs", "pas*du*base64"), 75);
  EXPECT_EQ(numero("..\\g.bin", "K:\\docs\\sub", "AAEC"), 52);
  EXPECT_EQ(numero("", "K:\\docs", "AAEC"), 52);
  EXPECT_TRUE(Erreurs(t).empty());
  EXPECT_FALSE(stdfs::exists(dir / "docs" / "g.bin"));
}

// A document decoded into TEMP where its name is another user's, then into a
// TEMP that is gone: each reported by its cause, and no path comes back.
TEST_F(Conversions, DecodedFilesNotWrittenAreReportedByTheirCause) {
  if (::geteuid() != 0) GTEST_SKIP() << "another user's file needs root to make";
  Ecrire(dir / "docs" / "a.txt", "A");
  const std::string b64 = sCommunFichierVersB64(t.app, "K:\\docs\\a.txt");
  Ecrire(dir / "temp" / "a.txt", "à un autre");
  ASSERT_EQ(::chown((dir / "temp" / "a.txt").c_str(), 65534, 65534), 0);
  stdfs::permissions(dir, stdfs::perms::owner_all | stdfs::perms::others_exec);
  stdfs::permissions(dir / "temp", stdfs::perms::all | stdfs::perms::sticky_bit);
  ASSERT_EQ(::seteuid(65533), 0);
  const std::string chemin = sCommunB64VersFichier(t.app, b64);
  ASSERT_EQ(::seteuid(0), 0);
  EXPECT_EQ(chemin, "");
  EXPECT_EQ(Lire(dir / "temp" / "a.txt"), "à un autre");
  t.env.set("TEMP", "K:\\parti");
  EXPECT_EQ(sCommunB64VersFichier(t.app, b64), "");
  EXPECT_THAT(Erreurs(t), ElementsAre(HasSubstr(Source("sCommunB64VersFichier", 70)),
                                      HasSubstr(Source("sCommunB64VersFichier", 76))));
}

TEST_F(Conversions, CacheWriteThatFailsIsNotAnsweredAsWritten) {
  stdfs::create_directories(dir / "prog");
  t.env.program = "K:\\prog";
  Args args{Value("modele.ott"), Value("Urba"), Value("pas*du*base64"), Value("01/02/2024 10:00:00")};
  KUP_CourrierCacher(t.app, args);
  EXPECT_TRUE(t.flash.returns.empty());
  auto e = Erreurs(t);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_THAT(e[0], HasSubstr(Source("KUP_CourrierCacher", 75)));

  Args bons{Value("modele.ott"), Value("Urba"), Value("AAEC"), Value("01/02/2024 10:00:00")};
  KUP_CourrierCacher(t.app, bons);
  ASSERT_EQ(t.flash.returns.size(), 1u);
  EXPECT_THAT(t.flash.returns[0], HasSubstr("K:\\prog\\env_prod\\Urba\\modele.ott"));
}

TEST(ConversionsSansBibliotheque, AreReportedUnderTheirNames) {
  TestApp t;  // no attachment library registered
  t.fs.put("C:\\Docs\\a.txt", "A");
  EXPECT_EQ(sCommunFichierVersB64(t.app, "C:\\Docs\\a.txt"), "");
  EXPECT_EQ(sCommunB64VersFichier(t.app, "AAAA"), "");
  auto e = Erreurs(t);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_THAT(e[0], HasSubstr(Source("sCommunFichierVersB64", 48)));
  EXPECT_THAT(e[1], HasSubstr(Source("sCommunB64VersFichier", 48)));
  EXPECT_THROW(sCommunB64VersFichier2(t.app, "a.txt", "C:\\Docs", "AAAA"), VbError);
  EXPECT_EQ(t.fs.readFile("C:\\Docs\\a.txt"), "A");
}

}  // namespace
