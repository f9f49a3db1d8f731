#include "gis/qt/FenetreCoulSig.h"

#include <cmath>

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QShortcut>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolTip>
#include <QWidget>

#include "core/App.h"
#include "gis/FormCoulSig.h"
#include "gis/GrilleFlex.h"

namespace kup {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

int Px(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixelX)); }

// A Windows colour (0x00BBGGRR, or a system colour with the high bit).
QColor Couleur(int32_t c) {
  if (c & static_cast<int32_t>(0x80000000u)) {
    switch (c & 0xFF) {
      case 8:  // window text
      case 18: return QColor(Qt::black);
      default: return QColor(Qt::white);  // window background and the rest
    }
  }
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

void Placer(QWidget* w, const Controle& c) {
  w->setGeometry(Px(c.Left), Px(c.Top), Px(c.Width), Px(c.Height));
  w->setEnabled(c.Enabled);
  w->setVisible(c.Visible);
}

}  // namespace

// The window itself: its close box and its resizing go to the model.
class FenetreQt : public QWidget {
 public:
  std::function<void(int, int)> surRedimension;
  std::function<void()> surFermeture;

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (surRedimension) surRedimension(e->size().width(), e->size().height());
  }
  void closeEvent(QCloseEvent* e) override {
    if (surFermeture) surFermeture();
    e->accept();
  }
};

namespace {

// A grid worked from the keyboard as with the mouse: the arrows move the
// current cell, Space or Enter clicks it; Tab leaves the grid.
class GrilleQt : public QTableWidget {
 public:
  using QTableWidget::QTableWidget;
  std::function<void(int, int)> surClic;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    const int k = e->key();
    if ((k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter) && e->modifiers() == Qt::NoModifier &&
        currentIndex().isValid()) {
      if (surClic) surClic(currentRow(), currentColumn());
      return;
    }
    QTableWidget::keyPressEvent(e);
  }
};

// A cell too narrow for its text shows it whole in its tooltip.
class InfoBulleCellule : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool helpEvent(QHelpEvent* e, QAbstractItemView* vue, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (e->type() != QEvent::ToolTip || !index.isValid())
      return QStyledItemDelegate::helpEvent(e, vue, option, index);
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* w = vue->viewport();
    QStyle* style = vue->style();
    const int marge = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
    const int place = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, w).width() - 2 * marge;
    if (opt.fontMetrics.horizontalAdvance(opt.text) > place) {
      QToolTip::showText(e->globalPos(), opt.text, vue->viewport(), option.rect);
    } else {
      QToolTip::hideText();
      e->ignore();
    }
    return true;
  }
};

GrilleQt* NouvelleGrille(QWidget* parent) {
  auto* t = new GrilleQt(parent);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionMode(QAbstractItemView::NoSelection);
  t->setFocusPolicy(Qt::StrongFocus);
  t->setTabKeyNavigation(false);
  t->setItemDelegate(new InfoBulleCellule(t));
  t->verticalHeader()->hide();
  t->verticalHeader()->setMinimumSectionSize(1);
  t->horizontalHeader()->setHighlightSections(false);
  // The person widens a column whose texts are cut by dragging its edge.
  t->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  t->horizontalHeader()->setMinimumSectionSize(1);
  t->setWordWrap(false);
  return t;
}

// The narrowest a column is shown: its heading whole.
int LargeurEntete(QTableWidget* t, int c) {
  if (t->horizontalHeader()->isHidden() || !t->horizontalHeaderItem(c) || t->horizontalHeaderItem(c)->text().isEmpty())
    return 1;
  return t->horizontalHeader()->sectionSizeHint(c);
}

