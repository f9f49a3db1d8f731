#include "tools/attachefichier/Fenetres.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kup::attache {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QPointer<QLabel> g_occupe;

}  // namespace

bool FenetresPossibles() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread();
}

void FenetrePieces(const std::string& identifiant, const std::string& habilitation, const std::vector<Piece>& pieces) {
  QDialog d;
  d.setObjectName("AttacheFichierPieces");
  d.setWindowTitle(QStringLiteral("Pièces jointes - ") + Q(identifiant));
  auto* box = new QVBoxLayout(&d);
  auto* titre = new QLabel(QStringLiteral("Dossier %1 : %2 pièce(s) jointe(s)").arg(Q(identifiant)).arg(pieces.size()));
  box->addWidget(titre);
  auto* liste = new QTreeWidget;
  liste->setObjectName("pieces");
  liste->setRootIsDecorated(false);
  liste->setHeaderLabels({QStringLiteral("Nom"), QStringLiteral("Taille"), QStringLiteral("Dossier")});
  for (const auto& p : pieces) {
    auto* it = new QTreeWidgetItem(liste);
    it->setText(0, Q(p.nom));
    it->setText(1, QLocale(QLocale::French).formattedDataSize(p.taille));
    it->setText(2, Q(p.dossier));
  }
  liste->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  box->addWidget(liste);
  if (!habilitation.empty()) box->addWidget(new QLabel(QStringLiteral("Droits : ") + Q(habilitation)));
  auto* boutons = new QDialogButtonBox;
  QPushButton* fermer = boutons->addButton(QStringLiteral("Fermer"), QDialogButtonBox::RejectRole);
  QObject::connect(fermer, &QPushButton::clicked, &d, &QDialog::reject);
  box->addWidget(boutons);
  d.resize(560, 320);
  d.exec();
}

// The indicator stands for "wait, nothing to do": while any window of the
// program waits for the person (a box, a dialog, the attachment window, the
// colour-theme window), it is hidden and the cursor is the normal one, so
// that it never covers what the person must read or click. It comes back
// when the last such window goes, if the work is still going on. Short work
// shows nothing but the cursor; the window comes only after a while, small,
// in a corner of the screen, out of the window manager's hands (no frame to
// take a click, never given the focus), so that it never sits over the
// dialog or the letter the person is working in.
namespace {

constexpr int kDelaiMs = 500;
constexpr int kMargePx = 8;

bool g_voulu = false;    // between MontrerOccupe and CacherOccupe
bool g_curseur = false;  // the wait cursor set here (only that one is taken back)
QElapsedTimer g_debut;   // the start of the work
QPointer<QTimer> g_delai;

bool AttendLaPersonne() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == g_occupe || !w->isVisible()) continue;
    const Qt::WindowType type = w->windowType();
    // Menus, tooltips and the like belong to a window counted already.
    if (type == Qt::ToolTip || type == Qt::Popup || type == Qt::SplashScreen || type == Qt::Desktop) continue;
    return true;
  }
  return false;
}

QLabel* Indicateur() {
  auto* l = new QLabel(QStringLiteral("Traitement en cours, veuillez patienter…"));
  l->setObjectName("AttacheFichierOccupe");
  l->setWindowTitle(QStringLiteral("Traitement en cours"));
  // Never takes a click, a key or the focus: it only informs.
  l->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint |
                    Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
  l->setAttribute(Qt::WA_ShowWithoutActivating);
  l->setAttribute(Qt::WA_TransparentForMouseEvents);
  l->setFocusPolicy(Qt::NoFocus);
  l->setMargin(6);
  l->setFrameStyle(QFrame::Box);
  l->adjustSize();
  // Placed by us: no window manager places it.
  if (QScreen* ecran = QGuiApplication::primaryScreen()) {
    const QRect zone = ecran->availableGeometry();
    l->move(zone.right() + 1 - kMargePx - l->width(), zone.bottom() + 1 - kMargePx - l->height());
  }
  return l;
}

void Actualiser() {
  if (g_voulu && !AttendLaPersonne()) {
    if (!g_curseur) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      g_curseur = true;
    }
    if (g_debut.elapsed() < kDelaiMs) {
      if (g_delai && !g_delai->isActive()) g_delai->start(kDelaiMs - static_cast<int>(g_debut.elapsed()));
      return;
    }
    if (!g_occupe) g_occupe = Indicateur();
    if (!g_occupe->isVisible()) g_occupe->show();
    g_occupe->raise();
    // The work may hold the thread again: drawn now.
    g_occupe->repaint();
    return;
  }
  if (g_occupe && g_occupe->isVisible()) g_occupe->hide();
  if (g_curseur) {
    QApplication::restoreOverrideCursor();
    g_curseur = false;
  }
}

// Sees every window of the program appear and go while the indicator is
// wanted (and only then: the library may be unloaded afterwards).
class Veilleur : public QObject {
 public:
  bool eventFilter(QObject* o, QEvent* e) override {
    const auto t = e->type();
    if (t == QEvent::Show || t == QEvent::Hide || t == QEvent::Close) {
      auto* w = qobject_cast<QWidget*>(o);
      if (w && w->isWindow() && w != g_occupe) {
        // After a Close the window is still visible: look once it is gone.
        if (t == QEvent::Close)
          QMetaObject::invokeMethod(this, [] { Actualiser(); }, Qt::QueuedConnection);
        else
          Actualiser();
      }
    }
    return false;
  }
};

QPointer<Veilleur> g_veilleur;

}  // namespace

void MontrerOccupe() {
  if (!g_voulu) g_debut.start();
  g_voulu = true;
  if (!g_veilleur) {
    g_veilleur = new Veilleur;
    qApp->installEventFilter(g_veilleur);
    // A child of the watcher: it goes with it at the end of the work.
    g_delai = new QTimer(g_veilleur);
    g_delai->setSingleShot(true);
    QObject::connect(g_delai, &QTimer::timeout, [] { Actualiser(); });
  }
  Actualiser();
}

void CacherOccupe() {
  g_voulu = false;
  delete g_veilleur.data();
  // Out of reach at once: deleted later (it may be in the middle of one of
  // its own events), it must not be taken for the indicator of the next work
  // meanwhile, nor be seen as one while it is being destroyed.
  if (QLabel* ancien = g_occupe.data()) {
    g_occupe = nullptr;
    ancien->hide();
    ancien->deleteLater();
  }
  if (g_curseur) {
    QApplication::restoreOverrideCursor();
    g_curseur = false;
  }
}

}  // namespace kup::attache
