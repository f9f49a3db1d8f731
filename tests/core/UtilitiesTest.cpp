#include <gtest/gtest.h>

#include <set>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "tests/TestApp.h"

using namespace kup;

TEST(TempFiles, NameRuleAndNoReuseOfExistingOrHandedOutNames) {
  TestApp t;
  t.env.set("TEMP", "C:\\Tmp\\");
  t.fs.createFolder("C:\\Tmp");
  // 1000000 * Rnd + 1 to the nearest whole number.
  t.random.script = {0.25, 0.9999996};
  EXPECT_EQ(sFichierTemporaire(t.app, ".dot"), "C:\\Tmp\\250001.dot");
  EXPECT_EQ(sFichierTemporaire(t.app, ".xlt"), "C:\\Tmp\\1000001.xlt");
  EXPECT_EQ(t.random.randomizeCount, 2);

  // The same draw again (same clock tick): an existing file and a name
  // already handed out are both drawn again, without re-seeding.
  t.fs.put("C:\\Tmp\\500001.dot", "x");
  t.random.script = {0.5, 0.25, 0.75};
  t.random.randomizeCount = 0;
  std::string name = sFichierTemporaire(t.app, ".dot");
  EXPECT_EQ(name, "C:\\Tmp\\750001.dot");
  EXPECT_EQ(t.random.randomizeCount, 1);

  std::set<std::string> names;
  for (int i = 0; i < 200; ++i) {
    t.random.script = {0.125};
    names.insert(sFichierTemporaire(t.app, ".tmp"));
  }
  EXPECT_EQ(names.size(), 200u);
}

TEST(TempFiles, JoinPathWithOneSeparator) {
  EXPECT_EQ(sJoindreChemin("C:\\a", "b.txt"), "C:\\a\\b.txt");
  EXPECT_EQ(sJoindreChemin("C:\\a\\", "b.txt"), "C:\\a\\b.txt");
  EXPECT_EQ(sJoindreChemin("C:\\", "\\b.txt"), "C:\\b.txt");
  EXPECT_EQ(sJoindreChemin("/tmp/", "b"), "/tmp\\b");
  EXPECT_EQ(sJoindreChemin("", "b"), "b");
}

TEST(Tokeniser, ReadingsOfTheDdeReceiver) {
  TestApp t;
  App& a = t.app;
  // Name, then two values.
  EXPECT_EQ(GEN_DecomposerLigne(a, "SIG_Cadrer(12#\t34)", "(", "("), "SIG_Cadrer");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", "(", "#"), "12");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", "#", ")"), "34");  // leading tab passed over
  EXPECT_EQ(GEN_DecomposerLigne(a, "", ")", ")"), "");    // used up

  // One value of an empty argument list.
  EXPECT_EQ(GEN_DecomposerLigne(a, "ZezORA_ParcelleRechercher()", "(", "("), "ZezORA_ParcelleRechercher");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", ")", ")"), "");

  // Colour entries, characters counted not bytes, and no stop character.
  EXPECT_EQ(GEN_DecomposerLigne(a, "Coul(é1,2,3)", "(", "("), "Coul");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", ",", ","), "é1");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", ",", ","), "2");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", ")", ")"), "3");
  EXPECT_EQ(GEN_DecomposerLigne(a, "sans fin", "", ";"), "sans fin");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", "", ";"), "");
  // Sets of any characters; bytes that are not UTF-8 read as U+FFFD.
  EXPECT_EQ(GEN_DecomposerLigne(a, "€€a\xFF€béc", "€", "€"), "a\xEF\xBF\xBD");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", "", "é"), "b");

  // Skip-set characters first, then tabs, once each: a skip-set character
  // after the tabs belongs to the token.
  EXPECT_EQ(GEN_DecomposerLigne(a, "((\t\t(x)y", "(", ")"), "(x");
  EXPECT_EQ(GEN_DecomposerLigne(a, "", "(", ")"), "y");
  EXPECT_EQ(GEN_DecomposerLigne(a, "\t(z)", "(", ")"), "(z");

  // Before any text: nothing, and each App has its own state.
  TestApp other;
  EXPECT_EQ(GEN_DecomposerLigne(other.app, "", "(", "("), "");
}

