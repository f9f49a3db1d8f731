// The colour-theme window driven control by control: hand-over, loading,
// marks, palette and theme clicks, the name and visibility boxes, button
// states, layout and closing.
#include <gtest/gtest.h>

#include "FormCoulSig_Outils.h"

using Strings = std::vector<std::string>;
using kup::RGB;

namespace {
const std::string kR1 = "590350    A0001";
const std::string kR2 = "590350    A0002";
}  // namespace

TEST(FormCoulSig, HandOverPaletteAndLoading) {
  FenetreTheme t;
  t.commande("ZezORA_ThematiqueProprietaire", kup::Args{kR1 + "#OWNER B", kR2 + "#OWNER A", "R3", kup::Value(12)});
  EXPECT_EQ(t.sentSig(), Strings{"SIG_DemanderCouleur()"});
  ASSERT_TRUE(t.app.FormCoulSigWindow);
  EXPECT_FALSE(t.f().Loaded());  // created, not shown before the palette
  EXPECT_TRUE(t.app.KUP_MDI.Visible);

  t.palette({{255, 0, 0}, {0, 128, 255}});
  auto& f = t.f();
  EXPECT_TRUE(f.Loaded());
  EXPECT_TRUE(f.Visible);
  EXPECT_FALSE(t.app.KUP_MDI.Visible);
  EXPECT_TRUE(kup::Gis(t.app).G_CouleursRecues);

  // Sorted by owner; "R3" and the number are no rows of the form ref#owner.
  auto& p = f.msFlexParcelle;
  ASSERT_EQ(p.Rows(), 4);
  EXPECT_EQ(p.RowHeight(1), 1);
  EXPECT_EQ(p.TextMatrix(2, 1), kR2);
  EXPECT_EQ(p.TextMatrix(2, 2), "OWNER A");
  EXPECT_EQ(p.TextMatrix(3, 2), "OWNER B");
  EXPECT_EQ(p.TextMatrix(0, 2), "Propriétaire parcelle");
  EXPECT_EQ(f.MSFlexCouleur.Rows(), 2);
  EXPECT_EQ(f.MSFlexTheme.Rows(), 1);
  EXPECT_EQ(f.MSFlexTheme.TextMatrix(0, 0), "Nom thème");
  EXPECT_TRUE(f.MSFlexTheme.MergeCol(1));
  EXPECT_FALSE(f.MSFlexTheme.MergeCol(2));
}

TEST(FormCoulSig, NoOpeningOutsideMode2) {
  FenetreTheme t;
  t.app.G_ModeDDE = "1";
  t.commande("ZezORA_ThematiqueProprietaire", kup::Args{kR1 + "#A"});
  EXPECT_FALSE(t.app.FormCoulSigWindow);
  EXPECT_TRUE(t.sentSig().empty());
}

TEST(FormCoulSig, MarksNeedAColourAndCountFromRow2) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A", kR2 + "#B"});
  auto& f = t.f();
  f.CliquerParcelle(2);
  EXPECT_EQ(f.func_nbSel(), 0);  // no colour chosen yet

  f.CliquerCouleur(1);
  EXPECT_EQ(f.txtCoul.Text(), "0.128.255");
  EXPECT_EQ(f.txtCoul.BackColor, RGB(0, 128, 255));
  EXPECT_EQ(f.txtCoul.ForeColor, RGB(255, 0, 0));
  f.CliquerParcelle(2);
  EXPECT_EQ(f.msFlexParcelle.TextMatrix(2, 0), "?");
  EXPECT_EQ(f.msFlexParcelle.CellBackColor(2, 0), RGB(0, 128, 255));
  f.CliquerParcelle(2);  // unmarks
  EXPECT_EQ(f.func_nbSel(), 0);
  EXPECT_EQ(f.msFlexParcelle.CellBackColor(2, 0), kup::vbWhite);

  f.Appuyer(f.butToutes);
  EXPECT_EQ(f.msFlexParcelle.TextMatrix(1, 0), "?");  // the placeholder too
  EXPECT_EQ(f.func_nbSel(), 2);
  f.Appuyer(f.Cmdaucune);
  EXPECT_EQ(f.func_nbSel(), 0);
  EXPECT_EQ(f.msFlexParcelle.CellBackColor(2, 0), kup::vbWindowBackground);

  // Creating without a mark: the message, nothing sent.
  t.oublier();
  f.Appuyer(f.CmdNouvCol);
  EXPECT_EQ(t.messages().back(), "Vous devez sélectionner au moins une parcelle");
  EXPECT_TRUE(t.sentSig().empty());
}

