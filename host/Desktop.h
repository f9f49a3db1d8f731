#pragma once
// Desktop mode: Qt owns the application thread; Asio's I/O waits on a second
// thread and hands every completion to the Qt thread through the event gate.
// The platform's person-facing stand-ins become Qt windows.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/io_context.hpp>

#include "host/EventGate.h"

class QApplication;

namespace kup {
struct App;
struct Platform;
class FenetreCoulSig;
}  // namespace kup

namespace kup::host {

class Desktop {
 public:
  // Creates the QApplication (argc must outlive the object).
  Desktop(asio::io_context& io, int& argc, char** argv);
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  asio::any_io_executor executor();
  // Work that must not wait behind a box (EventGate::urgent).
  asio::any_io_executor urgentExecutor();
  EventGate& gate() { return gate_; }

  // Message boxes and common dialogs as Qt windows.
  void install(Platform& pf);
  // The colour-theme window on screen whenever its model is created; the
  // screen's work area for the main window.
  void installWindows(App& app);

  // Called on the Qt thread when the connection to the X server broke (the
  // server stopped, the session ended). Qt ends the process as soon as this
  // returns: it is the one chance to end cleanly, so it should not return.
  std::function<void()> onDisplayLost;

  // Runs the I/O thread and the Qt loop until quit().
  int run();
  // Ends run() (from the Qt thread); before run() it keeps it from starting.
  void quit();

 private:
  asio::io_context& io_;
  std::unique_ptr<QApplication> qt_;
  std::unique_ptr<QObject> francais_;
  EventGate gate_;
  std::vector<std::unique_ptr<FenetreCoulSig>> fenetres_;
  bool quitting_ = false;
};

}  // namespace kup::host
