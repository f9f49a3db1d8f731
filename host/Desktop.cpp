#include "host/Desktop.h"

#include <thread>

#include <QApplication>
#include <QScreen>
#include <QThread>
#include <asio/executor_work_guard.hpp>

#include "core/App.h"
#include "gis/FormCoulSig.h"
#include "gis/qt/FenetreCoulSig.h"
#include "host/QtExecutor.h"
#include "platform/qt/QtFenetres.h"

namespace kup::host {

namespace {

Desktop* g_desktop = nullptr;
QtMessageHandler g_previous = nullptr;

// Qt's X platform says "The X11 connection broke" and ends the process
// right after; its message is the only notice there is.
void Messages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  static bool lost = false;
  if (!lost && g_desktop && g_desktop->onDisplayLost && text.startsWith(QLatin1String("The X11 connection broke")) &&
      QThread::currentThread() == qApp->thread()) {
    lost = true;
    g_desktop->onDisplayLost();
  }
  if (g_previous) g_previous(type, context, text);
}

}  // namespace

Desktop::Desktop(asio::io_context& io, int& argc, char** argv)
    : io_(io), qt_(std::make_unique<QApplication>(argc, argv)) {
  g_desktop = this;
  g_previous = qInstallMessageHandler(Messages);
  // The colour-theme window is often the only one open: closing it gives the
  // main window back, it does not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  francais_ = platform::InstallFrenchQtTexts();
}

Desktop::~Desktop() {
  qInstallMessageHandler(g_previous);
  g_desktop = nullptr;
  fenetres_.clear();
}

asio::any_io_executor Desktop::executor() { return QtExecutor(io_, gate_); }
asio::any_io_executor Desktop::urgentExecutor() { return QtExecutor(io_, gate_, true); }

void Desktop::install(Platform& pf) {
  pf.msgbox = std::make_unique<platform::QtMessageBox>(pf.log.get());
  pf.dialog = std::make_unique<platform::QtCommonDialog>(pf.fs.get(), pf.log.get());
}

void Desktop::installWindows(App& app) {
  // A maximised main window fills this screen's work area, not the stand-in's.
  if (QScreen* ecran = QGuiApplication::primaryScreen()) {
    const QRect zone = ecran->availableGeometry();
    if (zone.width() > 0 && zone.height() > 0) {
      app.KUP_MDI.WorkAreaWidth = zone.width() * TwipsPerPixelX;
      app.KUP_MDI.WorkAreaHeight = zone.height() * TwipsPerPixelY;
    }
  }
  app.hooks.configureFormCoulSig = [this](App&, FormCoulSig& modele) {
    fenetres_.push_back(std::make_unique<FenetreCoulSig>(
        modele, [this](const std::function<void()>& geste) { gate_.hold(geste); }));
  };
  // While a step waits for the person in the office's own window, what a
  // partner sends is taken in (answered, queued); the person's gestures on
  // the program's windows wait for the step, as they would under a box.
  gate_.personWaits = [&app] { return app.waitingForPerson > 0; };
  app.turnLoop = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20); };
}

int Desktop::run() {
  if (quitting_) return 0;
  auto work = asio::make_work_guard(io_);
  std::thread io([this] { io_.run(); });
  int rc = QApplication::exec();
  work.reset();
  io_.stop();
  io.join();
  return rc;
}

void Desktop::quit() {
  quitting_ = true;
  QApplication::exit(0);
}

}  // namespace kup::host
