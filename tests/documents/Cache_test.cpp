// The letter template cache: comparison, writing, dates, and the refusal of
// names that would lead out of the cache folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "vb/VbError.h"
#include "documents/Mdl_CourrierCache.h"
#include "platform/RealDynamicLibraries.h"
#include "platform/RealFileSystem.h"
#include "tests/documents/AttacheFichierTestOutils.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Local;
using courrier_test::Valeurs;

namespace {
const char* kDossier = "C:\\Korvane\\env_prod\\lettres";
const char* kFichier = "C:\\Korvane\\env_prod\\lettres\\lettre.dot";
const char* kDate = "06/12/2026 15:02:33";

std::string Slot5(TestApp& t, Args a) {
  t.flash.clear();
  KUP_CourrierCacheComparer(t.app, a);
  auto r = Valeurs(t.flash.returnValue());
  EXPECT_EQ(r.size(), 9u);
  return r.size() == 9 ? r[5] : "?";
}
}  // namespace

TEST(Cache_Comparer, FolderOnlyWhenSizeAndDateTextMatch) {
  TestApp t;
  Args a{"lettre.dot", "lettres", "2048", kDate};
  KUP_CourrierCacheComparer(t.app, a);
  EXPECT_EQ(Valeurs(t.flash.returnValue()),
            (std::vector<std::string>{"KUP_CourrierCacheComparer", "lettre.dot", "lettres", "2048", kDate, "", "",
                                      "", ""}));
  t.fs.put(kFichier, std::string(2048, 'x'), Local(2026, 12, 6, 15, 2, 33));
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", "2048", kDate}), kDossier);
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", 2048.0, kDate}), kDossier);
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", "2048", "06/12/2026 15:02:34"}), "");
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", "2047", kDate}), "");
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", "abc", kDate}), "");
  EXPECT_EQ(Slot5(t, {"lettre.dot", Value::null()}), "");  // always answers
  // Midnight is written as the date alone.
  t.fs.put(kFichier, "abc", Local(2026, 1, 2, 0, 0, 0));
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", "3", "02/01/2026"}), kDossier);
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST(Cache_Cacher, WritesStampsAndCompareSaysCurrent) {
  TestApp t;
  courrier_test::InstallerBibliotheque(t);
  Args a{"lettre.dot", "lettres", encodeBase64(std::string(2048, 'z')), kDate};
  KUP_CourrierCacher(t.app, a);
  EXPECT_EQ(Valeurs(t.flash.returnValue()),
            (std::vector<std::string>{"KUP_CourrierCacher", "lettre.dot", kDossier, kFichier, "", ""}));
  EXPECT_EQ(t.fs.readFile(kFichier), std::string(2048, 'z'));
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", "2048", kDate}), kDossier);

  // A text that is no date: written, time left as written, answered.
  Args b{"lettre.dot", "lettres", encodeBase64("court"), "31/02/2026"};
  KUP_CourrierCacher(t.app, b);
  EXPECT_EQ(t.fs.readFile(kFichier), "court");
  EXPECT_EQ(t.fs.modifiedTime(kFichier), t.fs.clock);
  EXPECT_EQ(Valeurs(t.flash.returnValue()).size(), 6u);
  EXPECT_TRUE(Erreurs(t).empty());

  // Two levels whose first does not exist: reported, nothing answered.
  t.flash.clear();
  Args c{"lettre.dot", "absent\\lettres", encodeBase64("abc"), kDate};
  KUP_CourrierCacher(t.app, c);
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_CourrierCacher");
}

TEST(Cache_Cacher, UnwrittenFileIsReportedNotAnswered) {
  TestApp t;  // no attachment library: the content cannot be written
  Args a{"lettre.dot", "lettres", encodeBase64("abc"), kDate};
  KUP_CourrierCacher(t.app, a);
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_CourrierCacher");
  EXPECT_FALSE(t.fs.fileExists(kFichier));
}

// The library's plain decoder on a disk that fills up half-way: part of
// the bytes written, then "disk full".
int32_t FauxDisquePlein(const char* texte, const char* chemin, int32_t) {
  courrier_test::FsCourant()->writeFile(kup::FromCp1252(chemin), kup::decodeBase64(texte).substr(0, 1));
  return 2;
}

TEST(Cache_Cacher, AFailedOverwriteKeepsTheOlderCopyAndSaysTheDiskIsFull) {
  TestApp t;
  courrier_test::InstallerBibliotheque(t);
  t.fs.put(kFichier, "ancien", Local(2026, 12, 6, 15, 2, 33));
  t.libraries.add("AttacheFichier.dll", "chaineBase64VersFichier", &FauxDisquePlein);
  Args a{"lettre.dot", "lettres", encodeBase64("nouveau"), kDate};
  KUP_CourrierCacher(t.app, a);
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0], (std::vector<std::string>{"KUP_CourrierCacher", "61",
                                                      vbErrorText(vberr::DiskFull) + " : " + kFichier}));
  EXPECT_EQ(t.fs.readFile(kFichier), "ancien");
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", "6", kDate}), kDossier);  // still current
  EXPECT_EQ(t.fs.listFiles(kDossier), std::vector<std::string>{"lettre.dot"});
  EXPECT_EQ(t.fs.allFiles(), std::vector<std::string>{kFichier});  // nothing left beside it
}

