#pragma once
// The main window's timer on the event loop. Like the VB Timer control it
// fires every Interval milliseconds while Enabled (an interval of 0 never
// fires); changing the interval while enabled starts the count again.
// It always fires from the loop, so never inside a request.
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include "platform/Interfaces.h"

namespace kup::host {

class RealTimer : public platform::ITimer {
 public:
  explicit RealTimer(asio::io_context& io) : timer_(io) {}
  explicit RealTimer(const asio::any_io_executor& ex) : timer_(ex) {}

  void setInterval(int ms) override;
  int interval() const override { return interval_; }
  void setEnabled(bool on) override;
  bool enabled() const override { return enabled_; }

 private:
  void arm();

  asio::steady_timer timer_;
  int interval_ = 0;
  bool enabled_ = false;
  unsigned generation_ = 0;  // a wait from before the last change is stale
};

}  // namespace kup::host
