#include "gis/Mdl_DDE_Reception.h"

#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/FormCoulSig.h"
#include "gis/GisState.h"
#include "gis/Mdl_ContrainteReglement.h"
#include "gis/Mdl_SIG_Old.h"

namespace kup {

namespace {

// More colours than any palette holds: refused before the table is sized.
constexpr int32_t kCouleursMax = 1 << 20;

// A call into the player with one value; failures reported under the
// forwarding procedure's name.
void Transmettre(App& app, const char* procedure, const char* appel, const std::string& valeur) {
  try {
    KUP_EnvoyerChaineVersFlex(app, sInvokeXML(appel, StrArray{valeur}));
  } catch (const VbError& e) {
    TraiterErreur(app, procedure, e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, procedure, vberr::InternalError, e.what());
  }
}

// ---- readings of the execute string after its name
std::string Lire(App& app, const char* saut, const char* arret) { return GEN_DecomposerLigne(app, "", saut, arret); }

std::string UneValeur(App& app) { return Lire(app, ")", ")"); }

// Of "a#b#c" only "b" remains; "a#b" gives "b".
std::string UneValeurCoupee(App& app) {
  std::string v = UneValeur(app);
  if (InStr(v, "#") > 0) v = Split(v, "#")[1];
  return v;
}

int32_t Entier(const std::string& v) { return CLng(Value(v)); }

void CouleursInit(App& app, const std::string& valeur) {
  int32_t n = Entier(valeur);
  if (n < 1) raise(vberr::SubscriptOutOfRange);
  if (n > kCouleursMax) raise(7, "Mémoire insuffisante");
  auto& g = Gis(app);
  g.G_TabCouleurs.assign(static_cast<size_t>(n), {0, 0, 0, 0});
  g.G_NbCouleurs = n;
}

void CouleurAjouter(App& app) {
  std::string index = Lire(app, ",", ",");
  std::string rouge = Lire(app, ",", ",");
  std::string vert = Lire(app, ",", ",");
  std::string bleu = Lire(app, ")", ")");
  // Every value is converted before anything changes: a bad entry leaves
  // the palette as it was.
  int32_t i = Entier(index), r = Entier(rouge), v = Entier(vert), b = Entier(bleu);
  auto& tab = Gis(app).G_TabCouleurs;
  if (i < 0 || i >= static_cast<int32_t>(tab.size())) raise(vberr::SubscriptOutOfRange);
  auto& c = tab[static_cast<size_t>(i)];
  c[1] = r;
  c[2] = v;
  c[3] = b;
}

void CouleursFin(App& app) {
  Gis(app).G_CouleursRecues = true;
  app.KUP_MDI.Visible = false;
  FormCoulSigObjet(app).Show();
}

void DossierAdsLimiter(App& app) {
  // The dossiers are gathered as a quoted list that nothing reads yet.
  std::string liste;
  for (const auto& d : Split(UneValeur(app), "#")) liste += "'" + d + "',";
  if (liste.empty()) raise(vberr::InvalidCall);
  liste.pop_back();
}

// Runs the command the name designates; an unknown name does nothing.
void Executer(App& app, const std::string& nom) {
  if (nom == "kup_retourxydossier") {
  } else if (nom == "dde_cb_selectiondossier") {
    Entier(UneValeur(app));
  } else if (nom == "zezora_parcelleajouter") {
    ZezORA_ParcelleAjouter(app, UneValeurCoupee(app));
  } else if (nom == "zezora_parcelleuniquerechercher") {
    ZezORA_ParcelleUniqueRechercher(app, UneValeurCoupee(app));
  } else if (nom == "zezora_parcindividuparparcrechercher") {
    ZezORA_ParcIndividuParParcRechercher(app, UneValeurCoupee(app));
  } else if (nom == "zezora_parcellerechercher") {
    ZezORA_ParcelleRechercher(app);
  } else if (nom == "zezora_parcelleinitialiser") {
    ZezORA_ParcelleInitialiser(app);
  } else if (nom == "zezora_voielibellerechercher") {
    ZezORA_VoieLibelleRechercher(app);
  } else if (nom == "zezora_voielibelleinitialiser") {
    ZezORA_VoieLibelleInitialiser(app);
  } else if (nom == "zezora_voielibelleajouter") {
    ZezORA_VoieLibelleAjouter(app, UneValeurCoupee(app));
  } else if (nom == "zezora_applicationactiver") {
    ZezORA_ApplicationActiver(app);
  } else if (nom == "kup_dossierparparcellerechercher") {
    KUP_DossierParParcelleRechercher(app, UneValeurCoupee(app));
  } else if (nom == "kup_dossierparvoierechercher") {
    std::string a = Lire(app, "(", "#");
    std::string b = Lire(app, "#", ")");
    KUP_DossierParVoieRechercher(app, a, b);
  } else if (nom == "kup_dossierpardemandeurrechercher") {
    std::string a = Lire(app, "(", "#");
    std::string b = Lire(app, "#", ")");
    KUP_DossierParDemandeurRechercher(app, a, b);
  } else if (nom == "kup_dossierselectionrapide" || nom == "kup_ddeseldossiernom") {
    KUP_DossierSelectionRapide(app, UneValeur(app));
  } else if (nom == "kup_dossieradslimiter") {
    DossierAdsLimiter(app);
  } else if (nom == "kup_listetravailvider") {
    KUP_ListeDossierParParcelleInitialiser(app);
  } else if (nom == "kup_listedossierparnomajouter") {
    KUP_ListeDossierParNomAjouter(app, UneValeur(app));
  } else if (nom == "kup_listedossierparcritereajouter") {
    std::string a = Lire(app, "(", "#");
    std::string b = Lire(app, "#", "#");
    std::string c = Lire(app, "#", "#");
    std::string d = Lire(app, "#", "#");
    std::string e = Lire(app, "#", ")");
    KUP_ListeDossierParCritereAjouter(app, a, b, c, d, e);
  } else if (nom == "kup_listedossierparparcelleinitialiser") {
    KUP_ListeDossierParParcelleInitialiser(app);
  } else if (nom == "kup_listedossierparparcelleajouter") {
    KUP_ListeDossierParParcelleAjouter(app, UneValeurCoupee(app));
  } else if (nom == "dde_seldossierparcelle") {
    DDE_SelDossierParcelle(app, UneValeurCoupee(app));
    KUP_ListeDossierParParcelleSelectionner(app);
  } else if (nom == "kup_ddeajoutitemselect") {
    std::string v = UneValeur(app);
    if (SigOld(app).SIGTYPE == 4) sSupprimerSepSIG(app, v);
    KUP_ListeDossierParParcelleAjouter_Old(app, v);
  } else if (nom == "kup_ddeseldossierparcelle") {
    KUP_ListeDossierParParcelleSelectionner(app);
  } else if (nom == "kup_ddeeffacelistedossierparcelle" || nom == "kup_ddeinitdossierparcelle") {
    KUP_ListeDossierParParcelleInitialiser(app);
  } else if (nom == "kup_listedossierparparcelleselectionner") {
    KUP_ListeDossierParParcelleSelectionner(app);
  } else if (nom == "kup_listedossierparrequeteajouter") {
    KUP_ListeDossierParRequeteAjouter(app, UneValeur(app));
  } else if (nom == "kup_integrationcontraintereglement") {
    IntegrationReglementDDE(app, UneValeur(app));
  } else if (nom == "dde_ajoutcouleurinit") {
    CouleursInit(app, UneValeur(app));
  } else if (nom == "dde_ajoutcouleur" || nom == "sig_ajoutcouleur") {
    CouleurAjouter(app);
  } else if (nom == "dde_ajoutcouleurfin" || nom == "sig_ajoutcouleurfin") {
    CouleursFin(app);
  }
}

}  // namespace

void DDE_ReceptionKUP(App& app, const std::string& commande, int16_t& annulation) {
  annulation = 0;
  try {
    // An empty string names nothing (and must not resume the previous one).
    std::string nom = commande.empty() ? std::string() : GEN_DecomposerLigne(app, commande, "(", "(");
    DebugKUP(app, "DDE_ReceptionKUP", commande, Args{Value("")});
    Executer(app, LCase(nom));
    if (app.KUP_MDI.Visible) app.KUP_MDI.SetFocus();
  } catch (const VbError& e) {
    TraiterErreur(app, "DDE_ReceptionKUP", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "DDE_ReceptionKUP", vberr::InternalError, e.what());
  }
}

// ------------------------------------------------------------------ forwards

void ZezORA_ParcelleAjouter(App& app, const std::string& v) {
  Transmettre(app, "ZezORA_ParcelleAjouter", "ZezORA_ParcelleAjouter", v);
}
void ZezORA_ParcelleUniqueRechercher(App& app, const std::string& v) {
  Transmettre(app, "ZezORA_ParcelleUniqueRechercher", "ZezORA_ParcelleUniqueRechercher", v);
}
void ZezORA_ParcIndividuParParcRechercher(App& app, const std::string& v) {
  Transmettre(app, "ZezORA_ParcIndividuParParcRechercher", "ZezORA_ParcIndividuParParcRechercher", v);
}
void ZezORA_ParcelleRechercher(App& app) {
  Transmettre(app, "ZezORA_ParcelleRechercher", "ZezORA_ParcelleRechercher", "");
}
void ZezORA_ParcelleInitialiser(App& app) {
  Transmettre(app, "ZezORA_ParcelleInitialiser", "ZezORA_ParcelleInitialiser", "");
}
void ZezORA_VoieLibelleRechercher(App& app) {
  Transmettre(app, "ZezORA_VoieLibelleRechercher", "ZezORA_VoieLibelleRechercher", "");
}
void ZezORA_VoieLibelleInitialiser(App& app) {
  Transmettre(app, "ZezORA_VoieLibelleInitialiser", "ZezORA_VoieLibelleInitialiser", "");
}
void ZezORA_VoieLibelleAjouter(App& app, const std::string& v) {
  Transmettre(app, "ZezORA_VoieLibelleAjouter", "ZezORA_VoieLibelleAjouter", v);
}
void KUP_DossierParParcelleRechercher(App& app, const std::string& v) {
  Transmettre(app, "KUP_DossierParParcelleRechercher", "KUP_ParcelleSelectionRapide", v);
}
void KUP_DossierSelectionRapide(App& app, const std::string& v) {
  Transmettre(app, "KUP_DossierSelectionRapide", "KUP_DossierSelectionRapide", v);
}
void KUP_ListeDossierParNomAjouter(App& app, const std::string& v) {
  Transmettre(app, "KUP_ListeDossierParNomAjouter", "KUP_ListeDossierParNomAjouter", v);
}
void KUP_ListeDossierParParcelleInitialiser(App& app) {
  Transmettre(app, "KUP_ListeDossierParParcelleInitialiser", "KUP_ListeDossierParParcelleInitialiser", "");
}
void KUP_ListeDossierParParcelleAjouter(App& app, const std::string& v) {
  Transmettre(app, "KUP_ListeDossierParParcelleAjouter", "KUP_ListeDossierParParcelleAjouter", v);
}
void KUP_ListeDossierParParcelleAjouter_Old(App& app, const std::string& v) {
  Transmettre(app, "KUP_ListeDossierParParcelleAjouter_Old", "KUP_ListeDossierParParcelleAjouter",
              sRefCadFormaterKUP(v));
}
void KUP_ListeDossierParParcelleSelectionner(App& app) {
  Transmettre(app, "KUP_ListeDossierParParcelleSelectionner", "KUP_ListeDossierParParcelleSelectionner", "");
}

void KUP_DossierParVoieRechercher(App&, const std::string&, const std::string&) {}
void KUP_DossierParDemandeurRechercher(App&, const std::string&, const std::string&) {}
void KUP_ListeDossierParCritereAjouter(App&, const std::string&, const std::string&, const std::string&,
                                       const std::string&, const std::string&) {}
void KUP_ListeDossierParRequeteAjouter(App&, const std::string&) {}

void ZezORA_ApplicationActiver(App& app) {
  FenetrePremierPlan(app, app.KUP_MDI.hWnd, true);
  FenetrePremierPlan(app, app.KUP_MDI.hWnd, false);
}

void InstallReceptionHooks(App& app) {
  InstallSigOld(app);
  InstallFormCoulSig(app);
  if (app.pf.dde) {
    App* a = &app;
    app.pf.dde->onLinkExecute = [a](const std::string& commande, int16_t& annulation) {
      DDE_ReceptionKUP(*a, commande, annulation);
    };
  }
}

}  // namespace kup
