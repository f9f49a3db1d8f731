#include "tools/attachefichier/Fenetres.h"

#include <dlfcn.h>
#include <xcb/xcb.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <QApplication>
#include <QGuiApplication>
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

// Work nearly always holds the thread (a database, the office, a partner
// awaited), so that no timer of ours runs until it ends. Under X the
// window is therefore readied at the start of the work, its picture given
// to the server as its background, and put on the screen from a second
// thread when the delay is over, through the server alone: it needs no
// drawing from the held thread. The libxcb that Qt's X platform loaded is
// used; without it (another platform) the window waits for the loop.
struct Xcb {
  xcb_connection_t* c = nullptr;
  decltype(&xcb_generate_id) id;
  decltype(&xcb_get_geometry) geometrie;
  decltype(&xcb_get_geometry_reply) reponse;
  decltype(&xcb_get_setup) setup;
  decltype(&xcb_create_pixmap) pixmap;
  decltype(&xcb_free_pixmap) libererPixmap;
  decltype(&xcb_create_gc) gc;
  decltype(&xcb_free_gc) libererGc;
  decltype(&xcb_put_image) image;
  decltype(&xcb_change_window_attributes) attributs;
  decltype(&xcb_map_window) montrer;
  decltype(&xcb_configure_window) configurer;
  decltype(&xcb_unmap_window) retirer;
  decltype(&xcb_flush) envoyer;
};

bool OuvrirXcb(Xcb& x) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  void* lib = x11 ? ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_NOLOAD) : nullptr;
  if (!lib || !(x.c = x11->connection())) return false;
  bool ok = true;
  auto f = [&](auto& p, const char* nom) {
    p = reinterpret_cast<std::remove_reference_t<decltype(p)>>(::dlsym(lib, nom));
    ok = ok && p;
  };
  f(x.id, "xcb_generate_id"), f(x.geometrie, "xcb_get_geometry"), f(x.reponse, "xcb_get_geometry_reply");
  f(x.setup, "xcb_get_setup"), f(x.pixmap, "xcb_create_pixmap"), f(x.libererPixmap, "xcb_free_pixmap");
  f(x.gc, "xcb_create_gc"), f(x.libererGc, "xcb_free_gc"), f(x.image, "xcb_put_image");
  f(x.attributs, "xcb_change_window_attributes"), f(x.montrer, "xcb_map_window");
  f(x.configurer, "xcb_configure_window"), f(x.retirer, "xcb_unmap_window"), f(x.envoyer, "xcb_flush");
  ::dlclose(lib);  // still held by Qt's platform
  return ok;
}

Xcb g_x;
xcb_window_t g_fenetreX = 0;
std::mutex g_pose;
std::condition_variable g_reveil;
bool g_armee = false;  // under g_pose
bool g_posee = false;  // under g_pose: put on the screen by the second thread
std::thread g_poseur;

// Ends the second thread; `retirer`: takes off the screen what it put there.
void ArreterPose(bool retirer) {
  {
    std::lock_guard lk(g_pose);
    g_armee = false;
  }
  g_reveil.notify_all();
  if (g_poseur.joinable()) g_poseur.join();
  std::lock_guard lk(g_pose);
  if (g_posee && retirer && g_fenetreX) {
    g_x.retirer(g_x.c, g_fenetreX);
    g_x.envoyer(g_x.c);
  }
  if (retirer) g_posee = false;
}

// The process may end in the middle of the work (a signal): the second
// thread ends before what it uses goes.
struct FinDePose {
  ~FinDePose() { ArreterPose(false); }
} g_finDePose;

void PreparerPose() {
  if (g_poseur.joinable() || !OuvrirXcb(g_x)) return;
  if (!g_occupe) g_occupe = Indicateur();
  const QImage image = g_occupe->grab().toImage().convertToFormat(QImage::Format_RGB32);
  g_fenetreX = static_cast<xcb_window_t>(g_occupe->winId());
  xcb_get_geometry_reply_t* geo = g_x.reponse(g_x.c, g_x.geometrie(g_x.c, g_fenetreX), nullptr);
  const bool convient = geo && (geo->depth == 24 || geo->depth == 32) && geo->width == image.width() &&
                        geo->height == image.height() && image.sizeInBytes() < 200000 &&
                        g_x.setup(g_x.c)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  const uint8_t profondeur = geo ? geo->depth : 0;
  std::free(geo);
  if (!convient) return;
  const xcb_pixmap_t fond = g_x.id(g_x.c);
  const xcb_gcontext_t gc = g_x.id(g_x.c);
  g_x.pixmap(g_x.c, profondeur, fond, g_fenetreX, image.width(), image.height());
  g_x.gc(g_x.c, gc, fond, 0, nullptr);
  g_x.image(g_x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, fond, gc, image.width(), image.height(), 0, 0, 0, profondeur,
            static_cast<uint32_t>(image.sizeInBytes()), image.constBits());
  g_x.attributs(g_x.c, g_fenetreX, XCB_CW_BACK_PIXMAP, &fond);
  g_x.libererGc(g_x.c, gc);
  g_x.libererPixmap(g_x.c, fond);  // the window keeps it
  g_x.envoyer(g_x.c);
  g_armee = true;
  const auto quand = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDelaiMs - g_debut.elapsed());
  g_poseur = std::thread([quand] {
    std::unique_lock lk(g_pose);
    if (g_reveil.wait_until(lk, quand, [] { return !g_armee; })) return;
    const uint32_t dessus = XCB_STACK_MODE_ABOVE;
    g_x.montrer(g_x.c, g_fenetreX);
    g_x.configurer(g_x.c, g_fenetreX, XCB_CONFIG_WINDOW_STACK_MODE, &dessus);
    g_x.envoyer(g_x.c);
    g_posee = true;
  });
}

void Actualiser() {
  if (g_voulu && !AttendLaPersonne()) {
    if (!g_curseur) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      g_curseur = true;
    }
    if (g_debut.elapsed() < kDelaiMs) {
      if (g_delai && !g_delai->isActive()) g_delai->start(kDelaiMs - static_cast<int>(g_debut.elapsed()));
      PreparerPose();
      return;
    }
    // The loop turns: Qt takes the window over.
    ArreterPose(false);
    if (!g_occupe) g_occupe = Indicateur();
    if (!g_occupe->isVisible()) g_occupe->show();
    g_occupe->raise();
    // The work may hold the thread again: drawn now.
    g_occupe->repaint();
    return;
  }
  ArreterPose(true);
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
  ArreterPose(true);
  g_fenetreX = 0;
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
