#pragma once
// Theme and colour commands to the GIS (partner "NEW"), whatever MODE holds:
// each sends one execute string, without waiting, and brings the GIS window
// up. Each traps its own errors and reports them under its own name.
#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

void SIG_DemanderCouleur(App& app);
// a(0) theme name, a(1) colour number, a(2) third value.
void SIG_CreerCollection(App& app, const Args& a);
void SIG_ParcelleInitialiser(App& app);
// Exactly one element: a(0) parcel reference of the application's layout.
void SIG_ParcelleAjouter(App& app, const Args& a);
void SIG_ParcelleCadrer(App& app);
void SIG_SupprimerTheme(App& app, const Args& a);
// a(0) theme name, a(1) flag.
void SIG_AfficherTheme(App& app, const Args& a);
void SIG_MasquerTheme(App& app, const Args& a);

// ZezORA_ThematiqueProprietaire: with MODE "2" the parcel rows go to the
// colour-theme window (GisState::setTabThematiqueZezora) and the palette is
// asked for; the default answer in every mode.
void ZezORA_ThematiqueProprietaire(App& app, Args& args);
void RegisterSIG_Theme(CommandTable& table);

}  // namespace kup
