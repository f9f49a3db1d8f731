#pragma once
// Serves the main window's DDE source from the event loop (so never inside
// a request): woken as soon as one of the source's sockets is readable, it
// hands received execute strings and show requests to their handlers, closes
// conversations that fell silent, and keeps the published window records
// naming the source's socket once the settings command has opened it.
#include <functional>
#include <memory>
#include <string>

#include <asio/any_io_executor.hpp>
#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include "core/App.h"
#include "host/EventGate.h"

namespace kup::platform {
class RealWindowSystem;
class RealDdeSystem;
}  // namespace kup::platform

namespace kup::host {

class DdePoller {
 public:
  DdePoller(asio::io_context& io, App& app, platform::RealWindowSystem* windows, platform::RealDdeSystem* dde)
      : DdePoller(io.get_executor(), app, windows, dde) {}
  // The executor runs the handlers (the Qt thread's in desktop mode).
  DdePoller(const asio::any_io_executor& ex, App& app, platform::RealWindowSystem* windows,
            platform::RealDdeSystem* dde);
  ~DdePoller();
  DdePoller(const DdePoller&) = delete;
  DdePoller& operator=(const DdePoller&) = delete;
  // Desktop mode: the gate everything else enters by. A partner's string
  // is handled before it is answered, as in headless mode, so that the
  // partner knows its command has run (it may reuse what it handed over).
  // Only while a window holds the thread for the person is the string
  // answered at once and its command run after, in turn: no partner times
  // out while a person reads a box. The receiver accepts every string
  // whatever its command does, so the answer is the same either way.
  // Unset (headless), the command runs at once.
  EventGate* gate = nullptr;

  // Does nothing without a DDE system.
  void start();
  // After a request: the source may have been opened or moved, and a
  // request may have left work (a string that came in meanwhile).
  void sync();

 private:
  void watch();
  void serve();
  void publish();
  void armExpiry();
  void retryLater();

  asio::any_io_executor ex_;
  asio::posix::stream_descriptor wake_;
  asio::steady_timer expiry_;
  asio::steady_timer retry_;
  App& app_;
  platform::RealWindowSystem* windows_;
  platform::RealDdeSystem* dde_;
  std::string showSocket_;
  bool watching_ = false;
  bool waiting_ = false;
  bool started_ = false;
  bool servePosted_ = false;
  bool expiryArmed_ = false;
  bool retryArmed_ = false;
  bool polling_ = false;  // a command runs inside the source's poll
  std::chrono::steady_clock::time_point expiryAt_;
  // Cleared when the poller goes, so that nothing posted runs after it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace kup::host
