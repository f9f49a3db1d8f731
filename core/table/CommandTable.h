#pragma once
#include <memory>

#include "core/Dispatcher.h"

namespace kup {
// The full table of the program's commands.
std::shared_ptr<CommandTable> BuildCommandTable();
// Sets app.commands and app.hooks to the program's modules.
void InstallModules(App& app);
}  // namespace kup
