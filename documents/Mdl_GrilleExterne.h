#pragma once
// Grid export: a result grid of the interface written to a temporary text
// file and opened in the spreadsheet, which is then left to the user.
#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

void KUP_GrilleExporterTableur(App& app, Args& args);

void RegisterMdl_GrilleExterne(CommandTable& table);

}  // namespace kup
