#pragma once
// A platform made of fakes, with typed access to each so that tests can
// script and inspect them after the platform has moved into an App:
//
//   kup::platform::FakePlatform fakes;
//   kup::App app(kup::platform::MakeFakePlatform(&fakes));
//   fakes.msgbox->answers.push_back(kup::platform::mb::No);
//
// tests/TestApp.h wraps exactly this.
#include "platform/Platform.h"
#include "platform/FakeClipboard.h"
#include "platform/FakeCommonDialog.h"
#include "platform/FakeDynamicLibraries.h"
#include "platform/FakeEnvironment.h"
#include "platform/FakeFileSystem.h"
#include "platform/FakeFlash.h"
#include "platform/FakeLog.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeProcessLauncher.h"
#include "platform/FakeRandom.h"
#include "platform/FakeShell.h"
#include "platform/FakeTimer.h"
#include "platform/FakeWindowSystem.h"

namespace kup::platform {

// Pointers into the platform that MakeFakePlatform built (owned by it, and
// then by the App).
struct FakePlatform {
  FakeFileSystem* fs = nullptr;
  FakeEnvironment* env = nullptr;
  FakeRandom* random = nullptr;
  FakeMessageBox* msgbox = nullptr;
  FakeCommonDialog* dialog = nullptr;
  FakeClipboard* clipboard = nullptr;
  FakeWindowSystem* windows = nullptr;
  FakeProcessLauncher* processes = nullptr;
  FakeShell* shell = nullptr;
  FakeDynamicLibraries* libraries = nullptr;
  FakeLog* log = nullptr;
  FakeFlash* flash = nullptr;
  FakeTimer* timer = nullptr;
};

// Every slot filled with a fake except dde (left empty). The file system
// already holds the program folder "C:\Korvane" and the temporary folder
// "C:\Temp" that the fake environment reports.
kup::Platform MakeFakePlatform(FakePlatform* out = nullptr);

}  // namespace kup::platform
