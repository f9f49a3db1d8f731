#pragma once
// The platform the container runs on: the real platform of the machine
// plus the window registry and DDE, which the host owns because they are
// served from its event loop (the loop adds the Flash control and the
// timer itself).
#include "core/App.h"

namespace kup::platform {
class RealWindowSystem;
class RealDdeSystem;
}  // namespace kup::platform

namespace kup::host {

struct HostPlatform {
  kup::Platform pf;
  // Inside pf, for the wiring the event loop does.
  platform::RealWindowSystem* windows = nullptr;
  platform::RealDdeSystem* dde = nullptr;
};

// Configured from the environment (KUP_DRIVES, KUP_LOG, KUP_DDE_DIR...).
HostPlatform MakeHostPlatform();

}  // namespace kup::host
