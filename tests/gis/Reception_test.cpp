// The DDE receiver: readings of the execute strings, the commands and their
// forwards, the palette, failures and the step after each command.
#include <gtest/gtest.h>

#include "FormCoulSig_Outils.h"
#include "vb/VbError.h"
#include "gis/Mdl_SIG_Old.h"

using Strings = std::vector<std::string>;

namespace {

struct Recepteur : FenetreTheme {
  int16_t recevoir(const std::string& commande) { return dde->deliver(commande); }
  std::vector<std::string> appels() const {
    std::vector<std::string> out;
    for (auto& c : flash.calls)
      if (c.find("KUP_ErreurContainer") == std::string::npos) out.push_back(c);
    return out;
  }
  static std::string appel(const std::string& nom, const std::string& valeur = "") {
    return kup::sInvokeXML(nom, {valeur});
  }
};

}  // namespace

TEST(Reception, ForwardsWithTheirReadings) {
  Recepteur t;
  EXPECT_EQ(t.recevoir("ZEZORA_PARCELLEAJOUTER(x)"), 0);
  t.recevoir("ZezORA_ParcelleAjouter(a#b#c)");
  t.recevoir("ZezORA_ParcelleUniqueRechercher(a#b)");
  t.recevoir("KUP_ListeDossierParNomAjouter(a#b)");
  t.recevoir("ZezORA_ParcelleRechercher");
  t.recevoir("ZezORA_ParcelleRechercher()");
  t.recevoir("KUP_DossierParParcelleRechercher(590350    A0001)");
  t.recevoir("kup_ddeseldossiernom(PC 1#2)");
  t.recevoir("KUP_ListeTravailVider()");
  t.recevoir("\t\tZezORA_VoieLibelleAjouter(Rue#de la Paix)");
  EXPECT_EQ(t.appels(), (Strings{Recepteur::appel("ZezORA_ParcelleAjouter", "x"),
                                 Recepteur::appel("ZezORA_ParcelleAjouter", "b"),
                                 Recepteur::appel("ZezORA_ParcelleUniqueRechercher", "b"),
                                 Recepteur::appel("KUP_ListeDossierParNomAjouter", "a#b"),
                                 Recepteur::appel("ZezORA_ParcelleRechercher"),
                                 Recepteur::appel("ZezORA_ParcelleRechercher"),
                                 Recepteur::appel("KUP_ParcelleSelectionRapide", "590350    A0001"),
                                 Recepteur::appel("KUP_DossierSelectionRapide", "PC 1#2"),
                                 Recepteur::appel("KUP_ListeDossierParParcelleInitialiser"),
                                 Recepteur::appel("ZezORA_VoieLibelleAjouter", "de la Paix")}));
  EXPECT_EQ(t.app.KUP_MDI.focusRequests, 10);
}

