#pragma once
// Map commands of the Flex interface sent to the GIS ("NEW") and to the
// cadastral viewer ("ZEZORA") as DDE execute strings through the partners.
#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

void ZezORA_ParcelleMultipleCadrer(App& app, Args& args);
void SIG_NomDossierCadrer(App& app, Args& args);
void SIG_ImplanterDossier(App& app, Args& args);
void SIG_CoordonneesCadrer(App& app, Args& args);
// Also called by the colour-theme window with the reference typed in it.
void SIG_ParcelleUniqueCadrer(App& app, Args& args);
// SIG_FusionCarto and SIG_FusionCartoParcelle, in every mode; answers itself.
void SIG_FusionCartoParcelle(App& app, Args& args);
void SIG_ParcelleMultipleCadrer(App& app, Args& args);

// The map commands, routed by MODE: the handlers above when it is "2", the
// template route (GisState::routeModele) otherwise.
void RegisterSIG_Partenaire(CommandTable& table);

}  // namespace kup
