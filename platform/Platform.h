#pragma once
// The slots of a running platform, one per stand-in. The application object
// owns one; the real and the fake wirings fill it.
#include <memory>

#include "platform/Dde.h"
#include "platform/Interfaces.h"

namespace kup {

// Everything the platform provides, owned by the application object.
struct Platform {
  std::unique_ptr<platform::IFileSystem> fs;
  std::unique_ptr<platform::IEnvironment> env;
  std::unique_ptr<platform::IRandom> random;
  std::unique_ptr<platform::IMessageBox> msgbox;
  std::unique_ptr<platform::ICommonDialog> dialog;  // KUP_MDI.CommonDialog1
  std::unique_ptr<platform::IClipboard> clipboard;
  std::unique_ptr<platform::IWindowSystem> windows;
  std::unique_ptr<platform::IProcessLauncher> processes;
  std::unique_ptr<platform::IShell> shell;
  std::unique_ptr<platform::IDynamicLibraries> libraries;
  std::unique_ptr<platform::ILog> log;
  std::unique_ptr<platform::IFlash> flash;         // the Flash control
  std::unique_ptr<platform::ITimer> timer;         // KUP_MDI.TimerAppelDiffere
  std::unique_ptr<platform::IDdeSystem> dde;
  platform::RegionalProfile regional;
};

}  // namespace kup