TEST(FormCoulSig, ThemeClickTakesNameColourAndParcel) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A", kR2 + "#B"});
  auto& f = t.f();
  f.CliquerCouleur(1);
  t.marquer({kR1, kR2});
  f.SaisirNomTheme("Bleus");
  f.Appuyer(f.CmdNouvCol);
  f.CliquerCouleur(0);
  EXPECT_EQ(f.TxtNomCol.Text(), "");

  long r = t.ligneTheme("Bleus", kR2);
  f.CliquerTheme(r, 3);
  EXPECT_EQ(f.TxtNomCol.Text(), "Bleus");
  EXPECT_EQ(f.txtCoul.Text(), "0,128,255");
  EXPECT_EQ(f.MSFlexCouleur.Row(), 1);
  EXPECT_EQ(f.MSFlexCouleur.TopRow(), 1);
  EXPECT_EQ(f.txtRefCad.Text(), kR2);
  EXPECT_TRUE(f.CmdSupp.Enabled);
  EXPECT_EQ(f.Check1.Value, 1);
  // Typing in the name box drops the picked parcel.
  f.SaisirNomTheme("Bleus2");
  EXPECT_EQ(f.txtRefCad.Text(), "");
  EXPECT_FALSE(f.CmdSupp.Enabled);

  // Rows of the theme grid: invisible key row, then the parcels in the
  // theme's colour with the contrast colour as text.
  auto& g = f.MSFlexTheme;
  EXPECT_EQ(g.RowHeight(1), 0);
  EXPECT_EQ(g.TextMatrix(1, 1), "Bleus");
  EXPECT_EQ(g.TextMatrix(r, 1), "Vrai");
  EXPECT_EQ(g.CellBackColor(r, 2), RGB(0, 128, 255));
  EXPECT_EQ(g.CellForeColor(r, 2), RGB(255, 0, 0));
  EXPECT_EQ(g.BlocFusionne(r, 0), std::make_pair(2L, 3L));  // the name merges over both parcels
  EXPECT_EQ(g.BlocFusionne(r, 2), std::make_pair(r, r));
}

TEST(FormCoulSig, VisibleCellSwitchesTheTheme) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A"});
  auto& f = t.f();
  f.CliquerCouleur(0);
  t.marquer({kR1});
  f.SaisirNomTheme("Zone");
  f.Appuyer(f.CmdNouvCol);
  t.oublier();
  f.CliquerTheme(t.ligneTheme("Zone", kR1), 1);
  EXPECT_EQ(f.MSFlexTheme.TextMatrix(t.ligneTheme("Zone", kR1), 1), "Faux");
  EXPECT_EQ(f.Check1.Value, 0);
  f.CliquerTheme(t.ligneTheme("Zone", kR1), 1);
  EXPECT_EQ(t.sentSig(), (Strings{"DDE_MasquerTheme(Zone)", "DDE_AfficherTheme(Zone,0)"}));
  EXPECT_EQ(f.Check1.Value, 1);

  // With an empty name the box shows the message and keeps its state.
  f.CliquerCouleur(0);
  int avant = f.Check1.Value;
  f.AppuyerCheck1();
  EXPECT_EQ(t.messages().back(), "Vous devez sélectionner un thème");
  EXPECT_EQ(f.Check1.Value, avant);
  f.Appuyer(f.butCadrer);
  EXPECT_EQ(t.sentSig().size(), 2u);
}

