#pragma once
// The GIS link's commands and hooks, for the command table.
#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// Every GIS command of the command table.
void RegisterGis(CommandTable& table);
// The hooks the core calls (DDE_Initialiser for MODE "2") and element 0 of
// the main window's Txt_DDE control array.
void InstallGisHooks(App& app);

}  // namespace kup
