#pragma once
// Helpers the document commands share: the template and file listings sent
// to the Flex interface, and the conversions between a file and its base64
// text (compressed through the attachment library, or plain).
#include <string>

#include "core/App.h"
#include "vb/Value.h"

namespace kup {

// Templates of one kind: template root\preferred sub-folder\kind folder\,
// or template root\kind folder\ when the first holds no file. One element:
// folder & Chr(241) & name records joined by Chr(242); with nothing listed,
// the searched folder & Chr(241). Names must end with one of the extensions
// (unless element 0 of the list is "") and begin with prefix & "_" or "AA_"
// (unless the prefix is ""). `inutilise` is accepted and ignored.
// Failures are reported under "sCommunListeModele" and give an empty array.
StrArray sCommunListeModele(App& app, const std::string& dossierType, const std::string& prefixe,
                            const std::string& sousDossier, const std::string& inutilise,
                            const StrArray& extensions);

// Files of a folder whose upper-cased name holds the upper-cased filter from
// the second character on ("" lists all). One element: the records, or "".
StrArray sCommunListeFichier(App& app, const std::string& dossier, const std::string& filtre);

// Compressed base64 text of a file; "" on failure.
std::string sCommunFichierVersB64(App& app, const std::string& chemin);

// Writes the file a compressed base64 text holds into the TEMP folder and
// returns TEMP & "\" & its name. When the library could not write it the
// path ends with "\". The file stays there for the caller to delete.
std::string sCommunB64VersFichier(App& app, const std::string& texteB64);

// Writes the decoded plain base64 text to dossier & "\" & nomFichier (a bare
// name) and returns that path. A name that is not a bare name, a missing
// library or a file the library could not write raise a VbError to the
// caller (52, 48/453, 75, 61 when the disk is full): no path is ever
// returned for an unwritten file.
std::string sCommunB64VersFichier2(App& app, const std::string& nomFichier, const std::string& dossier,
                                   const std::string& texteB64);

}  // namespace kup
