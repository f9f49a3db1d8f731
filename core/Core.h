#pragma once
// Core services the command modules use: reply and call paths to the Flex
// interface, the error and trace routines, the settings reader, and the
// window, process and byte utilities.
#include <cstdint>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/Value.h"

namespace kup {

// ---- reply and call paths
// Reply XML of an array: one <property id=...> per element, each value
// trimmed, only "<" escaped; "" for an empty array.
std::string sSetReturnValueXML(const StrArray& values);
// A call into the player: values neither trimmed nor escaped.
std::string sInvokeXML(const std::string& name, const StrArray& values);
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

// ---- temporary files
// TEMP folder & "\" & CLng(1000000 * Rnd + 1) & extension (extension with
// its dot). A name that already exists is drawn again.
std::string sFichierTemporaire(App& app, const std::string& extension, bool reseed = true);
// Joins a folder and a name with exactly one "\" between them.
std::string sJoindreChemin(const std::string& folder, const std::string& name);

// ---- window and platform helpers
void FenetrePremierPlan(App& app, long hwnd, bool flag);
void EffacerBarreControle(App& app, long hwnd);
void AfficherBarreControle(App& app, long hwnd);
long lTrouverFenetre(App& app, const std::string& title);
void sub_AfficherFenetre(App& app, long hwnd);
long LancerProgramme(App& app, const std::string& program, const std::string& parameters);

// ---- bytes
// Zero-terminated 8-bit form (Windows-1252) of a text.
std::string OctetsDepuisChaine(const std::string& text);
// Characters of the bytes up to the first zero byte or the last index.
std::string sOctetsVersChaine(const std::string& bytes);
std::string LireFichierBinaire(App& app, const std::string& path);
std::string encodeBase64(const std::string& bytes);
// Standard base64 decoding (blanks and line ends ignored); raises 5 on bad text.
std::string decodeBase64(const std::string& text);

// ---- tokeniser (state kept in the App between calls)
std::string GEN_DecomposerLigne(App& app, const std::string& text, const std::string& skipSet,
                                const std::string& stopSet);

}  // namespace kup
