// The office with windows (desktop mode) drawn in memory by its own "svp"
// plugin: an office that stops answering during a call is killed only when
// the person agrees; until then the call waits, and goes on if it answers.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "office/lo/LibreOffice.h"
#include "tests/office_lo/LoTestSupport.h"

using namespace lotest;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KUP_SOUS_ASAN 1
#endif
#endif

TEST(LoDesktopSupervision, AnOfficeThatStopsAnsweringIsKilledOnlyWhenThePersonAgrees) {
#ifdef KUP_SOUS_ASAN
  // The liveness question still in flight when the office is killed ends in
  // the office's bridge (libgcc3_uno's getCaughtException), which now and
  // then reads a null pointer under AddressSanitizer: outside our code. The
  // plain run keeps the test.
  GTEST_SKIP() << "the office's bridge under AddressSanitizer";
#endif
  ::setenv("SAL_USE_VCLPLUGIN", "svp", 1);
  kup::lo::OfficeOptions o = kup::lo::OfficeOptions::FromEnvironment();
  o.visible = true;
  o.callTimeoutMs = 1500;
  o.pingTimeoutMs = 1000;
  std::vector<std::string> questions;
  long pid = 0;
  // First question: the person says no, and the office comes back meanwhile.
  // Second: yes.
  o.askDiscard = [&](const std::string& q) {
    questions.push_back(q);
    if (questions.size() == 1) ::kill(static_cast<pid_t>(pid), SIGCONT);
    return questions.size() >= 2;
  };
  auto office = std::make_shared<kup::lo::Office>(o);
  LoApp t(4, office);
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("");
  pid = office->pid();
  ASSERT_GT(pid, 0);

  Freeze(pid);
  w.InsertText("attendu", false, nullptr);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_NE(questions[0].find("ne répond plus"), std::string::npos);
  EXPECT_TRUE(t.errors().empty()) << t.errors().front();
  EXPECT_EQ(office->pid(), pid);
  EXPECT_FALSE(w.Saved());  // the text went in

  Freeze(pid);
  w.InsertText("jamais", false, nullptr);
  EXPECT_EQ(questions.size(), 2u);
  ASSERT_FALSE(t.errors().empty());
  EXPECT_NE(t.errors().back().find("<string>462</string>"), std::string::npos) << t.errors().back();
  EXPECT_TRUE(Reaped(pid));
  ::unsetenv("SAL_USE_VCLPLUGIN");
}
