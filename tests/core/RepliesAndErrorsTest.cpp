#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "tests/TestApp.h"

using namespace kup;
namespace mb = kup::platform::mb;

TEST(ReplyXml, TrimsValuesEscapesMarkupAndEmptyArrayIsEmpty) {
  EXPECT_EQ(sSetReturnValueXML({}), "");
  EXPECT_EQ(sSetReturnValueXML({"  a b  ", "<x>&\"y\"", ""}),
            "<array><property id=\"0\"><string>a b</string></property>"
            "<property id=\"1\"><string>&lt;x&gt;&amp;\"y\"</string></property>"
            "<property id=\"2\"><string></string></property></array>");
  // Only blanks are trimmed, as VB's Trim does.
  EXPECT_EQ(sSetReturnValueXML({"\tv\r\n"}), "<array><property id=\"0\"><string>\tv\r\n</string></property></array>");
}

TEST(ReplyXml, InvokeKeepsValuesAsGivenAndEmptyValuesCount) {
  EXPECT_EQ(sInvokeXML("KUP_Quitter", {}), "<invoke name=\"KUP_Quitter\" returntype=\"xml\"></invoke>");
  EXPECT_EQ(sInvokeXML("N", {" a<b ", ""}),
            "<invoke name=\"N\" returntype=\"xml\"><arguments><string> a&lt;b </string><string></string>"
            "</arguments></invoke>");
  // A value from outside (a GIS string, a constraint row) cannot add
  // arguments to the call, and an entity the interface sent comes back as sent.
  EXPECT_EQ(sInvokeXML("N", {"x</string><string>y", "&lt;"}),
            "<invoke name=\"N\" returntype=\"xml\"><arguments><string>x&lt;/string&gt;&lt;string&gt;y</string>"
            "<string>&amp;lt;</string></arguments></invoke>");
}

// Every reader takes the replies and calls: what XML forbids becomes U+FFFD,
// as invalid UTF-8 does; CR, LF and tab go out as they are.
TEST(ReplyXml, RepliesAndCallsAreWellFormedWhateverTheValues) {
  const std::string u = "\xEF\xBF\xBD";
  const std::string loin(5000, 'y');  // beyond a piece of the writer
  const std::vector<std::pair<std::string, std::string>> cas = {
      {"a]]>b", "a]]&gt;b"},
      {"&<>", "&amp;&lt;&gt;"},
      {std::string("a\0b", 3), "a" + u + "b"},
      {"\x01\x08\x0B\x0C\x0E\x1F\x7F", u + u + u + u + u + u + "\x7F"},
      {"l1\r\nl2\tz", "l1\r\nl2\tz"},
      {"\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD\xEF\xBC\xA1 caf\xC3\xA9", u + u + u + "\xEF\xBC\xA1 caf\xC3\xA9"},
      {"&" + std::string(4094, 'x') + "\xEF\xBF\xBF" + loin + ">", "&amp;" + std::string(4094, 'x') + u + loin + "&gt;"},
  };
  for (auto& [valeur, ecrit] : cas) {
    EXPECT_EQ(sSetReturnValueXML({valeur}), "<array><property id=\"0\"><string>" + ecrit + "</string></property></array>")
        << valeur;
    EXPECT_EQ(sInvokeXML("N", {valeur}),
              "<invoke name=\"N\" returntype=\"xml\"><arguments><string>" + ecrit + "</string></arguments></invoke>")
        << valeur;
  }
}

TEST(ReplyXml, DefaultAnswerEchoesArgumentsAsTextWithTwoEmptyStatuses) {
  TestApp t;
  RenvoyerValeurFlexDefaut(t.app, {Value("a"), Value(2.5), Value()});
  EXPECT_EQ(t.flash.returnValue(), sSetReturnValueXML({"a", "2.5", "", "", ""}));

  // Null cannot become text: reported under the routine's name, no answer.
  t.flash.clear();
  RenvoyerValeurFlexDefaut(t.app, {Value::null()});
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_NE(t.flash.calls[0].find("<string>RenvoyerValeurFlexDefaut</string><string>94</string>"), std::string::npos);
}

