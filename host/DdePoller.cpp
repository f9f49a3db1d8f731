#include "host/DdePoller.h"

#include "core/Core.h"

namespace kup::host {

namespace {
// Short enough that a partner waiting for its ACK does not notice.
constexpr auto kPeriod = std::chrono::milliseconds(10);
}  // namespace

void DdePoller::start() {
  if (app_.pf.dde) arm();
}

void DdePoller::arm() {
  timer_.expires_after(kPeriod);
  timer_.async_wait([this](const asio::error_code& ec) {
    if (ec || !app_.pf.dde) return;
    try {
      app_.pf.dde->poll();
    } catch (const std::exception& e) {
      EcrireLog(app_, "bridge", std::string("DDE poll failed: ") + e.what());
    } catch (...) {
      EcrireLog(app_, "bridge", "DDE poll failed");
    }
    arm();
  });
}

}  // namespace kup::host
