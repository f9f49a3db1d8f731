#include "host/DdePoller.h"

#include "core/Core.h"
#include "platform/RealDde.h"
#include "platform/RealWindowSystem.h"

namespace kup::host {

namespace {
// Short enough that a partner waiting for its ACK does not notice.
constexpr auto kPeriod = std::chrono::milliseconds(10);
}  // namespace

void DdePoller::start() {
  if (!dde_) return;
  sync();
  arm();
}

void DdePoller::sync() {
  if (!dde_ || !windows_) return;
  if (dde_->sourceSocket() == showSocket_) return;
  showSocket_ = dde_->sourceSocket();
  try {
    windows_->setShowSocket(showSocket_);
  } catch (const std::exception& e) {
    EcrireLog(app_, "bridge", std::string("publishing the window records failed: ") + e.what());
  }
}

void DdePoller::arm() {
  timer_.expires_after(kPeriod);
  timer_.async_wait([this](const asio::error_code& ec) {
    if (ec) return;
    try {
      dde_->poll();
    } catch (const std::exception& e) {
      EcrireLog(app_, "bridge", std::string("DDE poll failed: ") + e.what());
    } catch (...) {
      EcrireLog(app_, "bridge", "DDE poll failed");
    }
    sync();
    arm();
  });
}

}  // namespace kup::host
