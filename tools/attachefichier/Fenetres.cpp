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
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

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
// when the last such window goes, if the work is still going on.
namespace {

bool g_voulu = false;    // between MontrerOccupe and CacherOccupe
bool g_curseur = false;  // the wait cursor set here (only that one is taken back)

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

// attendreEcran: from the start of the work only, never from inside another
// window's event.
void Actualiser(bool attendreEcran = false) {
  if (g_voulu && !AttendLaPersonne()) {
    if (!g_occupe) {
      g_occupe = new QLabel(QStringLiteral("Traitement en cours, veuillez patienter…"));
      g_occupe->setObjectName("AttacheFichierOccupe");
      g_occupe->setWindowTitle(QStringLiteral("Traitement en cours"));
      // Never takes a click, a key or the focus: it only informs.
      g_occupe->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput);
      g_occupe->setAttribute(Qt::WA_ShowWithoutActivating);
      g_occupe->setAttribute(Qt::WA_TransparentForMouseEvents);
      g_occupe->setFocusPolicy(Qt::NoFocus);
      g_occupe->setMargin(16);
      g_occupe->setFrameStyle(QFrame::Box);
      g_occupe->adjustSize();
      // Centred by us: without a window manager nobody else places it.
      if (QScreen* ecran = QGuiApplication::primaryScreen())
        g_occupe->move(ecran->availableGeometry().center() - g_occupe->rect().center());
    }
    if (!g_curseur) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      g_curseur = true;
    }
    if (!g_occupe->isVisible()) g_occupe->show();
    g_occupe->raise();
    // The work that follows holds the thread: the window is drawn now. The
    // screen takes no drawing before it has shown the window, which a turn
    // of the loop learns (briefly: user input waits; a box's own loop would
    // let in no more than this).
    if (QWindow* fenetre = attendreEcran ? g_occupe->windowHandle() : nullptr) {
      QElapsedTimer attente;
      attente.start();
      while (g_occupe && !fenetre->isExposed() && attente.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    }
    if (g_occupe) g_occupe->repaint();
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
  g_voulu = true;
  if (!g_veilleur) {
    g_veilleur = new Veilleur;
    qApp->installEventFilter(g_veilleur);
  }
  Actualiser(true);
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
