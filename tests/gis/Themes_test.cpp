// The in-memory themes, their keys and rules, and the exact DDE sequence
// each action of the colour-theme window sends to the GIS.
#include <gtest/gtest.h>

#include "FormCoulSig_Outils.h"

using Strings = std::vector<std::string>;
using kup::RGB;

namespace {

// Application references and what the GIS layout of the test makes of them.
const std::string kR1 = "590350    A0001", kS1 = "590350-   -A-00001";
const std::string kR2 = "590350    A0002", kS2 = "590350-   -A-00002";
const std::string kR3 = "590350    A0003", kS3 = "590350-   -A-00003";

std::string Ajout(const std::string& s) { return "SIG_ParcelleAjouter(" + s + ")"; }

}  // namespace

TEST(Themes, ContrastAndColourValues) {
  EXPECT_EQ(kup::func_CouleurContraste(127, 128, 0), RGB(255, 0, 255));
  EXPECT_EQ(kup::func_CouleurContraste(255, 255, 255), 0);
  EXPECT_EQ(kup::func_CouleurContraste(0, 0, 128), RGB(255, 255, 0));  // yellow on dark blue
  EXPECT_EQ(RGB(1, 2, 3), 1 + 2 * 256 + 3 * 65536);
}

TEST(Themes, KeysIgnoreCaseButNamesCompareExactly) {
  GisTestApp t;
  auto& app = t.app;
  kup::sub_ThemeCreerBD(app, "Zone A", 1, 10, 20, 30, true);
  kup::sub_ThemeCreerBD(app, "zone a", 2, 0, 0, 0, false);  // same key: the first stays
  auto& th = kup::Themes(app);
  ASSERT_EQ(th.G_ColThemes.Count(), 1);
  EXPECT_EQ(th.G_ColThemes.Item("ZONE A")->intIdCouleur, 1);
  EXPECT_TRUE(kup::func_ExisteTheme(app, "zone a"));

  kup::sub_ThemeVisibleBD(app, "zone a", false);  // exact comparison: no change
  EXPECT_TRUE(th.G_ColThemes.Item("Zone A")->blnVisible);
  kup::sub_ThemeVisibleBD(app, "Zone A", false);
  EXPECT_FALSE(th.G_ColThemes.Item("Zone A")->blnVisible);

  kup::sub_ThemeAjoutParcelle(app, "Zone A", kR1, "MARTIN");
  kup::sub_ThemeAjoutParcelle(app, "Zone A", kR1, "DURAND");  // already there: owner kept
  kup::sub_ThemeCreerBD(app, "Zone B", 0, 1, 1, 1, true);
  kup::sub_ThemeAjoutParcelle(app, "Zone B", kR1, "MARTIN");
  EXPECT_EQ(th.G_ColParcellesTheme.Item("_" + kR1 + "_zone a")->strProp, "MARTIN");
  EXPECT_TRUE(kup::func_ExisteParcelleTheme(app, "", kR1, "Zone B"));

  kup::sub_ThemeSupprimerBd(app, "Zone A");
  EXPECT_FALSE(kup::func_ExisteTheme(app, "Zone A"));
  EXPECT_FALSE(kup::func_ExisteParcelleTheme(app, "", kR1, "Zone A"));
  EXPECT_TRUE(kup::func_ExisteParcelleTheme(app, "", kR1, "Zone B"));  // the other theme's entry stays
  kup::sub_ThemeSupprimerBd(app, "Inconnu");                            // fails silently
  EXPECT_EQ(th.G_ColThemes.Count(), 1);
}

TEST(Themes, NewNamesContinueAfterTheHighestNumberShown) {
  FenetreTheme t;
  t.ouvrir({});
  auto& g = t.f().MSFlexTheme;
  EXPECT_EQ(t.f().func_NouveauNomTheme("", 0), "Thème n°1");
  g.AddItem({"Thème n°2"});
  g.AddItem({"Thème n°7"});
  g.AddItem({"Thème n°x"});
  g.AddItem({"Autre n°9"});
  EXPECT_EQ(t.f().func_NouveauNomTheme("", 0), "Thème n°8");
  EXPECT_EQ(t.f().func_NouveauNomTheme("Thème n°2", 0), "Thème n°2");
}

