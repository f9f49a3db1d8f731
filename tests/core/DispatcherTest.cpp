#include <gtest/gtest.h>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "tests/TestApp.h"

using namespace kup;

namespace {

// Busy indicator entries of the attachment library; the log records the order
// of shows, hides and handler runs.
std::vector<std::string>* gJournal = nullptr;
int32_t FakeAfficherBusy() {
  if (gJournal) gJournal->push_back("busy+");
  return 1;
}
int32_t FakeMasquerBusy() {
  if (gJournal) gJournal->push_back("busy-");
  return 1;
}

std::string Req(const std::vector<std::string>& values) {
  std::string s = "<invoke name=\"sGetFlashXML\" returntype=\"xml\"><arguments><array>";
  for (size_t i = 0; i < values.size(); ++i)
    s += "<property id=\"" + std::to_string(i) + "\"><string>" + values[i] + "</string></property>";
  return s + "</array></arguments></invoke>";
}

class Dispatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    gJournal = &journal;
    t.app.commands = std::make_shared<CommandTable>();
    t.app.commands->add("KUP_Echo", [this](App& app, Args& a) {
      journal.push_back("run");
      seen = a;
      a.push_back(Value("grown"));  // handlers may grow their array
      RenvoyerValeurFlexDefaut(app, a);
    });
    t.app.commands->add("KUP_Panne", [](App&, Args&) { raise(76, "Chemin d'accès introuvable"); });
    t.app.commands->add("KUP_Exception", [](App&, Args&) { throw std::runtime_error("boom"); });
    t.app.commands->addDeferred("KUP_Choix", 500, [this](App& app, Args& a) {
      journal.push_back("run");
      seen = a;
      KUP_EnvoyerChaineVersFlex(app, sInvokeXML("KUP_Choix", {"x", "", ""}));
    });
    t.app.commands->addDeferred("KUP_TaxeChoixModele", 1000, [this](App&, Args& a) { seen = a; });
  }
  void TearDown() override { gJournal = nullptr; }
  void WithBusy() {
    t.libraries.add("AttacheFichier.dll", "AfficherBusy", &FakeAfficherBusy);
    t.libraries.add("AttacheFichier.dll", "MasquerBusy", &FakeMasquerBusy);
  }

  TestApp t;
  std::vector<std::string> journal;
  Args seen;
};

}  // namespace

TEST_F(Dispatcher, HandlerGetsValuesAfterTheNameOrTheNameAlone) {
  sGetFlashXML(t.app, Req({"kup_echo", "a", "b"}));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], Value("a"));
  EXPECT_EQ(seen[1], Value("b"));
  EXPECT_EQ(t.flash.returnValue(),
            "<array><property id=\"0\"><string>a</string></property><property id=\"1\"><string>b</string></property>"
            "<property id=\"2\"><string>grown</string></property><property id=\"3\"><string></string></property>"
            "<property id=\"4\"><string></string></property></array>");

  sGetFlashXML(t.app, Req({"KUP_ECHO"}));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], Value("KUP_ECHO"));

  EXPECT_EQ(t.app.G_SepNiveau1, Chr(242));
  EXPECT_EQ(t.app.G_SepNiveau2, Chr(241));
  EXPECT_EQ(t.app.G_SepNiveau3, Chr(240));
}

TEST_F(Dispatcher, UnknownMalformedAndNamelessRequestsGetNoAnswer) {
  sGetFlashXML(t.app, Req({"KUP_Inconnue", "a"}));
  sGetFlashXML(t.app, "<invoke name=\"x\"><arguments><array>");
  sGetFlashXML(t.app, "<invoke name=\"x\"><arguments><array></array></arguments></invoke>");
  sGetFlashXML(t.app, "<invoke name=\"x\"><arguments><array><property id=\"0\"><null/></property></array>"
                      "</arguments></invoke>");
  // A logon whose password broke the request: the log keeps no password.
  sGetFlashXML(t.app, Req({"Connexion", "dupont", "top<secret</string>&"}));
  // Line breaks and controls of a request would forge log lines of their own.
  sGetFlashXML(t.app, "<invoke name=\"x\">\ncore: faux\r\x1b[2J<");
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_TRUE(t.flash.calls.empty());
  ASSERT_EQ(t.log.lines("core").size(), 6u);
  EXPECT_NE(t.log.lines("core")[4].find("Connexion"), std::string::npos);
  EXPECT_EQ(t.log.lines("core")[4].find("top<"), std::string::npos) << t.log.lines("core")[4];
  EXPECT_NE(t.log.lines("core")[5].find("\"x\">\\ncore: faux\\r\\x1B[2J<"), std::string::npos)
      << t.log.lines("core")[5];
}

TEST_F(Dispatcher, UntrappedErrorsGoToTheErrorRoutineWithoutAnswer) {
  sGetFlashXML(t.app, Req({"KUP_Panne"}));
  sGetFlashXML(t.app, Req({"KUP_Exception"}));
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(t.flash.calls.size(), 2u);
  EXPECT_EQ(t.flash.calls[0], "<invoke name=\"KUP_ErreurContainer\" returntype=\"xml\"><arguments>"
                              "<string>sGetFlashXML</string><string>76</string>"
                              "<string>Chemin d'accès introuvable</string></arguments></invoke>");
  EXPECT_NE(t.flash.calls[1].find("<string>boom</string>"), std::string::npos);
}

TEST_F(Dispatcher, DeferredCommandIsStoredThenRunByTheTimerBetweenBusyShowAndHide) {
  WithBusy();
  FlashCall(t.app, Req({"KUP_Choix", "p"}));
  // Inside the player's call: nothing ran, no answer.
  EXPECT_EQ(journal, (std::vector<std::string>{"busy+", "busy-"}));
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_TRUE(t.timer.enabled());
  EXPECT_EQ(t.timer.interval(), 500);

  journal.clear();
  ASSERT_TRUE(t.timer.fire());
  EXPECT_EQ(journal, (std::vector<std::string>{"busy+", "run", "busy-"}));
  EXPECT_FALSE(t.timer.enabled());
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], Value("p"));
  // The answer is a call into the player, not a return value.
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_FALSE(t.timer.fire());  // disabled: runs once

  sGetFlashXML(t.app, Req({"kup_taxechoixmodele", "x"}));
  EXPECT_EQ(t.timer.interval(), 1000);
}

TEST_F(Dispatcher, MissingBusyIndicatorIsSkippedWithOneLogLine) {
  FlashCall(t.app, Req({"KUP_Echo", "a"}));
  FlashCall(t.app, Req({"KUP_Echo", "b"}));
  EXPECT_EQ(t.flash.returns.size(), 2u);
  int busyLines = 0;
  for (auto& l : t.log.lines("core"))
    if (l.find("AfficherBusy") != std::string::npos || l.find("MasquerBusy") != std::string::npos) ++busyLines;
  EXPECT_EQ(busyLines, 1);
}

TEST_F(Dispatcher, PerformanceLogTimesEachRequest) {
  sGetFlashXML(t.app, Req({"KUP_Echo", "a"}));
  EXPECT_TRUE(t.app.perfWindow.empty());
  t.app.G_Perf = true;
  sGetFlashXML(t.app, Req({"KUP_Echo", "a"}));
  ASSERT_EQ(t.log.lines("perf").size(), 1u);
  EXPECT_EQ(t.log.lines("perf")[0].rfind("KUP_Echo : ", 0), 0u);
  EXPECT_NE(t.app.perfWindow.find(" ms"), std::string::npos);
}