// The width (twips) that shows a button's or a check box's whole caption.
double LargeurLegende(QWidget* w, const std::string& legende) {
  const QString texte = Q(legende);
  w->ensurePolished();
  if (auto* b = qobject_cast<QPushButton*>(w)) {
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = texte;
    opt.rect = QRect(0, 0, 1000, Px(375));
    const QRect contenu = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
    return (b->fontMetrics().horizontalAdvance(texte) + opt.rect.width() - contenu.width() + 2) * TwipsPerPixelX;
  }
  if (auto* c = qobject_cast<QCheckBox*>(w)) {
    c->setText(texte);
    return c->sizeHint().width() * TwipsPerPixelX;
  }
  return 0;
}

}  // namespace

struct FenetreCoulSig::Widgets {
  std::unique_ptr<FenetreQt> fenetre;
  std::map<std::string, QWidget*> parNom;
  std::map<const Controle*, QWidget*> parControle;
  GrilleQt* grilles[3] = {};
  GrilleFlex* modeles[3] = {};
};

namespace {

void Remplir(QTableWidget* t, const GrilleFlex& g) {
  t->setVisible(g.Visible);
  const bool entete = g.FixedRows > 0;
  t->horizontalHeader()->setVisible(entete);
  const int lignes = static_cast<int>(std::max<long>(0, g.Rows() - g.FixedRows));
  t->clearSpans();
  t->setColumnCount(static_cast<int>(g.Cols()));
  t->setRowCount(lignes);
  QPalette pal = t->palette();
  pal.setColor(QPalette::Base, Couleur(g.BackColor));
  t->setPalette(pal);
  for (long c = 0; c < g.Cols(); ++c) {
    if (entete) {
      auto* h = t->horizontalHeaderItem(static_cast<int>(c));
      if (!h) t->setHorizontalHeaderItem(static_cast<int>(c), h = new QTableWidgetItem);
      h->setText(Q(g.TextMatrix(0, c)));
    }
  }
  for (long c = 0; c < g.Cols(); ++c) {
    const int largeur = std::max(Px(g.ColWidth(c)), LargeurEntete(t, static_cast<int>(c)));
    if (t->columnWidth(static_cast<int>(c)) != largeur) t->setColumnWidth(static_cast<int>(c), largeur);
  }
  for (int r = 0; r < lignes; ++r) {
    const long m = FenetreCoulSig::LigneModele(g, r);
    const int h = g.RowHeight(m);
    // The placeholder row, a twip high, is no row the person can reach.
    t->setRowHidden(r, Px(h) <= 0);
    if (Px(h) > 0) t->setRowHeight(r, Px(h));
    for (long c = 0; c < g.Cols(); ++c) {
      auto* it = t->item(r, static_cast<int>(c));
      if (!it) t->setItem(r, static_cast<int>(c), it = new QTableWidgetItem);
      it->setText(Q(g.TextMatrix(m, c)));
      it->setBackground(Couleur(g.CouleurFondAffichee(m, c)));
      it->setForeground(Couleur(g.CouleurTexteAffichee(m, c)));
    }
  }
  // Equal neighbours of a merging column show as one cell.
  if (g.MergeCells) {
    for (long c = 0; c < g.Cols(); ++c) {
      if (!g.MergeCol(c)) continue;
      for (long m = g.FixedRows; m < g.Rows();) {
        auto [premiere, derniere] = g.BlocFusionne(m, c);
        if (derniere > premiere)
          t->setSpan(FenetreCoulSig::LigneTable(g, premiere), static_cast<int>(c),
                     static_cast<int>(derniere - premiere + 1), 1);
        m = std::max(derniere, m) + 1;
      }
    }
  }
  if (g.TopRow() >= g.FixedRows && g.TopRow() < g.Rows()) {
    if (auto* it = t->item(FenetreCoulSig::LigneTable(g, g.TopRow()), 0))
      t->scrollToItem(it, QAbstractItemView::PositionAtTop);
  }
}

void Zone(QLineEdit* e, const ZoneTexte& z) {
  if (e->text() != Q(z.Text())) e->setText(Q(z.Text()));
  QPalette pal = e->palette();
  pal.setColor(QPalette::Base, Couleur(z.BackColor));
  pal.setColor(QPalette::Text, Couleur(z.ForeColor));
  e->setPalette(pal);
}

}  // namespace

