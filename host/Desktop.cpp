#include "host/Desktop.h"

#include <thread>

#include <QApplication>
#include <asio/executor_work_guard.hpp>

#include "core/App.h"
#include "gis/FormCoulSig.h"
#include "gis/qt/FenetreCoulSig.h"
#include "host/QtExecutor.h"
#include "platform/qt/QtFenetres.h"

namespace kup::host {

Desktop::Desktop(asio::io_context& io, int& argc, char** argv)
    : io_(io), qt_(std::make_unique<QApplication>(argc, argv)) {
  // The colour-theme window is often the only one open: closing it gives the
  // main window back, it does not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  francais_ = platform::InstallFrenchQtTexts();
}

Desktop::~Desktop() {
  fenetres_.clear();
}

asio::any_io_executor Desktop::executor() { return QtExecutor(io_, gate_); }
asio::any_io_executor Desktop::urgentExecutor() { return QtExecutor(io_, gate_, true); }

void Desktop::install(Platform& pf) {
  pf.msgbox = std::make_unique<platform::QtMessageBox>(pf.log.get());
  pf.dialog = std::make_unique<platform::QtCommonDialog>(pf.fs.get(), pf.log.get());
}

void Desktop::installWindows(App& app) {
  app.hooks.configureFormCoulSig = [this](App&, FormCoulSig& modele) {
    fenetres_.push_back(std::make_unique<FenetreCoulSig>(
        modele, [this](const std::function<void()>& geste) { gate_.hold(geste); }));
  };
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
