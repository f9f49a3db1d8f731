// The letter template cache: comparison, writing, dates, and the refusal of
// names that would lead out of the cache folder.
#include <gtest/gtest.h>

#include "documents/Mdl_CourrierCache.h"
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
           {"x.dot", "/tmp"}, {"x.dot", "C:\\Temp"}}) {
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
