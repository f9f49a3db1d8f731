// The colour-theme window on screen, driven by clicks and keys: what the
// GIS receives, what the grids show, and the main window around it.
#include <memory>

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include "FormCoulSig_Outils.h"
#include "QtTest.h"
#include "gis/qt/FenetreCoulSig.h"

using Strings = std::vector<std::string>;

namespace {

const std::string kR1 = "590350    A0001";
const std::string kR2 = "590350    A0002";
const std::string kR3 = "590350    B0007";

// The theme window of a test app, on screen from its first showing.
struct Ecran : FenetreTheme {
  std::unique_ptr<kup::FenetreCoulSig> vue;
  Ecran() {
    app.hooks.configureFormCoulSig = [this](kup::App&, kup::FormCoulSig& f) {
      vue = std::make_unique<kup::FenetreCoulSig>(f, nullptr);
    };
  }
  QTableWidget* grille(const char* nom) { return vue->grille(nom); }
  QLineEdit* zone(const char* nom) { return qobject_cast<QLineEdit*>(vue->controle(nom)); }
  QPushButton* bouton(const char* nom) { return qobject_cast<QPushButton*>(vue->controle(nom)); }
  // A click in the middle of a cell, as the mouse gives it.
  void cliquer(const char* nomGrille, int ligne, int colonne) {
    auto* t = grille(nomGrille);
    QRect r = t->visualRect(t->model()->index(ligne, colonne));
    ASSERT_TRUE(r.isValid()) << nomGrille << " " << ligne << "," << colonne;
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, r.center());
  }
  void appuyer(const char* nom) { QTest::mouseClick(bouton(nom), Qt::LeftButton); }
  // Table row of a theme's parcel.
  int ligne(const std::string& theme, const std::string& ref) {
    return kup::FenetreCoulSig::LigneTable(f().MSFlexTheme, ligneTheme(theme, ref));
  }
};

QColor Fond(QTableWidget* t, int r, int c) { return t->item(r, c)->background().color(); }

}  // namespace

