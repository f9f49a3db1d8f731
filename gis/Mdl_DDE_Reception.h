#pragma once
// The DDE commands the GIS and the cadastral viewer send to the main
// window: the colour palette, bringing the window forward, the constraint
// import, and the selections and work-list commands forwarded to the Flex
// interface as calls into the player.
#include <cstdint>
#include <string>

#include "core/App.h"

namespace kup {

// Accepts the string (flag 0), runs the command it names and, while the
// main window is visible, brings the window back to the user.
void DDE_ReceptionKUP(App& app, const std::string& commande, int16_t& annulation);

// ---- forwards to the Flex interface (each reports its own failures)
void ZezORA_ParcelleAjouter(App& app, const std::string& valeur);
void ZezORA_ParcelleUniqueRechercher(App& app, const std::string& valeur);
void ZezORA_ParcIndividuParParcRechercher(App& app, const std::string& valeur);
void ZezORA_ParcelleRechercher(App& app);
void ZezORA_ParcelleInitialiser(App& app);
void ZezORA_VoieLibelleRechercher(App& app);
void ZezORA_VoieLibelleInitialiser(App& app);
void ZezORA_VoieLibelleAjouter(App& app, const std::string& valeur);
void KUP_DossierParParcelleRechercher(App& app, const std::string& valeur);
void KUP_DossierSelectionRapide(App& app, const std::string& valeur);
void KUP_ListeDossierParNomAjouter(App& app, const std::string& valeur);
void KUP_ListeDossierParParcelleInitialiser(App& app);
void KUP_ListeDossierParParcelleAjouter(App& app, const std::string& valeur);
void KUP_ListeDossierParParcelleAjouter_Old(App& app, const std::string& valeur);
void KUP_ListeDossierParParcelleSelectionner(App& app);

// ---- commands received and left without effect
void KUP_DossierParVoieRechercher(App& app, const std::string& voie, const std::string& commune);
void KUP_DossierParDemandeurRechercher(App& app, const std::string& nom, const std::string& prenom);
void KUP_ListeDossierParCritereAjouter(App& app, const std::string& a, const std::string& b, const std::string& c,
                                       const std::string& d, const std::string& e);
void KUP_ListeDossierParRequeteAjouter(App& app, const std::string& requete);

// The main window to the front: topmost, then not topmost again.
void ZezORA_ApplicationActiver(App& app);

// The source's execute strings go to DDE_ReceptionKUP; with the template
// route, the colour-theme window's hand-over and the palette it reads.
void InstallReceptionHooks(App& app);

}  // namespace kup