TEST(Reception, EveryForwardWithItsCallName) {
  // The forwarding commands of the table, in its order, mixed case; each
  // translated name and each reading ("#"-cut or whole) checked once.
  Recepteur t;
  const std::vector<std::pair<std::string, std::string>> cas = {
      {"zezora_parcelleuniquerechercher(a#U#c)", Recepteur::appel("ZezORA_ParcelleUniqueRechercher", "U")},
      {"ZezORA_ParcIndividuParParcRechercher(a#P)", Recepteur::appel("ZezORA_ParcIndividuParParcRechercher", "P")},
      {"ZezORA_ParcelleInitialiser()", Recepteur::appel("ZezORA_ParcelleInitialiser")},
      {"ZezORA_VoieLibelleRechercher", Recepteur::appel("ZezORA_VoieLibelleRechercher")},
      {"ZezORA_VoieLibelleInitialiser(x)", Recepteur::appel("ZezORA_VoieLibelleInitialiser")},
      {"KUP_DossierParParcelleRechercher(a#b#c)", Recepteur::appel("KUP_ParcelleSelectionRapide", "b")},
      {"KUP_DossierSelectionRapide(a#b)", Recepteur::appel("KUP_DossierSelectionRapide", "a#b")},
      {"KUP_ListeTravailVider", Recepteur::appel("KUP_ListeDossierParParcelleInitialiser")},
      {"KUP_ListeDossierParParcelleInitialiser()", Recepteur::appel("KUP_ListeDossierParParcelleInitialiser")},
      {"KUP_ListeDossierParParcelleAjouter(59#A1#z)", Recepteur::appel("KUP_ListeDossierParParcelleAjouter", "A1")},
      {"kup_ddeeffacelistedossierparcelle()", Recepteur::appel("KUP_ListeDossierParParcelleInitialiser")},
      {"KUP_ListeDossierParParcelleSelectionner()", Recepteur::appel("KUP_ListeDossierParParcelleSelectionner")},
      {"KUP_ListeDossierParNomAjouter(PC 1)", Recepteur::appel("KUP_ListeDossierParNomAjouter", "PC 1")},
      {"ZezORA_ParcelleAjouter(a#)", Recepteur::appel("ZezORA_ParcelleAjouter", "")},
  };
  Strings attendus;
  for (auto& [commande, appel] : cas) {
    EXPECT_EQ(t.recevoir(commande), 0) << commande;
    attendus.push_back(appel);
  }
  EXPECT_EQ(t.appels(), attendus);
  EXPECT_EQ(t.app.KUP_MDI.focusRequests, static_cast<int>(cas.size()));
}

TEST(Reception, UnknownBlankLedAndSilentCommandsAreAccepted) {
  Recepteur t;
  EXPECT_EQ(t.recevoir(" ZezORA_ParcelleRechercher()"), 0);  // leading blank: unknown
  EXPECT_EQ(t.recevoir("Inconnue(1)"), 0);
  EXPECT_EQ(t.recevoir(""), 0);
  t.recevoir("kup_retourxydossier(1,2)");
  t.recevoir("KUP_DossierParVoieRechercher(rue#commune)");
  t.recevoir("KUP_ListeDossierParCritereAjouter(a#b#c#d#e)");
  t.recevoir("KUP_ListeDossierParRequeteAjouter(q)");
  t.recevoir("KUP_DossierAdsLimiter(a#b)");
  t.recevoir("dde_cb_selectiondossier(12)");
  EXPECT_TRUE(t.appels().empty());
  EXPECT_EQ(t.app.KUP_MDI.focusRequests, 9);  // the step after every command

  // Hidden main window: left alone.
  t.app.KUP_MDI.Visible = false;
  t.recevoir("Inconnue");
  EXPECT_EQ(t.app.KUP_MDI.focusRequests, 9);
}

TEST(Reception, FailuresStopTheCommandOrStayInTheForward) {
  Recepteur t;
  EXPECT_EQ(t.recevoir("dde_cb_selectiondossier(abc)"), 0);
  EXPECT_EQ(t.recevoir("KUP_DossierAdsLimiter()"), 0);
  EXPECT_TRUE(t.erreurSignalee("DDE_ReceptionKUP"));
  EXPECT_EQ(t.app.KUP_MDI.focusRequests, 0);  // skipped after a failure

  t.flash.calls.clear();
  t.flash.failCalls = true;
  t.recevoir("KUP_ListeDossierParParcelleSelectionner");
  t.flash.failCalls = false;
  EXPECT_TRUE(t.erreurSignalee("KUP_ListeDossierParParcelleSelectionner"));
  EXPECT_EQ(t.app.KUP_MDI.focusRequests, 1);  // the receiver went on
}

