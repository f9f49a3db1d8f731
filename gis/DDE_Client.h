#pragma once
// The DDE partners built from the settings, their link controls, the
// critical message box of the link, and the conversion of parcel references
// between the partners' layouts.
#include <cstdint>
#include <memory>
#include <string>

#include "core/App.h"
#include "gis/GisState.h"
#include "gis/Str_DDESRV.h"

namespace kup {

// Critical box with an OK button, titled "Erreur lien DDE".
void MsgBoxCritique(App& app, const std::string& texte);

// Creates a partner on the given link control (index in KUP_MDI.Txt_DDE),
// link closed, and adds it to G_ColClientsDDE under the name (457 when the
// name is already there).
void DDE_ClientCreer(App& app, const std::string& nom, const std::string& appli, const std::string& exe,
                     const std::string& topic, int controle, int32_t timeout, const std::string& dpt,
                     const std::string& sepDptCom, const std::string& commune, const std::string& sepComPref,
                     const std::string& prefixe, const std::string& sepPrefSec, const std::string& section,
                     const std::string& sepSecNum, const std::string& numero);

// Unloads the controls of the previous load, then builds the partners of the
// list "NEW;" from the settings; returns G_ColClientsDDE. Nothing trapped.
std::shared_ptr<ColPartenaires> DDE_ClientsCharger(App& app);

// G_ColClientsDDE, created empty when unset.
std::shared_ptr<ColPartenaires> ColClientsDDE(App& app);

// The partner of G_ColPartenaires under that name: raises 91 before the link
// initialisation, 5 when the name is absent.
std::shared_ptr<Str_DDESRV> Partenaire(App& app, const std::string& nom);

// The reference rewritten from the source layout into the target layout.
// Never fails, whatever the reference holds.
std::string sRefCadConvertir(const Str_DDESRV& cible, const Str_DDESRV& source, const std::string& ref);
// The numeric value of the text written at least `largeur` digits wide
// (0 or 1: unpadded, "" for zero; 2 to 5: zero-padded); any other width
// gives the text back unchanged.
std::string sFormatNum(const std::string& texte, int32_t largeur);

// ---- the Txt_DDE control array of the main window
// Element 0 exists from the start; created here when the host has not.
void AssurerTxtDDE0(App& app);
// Load Txt_DDE(index): 360 when already loaded, 91 without a DDE platform.
platform::IDdeLink& ChargerTxtDDE(App& app, int index);
// Unload Txt_DDE(index): 340 when not loaded, 362 for element 0.
void DechargerTxtDDE(App& app, int index);

}  // namespace kup