TEST(Cache_Cacher, NeverWritesThroughALinkNorOutsideTheCache) {
  const auto dir = attache_test::DossierTemporaire("cache");
  ASSERT_FALSE(dir.empty());
  namespace fs = std::filesystem;
  const fs::path programme = dir / "programme", ailleurs = dir / "ailleurs";
  fs::create_directories(programme / "env_prod" / "y");
  fs::create_directories(ailleurs);
  std::ofstream(ailleurs / "cible", std::ios::binary) << "garde";
  TestApp t;
  t.app.pf.fs = std::make_unique<platform::RealFileSystem>(platform::DriveMap{});
  t.app.pf.libraries = std::make_unique<platform::RealDynamicLibraries>(t.app.pf.fs.get(), t.app.pf.log.get());
  t.env.program = programme.string();
  auto cacher = [&](const std::string& nom, const std::string& dossier) {
    t.flash.clear();
    Args a{nom, dossier, encodeBase64("neuf"), kDate};
    KUP_CourrierCacher(t.app, a);
    return !t.flash.returns.empty();
  };

  // A sub-folder that is a link to another folder: refused, nothing there,
  // not even a level made below it before the refusal.
  ASSERT_EQ(::symlink(ailleurs.c_str(), (programme / "env_prod" / "x").c_str()), 0);
  EXPECT_FALSE(cacher("ok.ott", "x"));
  EXPECT_EQ(Erreurs(t).size(), 1u);
  EXPECT_FALSE(cacher("ok.ott", "x\\z"));
  EXPECT_FALSE(fs::exists(ailleurs / "ok.ott"));
  EXPECT_FALSE(fs::exists(ailleurs / "z"));
  // A link that stays inside the cache is the cache.
  ASSERT_EQ(::symlink((programme / "env_prod" / "y").c_str(), (programme / "env_prod" / "w").c_str()), 0);
  EXPECT_TRUE(cacher("w.ott", "w"));
  EXPECT_TRUE(fs::exists(programme / "env_prod" / "y" / "w.ott"));
  fs::remove(programme / "env_prod" / "y" / "w.ott");

  // A cached name that is a link: the link itself gives way to the file.
  ASSERT_EQ(::symlink((ailleurs / "cible").c_str(), (programme / "env_prod" / "y" / "ok.ott").c_str()), 0);
  EXPECT_TRUE(cacher("ok.ott", "y")) << t.flash.calls.back();
  EXPECT_FALSE(fs::is_symlink(programme / "env_prod" / "y" / "ok.ott"));
  std::ifstream copie(programme / "env_prod" / "y" / "ok.ott", std::ios::binary), cible(ailleurs / "cible");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copie), {}), "neuf");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(cible), {}), "garde");
  EXPECT_EQ(std::distance(fs::directory_iterator(programme / "env_prod" / "y"), {}), 1);

  // The cache root a link, under a program folder that is one too (a
  // packaged install): the place it leads to is the cache, and what is
  // written there is current.
  fs::remove_all(programme / "env_prod");
  ASSERT_EQ(::symlink(ailleurs.c_str(), (programme / "env_prod").c_str()), 0);
  ASSERT_EQ(::symlink(programme.c_str(), (dir / "installe").c_str()), 0);
  t.env.program = (dir / "installe").string();
  EXPECT_TRUE(cacher("ok.ott", "z")) << t.flash.calls.back();
  EXPECT_TRUE(fs::exists(ailleurs / "z" / "ok.ott"));
  EXPECT_EQ(Slot5(t, {"ok.ott", "z", "4", kDate}), t.env.program + "\\env_prod\\z");
  fs::remove_all(dir);
}

