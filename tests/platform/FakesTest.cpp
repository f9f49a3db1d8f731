#include <gtest/gtest.h>

#include "vb/VbError.h"
#include "platform/FakeFlash.h"
#include "platform/FakeProcessLauncher.h"
#include "platform/FakeTimer.h"
#include "platform/FakeWindowSystem.h"

using namespace kup::platform;

TEST(Fakes, TimerFiresOnlyWhileEnabled) {
  FakeTimer t;
  int runs = 0;
  t.onTimer = [&] {
    ++runs;
    t.setEnabled(false);
  };
  EXPECT_FALSE(t.fire());
  t.setInterval(500);
  t.setEnabled(true);
  EXPECT_TRUE(t.fire());
  EXPECT_FALSE(t.fire());
  EXPECT_EQ(runs, 1);
}

TEST(Fakes, FlashRecordsAndFailsOnDemand) {
  FakeFlash f;
  f.SetReturnValue("a");
  f.SetReturnValue("b");
  EXPECT_EQ(f.returnValue(), "b");
  f.answers.push_back("<string>ok</string>");
  EXPECT_EQ(f.CallFunction("<invoke/>"), "<string>ok</string>");
  f.failCalls = true;
  EXPECT_THROW(f.CallFunction("<invoke name=\"x\"/>"), kup::VbError);
  EXPECT_EQ(f.calls.size(), 2u);
}

TEST(Fakes, WindowsAndProcesses) {
  FakeWindowSystem w;
  long mine = w.registerWindow("Korvane");
  long gis = w.addForeignWindow("SIG");
  EXPECT_EQ(w.findWindow("SIG"), gis);
  EXPECT_EQ(w.findWindow("sig"), 0);
  long style = w.getWindowLong(mine, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  w.setWindowLong(mine, GWL_STYLE, style & ~WS_SYSMENU);
  EXPECT_FALSE(w.getWindowLong(mine, GWL_STYLE) & WS_SYSMENU);
  w.showWindowAsync(gis, 0);
  w.showWindowAsync(gis, 9);
  EXPECT_EQ(w.get(gis)->shows, (std::vector<int>{0, 9}));

  FakeProcessLauncher p;
  p.startResults = {false};
  EXPECT_EQ(p.start({"a"}), 0);
  long pid = p.start({"b", "x"});
  EXPECT_TRUE(p.waitForInputIdle(pid, -1));
  int code = -1;
  EXPECT_TRUE(p.waitForExit(pid, -1, &code));  // never hangs a test
  EXPECT_EQ(code, 0);
  EXPECT_EQ(p.attempts.size(), 2u);
}
