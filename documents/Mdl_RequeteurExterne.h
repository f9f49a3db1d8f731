#pragma once
// Query workbooks: a query's data set and parameters laid into a prepared
// spreadsheet template whose formulas refer to named ranges. The data set
// goes to the sheet "Donnees", the parameters to "Parametres"; every data
// column and parameter cell is named, and the template's formula rows are
// extended to one per record.
#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

void KUP_RequeteurListeModele(App& app, Args& args);
void KUP_RequeteurOuvrir(App& app, Args& args);

// The listing sheet of a formula range name: "Listing " and the text after
// the last "_" of the name, "Listing 1" for a name without "_".
std::string sFeuilleListing(const std::string& nomFormule);

void RegisterMdl_RequeteurExterne(CommandTable& table);

}  // namespace kup
