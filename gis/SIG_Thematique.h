#pragma once
// Thematic analysis handed to the GIS as a file.
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// Writes the text (lines separated by CR LF) to a new ".txt" file of the
// temporary folder, converting the parcel references of its "VAL=" lines
// into the GIS layout when asked, then tells the GIS to read the file. No
// answer. A failure shows "Erreur DDE_Fichier " and its description and
// the work goes on with the next step.
void KUP_LireThematiqueFichier(App& app, const std::string& argument0, const std::string& texte, bool conversion);
void RegisterSIG_Thematique(CommandTable& table);

}  // namespace kup
