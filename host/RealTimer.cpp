#include "host/RealTimer.h"

namespace kup::host {

void RealTimer::setInterval(int ms) {
  interval_ = ms < 0 ? 0 : ms;
  if (enabled_) arm();
}

void RealTimer::setEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  if (on) {
    arm();
  } else {
    ++generation_;
    timer_.cancel();
  }
}

void RealTimer::arm() {
  unsigned gen = ++generation_;
  timer_.cancel();
  if (interval_ <= 0) return;
  timer_.expires_after(std::chrono::milliseconds(interval_));
  timer_.async_wait([this, gen](const asio::error_code& ec) {
    if (ec || gen != generation_ || !enabled_) return;
    if (onTimer) onTimer();
    // Still running and untouched by the handler: the next period.
    if (gen == generation_ && enabled_) arm();
  });
}

}  // namespace kup::host
