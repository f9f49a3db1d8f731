#pragma once
// The platform of the running program. The host adds what it owns itself:
// the Flash control (the UI bridge), the timer, the window registry and DDE.
#include <string>

#include "platform/Platform.h"
#include "platform/PathText.h"

namespace kup::platform {

// Environment variables read by FromEnvironment:
//   KUP_DRIVES      drive letters to host folders, "C=/srv/c;D=/mnt/d"
//   KUP_DRIVE_ROOT  where unlisted drives live: <root>/<letter>
//                   (default $HOME/.korvane/drives)
//   KUP_UNC_ROOT    where "\\server\share" lives: <root>/<server>/<share>
//                   (default $HOME/.korvane/unc)
//   KUP_LOG         log file (default: standard error)
// The common dialog also reads KUP_DIALOG_ANSWER at each ShowOpen.
struct RealPlatformConfig {
  DriveMap drives;
  std::string logPath;  // host path; "" for standard error
  int settleMs = 200;   // how long a started program is watched before it counts as ready

  static RealPlatformConfig FromEnvironment();
};

// Every slot but flash, timer, windows and dde.
kup::Platform MakeRealPlatform(const RealPlatformConfig& config);

}  // namespace kup::platform
