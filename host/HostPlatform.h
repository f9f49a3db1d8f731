#pragma once
// The platform the container runs on (the event loop adds the Flash control
// and the timer).
#include "core/App.h"

namespace kup::host {

kup::Platform MakeHostPlatform();

}  // namespace kup::host
