#pragma once
// The partner route of the GIS link: partners from the settings, the two
// reference layouts of the application, and the main window as DDE source.
#include "core/App.h"

namespace kup {

// Run by KUP_Parametres when MODE is "2", at every call. Nothing trapped: a
// failure ends it at that step (partners created so far stay; the main
// window keeps its topic and link mode).
void DDE_Initialiser(App& app);

}  // namespace kup
