#pragma once
// Serves the main window's DDE source from the event loop (so never inside
// a request): hands received execute strings and show requests to their
// handlers, and keeps the published window records naming the source's
// socket once the settings command has opened it.
#include <string>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "core/App.h"

namespace kup::platform {
class RealWindowSystem;
class RealDdeSystem;
}  // namespace kup::platform

namespace kup::host {

class DdePoller {
 public:
  DdePoller(asio::io_context& io, App& app, platform::RealWindowSystem* windows, platform::RealDdeSystem* dde)
      : DdePoller(io.get_executor(), app, windows, dde) {}
  DdePoller(const asio::any_io_executor& ex, App& app, platform::RealWindowSystem* windows,
            platform::RealDdeSystem* dde)
      : timer_(ex), app_(app), windows_(windows), dde_(dde) {}
  // Does nothing without a DDE system.
  void start();
  // After a request: the source may have been opened or moved.
  void sync();

 private:
  void arm();

  asio::steady_timer timer_;
  App& app_;
  platform::RealWindowSystem* windows_;
  platform::RealDdeSystem* dde_;
  std::string showSocket_;
};

}  // namespace kup::host
