// The bridge client: session files, decoding, and its transcript of a real run.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/e2e/Child.h"
#include "tools/bridge_client/Session.h"

using namespace kup::bridgeclient;

TEST(BridgeSession, ShortFormBecomesTheInvokeXml) {
  EXPECT_EQ(ShortFormToXml("KUP_A"),
            "<invoke name=\"KUP_A\" returntype=\"xml\"><arguments><array>"
            "<property id=\"0\"><string>KUP_A</string></property></array></arguments></invoke>");
  std::string x = ShortFormToXml(" KUP_B |  a b  | C:\\x\\y.doc | @null | @undefined | @num:-1.5 | @true | | {32}z{32}");
  EXPECT_NE(x.find("<property id=\"1\"><string>a b</string>"), std::string::npos) << x;
  EXPECT_NE(x.find("<property id=\"2\"><string>C:\\x\\y.doc</string>"), std::string::npos);
  EXPECT_NE(x.find("<property id=\"3\"><null/>"), std::string::npos);
  EXPECT_NE(x.find("<property id=\"4\"><undefined/>"), std::string::npos);
  EXPECT_NE(x.find("<property id=\"5\"><number>-1.5</number>"), std::string::npos);
  EXPECT_NE(x.find("<property id=\"6\"><true/>"), std::string::npos);
  EXPECT_NE(x.find("<property id=\"7\"><string></string>"), std::string::npos);
  EXPECT_NE(x.find("<property id=\"8\"><string> z </string>"), std::string::npos);
  // Markup characters are escaped; code escapes give the separators.
  x = ShortFormToXml("K | a<b&\"c\" | x{241}y{240}z{124}{123}{64}n");
  EXPECT_NE(x.find("<string>a&lt;b&amp;&quot;c&quot;</string>"), std::string::npos) << x;
  EXPECT_NE(x.find("<string>x\xC3\xB1y\xC3\xB0z|{@n</string>"), std::string::npos) << x;
  EXPECT_EQ(UnescapeField("{128}{233}{9}"), "\xE2\x82\xAC\xC3\xA9\t");

  EXPECT_THROW(ShortFormToXml("| a"), SessionError);
  EXPECT_THROW(ShortFormToXml("K | {256}"), SessionError);
  EXPECT_THROW(ShortFormToXml("K | {x}"), SessionError);
  EXPECT_THROW(ShortFormToXml("K | a{12"), SessionError);
  EXPECT_THROW(ShortFormToXml("K | @num:douze"), SessionError);
  EXPECT_THROW(ShortFormToXml("K | @nul"), SessionError);
}

TEST(BridgeSession, FileStepsCommentsWaitsAndContinuations) {
  std::istringstream in(
      "# comment\n"
      "\n"
      "  KUP_A | 1\n"
      "wait 250\n"
      "<invoke name=\"raw\"/>\r\n"
      "KUP_B | a \\\n"
      "   b{241} \\\n"
      "   c\n");
  auto steps = ParseSession(in, "s.txt");
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[0].line, 3);
  EXPECT_EQ(steps[1].type, Step::Type::Wait);
  EXPECT_EQ(steps[1].waitMs, 250);
  EXPECT_EQ(steps[2].xml, "<invoke name=\"raw\"/>");
  EXPECT_NE(steps[3].xml.find("<string>ab\xC3\xB1" "c</string>"), std::string::npos) << steps[3].xml;
  EXPECT_EQ(steps[3].line, 6);

  std::istringstream bad("KUP_A\nwait soon\n");
  try {
    ParseSession(bad, "s.txt");
    ADD_FAILURE() << "accepted a bad wait";
  } catch (const SessionError& e) {
    EXPECT_STREQ(e.what(), "s.txt:2: wait takes a number of milliseconds");
  }
  std::istringstream dangling("KUP_A | x \\\n");
  EXPECT_THROW(ParseSession(dangling, "s.txt"), SessionError);
}