TEST(ErrorRoutine, UserFacingIgnoredAndReportedNumbers) {
  TestApp t;
  TraiterErreur(t.app, "KUP_ArreteOuvrir", -404, "Le modèle est introuvable");
  ASSERT_EQ(t.msgbox.boxes.size(), 1u);
  EXPECT_EQ(t.msgbox.boxes[0].prompt, "Le modèle est introuvable");
  EXPECT_EQ(t.msgbox.boxes[0].title, "KUP_ArreteOuvrir");
  EXPECT_EQ(t.msgbox.boxes[0].buttons & 0x70, mb::Critical);
  EXPECT_TRUE(t.flash.calls.empty());

  TraiterErreur(t.app, "X", 440, "Erreur Automation");
  EXPECT_EQ(t.msgbox.boxes.size(), 1u);
  EXPECT_TRUE(t.flash.calls.empty());

  TraiterErreur(t.app, "KUP_AttFicAttacher", 0, "Habilitations insuffisantes");
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_EQ(t.flash.calls[0], sInvokeXML("KUP_ErreurContainer", {"KUP_AttFicAttacher", "0", "Habilitations insuffisantes"}));
  EXPECT_TRUE(t.flash.returns.empty());  // never a return value
}

TEST(ErrorRoutine, FallbackBoxWhenTheCallIntoThePlayerFails) {
  TestApp t;
  t.flash.failCalls = true;
  TraiterErreur(t.app, "sGetFlashXML", 13, "Incompatibilité de type");
  ASSERT_EQ(t.msgbox.boxes.size(), 1u);
  EXPECT_EQ(t.msgbox.boxes[0].prompt,
            "Fonction : sGetFlashXML\r\nErreur numéro : 13\r\nLibéllé : Incompatibilité de type");

  // Even without any message box it returns quietly.
  t.app.pf.msgbox.reset();
  TraiterErreur(t.app, "a", -404, "b");
  TraiterErreur(t.app, "a", 5, "b");
}

TEST(Traces, LineFormatAndFlagsAndLogChannels) {
  TestApp t;
  DebugKUP(t.app, "N", "T", {Value("a")});
  EXPECT_TRUE(t.app.debugWindow.empty());

  t.app.G_Debug = true;
  DebugKUP(t.app, "DDE_ReceptionKUP", "SIG(1)", {Value("a"), Value::null(), Value(3), Value()});
  EXPECT_EQ(t.app.debugWindow, "DDE_ReceptionKUP : SIG(1)\r\n\t(0)=a\r\n\t(1)=Null\r\n\t(2)=3\r\n\t(3)=\r\n");
  ASSERT_EQ(t.log.lines("debug").size(), 1u);
  EXPECT_TRUE(t.app.perfWindow.empty());

  PerfKUP(t.app, "P", "x");
  EXPECT_TRUE(t.app.perfWindow.empty());  // its own flag
  t.app.G_Perf = true;
  PerfKUP(t.app, "P", "x");
  EXPECT_EQ(t.app.perfWindow, "P : x\r\n");
  EXPECT_EQ(t.log.lines("perf").size(), 1u);

  // Calls into the player are traced.
  KUP_EnvoyerChaineVersFlex(t.app, "<invoke name=\"Z\"></invoke>");
  EXPECT_NE(t.app.debugWindow.find("KUP_EnvoyerChaineVersFlex : <invoke name=\"Z\"></invoke>"), std::string::npos);
}

TEST(Traces, WindowKeepsTheLast65535Characters) {
  TestApp t;
  t.app.G_Debug = true;
  std::string accents;
  for (int i = 0; i < 40000; ++i) accents += "é";
  DebugKUP(t.app, "A", accents);
  DebugKUP(t.app, "B", accents);
  EXPECT_EQ(Len(t.app.debugWindow), 65535u);
  EXPECT_EQ(SanitizeUtf8(t.app.debugWindow), t.app.debugWindow);  // never cut inside a character
  EXPECT_EQ(Right(t.app.debugWindow, 2), "\r\n");
  EXPECT_NE(t.app.debugWindow.find("B : "), std::string::npos);
  EXPECT_EQ(t.app.debugWindow.find("A : "), std::string::npos);
}
