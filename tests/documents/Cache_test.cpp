// The letter template cache: comparison, writing, dates, and the refusal of
// names that would lead out of the cache folder.
#include <gtest/gtest.h>

#include <ctime>

#include "core/Core.h"
#include "documents/Mdl_CourrierCache.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Valeurs;

namespace {

std::time_t Local(int y, int mo, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

std::vector<std::string> Comparer(TestApp& t, Args a) {
  t.flash.clear();
  KUP_CourrierCacheComparer(t.app, a);
  return Valeurs(t.flash.returnValue());
}

const char* kDossier = "C:\\Korvane\\env_prod\\lettres";
const char* kFichier = "C:\\Korvane\\env_prod\\lettres\\lettre.dot";

}  // namespace

TEST(Cache_Comparer, AnswersNineSlotsAndTheFolderOnlyWhenSizeAndDateMatch) {
  TestApp t;
  auto r = Comparer(t, {"lettre.dot", "lettres", "2048", "06/12/2026 15:02:33"});
  ASSERT_EQ(r.size(), 9u);
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_CourrierCacheComparer", "lettre.dot", "lettres", "2048",
                                         "06/12/2026 15:02:33", "", "", "", ""}));

  t.fs.put(kFichier, std::string(2048, 'x'), Local(2026, 12, 6, 15, 2, 33));
  EXPECT_EQ(Comparer(t, {"lettre.dot", "lettres", "2048", "06/12/2026 15:02:33"})[5], kDossier);
  EXPECT_EQ(Comparer(t, {"lettre.dot", "lettres", 2048.0, "06/12/2026 15:02:33"})[5], kDossier);
  EXPECT_EQ(Comparer(t, {"lettre.dot", "lettres", "2048", "06/12/2026 15:02:34"})[5], "");
  EXPECT_EQ(Comparer(t, {"lettre.dot", "lettres", "2047", "06/12/2026 15:02:33"})[5], "");
  EXPECT_EQ(Comparer(t, {"lettre.dot", "lettres", "abc", "06/12/2026 15:02:33"})[5], "");
  EXPECT_TRUE(Erreurs(t).empty());

  // A midnight date is written without its time part.
  t.fs.put(kFichier, "abc", Local(2026, 1, 2, 0, 0, 0));
  EXPECT_EQ(Comparer(t, {"lettre.dot", "lettres", "3", "02/01/2026"})[5], kDossier);
}

TEST(Cache_Comparer, AlwaysAnswersEvenWithMissingOrNullArguments) {
  TestApp t;
  auto r = Comparer(t, {"lettre.dot"});
  ASSERT_EQ(r.size(), 9u);
  EXPECT_EQ(r[1], "lettre.dot");
  EXPECT_EQ(r[5], "");
  r = Comparer(t, {"lettre.dot", Value::null(), Value::null(), Value::null()});
  ASSERT_EQ(r.size(), 9u);
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST(Cache_Cacher, WritesCreatesTheSubFolderStampsAndThenComparesCurrent) {
  TestApp t;
  courrier_test::InstallerBibliotheque(t);
  Args a{"lettre.dot", "lettres", encodeBase64(std::string(2048, 'z')), "06/12/2026 15:02:33"};
  KUP_CourrierCacher(t.app, a);
  EXPECT_TRUE(Erreurs(t).empty());
  EXPECT_EQ(Valeurs(t.flash.returnValue()),
            (std::vector<std::string>{"KUP_CourrierCacher", "lettre.dot", kDossier, kFichier, "", ""}));
  EXPECT_EQ(t.fs.readFile(kFichier), std::string(2048, 'z'));
  EXPECT_EQ(t.fs.modifiedTime(kFichier), Local(2026, 12, 6, 15, 2, 33));
  EXPECT_EQ(Comparer(t, {"lettre.dot", "lettres", "2048", "06/12/2026 15:02:33"})[5], kDossier);

  // A newer copy replaces the older one.
  Args b{"lettre.dot", "lettres", encodeBase64("court"), "07/12/2026 08:00:00"};
  KUP_CourrierCacher(t.app, b);
  EXPECT_EQ(t.fs.readFile(kFichier), "court");
  EXPECT_EQ(Comparer(t, {"lettre.dot", "lettres", "5", "07/12/2026 08:00:00"})[5], kDossier);
}

TEST(Cache_Cacher, TwoLevelSubFolderWithoutItsFirstLevelFailsAndAnswersNothing) {
  TestApp t;
  courrier_test::InstallerBibliotheque(t);
  Args a{"lettre.dot", "absent\\lettres", encodeBase64("abc"), "06/12/2026 15:02:33"};
  KUP_CourrierCacher(t.app, a);
  EXPECT_TRUE(t.flash.returns.empty());
  auto e = Erreurs(t);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0][0], "KUP_CourrierCacher");
  EXPECT_FALSE(t.fs.folderExists("C:\\Korvane\\env_prod\\absent"));
}

