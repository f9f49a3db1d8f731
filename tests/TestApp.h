#pragma once
// An application object on fakes, for tests. Each test builds its own:
//
//   TestApp t;
//   t.fs.put("C:\\Modeles\\a.dot", "...");
//   t.msgbox.answers.push_back(kup::platform::mb::Yes);
//   SomeHandler(t.app, args);
//   EXPECT_EQ(t.flash.returnValue(), "...");
//
// The references reach the fakes inside t.app.pf. The DDE slot stays empty
// unless a test puts a fake there.
#include "core/App.h"
#include "platform/FakePlatform.h"

struct TestApp {
  kup::platform::FakePlatform fakes;
  kup::App app;
  kup::platform::FakeFileSystem& fs;
  kup::platform::FakeEnvironment& env;
  kup::platform::FakeRandom& random;
  kup::platform::FakeMessageBox& msgbox;
  kup::platform::FakeCommonDialog& dialog;
  kup::platform::FakeClipboard& clipboard;
  kup::platform::FakeWindowSystem& windows;
  kup::platform::FakeProcessLauncher& processes;
  kup::platform::FakeShell& shell;
  kup::platform::FakeDynamicLibraries& libraries;
  kup::platform::FakeLog& log;
  kup::platform::FakeFlash& flash;
  kup::platform::FakeTimer& timer;

  TestApp()
      : app(kup::platform::MakeFakePlatform(&fakes)),
        fs(*fakes.fs),
        env(*fakes.env),
        random(*fakes.random),
        msgbox(*fakes.msgbox),
        dialog(*fakes.dialog),
        clipboard(*fakes.clipboard),
        windows(*fakes.windows),
        processes(*fakes.processes),
        shell(*fakes.shell),
        libraries(*fakes.libraries),
        log(*fakes.log),
        flash(*fakes.flash),
        timer(*fakes.timer) {}
  TestApp(const TestApp&) = delete;
  TestApp& operator=(const TestApp&) = delete;
};
