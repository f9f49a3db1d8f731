#pragma once
// File attachments: the attachment envelope, the three Flex commands that
// count, show and attach a dossier's files through the attachment library
// and its command-line companion, the loader of the library and the
// single-sign-on decryption.
#include <cstdint>
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"
#include "vb/Value.h"

namespace kup {

// The companion program that attaches one file, in the program folder.
inline constexpr const char* kAttacheLigneCommande = "AttacheLigneCommande.exe";

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

// The attachment envelope of a dossier, one line of XML. The caller's
// identifier is shortened in place (unless CODE_INSTRUCTEUR is set: when it
// has four words or more and the fourth is 5 characters long, every
// occurrence of that word becomes its last 4 characters), and each storage
// folder of app.G_RepStockage gets a trailing "\" that it keeps. Values are
// escaped for XML, so that an identifier or a folder holding "&", "<" or a
// double quote still gives an envelope the library can read.
std::string sXMLAttacheFichier(App& app, std::string& identifiant, const std::string& habilitation);

// The rights word of the envelope: "0" Rien, "1" Lecture, anything else Ecriture.
std::string MotHabilitation(const std::string& habilitation);

// The library's count of the dossier's attachments (its entry Count); -1
// when the library cannot tell. Raises 48/453 when the library or the entry
// is missing.
int32_t lAttFicCompter(App& app, const std::string& enveloppe);

// Starts AttacheLigneCommande.exe from the program folder, without waiting,
// with the parameter text v1,v2,v3,v4,v5,envelope: commas inside the values
// and the envelope become ";" and the envelope loses its line breaks, so
// the text always holds exactly five commas (the caller's variables keep
// these changes). The shell gets the text quoted as one command-line
// argument, so that the program receives it unchanged. While the program is
// missing a Retry/Cancel box is shown; anything but Retry gives -1.
// Otherwise the shell's result (above 32 when started). Failures are raised
// to the caller.
int32_t lLancerAttacheLigneCommande(App& app, std::string& enveloppe, std::string& v1, std::string& v2,
                                    std::string& v3, std::string& v4, std::string& v5);

// KUP_AttFicCompter(identifier, rights code): replies the identifier as
// shortened, the rights code, the count (-1 answered as 0) and two empty
// slots. Nothing at all while attachments are switched off.
void KUP_AttFicCompter(App& app, std::string identifiant, const std::string& habilitation);

// KUP_AttFicAfficher(identifier, rights code), run from the deferred-call
// timer: shows the library's attachment window, counts again and calls
// "KUP_AttFicMasquer" into the player. Nothing while switched off.
void KUP_AttFicAfficher(App& app, std::string identifiant, const std::string& habilitation);

// KUP_AttFicAttacher(identifier, rights code, file path, 3 further values):
// checks the file and the rights (messages through TraiterErreur), starts
// the companion program when attachments are on, and replies identifier,
// rights code, the launcher's result ("" when not started), "", "".
void KUP_AttFicAttacher(App& app, const std::string& identifiant, const std::string& habilitation,
                        const std::string& chemin, const Value& valeur4, const Value& valeur5, const Value& valeur6);

// The three attachment commands, each run only when argument 0 (the
// dossier identifier) is not empty; KUP_AttFicAfficher deferred by 500 ms.
void RegisterAttacheFichier(CommandTable& table);

}  // namespace kup
