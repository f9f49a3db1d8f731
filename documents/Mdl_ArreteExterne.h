#pragma once
// Decrees: the whole life of a decree in the word processor as the Flex
// interface drives it. The main window turns into a small panel above the
// word processor while the decree is edited; a decree comes from a template,
// from a saved copy (compressed base64) or from RTF text with V2 names; its
// merge fields and bookmarks are reported, the values the Flex interface
// sends back are merged into it, and it is shown, printed or saved back as
// compressed base64; standard texts are inserted at the cursor.
#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// ---- editing panel (both answer [name, inner width, inner height, "", ""])
void KUP_ArreteEntrer(App& app, Args& args);  // (width, height) in pixels
void KUP_ArreteSortir(App& app, Args& args);  // (width, height) in pixels; silent on failure

// ---- opening and field scan (the names reply KUP_ArreteValeursChampsSignets)
void KUP_ArreteListeModele(App& app, Args& args);     // (kind folder, prefix, preferred sub-folder)
void KUP_ArreteInitialiser(App& app, Args& args);     // (template path)
void KUP_ArreteCharger(App& app, Args& args);         // (compressed base64 decree)
void KUP_ArreteChargerRTF(App& app, Args& args);      // (RTF text[, template code])
void KUP_ArreteRelancerFusion(App& app, Args& args);  // scans the open decree again

// ---- values, merge, save and print: (merge-field values, bookmark values)
void KUP_ArreteOuvrir(App& app, Args& args);
void KUP_ArreteImprimer(App& app, Args& args);
void KUP_ArreteSauver(App& app, Args& args);  // answers its own failures
void KUP_ArreteEstModifie(App& app, Args& args);
void KUP_ArreteSupprimer(App& app, Args& args);

// ---- insertion at the cursor (no answer)
void KUP_ArreteInsererRTF(App& app, Args& args);
void KUP_ArreteInsererTexte(App& app, Args& args);
void KUP_ArreteInsererArrete(App& app, Args& args);  // (compressed base64 decree)

void RegisterMdl_ArreteExterne(CommandTable& table);

}  // namespace kup