TEST(FormCoulSig, LastParcelRemovedLeavesAnEmptyTheme) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A"});
  auto& f = t.f();
  f.CliquerCouleur(0);
  t.marquer({kR1});
  f.Appuyer(f.CmdNouvCol);
  f.CliquerTheme(t.ligneTheme("Thème n°1", kR1), 2);
  t.oublier();
  f.Appuyer(f.CmdSupp);
  EXPECT_EQ(t.sentSig(), (Strings{"DDE_CreerTheme(Thème n°1,0,0)", "SIG_ParcelleInitialiser()", "SIG_ParcelleCadrer()"}));
  EXPECT_TRUE(kup::func_ExisteTheme(t.app, "Thème n°1"));
  ASSERT_EQ(f.MSFlexTheme.Rows(), 2);
  EXPECT_FALSE(f.MSFlexTheme.LigneVisible(1));
  // The hidden key row cannot be clicked.
  f.CliquerTheme(1, 0);
  EXPECT_EQ(f.TxtNomCol.Text(), "Thème n°1");
}

TEST(FormCoulSig, ZezoraSelectionNameLocksCreateAndDelete) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A"});
  auto& f = t.f();
  f.SaisirNomTheme("Sélection ZezORA");
  EXPECT_FALSE(f.CmdNouvCol.Enabled);
  EXPECT_FALSE(f.butSupprimer.Enabled);
  t.oublier();
  f.Appuyer(f.butSupprimer);  // disabled: the press does nothing
  EXPECT_TRUE(t.sentSig().empty());
  f.SaisirNomTheme("Autre");
  EXPECT_TRUE(f.CmdNouvCol.Enabled);
  EXPECT_TRUE(f.butSupprimer.Enabled);
}

TEST(FormCoulSig, LayoutFollowsTheWindowSize) {
  FenetreTheme t;
  t.ouvrir({});
  auto& f = t.f();
  f.Redimensionner(3000, 5000);
  EXPECT_EQ(f.Width, 4335);
  EXPECT_EQ(f.Height, 9075);
  f.Redimensionner(12000, 10000);
  EXPECT_EQ(f.Frame1.Width, 11800);
  EXPECT_EQ(f.msFlexParcelle.Width, 11800 - f.MSFlexCouleur.Width - 200);
  EXPECT_EQ(f.MSFlexCouleur.Left, f.msFlexParcelle.Width + 100);
  EXPECT_EQ(f.txtCoul.Left, f.MSFlexCouleur.Left);
  EXPECT_EQ(f.Cmdaucune.Left, 300 + f.butToutes.Width + 200);
  EXPECT_EQ(f.MSFlexTheme.Width, 11740);
  EXPECT_EQ(f.MSFlexTheme.Height, 10000 - 5300 - f.CmdQuit.Height - 500 - 1000);
  EXPECT_EQ(f.butSupprimer.Top, f.MSFlexTheme.Height + 300);
  EXPECT_EQ(f.Check1.Top, f.butSupprimer.Top);
  EXPECT_EQ(f.CmdSupCol.Top, f.butSupprimer.Top + 350);
  EXPECT_EQ(f.CmdQuit.Top, 10000 - 500 - f.CmdQuit.Height);
  // The parcel buttons follow the grid down; the frame holds them whole.
  EXPECT_GT(f.Frame3.Top, f.MSFlexTheme.Top + f.MSFlexTheme.Height);
  EXPECT_GT(f.Frame2.Height, f.Frame3.Top + f.Frame3.Height);
  EXPECT_GT(f.Frame2.Height, f.CmdSupCol.Top + f.CmdSupCol.Height);
  // Minimised, or at the caption-only size: left alone.
  f.Redimensionner(2400, 360);
  EXPECT_EQ(f.Width, 2400);
  f.WindowState = 1;
  f.Redimensionner(100, 100);
  EXPECT_EQ(f.Height, 100);
}

TEST(FormCoulSig, ClosingBringsTheMainWindowBackAndThemesSurvive) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A"});
  auto& f = t.f();
  f.CliquerCouleur(0);
  t.marquer({kR1});
  f.Appuyer(f.CmdNouvCol);
  t.app.KUP_MDI.WindowState = 0;
  f.Unload();  // the close box
  EXPECT_TRUE(t.app.KUP_MDI.Visible);
  EXPECT_EQ(t.app.KUP_MDI.WindowState, 0);
  EXPECT_FALSE(f.Loaded());

  // A new hand-over while closed, then the palette again: grids reloaded.
  t.commande("ZezORA_ThematiqueProprietaire", kup::Args{kR2 + "#B"});
  t.palette({{1, 2, 3}});
  EXPECT_EQ(f.msFlexParcelle.Rows(), 3);
  EXPECT_EQ(f.msFlexParcelle.TextMatrix(2, 1), kR2);
  EXPECT_NE(t.ligneTheme("Thème n°1", kR1), -1);
  EXPECT_EQ(f.txtCoul.Text(), "");

  f.Appuyer(f.CmdQuit);
  EXPECT_TRUE(t.app.KUP_MDI.Visible);
  EXPECT_EQ(t.app.KUP_MDI.WindowState, 2);
  f.Appuyer(f.CmdNouvCol);  // closed: ignored
}

