#pragma once
// Tax documents: spreadsheet workbooks made from tax or participation
// templates. Opening a template or a stored document, filling its named
// ranges, reading them back with the document as compressed base64, the
// template lists and dialog, and the small topmost panel the main window
// becomes while the spreadsheet is worked on.
#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// ---- documents
void KUP_TaxeInitialiser(App& app, Args& args);
void KUP_TaxeCharger(App& app, Args& args);
void KUP_TaxeOuvrir(App& app, Args& args);
void KUP_TaxeOuvrirV2(App& app, Args& args);
void KUP_TaxeValider(App& app, Args& args);

// ---- templates and window layout
void KUP_TaxeListeModele(App& app, Args& args);
void KUP_PartListeModele(App& app, Args& args);
void KUP_TaxeChoixModele(App& app, Args& args);  // deferred: answers by a call into the player
void KUP_TaxeEntrer(App& app, Args& args);
void KUP_TaxeSortir(App& app, Args& args);

void RegisterMdl_TaxeExterne(CommandTable& table);

}  // namespace kup
