#pragma once
#include "core/Dispatcher.h"

namespace kup {
// The container's own commands: the settings, single sign-on and "unload".
void RegisterMdl_Core(CommandTable& table);
}  // namespace kup