TEST(Cache_Cacher, DateThatIsNoDateLeavesTheWriteTimeAndAnswers) {
  TestApp t;
  courrier_test::InstallerBibliotheque(t);
  Args a{"lettre.dot", "lettres", encodeBase64("abc"), "pas une date"};
  KUP_CourrierCacher(t.app, a);
  EXPECT_EQ(Valeurs(t.flash.returnValue()).size(), 6u);
  EXPECT_EQ(t.fs.modifiedTime(kFichier), t.fs.clock);
  EXPECT_FALSE(bFixerDateFichier(t.app, kFichier, "31/02/2026 10:00:00"));
  EXPECT_FALSE(bFixerDateFichier(t.app, "C:\\Korvane\\env_prod\\lettres\\absent.dot", "06/12/2026"));
  EXPECT_TRUE(bFixerDateFichier(t.app, kFichier, "6/12/26 9:05"));
  EXPECT_EQ(t.fs.modifiedTime(kFichier), Local(2026, 12, 6, 9, 5, 0));
}

TEST(Cache_Cacher, MissingArgumentIsReported) {
  TestApp t;
  Args a{"lettre.dot", "lettres"};
  KUP_CourrierCacher(t.app, a);
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][1], "9");
}

TEST(Cache_Refus, NamesAndSubFoldersLeadingOutOfTheCacheAreRefused) {
  TestApp t;
  courrier_test::InstallerBibliotheque(t);
  // A file outside the cache that a crafted request would otherwise reach.
  t.fs.put("C:\\Korvane\\secret.dot", "abc", Local(2026, 12, 6, 15, 2, 33));
  t.fs.put("C:\\Korvane\\env_prod\\lettres\\x.dot", "abc", Local(2026, 12, 6, 15, 2, 33));
  EXPECT_EQ(Comparer(t, {"..\\secret.dot", "", "3", "06/12/2026 15:02:33"})[5], "");
  EXPECT_EQ(Comparer(t, {"secret.dot", "..", "3", "06/12/2026 15:02:33"})[5], "");
  EXPECT_EQ(Comparer(t, {"secret.dot", "lettres\\..\\..", "3", "06/12/2026 15:02:33"})[5], "");
  EXPECT_EQ(Comparer(t, {"secret.dot", "C:\\Korvane", "3", "06/12/2026 15:02:33"})[5], "");
  EXPECT_EQ(Comparer(t, {"x.dot", "\\Korvane\\env_prod\\lettres", "3", "06/12/2026 15:02:33"})[5], "");
  EXPECT_EQ(Comparer(t, {"lettres/x.dot", "", "3", "06/12/2026 15:02:33"})[5], "");
  EXPECT_EQ(Comparer(t, {"x.dot", "lettres", "3", "06/12/2026 15:02:33"})[5],
            "C:\\Korvane\\env_prod\\lettres");
  EXPECT_TRUE(Erreurs(t).empty());

  const std::vector<std::pair<std::string, std::string>> refus{{"..\\secret.dot", "lettres"},
                                                                {"a/b.dot", "lettres"},
                                                                {"..", "lettres"},
                                                                {"", "lettres"},
                                                                {"x.dot", "..\\.."},
                                                                {"x.dot", "lettres\\..\\.."},
                                                                {"x.dot", "\\tmp"},
                                                                {"x.dot", "/tmp"},
                                                                {"x.dot", "C:\\Temp"}};
  for (auto& [nom, dossier] : refus) {
    t.flash.clear();
    t.fs.journal.clear();
    Args a{nom, dossier, encodeBase64("pirate"), "06/12/2026 15:02:33"};
    KUP_CourrierCacher(t.app, a);
    EXPECT_TRUE(t.flash.returns.empty()) << nom << " " << dossier;
    auto e = Erreurs(t);
    ASSERT_EQ(e.size(), 1u) << nom << " " << dossier;
    EXPECT_EQ(e[0][0], "KUP_CourrierCacher");
    EXPECT_TRUE(t.fs.journal.empty()) << nom << " " << dossier << ": " << t.fs.journal.front();
  }
  EXPECT_EQ(t.fs.readFile("C:\\Korvane\\secret.dot"), "abc");
}

TEST(Cache_Dates, RegionalDateTextsAreReadAsTheProfileWritesThem) {
  platform::RegionalProfile fr;
  std::tm tm{};
  ASSERT_TRUE(bLireDateRegionale(fr, "06/12/2026 15:02:33", tm));
  EXPECT_EQ(tm.tm_mday, 6);
  EXPECT_EQ(tm.tm_mon, 11);
  EXPECT_EQ(tm.tm_year, 126);
  EXPECT_EQ(tm.tm_hour, 15);
  EXPECT_EQ(tm.tm_sec, 33);
  EXPECT_TRUE(bLireDateRegionale(fr, "29/02/2024", tm));
  EXPECT_FALSE(bLireDateRegionale(fr, "29/02/2025", tm));
  EXPECT_FALSE(bLireDateRegionale(fr, "06/13/2026", tm));
  EXPECT_FALSE(bLireDateRegionale(fr, "06/12/2026 24:00:00", tm));
  EXPECT_FALSE(bLireDateRegionale(fr, "06/12/2026 15", tm));
  EXPECT_FALSE(bLireDateRegionale(fr, "", tm));
  EXPECT_FALSE(bLireDateRegionale(fr, "06/12", tm));

  platform::RegionalProfile us;
  us.shortDate = "M/d/yyyy";
  ASSERT_TRUE(bLireDateRegionale(us, "12/6/2026", tm));
  EXPECT_EQ(tm.tm_mday, 6);
  EXPECT_EQ(tm.tm_mon, 11);
}
