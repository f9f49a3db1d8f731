#include "host/HostPlatform.h"

#include "platform/RealDde.h"
#include "platform/RealPlatform.h"
#include "platform/RealWindowSystem.h"

namespace kup::host {

HostPlatform MakeHostPlatform() {
  HostPlatform h;
  h.pf = platform::MakeRealPlatform(platform::RealPlatformConfig::FromEnvironment());
  auto windows = std::make_unique<platform::RealWindowSystem>();
  auto dde = std::make_unique<platform::RealDdeSystem>();
  h.windows = windows.get();
  h.dde = dde.get();
  // Hide/restore requests from other programs arrive on the DDE source.
  dde->onShowRequest = [w = h.windows](long hwnd, int cmd) { w->applyShow(hwnd, cmd); };
  h.pf.windows = std::move(windows);
  h.pf.dde = std::move(dde);
  return h;
}

}  // namespace kup::host