long FenetreCoulSig::LigneModele(const GrilleFlex& g, int ligneTable) { return ligneTable + g.FixedRows; }
int FenetreCoulSig::LigneTable(const GrilleFlex& g, long ligneModele) {
  return static_cast<int>(ligneModele - g.FixedRows);
}

FenetreCoulSig::FenetreCoulSig(FormCoulSig& modele, Executer executer)
    : modele_(modele), executer_(std::move(executer)), w_(std::make_unique<Widgets>()) {
  auto& f = modele_;
  w_->fenetre = std::make_unique<FenetreQt>();
  QWidget* racine = w_->fenetre.get();
  // The window's design counts on the small dialog font of its time; the
  // controls are widened where a caption needs more.
  QFont police = racine->font();
  police.setPixelSize(10);
  racine->setFont(police);
  racine->setStyleSheet("QPushButton { padding: 1px 2px; }");
  auto nommer = [&](const char* nom, QWidget* w) {
    w->setObjectName(nom);
    w_->parNom[nom] = w;
  };
  auto* frame1 = new QGroupBox(racine);
  auto* frame2 = new QGroupBox(racine);
  auto* frame3 = new QGroupBox(frame2);
  nommer("Frame1", frame1);
  nommer("Frame2", frame2);
  nommer("Frame3", frame3);

  w_->grilles[0] = NouvelleGrille(frame1);
  w_->grilles[1] = NouvelleGrille(frame1);
  w_->grilles[2] = NouvelleGrille(frame2);
  w_->grilles[1]->horizontalHeader()->hide();
  w_->modeles[0] = &f.msFlexParcelle;
  w_->modeles[1] = &f.MSFlexCouleur;
  w_->modeles[2] = &f.MSFlexTheme;
  nommer("msFlexParcelle", w_->grilles[0]);
  nommer("MSFlexCouleur", w_->grilles[1]);
  nommer("MSFlexTheme", w_->grilles[2]);

  auto zone = [&](const char* nom, QWidget* parent, bool saisie) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(!saisie);
    e->setAutoFillBackground(true);
    nommer(nom, e);
    return e;
  };
  zone("txtCoul", frame1, false);
  auto* nomTheme = zone("TxtNomCol", frame1, true);
  zone("txtRefCad", frame3, false);
  QObject::connect(nomTheme, &QLineEdit::textEdited, nomTheme, [this](const QString& texte) {
    geste([this, t = texte.toUtf8().toStdString()] { modele_.SaisirNomTheme(t); });
  });

  auto bouton = [&](const char* nom, Bouton& b, QWidget* parent) {
    auto* p = new QPushButton(parent);
    p->setFont(police);
    // Enter on the button that has the focus presses it, as Space does.
    p->setAutoDefault(true);
    nommer(nom, p);
    w_->parControle[&b] = p;
    QObject::connect(p, &QPushButton::clicked, p, [this, &b] { geste([this, &b] { modele_.Appuyer(b); }); });
  };
  bouton("butToutes", f.butToutes, frame1);
  bouton("Cmdaucune", f.Cmdaucune, frame1);
  bouton("CmdNouvCol", f.CmdNouvCol, frame1);
  bouton("butSupprimer", f.butSupprimer, frame2);
  bouton("butCadrer", f.butCadrer, frame2);
  bouton("CmdSupCol", f.CmdSupCol, frame2);
  bouton("butCadrerParc", f.butCadrerParc, frame3);
  bouton("CmdAjouter", f.CmdAjouter, frame3);
  bouton("CmdSupp", f.CmdSupp, frame3);
  bouton("CmdQuit", f.CmdQuit, racine);

  auto* check = new QCheckBox(frame2);
  nommer("Check1", check);
  w_->parControle[&f.Check1] = check;
  // The box's own toggle is the model's: the press decides, the view shows.
  QObject::connect(check, &QCheckBox::clicked, check, [this] { geste([this] { modele_.AppuyerCheck1(); }); });

  auto clics = [this](GrilleQt* t, std::function<void(int, int)> clic) {
    t->surClic = clic;
    QObject::connect(t, &QTableWidget::cellClicked, t, [clic](int r, int c) { clic(r, c); });
  };
  clics(w_->grilles[0], [this](int r, int) {
    geste([this, r] { modele_.CliquerParcelle(LigneModele(modele_.msFlexParcelle, r)); });
  });
  clics(w_->grilles[1], [this](int r, int) {
    geste([this, r] { modele_.CliquerCouleur(LigneModele(modele_.MSFlexCouleur, r)); });
  });
  clics(w_->grilles[2], [this](int r, int c) {
    geste([this, r, c] { modele_.CliquerTheme(LigneModele(modele_.MSFlexTheme, r), c); });
  });
  // A column the person widens keeps its width until the next loading; it
  // is never narrower than its heading.
  for (int i = 0; i < 3; ++i) {
    auto* t = w_->grilles[i];
    QObject::connect(t->horizontalHeader(), &QHeaderView::sectionResized, t, [this, i, t](int c, int, int largeur) {
      if (synchro_) return;
      GrilleFlex& g = *w_->modeles[i];
      if (c >= g.Cols()) return;
      const int minimum = LargeurEntete(t, c);
      if (largeur < minimum) {
        t->horizontalHeader()->resizeSection(c, minimum);
        return;
      }
      g.ColWidth(c, static_cast<int>(std::lround(largeur * TwipsPerPixelX)));
    });
  }

  // Tab goes through the controls in reading order, frame by frame.
  const char* ordre[] = {"msFlexParcelle", "MSFlexCouleur", "txtCoul",  "butToutes",     "Cmdaucune", "TxtNomCol",
                         "CmdNouvCol",     "MSFlexTheme",   "butSupprimer", "butCadrer", "Check1",    "txtRefCad",
                         "butCadrerParc",  "CmdAjouter",    "CmdSupp",  "CmdSupCol",     "CmdQuit"};
  for (size_t i = 1; i < std::size(ordre); ++i) QWidget::setTabOrder(controle(ordre[i - 1]), controle(ordre[i]));
  // Escape is "Retourner".
  auto* echap = new QShortcut(QKeySequence(Qt::Key_Escape), racine);
  QObject::connect(echap, &QShortcut::activated, racine, [this] { geste([this] { modele_.Appuyer(modele_.CmdQuit); }); });
  modele_.LargeurLegende = [this](const Controle& c) {
    auto it = w_->parControle.find(&c);
    return it == w_->parControle.end() ? 0.0 : LargeurLegende(it->second, c.Caption);
  };

  w_->fenetre->surRedimension = [this](int l, int h) { redimensionne(l, h); };
  w_->fenetre->surFermeture = [this] { fermee(); };
  modele_.Montree = [this] { montrer(); };
  modele_.Dechargee = [this] { masquer(); };
  if (modele_.Visible) montrer();
}

