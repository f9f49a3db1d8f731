#pragma once
// Hands the DDE strings received by the main window's topic to the core,
// from the event loop (so never inside a request).
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "core/App.h"

namespace kup::host {

class DdePoller {
 public:
  DdePoller(asio::io_context& io, App& app) : timer_(io), app_(app) {}
  // Does nothing when the platform has no DDE system.
  void start();

 private:
  void arm();

  asio::steady_timer timer_;
  App& app_;
};

}  // namespace kup::host
