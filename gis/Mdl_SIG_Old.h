#pragma once
// The template route of the GIS link: the GIS is known only through the text
// templates of section DDE_OLD, whose "?" receives a parcel reference, a
// coordinate pair or a dossier name, executed over one conversation held by
// the main window's link text box (or, with MODE "4", opened as URLs).
#include <cstdint>
#include <string>

#include "core/App.h"
#include "core/Dispatcher.h"

namespace kup {

// The settings of section DDE_OLD as the last reading left them.
struct EtatSigOld {
  int32_t SIGTYPE = 0;  // 2 or more: commands are executed; 4: list variants
  std::string SIGCNT, SIGAPP, SIGCMD, SIGDEEInit, SIGDDEFin, SIGCMDA, SIGCREER;
  std::string SIGCADRERCOORD, SIGCADRERDOSS;
  std::string CODEINSEE;
  int32_t lgCODEINSEE = 0;
  int32_t CAR_NBNUM = 0;
  std::string SIG_SEP;
  std::string DDECONNECT;
  // The link text box (index in KUP_MDI.Txt_DDE); -1 before any reading.
  int lien = -1;
};

EtatSigOld& SigOld(App& app);

// ---- settings and link
// Reads DDE_OLD and takes the link text box; failures are reported under
// "SIG_Initialis " and leave the keys not yet read as they were.
void SIG_Initialiser(App& app);
// Makes Txt_DDE(index) the link text box (loaded when absent).
void SIG_ControleLien(App& app, int index);
// 1 link ready, 2 failure (reported with the configuration message).
int32_t SIG_Connection(App& app);
// 1 executed; 2 when SIGTYPE is below 2 or the execute failed (message box).
int32_t SIG_Executer(App& app, const std::string& commande);
// 1 closed, 2 failure (message box).
int32_t SIG_Deconnexion(App& app);
int32_t DDE_ConnecterSujet(App& app, const std::string& sujet);
// Executes whatever SIGTYPE holds.
int32_t DDE_ExecuterCommande(App& app, const std::string& commande);
int32_t DDE_FinConnexion(App& app);
// Brings the window titled SIGAPP up; failures ignored.
void SIG_ActiverApplication(App& app);

// ---- templates and references
// The template with its first "?" replaced by the value.
std::string sRemplacerParametre(const std::string& modele, const std::string& valeur);
// Section and number of an application reference (characters 10 to 15,
// blanks trimmed); "" for an empty reference.
std::string sRefCadEDI2RefCadSimple(App& app, const std::string& ref);
// The GIS reference: commune part, SIG_SEP, section, SIG_SEP, number as the
// settings CODEINSEE and CAR_NBNUM ask. Raises 13 when CODEINSEE asks for a
// numeric commune part and the INSEE code is no number.
std::string sRefCadFormaterSIG(App& app, const std::string& insee, const std::string& refSimple);
// A GIS reference read back: the text up to its last non-digit, then the
// number zero-padded to 4 digits.
std::string sRefCadFormaterKUP(const std::string& texte);
// Removes the characters of SIG_SEP where it is found, one at a time.
void sSupprimerSepSIG(App& app, std::string& texte);
// GIS reference of an application parcel reference (INSEE code only when
// CODEINSEE is set).
std::string sRefSIGParcelle(App& app, const std::string& ref);

// ---- map commands (no trap of their own: failures go to the dispatcher)
void OLD_ParcelleUniqueCadrer(App& app, Args& args);
void OLD_ParcelleMultipleCadrer(App& app, Args& args);
void OLD_CoordonneesCadrer(App& app, Args& args);
void OLD_NomDossierCadrer(App& app, Args& args);
void OLD_ImplanterDossier(App& app, Args& args);
void OLD_ZezORAParcelleMultipleCadrer(App& app, Args& args);

// A GIS reference sent back by the GIS: "KUP_ListeDossierParParcelleAjouter"
// with it in the application's form.
void DDE_SelDossierParcelle(App& app, const std::string& refSIG);

// Settings hook (MODE "1" or "4") and the map commands' handlers of the
// template route (used by the dispatcher when MODE is not "2").
void InstallSigOld(App& app);

}  // namespace kup