TEST(FormCoulSig, PaletteChangedUnderAnOpenWindowDoesNotBreakIt) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A"}, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}});
  auto& f = t.f();
  t.dde->deliver("dde_ajoutcouleurinit(1)");
  f.CliquerCouleur(2);  // the row the window still shows is gone from the palette
  EXPECT_TRUE(t.erreurSignalee("FormCoulSIG - MSFlexCouleur_Click"));
  EXPECT_TRUE(f.Loaded());
}

TEST(FormCoulSig, ButtonStatesThatTheHandlersLeave) {
  FenetreTheme t;
  t.ouvrir({kR1 + "#A", kR2 + "#B"});
  auto& f = t.f();
  t.creerTheme("Zone", 1, {kR1, kR2});

  // A theme picked: marking offers "Ajouter", unmarking the last one takes it back.
  f.CliquerTheme(t.ligneTheme("Zone", kR1), 0);
  t.marquer({kR2});
  EXPECT_TRUE(f.CmdAjouter.Enabled);
  EXPECT_FALSE(f.CmdNouvCol.Enabled);
  t.marquer({kR2});
  EXPECT_FALSE(f.CmdAjouter.Enabled);
  EXPECT_TRUE(f.CmdNouvCol.Enabled);
  f.Appuyer(f.butToutes);
  EXPECT_TRUE(f.CmdAjouter.Enabled);
  f.Appuyer(f.Cmdaucune);
  EXPECT_FALSE(f.CmdAjouter.Enabled);
  EXPECT_TRUE(f.CmdNouvCol.Enabled);

  // "Cadrer thème" after hiding: ticked again, the picked parcel dropped.
  f.CliquerTheme(t.ligneTheme("Zone", kR1), 1);  // hides
  EXPECT_EQ(f.Check1.Value, 0);
  f.CliquerTheme(t.ligneTheme("Zone", kR2), 2);
  EXPECT_TRUE(f.CmdSupp.Enabled);
  f.Appuyer(f.butCadrer);
  EXPECT_EQ(f.Check1.Value, 1);
  EXPECT_FALSE(f.CmdSupp.Enabled);
  EXPECT_EQ(f.MSFlexTheme.TextMatrix(t.ligneTheme("Zone", kR2), 1), "Vrai");

  // "Supprimer parcelle": the theme shown again, ready for a new creation.
  f.CliquerTheme(t.ligneTheme("Zone", kR2), 3);
  f.Appuyer(f.CmdSupp);
  EXPECT_FALSE(f.CmdSupp.Enabled);
  EXPECT_FALSE(f.CmdAjouter.Enabled);
  EXPECT_TRUE(f.CmdNouvCol.Enabled);
  EXPECT_EQ(f.Check1.Value, 1);
  EXPECT_EQ(f.MSFlexTheme.Row(), 1);  // gone to the theme's key row
  EXPECT_EQ(t.ligneTheme("Zone", kR2), -1);

  // A palette click starts afresh.
  f.CliquerTheme(t.ligneTheme("Zone", kR1), 2);
  t.marquer({kR2});
  f.CliquerCouleur(0);
  EXPECT_EQ(f.func_nbSel(), 0);
  EXPECT_EQ(f.TxtNomCol.Text(), "");
  EXPECT_EQ(f.txtRefCad.Text(), "");
  EXPECT_FALSE(f.CmdSupp.Enabled);
  EXPECT_FALSE(f.CmdAjouter.Enabled);
  EXPECT_TRUE(f.CmdNouvCol.Enabled);
}