TEST(Bytes, EightBitFormsAndBase64) {
  EXPECT_EQ(OctetsDepuisChaine("é€a"), std::string("\xE9\x80" "a\0", 4));
  EXPECT_EQ(OctetsDepuisChaine(""), std::string("\0", 1));
  EXPECT_EQ(OctetsDepuisChaine("中"), std::string("?\0", 2));

  EXPECT_EQ(sOctetsVersChaine(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(sOctetsVersChaine("abc"), "ab");  // the last index is the terminator's place
  EXPECT_EQ(sOctetsVersChaine(std::string("\xE9t\xE9\0", 4)), "été");
  EXPECT_EQ(sOctetsVersChaine(""), "");
  std::string buffer(1025, '\0');
  buffer.replace(0, 5, "Dupon");
  EXPECT_EQ(sOctetsVersChaine(buffer), "Dupon");

  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (size_t n : {0u, 1u, 2u, 3u, 4u, 256u}) {
    std::string bytes = all.substr(0, n);
    EXPECT_EQ(decodeBase64(encodeBase64(bytes)), bytes) << n;
  }
  EXPECT_EQ(encodeBase64("Man"), "TWFu");
  EXPECT_EQ(encodeBase64("Ma"), "TWE=");
  EXPECT_EQ(encodeBase64("M"), "TQ==");
  EXPECT_EQ(encodeBase64(std::string(100, 'x')).find('\n'), std::string::npos);
  EXPECT_EQ(decodeBase64("TW\r\nFu"), "Man");
  EXPECT_EQ(decodeBase64("TWE"), "Ma");
  EXPECT_THROW(decodeBase64("TW!u"), VbError);
  EXPECT_THROW(decodeBase64("T"), VbError);
  EXPECT_THROW(decodeBase64("TQ==TQ=="), VbError);
}

TEST(Bytes, ReadWholeFileOrFail) {
  TestApp t;
  t.fs.put("C:\\Temp\\a.bin", std::string("\0\x01\xFF", 3));
  EXPECT_EQ(LireFichierBinaire(t.app, "C:\\Temp\\a.bin"), std::string("\0\x01\xFF", 3));
  try {
    LireFichierBinaire(t.app, "C:\\Temp\\absent.bin");
    FAIL();
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), 53);
  }
}

TEST(Windows, TopmostControlBoxFindAndShow) {
  TestApp t;
  long h = t.windows.registerWindow("Korvane");
  long word = t.windows.addForeignWindow("Document1 - Word");

  FenetrePremierPlan(t.app, h, true);
  EXPECT_TRUE(t.windows.isTopmost(h));
  FenetrePremierPlan(t.app, h, false);
  EXPECT_FALSE(t.windows.isTopmost(h));

  long style = t.windows.getWindowLong(h, platform::GWL_STYLE);
  ASSERT_TRUE(style & platform::WS_SYSMENU);
  EffacerBarreControle(t.app, h);
  EffacerBarreControle(t.app, h);  // twice: the first saved style still wins
  EXPECT_FALSE(t.windows.getWindowLong(h, platform::GWL_STYLE) & platform::WS_SYSMENU);
  AfficherBarreControle(t.app, h);
  EXPECT_EQ(t.windows.getWindowLong(h, platform::GWL_STYLE), style);
  AfficherBarreControle(t.app, h);  // nothing saved: style left alone
  EXPECT_EQ(t.windows.getWindowLong(h, platform::GWL_STYLE), style);
  EXPECT_EQ(t.windows.get(h)->menuRedraws, 4);

  EXPECT_EQ(lTrouverFenetre(t.app, "Document1 - Word"), word);
  EXPECT_EQ(lTrouverFenetre(t.app, "Document1"), 0);
  sub_AfficherFenetre(t.app, word);
  EXPECT_EQ(t.windows.get(word)->shows, (std::vector<int>{0, 9}));
}

TEST(Processes, StartsAnArgumentVectorAndWaitsForInput) {
  TestApp t;
  t.fs.put("C:\\Program Files\\SIG\\sig.exe", "");
  EXPECT_EQ(LancerProgramme(t.app, "C:\\Program Files\\SIG\\sig.exe", "  -topic \"A B\" x  "), 1);
  ASSERT_EQ(t.processes.processes.size(), 1u);
  EXPECT_EQ(t.processes.processes[0].argv,
            (std::vector<std::string>{"C:\\Program Files\\SIG\\sig.exe", "-topic", "A B", "x"}));
  EXPECT_EQ(t.processes.processes[0].idleWaits, 1);

  EXPECT_EQ(LancerProgramme(t.app, "zezora.exe", ""), 1);
  EXPECT_EQ(t.processes.processes[1].argv, (std::vector<std::string>{"zezora.exe"}));

  // A program text carrying its own arguments, as partner settings give it.
  t.fs.put("C:\\SIG\\sig.exe", "");
  EXPECT_EQ(LancerProgramme(t.app, "C:\\SIG\\sig.exe -dde", ""), 1);
  EXPECT_EQ(t.processes.processes[2].argv, (std::vector<std::string>{"C:\\SIG\\sig.exe", "-dde"}));

  t.processes.failStarts = true;
  EXPECT_EQ(LancerProgramme(t.app, "absent.exe", "a; rm -rf /"), 0);
  EXPECT_EQ(t.processes.attempts.back(), (std::vector<std::string>{"absent.exe", "a;", "rm", "-rf", "/"}));
}