TEST(BridgeSession, DecodesCallsAndRepliesLeniently) {
  // Calls are not escaped and replies escape only "<".
  Decoded c = DecodeCall(
      "<invoke name=\"KUP_ErreurContainer\" returntype=\"xml\"><arguments><string>src</string>"
      "<string>13</string><string>a & b > c</string><string/><string></string></arguments></invoke>");
  ASSERT_TRUE(c.ok);
  EXPECT_EQ(c.name, "KUP_ErreurContainer");
  EXPECT_EQ(c.values, (std::vector<std::string>{"src", "13", "a & b > c", "", ""}));
  Decoded r = DecodeReply(
      "<array><property id=\"0\"><string>KUP_X</string></property>"
      "<property id=\"1\"><string>1 &lt; 2 &#233;</string></property></array>");
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.values, (std::vector<std::string>{"KUP_X", "1 < 2 \xC3\xA9"}));
  EXPECT_FALSE(DecodeCall("nothing").ok);
  EXPECT_FALSE(DecodeReply("<invoke/>").ok);

  // Printed values read back as the same text.
  std::string v = " a|b{c\tC:\\d\xC3\xB2\xC3\xB1\xC3\xB0 ";
  EXPECT_EQ(Printable(v), "{32}a{124}b{123}c{9}C:\\d{242}{241}{240}{32}");
  EXPECT_EQ(UnescapeField(Printable(v)), v);
  EXPECT_EQ(Printable("@x"), "{64}x");
}

namespace {
std::string WriteSession(const std::string& name, const std::string& text) {
  std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}
}  // namespace

TEST(BridgeClient, RunsASessionAgainstKorvane) {
  std::string session = WriteSession("client_ok.txt",
                                     "KUP_Inconnue | a\n"
                                     "KUP_Parametres | @null\n"
                                     "wait 50\n"
                                     "KUP_UtilisateurUnique\n");
  e2e::Child c({e2e::ProgramPath("kup_bridge_client"), "--session", session, "--timeout", "20", "--",
                e2e::ProgramPath("korvane")});
  ASSERT_TRUE(c.started());
  std::string out = c.readAll();
  auto status = c.wait();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << out << c.log();
  EXPECT_NE(out.find("> KUP_Inconnue | a\n< RET (no value)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("< CALL KUP_ErreurContainer | KUP_Parametres | 94 | "), std::string::npos) << out;
  EXPECT_NE(out.find("... wait 50 ms"), std::string::npos);
  EXPECT_NE(out.find("= the program ended with code 0"), std::string::npos);
  EXPECT_NE(out.find("= 3 requests, 3 RET"), std::string::npos) << out;
}

TEST(BridgeClient, SampleSessionRuns) {
  e2e::Child c({e2e::ProgramPath("kup_bridge_client"), "--session", std::string(KUP_SOURCE_DIR) + "/samples/session.txt",
                "--", e2e::ProgramPath("korvane")});
  ASSERT_TRUE(c.started());
  std::string out = c.readAll(60000);
  auto status = c.wait(60000);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << out << c.log();
  EXPECT_EQ(out.find("\n!"), std::string::npos) << out;
}

TEST(BridgeClient, ReportsMissingAnswersAndCrashes) {
  std::string session = WriteSession("client_fail.txt", "KUP_A\nKUP_B\n");
  {
    // A program that reads everything and never answers.
    e2e::Child c({e2e::ProgramPath("kup_bridge_client"), "--session", session, "--timeout", "0.5", "--", "/bin/sh",
                  "-c", "cat >/dev/null"});
    std::string out = c.readAll();
    auto status = c.wait();
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 1) << out;
    EXPECT_NE(out.find("! no RET within 0.5 s (line 1)"), std::string::npos) << out;
    EXPECT_EQ(out.find("> KUP_B"), std::string::npos) << out;  // stops at the first missing answer
  }
  {
    e2e::Child c({e2e::ProgramPath("kup_bridge_client"), "--session", session, "--timeout", "5", "--", "/bin/sh",
                  "-c", "kill -SEGV $$"});
    std::string out = c.readAll();
    auto status = c.wait();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(WEXITSTATUS(*status), 2) << out;
    EXPECT_NE(out.find("killed by signal"), std::string::npos) << out;
  }
  {
    // In desktop mode the program may wait for its person after its input
    // ends (a letter to save): the client waits too, beyond the time-out.
    e2e::Child c({e2e::ProgramPath("kup_bridge_client"), "--session", WriteSession("client_vide.txt", "# rien\n"),
                  "--timeout", "0.5", "--", "/bin/sh", "-c", "cat >/dev/null; sleep 2", "sh", "--desktop"});
    std::string out = c.readAll(20000);
    auto status = c.wait(20000);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(WEXITSTATUS(*status), 0) << out;
    EXPECT_NE(out.find("= the program ended with code 0"), std::string::npos) << out;
  }
  {
    e2e::Child c({e2e::ProgramPath("kup_bridge_client"), "--session", "/nonexistent/session.txt", "--", "/bin/true"});
    c.readAll();
    auto status = c.wait();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(WEXITSTATUS(*status), 3);
  }
}
