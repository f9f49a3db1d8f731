// The colour-theme window on screen, driven by clicks and keys: what the
// GIS receives, what the grids show, and the main window around it.
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QTest>
#include <QToolTip>

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

// Every control of the window, in reading order.
const char* const kControles[] = {"msFlexParcelle", "MSFlexCouleur", "txtCoul",      "butToutes", "Cmdaucune",
                                  "TxtNomCol",      "CmdNouvCol",    "MSFlexTheme",  "butSupprimer", "butCadrer",
                                  "Check1",         "txtRefCad",     "butCadrerParc", "CmdAjouter", "CmdSupp",
                                  "CmdSupCol",      "CmdQuit",       "Frame1",       "Frame2",    "Frame3"};

std::string Texte(const QRect& r) {
  return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
         std::to_string(r.height());
}

// Each control shown whole inside its frame, beside its neighbours and not
// under them, each caption and heading whole.
void ToutLisible(Ecran& e) {
  for (const char* nom : kControles) {
    SCOPED_TRACE(nom);
    QWidget* c = e.vue->controle(nom);
    QWidget* parent = c->parentWidget();
    EXPECT_TRUE(c->isVisible());
    EXPECT_TRUE(parent->rect().contains(c->geometry())) << Texte(c->geometry()) << " in " << Texte(parent->rect());
    for (const char* autre : kControles) {
      QWidget* a = e.vue->controle(autre);
      if (a != c && a->parentWidget() == parent)
        EXPECT_FALSE(c->geometry().intersects(a->geometry())) << "over " << autre;
    }
    if (auto* b = qobject_cast<QPushButton*>(c)) {
      QStyleOptionButton opt;
      opt.initFrom(b);
      opt.text = b->text();
      EXPECT_GE(b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b).width(),
                b->fontMetrics().horizontalAdvance(b->text()));
    }
    if (auto* k = qobject_cast<QCheckBox*>(c)) EXPECT_GE(k->width(), k->sizeHint().width());
    if (auto* t = qobject_cast<QTableWidget*>(c); t && !t->horizontalHeader()->isHidden())
      for (int i = 0; i < t->columnCount(); ++i)
        EXPECT_GE(t->columnWidth(i), t->horizontalHeader()->sectionSizeHint(i)) << t->horizontalHeaderItem(i)->text().toStdString();
  }
}

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
  EXPECT_EQ(e.f().Width, w->width() * 15.0);
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

  // Escape is "Retourner", wherever the focus stands.
  for (const char* nom : {"MSFlexTheme", "TxtNomCol", "butToutes"}) {
    SCOPED_TRACE(nom);
    e.app.KUP_MDI.WindowState = 0;
    e.ouvrir({kR1 + "#A"});
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QTest::keyClick(e.vue->controle(nom), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(e.app.KUP_MDI.Visible);
    EXPECT_EQ(e.app.KUP_MDI.WindowState, 2);
  }
}

TEST(FenetreCoulSig, EveryControlShowsWholeAtEverySize) {
  Ecran e;
  e.ouvrir({kR1 + "#OWNER B", kR2 + "#OWNER A", kR3 + "#OWNER C"});
  ASSERT_TRUE(e.vue);
  auto& f = e.f();
  e.creerTheme("Bleus", 1, {kR1, kR2});
  f.CliquerTheme(e.ligneTheme("Bleus", kR1), 3);
  e.vue->rafraichir();
  QWidget* w = e.vue->fenetre();
  const QSize depart = w->size();
  // The design's size, wider only where captions need it.
  EXPECT_GE(depart.width(), 720);
  EXPECT_EQ(depart.height(), 640);

  const struct {
    const char* quand;
    std::function<void()> faire;
  } tailles[] = {
      {"at its starting size", [] {}},
      {"shrunk", [w] { w->resize(200, 333); }},
      {"enlarged", [w] { w->resize(1260, 900); }},
      {"maximised", [w] { w->showMaximized(); }},
  };
  for (const auto& t : tailles) {
    SCOPED_TRACE(t.quand);
    const QSize avant = w->size();
    t.faire();
    // A window manager answers in its own time.
    if (t.quand != tailles[0].quand) QTest::qWaitFor([&] { return w->size() != avant; }, 2000);
    EXPECT_EQ(w->width(), std::lround(f.Width / 15)) << "the layout follows the window";
    ToutLisible(e);
  }
  qtest::Capture(w, "fenetre_themes_agrandie");
  w->showNormal();
}

TEST(FenetreCoulSig, CutReferencesShowWholeAndColumnsWiden) {
  Ecran e;
  e.ouvrir({kR1 + "#OWNER A", kR2 + "#OWNER B"});
  ASSERT_TRUE(e.vue);
  auto* p = e.grille("msFlexParcelle");
  const QRect cellule = p->visualRect(p->model()->index(1, 1));
  ASSERT_LT(cellule.width(), p->fontMetrics().horizontalAdvance(QString::fromStdString(kR1)));
  QHelpEvent bulle(QEvent::ToolTip, cellule.center(), p->viewport()->mapToGlobal(cellule.center()));
  QApplication::sendEvent(p->viewport(), &bulle);
  EXPECT_EQ(QToolTip::text(), QString::fromStdString(kR1));

  // Dragging the column's edge widens it, and it stays so after the next click.
  QHeaderView* h = p->horizontalHeader();
  const int bord = h->sectionViewportPosition(1) + h->sectionSize(1) - 1, y = h->height() / 2;
  QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(bord, y));
  QTest::mouseMove(h->viewport(), QPoint(bord + 60, y));
  QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(bord + 60, y));
  const int large = p->columnWidth(1);
  EXPECT_GE(large, cellule.width() + 50);
  e.cliquer("MSFlexCouleur", 1, 0);
  EXPECT_EQ(p->columnWidth(1), large);
}

TEST(FenetreCoulSig, TheKeyboardReachesEveryControlInReadingOrder) {
  Ecran e;
  e.ouvrir({kR1 + "#OWNER A", kR2 + "#OWNER B"});
  ASSERT_TRUE(e.vue);
  QWidget* w = e.vue->fenetre();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
  std::vector<std::string> attendu, vu;
  for (const char* nom : kControles)
    if (e.vue->controle(nom)->isEnabled() && e.vue->controle(nom)->focusPolicy() != Qt::NoFocus &&
        std::string(nom).rfind("Frame", 0) != 0)
      attendu.push_back(nom);
  e.vue->controle("msFlexParcelle")->setFocus(Qt::TabFocusReason);
  for (size_t i = 0; i < attendu.size() && QApplication::focusWidget(); ++i) {
    vu.push_back(QApplication::focusWidget()->objectName().toStdString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(vu, attendu);

  // In a grid the arrows move and Space clicks: a colour, then a parcel marked.
  auto* pal = e.grille("MSFlexCouleur");
  pal->setFocus(Qt::TabFocusReason);
  QTest::keyClick(pal, Qt::Key_Down);
  QTest::keyClick(pal, Qt::Key_Space);
  EXPECT_EQ(e.zone("txtCoul")->text(), "0.128.255");
  auto* p = e.grille("msFlexParcelle");
  p->setFocus(Qt::TabFocusReason);
  QTest::keyClick(p, Qt::Key_Return);
  EXPECT_EQ(e.f().func_nbSel(), 1);
  // Enter on a button presses it.
  QTest::keyClick(e.bouton("Cmdaucune"), Qt::Key_Return);
  EXPECT_EQ(e.f().func_nbSel(), 0);
}