FenetreCoulSig::~FenetreCoulSig() {
  modele_.LargeurLegende = nullptr;
  w_->fenetre->surRedimension = nullptr;
  w_->fenetre->surFermeture = nullptr;
}

QWidget* FenetreCoulSig::fenetre() const { return w_->fenetre.get(); }

QWidget* FenetreCoulSig::controle(const std::string& nom) const {
  auto it = w_->parNom.find(nom);
  return it == w_->parNom.end() ? nullptr : it->second;
}

QTableWidget* FenetreCoulSig::grille(const std::string& nom) const {
  return qobject_cast<QTableWidget*>(controle(nom));
}

void FenetreCoulSig::geste(const std::function<void()>& f) {
  if (executer_)
    executer_(f);
  else
    f();
  rafraichir();
}

void FenetreCoulSig::montrer() {
  rafraichir();
  QWidget* f = w_->fenetre.get();
  f->show();
  f->raise();
  f->activateWindow();
}

void FenetreCoulSig::masquer() {
  synchro_ = true;
  w_->fenetre->hide();
  synchro_ = false;
}

void FenetreCoulSig::fermee() {
  if (synchro_ || !modele_.Loaded()) return;
  geste([this] { modele_.Unload(); });
}

void FenetreCoulSig::redimensionne(int largeur, int hauteur) {
  if (synchro_ || !modele_.Loaded()) return;
  const double l = largeur * TwipsPerPixelX, h = hauteur * TwipsPerPixelY;
  if (Px(modele_.Width) == largeur && Px(modele_.Height) == hauteur) return;
  geste([this, l, h] { modele_.Redimensionner(l, h); });
}

