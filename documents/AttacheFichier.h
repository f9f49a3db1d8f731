#pragma once
// File attachments: the loader of the attachment library and the
// single-sign-on decryption.
#include <string>

#include "core/App.h"

namespace kup {

// Loads a library from the program folder, else by its plain name through
// the system search path, and looks the entry up. The library's handle, 0
// when it cannot be loaded (errors reported under "loadProcInDLL").
long loadProcInDLL(App& app, const std::string& fichier, const std::string& entree);

// Clear text of a base64 text encrypted with the key (at most 1024
// characters; "" when the key is wrong or the text damaged). Failures to
// reach the library are raised to the caller.
std::string sDecrypterChaineSSO(App& app, const std::string& texteB64, const std::string& cle);

// Address of an entry of the attachment library (loaded once per App).
// Raises 48 when the library cannot be loaded, 453 when it lacks the entry.
void* EntreeAttacheFichier(App& app, const std::string& entree);

// Installs loadProcInDLL and sDecrypterChaineSSO into app.hooks.
void InstallAttacheFichierHooks(App& app);

}  // namespace kup