TEST(Reception, PaletteInitEntriesAndEnd) {
  Recepteur t;
  auto& g = kup::Gis(t.app);
  t.recevoir("dde_ajoutcouleurinit(3)");
  t.recevoir("dde_ajoutcouleur(0,255,0,0)");
  t.recevoir("SIG_AJOUTCOULEUR(2, 0, 0, 255)");
  EXPECT_EQ(g.G_NbCouleurs, 3);
  EXPECT_EQ(g.G_TabCouleurs[0], (std::array<int32_t, 4>{0, 255, 0, 0}));
  EXPECT_EQ(g.G_TabCouleurs[1], (std::array<int32_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(g.G_TabCouleurs[2], (std::array<int32_t, 4>{0, 0, 0, 255}));

  // Out of range, not numeric, a count below 1: reported, nothing changed.
  t.recevoir("dde_ajoutcouleur(3,1,2,3)");
  t.recevoir("dde_ajoutcouleur(-1,1,2,3)");
  t.recevoir("dde_ajoutcouleur(1,1,x,3)");
  t.recevoir("dde_ajoutcouleur(1,1,2");
  t.recevoir("dde_ajoutcouleurinit(0)");
  t.recevoir("dde_ajoutcouleurinit(deux)");
  t.recevoir("dde_ajoutcouleurinit(99999999999)");
  EXPECT_EQ(g.G_NbCouleurs, 3);
  EXPECT_EQ(g.G_TabCouleurs.size(), 3u);
  EXPECT_EQ(g.G_TabCouleurs[1], (std::array<int32_t, 4>{0, 0, 0, 0}));
  EXPECT_FALSE(g.G_CouleursRecues);

  t.recevoir("dde_ajoutcouleurfin()");
  EXPECT_TRUE(g.G_CouleursRecues);
  EXPECT_FALSE(t.app.KUP_MDI.Visible);
  ASSERT_TRUE(t.app.FormCoulSigWindow);
  EXPECT_TRUE(t.f().Visible);
  EXPECT_EQ(t.f().MSFlexCouleur.Rows(), 3);
  int focus = t.app.KUP_MDI.focusRequests;
  t.recevoir("sig_ajoutcouleurfin");  // again: shown again, not reloaded
  EXPECT_EQ(t.app.KUP_MDI.focusRequests, focus);
}

TEST(Reception, TemplateRouteSelectionsAndTheViewerActivation) {
  Recepteur t;
  t.set("DDE_OLD", "SIGTYPE", "4");
  t.set("DDE_OLD", "SIG_SEP", "-");
  kup::SIG_Initialiser(t.app);
  t.recevoir("DDE_SelDossierParcelle(x#AB-7#y)");
  t.recevoir("kup_ddeajoutitemselect(59-350-AB-12)");
  t.recevoir("kup_ddeseldossierparcelle");
  t.recevoir("kup_ddeinitdossierparcelle()");
  EXPECT_EQ(t.appels(), (Strings{Recepteur::appel("KUP_ListeDossierParParcelleAjouter", "AB-0007"),
                                 Recepteur::appel("KUP_ListeDossierParParcelleSelectionner"),
                                 Recepteur::appel("KUP_ListeDossierParParcelleAjouter", "59350AB0012"),
                                 Recepteur::appel("KUP_ListeDossierParParcelleSelectionner"),
                                 Recepteur::appel("KUP_ListeDossierParParcelleInitialiser")}));

  // The window comes to the front from wherever it was: hidden, here.
  auto* w = t.windows.get(t.app.KUP_MDI.hWnd);
  ASSERT_NE(w, nullptr);
  w->visible = false;
  w->topmostCalls.clear();
  t.recevoir("ZezORA_ApplicationActiver()");
  EXPECT_EQ(w->topmostCalls, (std::vector<bool>{true, false}));  // made topmost, then released
  EXPECT_FALSE(w->topmost);
  EXPECT_TRUE(w->visible);
}

TEST(Reception, ConstraintImportFromTheFolderGiven) {
  Recepteur t;
  t.fs.put("C:\\Sig\\Out\\PC_1_2_3_KUPOPEBDI.txt", "a#b#c#d#e#f\r\n");
  t.recevoir("KUP_IntegrationContrainteReglement(C:\\Sig\\Out)");
  ASSERT_EQ(t.appels().size(), 1u);
  EXPECT_EQ(t.appels()[0].find("<invoke name=\"KUP_IntegrationContrainteReglement\""), 0u);
  EXPECT_NE(t.appels()[0].find("<string>PC 1 2 3</string>"), std::string::npos);
  EXPECT_FALSE(t.fs.fileExists("C:\\Sig\\Out\\PC_1_2_3_KUPOPEBDI.txt"));
}
