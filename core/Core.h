#pragma once
// Core services the command modules use: reply and call paths to the Flex
// interface, the error and trace routines, the settings reader, and the
// window, process and byte utilities.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/App.h"
#include "vb/Value.h"

namespace kup {

// ---- reply and call paths
// Reply XML of an array: one <property id=...> per element, each value
// trimmed and written as AjouterTexteXML writes it; "" for an empty array.
std::string sSetReturnValueXML(const StrArray& values);
// A call into the player: values not trimmed, written as AjouterTexteXML
// writes them.
std::string sInvokeXML(const std::string& name, const StrArray& values);
// Text inside an element of a reply or call, so that any XML reader takes
// it: "&", "<" and ">" as entities, and each character XML forbids (the
// controls other than tab, LF and CR; U+FFFE, U+FFFF) replaced by U+FFFD,
// as invalid UTF-8 is on its way out. CR stays as it is: the interface reads
// texts as they were sent. Appended to out.
void AjouterTexteXML(std::string& out, std::string_view v);
// The same written at o, which has room for kTexteXMLMax bytes per byte of
// v; returns the end of what was written.
constexpr size_t kTexteXMLMax = 5;
char* EcrireTexteXML(char* o, std::string_view v);
// The high bit of each of the eight bytes of w (text, in memory order) that
// is an ASCII byte EcrireTexteXML may change (a control, "&", "<" or ">"),
// and of no other: for writers that copy text eight bytes at a time and hand
// those bytes to EcrireTexteXML.
inline uint64_t OctetsASCIIRetouchesXML(uint64_t w) {
  constexpr uint64_t uns = 0x0101010101010101ull, hauts = 0x8080808080808080ull;
  auto nuls = [](uint64_t x) { return ~(((x & ~hauts) + ~hauts) | x) & hauts; };
  // Below 0x20: adding 0x60 to the low seven bits leaves the high bit clear.
  uint64_t controles = ~((w & ~hauts) + uns * 0x60) & ~w & hauts;
  return controles | nuls(w ^ (uns * '&')) | nuls(w ^ (uns * '<')) | nuls(w ^ (uns * '>'));
}
// Shorthand: sSetReturnValueXML then the Flash control's SetReturnValue.
void RenvoyerReponse(App& app, const StrArray& values);
// Traces the call text through DebugKUP and sends it through CallFunction.
void KUP_EnvoyerChaineVersFlex(App& app, const std::string& callText);
// Answers [every argument as text, "", ""]; traps its own errors.
void RenvoyerValeurFlexDefaut(App& app, const Args& args);

// ---- errors and traces
// -404: critical box titled with the source; 440: ignored; anything else:
// the call KUP_ErreurContainer [source, number, description]. Never fails.
void TraiterErreur(App& app, const std::string& source, int32_t number, const std::string& description);
// Trace line: name & " : " & text, then per argument CR LF, tab, "(" index
// ")=" value ("Null" for Null). Appended with CR LF to the window, which
// keeps its last 65535 characters, and written to the log channel.
void DebugKUP(App& app, const std::string& name, const std::string& text, const Args& args = {});
void PerfKUP(App& app, const std::string& name, const std::string& text, const Args& args = {});

// ---- settings
void Gen_LireParametreKUP(App& app, const std::string& section, const std::string& key, std::string& result,
                          const std::string& defaut);
std::string Gen_LireParametreKUP(App& app, const std::string& section, const std::string& key,
                                 const std::string& defaut = {});
bool Gen_UniformiserValeur(const std::string& text);
void Gen_LireParametres(App& app);
void Gen_InitFichierAttache(App& app);
// Refills the settings store from the parameter text of KUP_Parametres:
// records separated by Chr(241), fields by Chr(240); section, key and value
// in fields 4, 5 and 8 (from 0). Records too short to hold a value are
// skipped; of two records for the same key the first is kept. Returns the
// number of records skipped.
size_t RemplirApParametre(App& app, const std::string& parametres);

// ---- core commands (registered by RegisterMdl_Core)
// KUP_Parametres(parameter text): fills the store, runs the settings reader,
// then starts the GIS route chosen by MODE. No answer.
void KUP_Parametres(App& app, Args& args);
// KUP_UtilisateurUnique(user, password): both decrypted with the built-in keys.
void KUP_UtilisateurUnique(App& app, Args& args);
// "unload": releases the Oracle session and both office drivers and asks the
// host to end the process (App::quitRequested).
void unload(App& app, Args& args);

// ---- start-up
struct LigneCommande {
  std::string args;  // text after -ARGS (the FlashVars)
  std::string swif;  // movie path after -SWIF
  bool debug = false, perf = false;
};
// Finds -ARGS, -SWIF, -DEBUG and -PERF without regard to case. A switch
// counts only as a word of its own; the text of -ARGS and -SWIF runs to the
// next switch, trimmed (surrounding double quotes of the path removed).
LigneCommande AnalyserLigneCommande(const std::string& commandLine);
// The start-up routine: command line, main window, log windows, then the
// catalogue load (hooks.sub_ChargerEquivalences) exactly once. Errors are
// reported under "main". Returns 0. exeName names the default movie
// (exeName & ".swf" in the program folder).
int Main(App& app, const std::string& commandLine, const std::string& exeName = "korvane");

// ---- the attachment library (AttacheFichier.dll in the program folder)
// Address of an entry of the library, nullptr when the library or the entry
// is missing. The library is loaded once per App.
void* pEntreeAttacheFichier(App& app, const std::string& entry);
// The busy indicator; skipped (one log line) when the library lacks it.
void AfficherBusy(App& app);
void MasquerBusy(App& app);

// ---- log sink helper (no-op without a log)
void EcrireLog(App& app, const std::string& channel, const std::string& text);

// ---- temporary files
// TEMP folder & "\" & CLng(1000000 * Rnd + 1) & extension (extension with
// its dot). A name that already exists is drawn again.
// The name is also never one this App handed out before.
// The file is created at once, empty and private to the user, so that
// whatever writes it next (the office, the attachment library) writes our
// own file and never one planted under that name.
std::string sFichierTemporaire(App& app, const std::string& extension, bool reseed = true);
// The same, created holding `bytes`: nothing ever opens it through a link.
std::string sCreerFichierTemporaire(App& app, const std::string& extension, const std::string& bytes,
                                    bool reseed = true);
// Makes a name of TEMP that is not drawn (a copy named after its document)
// ours before the office writes to it: our earlier file or link of that name
// goes, then the file is created new and private. A name that cannot be
// freed (another user's in a shared folder) raises.
void ReserverFichierTemporaire(App& app, const std::string& chemin);
// Joins a folder and a name with exactly one "\" between them.
std::string sJoindreChemin(const std::string& folder, const std::string& name);

// ---- window and platform helpers
void FenetrePremierPlan(App& app, long hwnd, bool flag);
void EffacerBarreControle(App& app, long hwnd);
void AfficherBarreControle(App& app, long hwnd);
long lTrouverFenetre(App& app, const std::string& title);
void sub_AfficherFenetre(App& app, long hwnd);
// Starts program & " " & Trim(parameters) as an argument vector (never a
// shell), waits (bounded) until it is ready for input; 1, or 0 when it
// could not be started.
long LancerProgramme(App& app, const std::string& program, const std::string& parameters);

// ---- bytes
// Zero-terminated 8-bit form (Windows-1252) of a text.
std::string OctetsDepuisChaine(const std::string& text);
// Characters of the bytes from index 0 up to, not including, the first zero
// byte or the last index (the last byte is the buffer's terminator).
std::string sOctetsVersChaine(const std::string& bytes);
std::string LireFichierBinaire(App& app, const std::string& path);
std::string encodeBase64(const std::string& bytes);
// Standard base64 decoding (blanks and line ends ignored); raises 5 on bad text.
std::string decodeBase64(const std::string& text);

// ---- tokeniser (state kept in the App between calls)
// A non-empty text replaces the buffer; an empty text continues in it.
// Passes over characters of skipSet, then tabs, and returns the text up to
// the next character of stopSet (the next call starts after it); "" once
// the buffer is used up.
std::string GEN_DecomposerLigne(App& app, const std::string& text, const std::string& skipSet,
                                const std::string& stopSet);

}  // namespace kup