TEST(Themes, CreatingSendsTheThemeThenItsParcelsInGridOrder) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A", kR2 + "#B", kR3 + "#C"});
  auto& f = t.f();
  f.CliquerCouleur(4);
  t.marquer({kR3, kR1, kR2});
  f.SaisirNomTheme("Thème n°1");
  t.oublier();
  f.Appuyer(f.CmdNouvCol);
  EXPECT_EQ(t.sentSig(), (Strings{"DDE_CreerTheme(Thème n°1,4,0)", "SIG_ParcelleInitialiser()", Ajout(kS1), Ajout(kS2),
                                  Ajout(kS3), "SIG_ParcelleCadrer()"}));
  auto theme = kup::Themes(t.app).G_ColThemes.Item("Thème n°1");
  EXPECT_EQ(theme->intIdCouleur, 4);
  EXPECT_EQ(theme->intR, 200);
  EXPECT_TRUE(theme->blnVisible);
  EXPECT_EQ(f.func_nbSel(), 0);  // marks cleared
  EXPECT_EQ(f.Check1.Value, 1);
}

TEST(Themes, AddingSendsNewParcelsFirstThenTheThemeAsShown) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A", kR2 + "#B", kR3 + "#C"});
  auto& f = t.f();
  f.CliquerCouleur(1);
  t.marquer({kR1, kR2});
  f.Appuyer(f.CmdNouvCol);  // "Thème n°1" with two parcels
  f.CliquerTheme(t.ligneTheme("Thème n°1", kR1), 0);
  t.marquer({kR3});
  ASSERT_TRUE(f.CmdAjouter.Enabled);
  EXPECT_FALSE(f.CmdNouvCol.Enabled);
  t.oublier();
  f.Appuyer(f.CmdAjouter);
  EXPECT_EQ(t.sentSig(), (Strings{"DDE_CreerTheme(Thème n°1,1,0)", "SIG_ParcelleInitialiser()", Ajout(kS3), Ajout(kS1),
                                  Ajout(kS2), "SIG_ParcelleCadrer()"}));
  EXPECT_NE(t.ligneTheme("Thème n°1", kR3), -1);
  EXPECT_FALSE(f.CmdAjouter.Enabled);
  EXPECT_TRUE(f.CmdNouvCol.Enabled);
}

TEST(Themes, RemovingAParcelRebuildsTheThemeAtTheEnd) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A", kR2 + "#B"});
  auto& f = t.f();
  f.CliquerCouleur(0);
  t.marquer({kR1, kR2});
  f.SaisirNomTheme("Rouge");
  f.Appuyer(f.CmdNouvCol);
  f.CliquerCouleur(1);
  t.marquer({kR1});
  f.SaisirNomTheme("Bleu");
  f.Appuyer(f.CmdNouvCol);
  kup::sub_ThemeVisibleBD(t.app, "Rouge", false);
  f.sub_RemplirGrilles();

  f.CliquerTheme(t.ligneTheme("Rouge", kR1), 3);  // the owner cell picks the parcel
  EXPECT_EQ(f.txtRefCad.Text(), kR1);
  t.oublier();
  f.Appuyer(f.CmdSupp);
  EXPECT_EQ(t.sentSig(), (Strings{"DDE_CreerTheme(Rouge,0,0)", "SIG_ParcelleInitialiser()", Ajout(kS2),
                                  "SIG_ParcelleCadrer()"}));
  auto& th = kup::Themes(t.app);
  EXPECT_EQ(th.G_ColThemes.elements().back().item->strNomTheme, "Rouge");  // moved to the end
  EXPECT_TRUE(th.G_ColThemes.Item("Rouge")->blnVisible);
  EXPECT_FALSE(kup::func_ExisteParcelleTheme(t.app, "", kR1, "Rouge"));
  EXPECT_TRUE(kup::func_ExisteParcelleTheme(t.app, "", kR1, "Bleu"));
  EXPECT_EQ(f.txtRefCad.Text(), "");
  EXPECT_FALSE(f.CmdSupp.Enabled);
}

