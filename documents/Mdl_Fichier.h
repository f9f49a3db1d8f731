#pragma once
// Opens a document for the user: through the desktop's opener (open or
// print) or in the word processor.
#include <cstdint>
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// Opening modes of FichierOuvrir.
constexpr int16_t kOuvrirShell = 1;       // the shell verb "open"
constexpr int16_t kOuvrirEditeur = 2;     // the word processor, in front
constexpr int16_t kOuvrirImprimer = 3;    // the shell verb "print"

// Opens the path in the given mode (any mode other than 2 and 3 opens it
// through the shell). Never fails: a step that fails is skipped.
void FichierOuvrir(App& app, const std::string& path, int16_t mode);

// KUP_OuvrirCourrier and appelAide: (0 path, 1, 2 not read, 3 optional mode).
void KUP_OuvrirCourrier(App& app, Args& args);

void RegisterMdl_Fichier(CommandTable& table);

}  // namespace kup
