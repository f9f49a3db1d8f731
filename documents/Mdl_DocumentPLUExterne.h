#pragma once
// The documents of the local planning regulation: every file of the folder
// named by the setting REP_FICREGLEMENT, listed for the Flex interface.
#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// KUP_ListeDocumentsReglement (arguments ignored): replies the command's
// name, the file list of the folder (records folder & Chr(241) & name
// joined by Chr(242)), "", "".
void KUP_ListeDocumentsReglement(App& app, Args& args);

void RegisterMdl_DocumentPLUExterne(CommandTable& table);

}  // namespace kup