TEST(Themes, DeleteOneDeleteAllShowHideAndFrame) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A"});
  auto& f = t.f();
  f.CliquerCouleur(0);
  t.marquer({kR1});
  f.SaisirNomTheme("Zone A");
  f.Appuyer(f.CmdNouvCol);
  t.oublier();

  f.Appuyer(f.butCadrer);
  f.AppuyerCheck1();  // ticked: hides
  f.AppuyerCheck1();  // clear: shows with the flag 0
  f.CliquerTheme(t.ligneTheme("Zone A", kR1), 2);  // picks the parcel: nothing sent
  f.Appuyer(f.butCadrerParc);
  f.Appuyer(f.CmdSupCol);
  EXPECT_EQ(t.sentSig(), (Strings{"DDE_AfficherTheme(Zone A,1)", "DDE_MasquerTheme(Zone A)", "DDE_AfficherTheme(Zone A,0)",
                                  "SIG_ParcelleUniqueCadrer(" + kS1 + ")", "DDE_SupprimerTheme()"}));
  // "Supprimer tous" leaves the collections: the grid still lists the theme.
  EXPECT_NE(t.ligneTheme("Zone A", kR1), -1);
  EXPECT_EQ(f.TxtNomCol.Text(), "");

  t.oublier();
  f.Appuyer(f.butSupprimer);  // empty name: nothing
  EXPECT_TRUE(t.sentSig().empty());
  f.CliquerTheme(t.ligneTheme("Zone A", kR1), 0);
  f.Appuyer(f.butSupprimer);
  EXPECT_EQ(t.sentSig(), Strings{"DDE_SupprimerTheme(Zone A)"});
  EXPECT_FALSE(kup::func_ExisteTheme(t.app, "Zone A"));
  EXPECT_EQ(f.MSFlexTheme.Rows(), 1);
}

TEST(Themes, BlackPaletteEntryAndBlackTheme) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A"});
  auto& f = t.f();
  EXPECT_EQ(f.MSFlexCouleur.CellBackColor(2, 0), 1);  // black shows black, not the standard colour
  EXPECT_EQ(f.MSFlexCouleur.CellBackColor(1, 0), RGB(0, 128, 255));
  f.CliquerCouleur(2);
  t.marquer({kR1});
  f.Appuyer(f.CmdNouvCol);
  long r = t.ligneTheme("Thème n°1", kR1);
  ASSERT_NE(r, -1);
  EXPECT_EQ(f.MSFlexTheme.CellBackColor(r, 0), 0);
  EXPECT_EQ(f.MSFlexTheme.CouleurFondAffichee(r, 0), kup::vbWhite);  // the grid's standard background
  EXPECT_EQ(f.MSFlexTheme.CellForeColor(r, 3), RGB(255, 255, 255));
}

TEST(Themes, DeletingUnderAnotherCaseTakesTheParcelsAlong) {
  // The name box typed in another case deletes the theme (its key ignores
  // case): its parcels go with it and do not come back into a later theme
  // of the same name.
  FenetreTheme t;
  t.ouvrir({kR1 + "#A", kR2 + "#B"});
  auto& f = t.f();
  f.CliquerCouleur(0);
  t.marquer({kR1});
  f.SaisirNomTheme("Zone A");
  f.Appuyer(f.CmdNouvCol);
  kup::sub_ThemeAjoutParcelle(t.app, "zone a", kR2, "B");  // same theme, stored under the other case
  t.oublier();
  f.SaisirNomTheme("ZONE A");
  f.Appuyer(f.butSupprimer);
  EXPECT_EQ(t.sentSig(), Strings{"DDE_SupprimerTheme(ZONE A)"});
  auto& th = kup::Themes(t.app);
  EXPECT_EQ(th.G_ColThemes.Count(), 0);
  EXPECT_EQ(th.G_ColParcellesTheme.Count(), 0);

  f.CliquerCouleur(1);
  t.marquer({kR2});
  f.SaisirNomTheme("Zone A");
  f.Appuyer(f.CmdNouvCol);
  EXPECT_EQ(t.ligneTheme("Zone A", kR1), -1);
  EXPECT_NE(t.ligneTheme("Zone A", kR2), -1);
  EXPECT_EQ(th.G_ColParcellesTheme.Count(), 1);
}