void FenetreCoulSig::rafraichir() {
  auto& f = modele_;
  if (!f.Loaded()) return;
  synchro_ = true;
  QWidget* racine = w_->fenetre.get();
  racine->setWindowTitle(Q(f.Caption));
  // Never smaller than what shows every control whole; the layout follows
  // the size the window system gives.
  racine->setMinimumSize(static_cast<int>(std::ceil(f.LargeurMinimale() / TwipsPerPixelX)),
                         static_cast<int>(std::ceil(f.HauteurMinimale() / TwipsPerPixelY)));
  if (racine->width() != Px(f.Width) || racine->height() != Px(f.Height)) racine->resize(Px(f.Width), Px(f.Height));
  if (racine->width() != Px(f.Width) || racine->height() != Px(f.Height))
    f.Redimensionner(racine->width() * TwipsPerPixelX, racine->height() * TwipsPerPixelY);

  auto placer = [&](const char* nom, const Controle& c) { Placer(controle(nom), c); };
  placer("Frame1", f.Frame1);
  placer("Frame2", f.Frame2);
  placer("Frame3", f.Frame3);
  static_cast<QGroupBox*>(controle("Frame1"))->setTitle(Q(f.Frame1.Caption));
  static_cast<QGroupBox*>(controle("Frame2"))->setTitle(Q(f.Frame2.Caption));
  static_cast<QGroupBox*>(controle("Frame3"))->setTitle(Q(f.Frame3.Caption));

  const std::pair<const char*, const GrilleFlex*> grilles[] = {
      {"msFlexParcelle", &f.msFlexParcelle}, {"MSFlexCouleur", &f.MSFlexCouleur}, {"MSFlexTheme", &f.MSFlexTheme}};
  for (auto& [nom, g] : grilles) {
    auto* t = grille(nom);
    t->setGeometry(Px(g->Left), Px(g->Top), Px(g->Width), Px(g->Height));
    Remplir(t, *g);
  }

  const std::pair<const char*, const ZoneTexte*> zones[] = {
      {"txtCoul", &f.txtCoul}, {"TxtNomCol", &f.TxtNomCol}, {"txtRefCad", &f.txtRefCad}};
  for (auto& [nom, z] : zones) {
    placer(nom, *z);
    Zone(static_cast<QLineEdit*>(controle(nom)), *z);
  }

  const std::pair<const char*, const Bouton*> boutons[] = {
      {"butToutes", &f.butToutes},       {"Cmdaucune", &f.Cmdaucune},   {"CmdNouvCol", &f.CmdNouvCol},
      {"butSupprimer", &f.butSupprimer}, {"butCadrer", &f.butCadrer},   {"CmdSupCol", &f.CmdSupCol},
      {"butCadrerParc", &f.butCadrerParc}, {"CmdAjouter", &f.CmdAjouter}, {"CmdSupp", &f.CmdSupp},
      {"CmdQuit", &f.CmdQuit}};
  for (auto& [nom, b] : boutons) {
    placer(nom, *b);
    static_cast<QPushButton*>(controle(nom))->setText(Q(b->Caption));
  }

  auto* check = static_cast<QCheckBox*>(controle("Check1"));
  placer("Check1", f.Check1);
  check->setText(Q(f.Check1.Caption));
  check->blockSignals(true);
  check->setChecked(f.Check1.Value != 0);
  check->blockSignals(false);
  synchro_ = false;
}

}  // namespace kup
