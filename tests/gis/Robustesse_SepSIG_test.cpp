// The GIS separators taken out of a reference the GIS sends back: the same
// result as removing one character at the first occurrence and searching
// again from the start, and in a time that stays proportional to the text
// however many separators it holds.
#include <gtest/gtest.h>

#include <chrono>

#include "TestApp.h"
#include "vb/VbString.h"
#include "gis/Mdl_SIG_Old.h"

namespace {

// The rule as written: one character at the first occurrence, then again.
std::string UnParUn(std::string texte, const std::string& sep) {
  for (long p = kup::InStr(texte, sep); p > 0; p = kup::InStr(texte, sep))
    texte = kup::Left(texte, p - 1) + kup::Mid(texte, p + 1);
  return texte;
}

}  // namespace

TEST(RobustesseSepSIG, MemeResultatQueLaRegleEtTempsLineaire) {
  TestApp t;
  auto& s = kup::SigOld(t.app);
  for (std::string sep : {"-", "--", "ab", "aba", "aab", "éé", "a-a"}) {
    s.SIG_SEP = sep;
    for (std::string texte : {"59-350-AB-12", "A---B", "ababababa", "aabaab", "aaab", "xabababy", "ééé-é", "a-a-a-a",
                              "a-aa-a", "", "-", "abaaba-ab", "aaabababaaab"}) {
      std::string r = texte;
      kup::sSupprimerSepSIG(t.app, r);
      EXPECT_EQ(r, UnParUn(texte, sep)) << "sep " << sep << " texte " << texte;
    }
  }

  // A long run of separators (a damaged string from the GIS) no longer
  // costs a pass over the text per separator.
  s.SIG_SEP = "-";
  std::string long_(400000, '-');
  long_ += "59350AB12";
  auto debut = std::chrono::steady_clock::now();
  kup::sSupprimerSepSIG(t.app, long_);
  auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - debut).count();
  EXPECT_EQ(long_, "59350AB12");
  EXPECT_LT(ms, 2000.0);
}