TEST(FenetreCoulSig, ClicksMakeThemesOnTheGis) {
  Ecran e;
  e.ouvrir({kR1 + "#OWNER B", kR2 + "#OWNER A", kR3 + "#OWNER C", "R4"});
  ASSERT_TRUE(e.vue);
  QWidget* w = e.vue->fenetre();
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(e.app.KUP_MDI.Visible);
  EXPECT_EQ(w->windowTitle(), "Thématique propriétaires");

  // Parcels sorted by owner under their headings, the placeholder row thin.
  auto* p = e.grille("msFlexParcelle");
  ASSERT_EQ(p->rowCount(), 4);
  EXPECT_LE(p->rowHeight(0), 1);
  EXPECT_EQ(p->horizontalHeaderItem(2)->text(), "Propriétaire parcelle");
  EXPECT_EQ(p->item(1, 2)->text(), "OWNER A");
  EXPECT_EQ(p->item(3, 1)->text(), QString::fromStdString(kR3));
  // The palette, one painted row per colour.
  auto* pal = e.grille("MSFlexCouleur");
  ASSERT_EQ(pal->rowCount(), 5);
  EXPECT_EQ(Fond(pal, 1, 0), QColor(0, 128, 255));

  // No colour yet: a click on a parcel marks nothing.
  e.cliquer("msFlexParcelle", 1, 0);
  EXPECT_EQ(p->item(1, 0)->text(), "");

  e.cliquer("MSFlexCouleur", 1, 0);
  EXPECT_EQ(e.zone("txtCoul")->text(), "0.128.255");
  EXPECT_EQ(e.zone("txtCoul")->palette().color(QPalette::Base), QColor(0, 128, 255));
  e.cliquer("msFlexParcelle", 1, 0);
  e.cliquer("msFlexParcelle", 2, 1);
  EXPECT_EQ(p->item(1, 0)->text(), "?");
  EXPECT_EQ(Fond(p, 1, 0), QColor(0, 128, 255));
  EXPECT_EQ(p->item(3, 0)->text(), "");

  e.zone("TxtNomCol")->setFocus();
  QTest::keyClicks(e.zone("TxtNomCol"), "Bleus");
  e.oublier();
  e.appuyer("CmdNouvCol");
  const Strings cree = e.sentSig();
  ASSERT_FALSE(cree.empty());
  EXPECT_EQ(cree.front().rfind("DDE_CreerTheme(Bleus,", 0), 0u) << cree.front();

  // The theme grid: the key row hidden, the parcels in the theme's colour,
  // the name and the visibility merged over them.
  auto* t = e.grille("MSFlexTheme");
  ASSERT_EQ(t->rowCount(), 3);
  EXPECT_TRUE(t->isRowHidden(0));
  const int r = e.ligne("Bleus", kR2);
  EXPECT_EQ(Fond(t, r, 3), QColor(0, 128, 255));
  EXPECT_EQ(t->item(r, 3)->foreground().color(), QColor(255, 0, 0));
  EXPECT_EQ(t->rowSpan(1, 0), 2);
  EXPECT_EQ(t->rowSpan(1, 2), 1);
  EXPECT_EQ(p->item(1, 0)->text(), "");  // marks cleared
  EXPECT_TRUE(qobject_cast<QCheckBox*>(e.vue->controle("Check1"))->isChecked());

  // The owner cell picks the parcel; typing a name drops it again.
  e.cliquer("MSFlexTheme", r, 3);
  EXPECT_EQ(e.zone("txtRefCad")->text(), QString::fromStdString(kR2));
  EXPECT_TRUE(e.bouton("CmdSupp")->isEnabled());
  EXPECT_EQ(e.zone("txtCoul")->text(), "0,128,255");
  qtest::Capture(w, "fenetre_themes");
  QTest::keyClicks(e.zone("TxtNomCol"), "2");
  EXPECT_EQ(e.zone("txtRefCad")->text(), "");
  EXPECT_FALSE(e.bouton("CmdSupp")->isEnabled());

  // The "Visible" cell hides the theme, the box shows it again.
  e.oublier();
  e.cliquer("MSFlexTheme", e.ligne("Bleus", kR1), 1);
  EXPECT_EQ(t->item(e.ligne("Bleus", kR1), 1)->text(), "Faux");
  EXPECT_FALSE(qobject_cast<QCheckBox*>(e.vue->controle("Check1"))->isChecked());
  QTest::mouseClick(e.vue->controle("Check1"), Qt::LeftButton);
  EXPECT_EQ(e.sentSig(), (Strings{"DDE_MasquerTheme(Bleus)", "DDE_AfficherTheme(Bleus,0)"}));
  EXPECT_TRUE(qobject_cast<QCheckBox*>(e.vue->controle("Check1"))->isChecked());
}

TEST(FenetreCoulSig, CloseBoxAndReturnGiveTheMainWindowBack) {
  Ecran e;
  e.app.KUP_MDI.WindowState = 0;
  e.ouvrir({kR1 + "#A"});
  ASSERT_TRUE(e.vue);
  QWidget* w = e.vue->fenetre();
  // The window does not get smaller than its layout allows.
  w->resize(200, 333);
  EXPECT_EQ(e.f().Width, 4335);
  EXPECT_EQ(e.f().Height, 9075);

  w->close();
  EXPECT_FALSE(e.f().Loaded());
  EXPECT_TRUE(e.app.KUP_MDI.Visible);
  EXPECT_EQ(e.app.KUP_MDI.WindowState, 0);

  // Shown again by the next palette: "Retourner" closes it maximising the main window.
  e.ouvrir({kR1 + "#A"});
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(e.app.KUP_MDI.Visible);
  e.appuyer("CmdQuit");
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(e.app.KUP_MDI.Visible);
  EXPECT_EQ(e.app.KUP_MDI.WindowState, 2);
}