TEST(Cache_Refus, NamesAndSubFoldersLeadingOutOfTheCacheAreRefused) {
  TestApp t;
  courrier_test::InstallerBibliotheque(t);
  t.fs.put("C:\\Korvane\\secret.dot", "abc", Local(2026, 12, 6, 15, 2, 33));
  EXPECT_EQ(Slot5(t, {"..\\secret.dot", "", "3", kDate}), "");
  EXPECT_EQ(Slot5(t, {"secret.dot", "..", "3", kDate}), "");
  EXPECT_EQ(Slot5(t, {"secret.dot", "C:\\Korvane", "3", kDate}), "");
  EXPECT_EQ(Slot5(t, {"secret.dot", "\\Korvane", "3", kDate}), "");

  for (auto [nom, dossier] : std::vector<std::pair<std::string, std::string>>{
           {"..\\x.dot", "lettres"}, {"a/b.dot", "lettres"}, {"", "lettres"}, {"x.dot", "lettres\\..\\.."},
           {"x.dot", "/tmp"}, {"x.dot", "C:\\Temp"},
           // Names the library cannot carry in Windows-1252 ("?" for both).
           {"\xCE\xA9.dot", "lettres"}, {"x.dot", "\xCE\xA9"}}) {
    t.flash.clear();
    t.fs.journal.clear();
    Args a{nom, dossier, encodeBase64("pirate"), kDate};
    KUP_CourrierCacher(t.app, a);
    EXPECT_TRUE(t.flash.returns.empty()) << nom << " " << dossier;
    EXPECT_EQ(Erreurs(t).size(), 1u) << nom << " " << dossier;
    EXPECT_TRUE(t.fs.journal.empty()) << nom << " " << dossier;
  }
}

TEST(Cache_Dates, RegionalDateTextsAreReadAsTheProfileWritesThem) {
  platform::RegionalProfile fr, us;
  us.shortDate = "M/d/yyyy";
  std::tm tm{};
  ASSERT_TRUE(bLireDateRegionale(fr, kDate, tm));
  EXPECT_EQ(std::make_tuple(tm.tm_mday, tm.tm_mon, tm.tm_year, tm.tm_hour, tm.tm_sec), std::make_tuple(6, 11, 126, 15, 33));
  ASSERT_TRUE(bLireDateRegionale(us, "12/6/2026", tm));
  EXPECT_EQ(std::make_pair(tm.tm_mday, tm.tm_mon), std::make_pair(6, 11));
  EXPECT_TRUE(bLireDateRegionale(fr, "29/02/2024", tm));
  for (const char* faux : {"29/02/2025", "06/13/2026", "06/12/2026 24:00:00", "06/12/2026 15", "", "06/12"})
    EXPECT_FALSE(bLireDateRegionale(fr, faux, tm)) << faux;
}

TEST(Cache_Dates, TwelveHourTimesStampAndCompareAsTheyAreWritten) {
  platform::RegionalProfile us;
  us.shortDate = "M/d/yyyy";
  us.longTime = "h:mm:ss tt";
  std::tm tm{};
  ASSERT_TRUE(bLireDateRegionale(us, "12/6/2026 3:02:33 PM", tm));
  EXPECT_EQ(std::make_tuple(tm.tm_mday, tm.tm_mon, tm.tm_hour, tm.tm_min), std::make_tuple(6, 11, 15, 2));
  ASSERT_TRUE(bLireDateRegionale(us, "12/6/2026 12:05:00 AM", tm));
  EXPECT_EQ(tm.tm_hour, 0);
  ASSERT_TRUE(bLireDateRegionale(us, "12/6/2026 12:05:00 pm", tm));
  EXPECT_EQ(tm.tm_hour, 12);
  EXPECT_FALSE(bLireDateRegionale(us, "12/6/2026 13:05:00 PM", tm));

  // Written with the workstation's 12-hour text, the copy is current for it.
  TestApp t;
  t.app.pf.regional = us;
  courrier_test::InstallerBibliotheque(t);
  const char* date = "12/6/2026 3:02:33 PM";
  Args a{"lettre.dot", "lettres", encodeBase64("abc"), date};
  KUP_CourrierCacher(t.app, a);
  ASSERT_TRUE(Erreurs(t).empty());
  EXPECT_EQ(sDateFichier(t.app, kFichier), date);
  EXPECT_EQ(Slot5(t, {"lettre.dot", "lettres", "3", date}), kDossier);
}
