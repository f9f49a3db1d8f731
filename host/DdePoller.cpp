#include "host/DdePoller.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <asio/post.hpp>

#include "core/Core.h"
#include "platform/RealDde.h"
#include "platform/RealWindowSystem.h"

namespace kup::host {

DdePoller::DdePoller(const asio::any_io_executor& ex, App& app, platform::RealWindowSystem* windows,
                     platform::RealDdeSystem* dde)
    : ex_(ex), wake_(ex), expiry_(ex), retry_(ex), app_(app), windows_(windows), dde_(dde) {
  if (dde_)
    dde_->onLog = [this](const std::string& line) { EcrireLog(app_, "dde", line); };
}

DdePoller::~DdePoller() {
  *alive_ = false;
  if (dde_) dde_->onLog = nullptr;
  asio::error_code ec;
  wake_.close(ec);
}

void DdePoller::start() {
  if (!dde_) return;
  if (gate && dde_->onLinkExecute) {
    dde_->onLinkExecute = [this, run = dde_->onLinkExecute, alive = alive_](const std::string& command,
                                                                             int16_t& cancel) {
      if (!gate->waitsForPerson()) {
        run(command, cancel);
        return;
      }
      cancel = 0;
      gate->push([this, run, alive, command] {
        if (!*alive) return;
        int16_t ignored = -1;
        run(command, ignored);
        // As after a request: the command may have moved the source.
        sync();
      });
    };
  }
  started_ = true;
  sync();
}

void DdePoller::sync() {
  if (!dde_ || !started_) return;
  watch();
  publish();
}

void DdePoller::publish() {
  if (!windows_) return;
  if (dde_->sourceSocket() == showSocket_) return;
  showSocket_ = dde_->sourceSocket();
  try {
    windows_->setShowSocket(showSocket_);
  } catch (const std::exception& e) {
    EcrireLog(app_, "bridge", std::string("publishing the window records failed: ") + e.what());
  }
}

// The source's descriptor is the same for the life of the DDE system: it
// is watched from the first time it exists (a copy, for the loop owns what
// it watches).
void DdePoller::watch() {
  if (!watching_) {
    int fd = dde_->pollFd();
    if (fd < 0) return;
    int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) return;
    asio::error_code ec;
    wake_.assign(copy, ec);
    if (ec) {
      ::close(copy);
      EcrireLog(app_, "bridge", "watching the DDE source failed: " + ec.message());
      return;
    }
    watching_ = true;
  }
  if (waiting_) return;
  waiting_ = true;
  wake_.async_wait(asio::posix::stream_descriptor::wait_read, [this](const asio::error_code& ec) {
    waiting_ = false;
    if (ec) return;
    serve();
  });
}

void DdePoller::serve() {
  // Desktop mode: the strings are taken in when their commands can run now
  // (the gate free, held meanwhile) or must wait for the person anyway. Not
  // while a request holds the thread otherwise: they stay unread,
  // unanswered, and are looked at again shortly.
  if (gate && gate->busy() && !gate->waitsForPerson()) {
    retryLater();
    return;
  }
  // Inside a string's own command (its box): the other conversations are
  // served, looked at again and again rather than watched, for that one
  // keeps the source readable until its command is done.
  const bool nested = polling_;
  auto poll = [this, nested] {
    polling_ = true;
    try {
      dde_->poll();
    } catch (const std::exception& e) {
      EcrireLog(app_, "bridge", std::string("DDE poll failed: ") + e.what());
    } catch (...) {
      EcrireLog(app_, "bridge", "DDE poll failed");
    }
    polling_ = nested;
  };
  if (gate && !gate->busy()) {
    // A command may open a box, in whose loop the others are then served.
    retryLater();
    gate->hold(poll);
  } else {
    poll();
  }
  if (nested) {
    retryLater();
    return;
  }
  watch();
  // A string that came in after poll() looked and before the wait was
  // pending again may have given its wake-up to nobody (the loop's reactor
  // runs on its own thread in desktop mode): it is served now.
  if (watching_ && !servePosted_) {
    pollfd p{wake_.native_handle(), POLLIN, 0};
    if (::poll(&p, 1, 0) > 0) {
      servePosted_ = true;
      asio::post(ex_, [this, alive = alive_] {
        if (!*alive) return;
        servePosted_ = false;
        serve();
      });
    }
  }
  publish();
  armExpiry();
}

void DdePoller::retryLater() {
  if (retryArmed_) return;
  retryArmed_ = true;
  retry_.expires_after(std::chrono::milliseconds(20));
  retry_.async_wait([this](const asio::error_code& ec) {
    if (ec) return;
    retryArmed_ = false;
    serve();
  });
}

// Idle conversations are closed by poll(); the timer makes sure it runs
// when nothing else happens. It is moved only when a conversation is due
// earlier, so that a busy conversation costs no timer work.
void DdePoller::armExpiry() {
  int64_t ms = dde_->nextExpiryMs();
  if (ms < 0) return;
  auto at = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms + 10);
  if (expiryArmed_ && expiryAt_ <= at) return;
  expiryArmed_ = true;
  expiryAt_ = at;
  expiry_.expires_at(at);
  expiry_.async_wait([this](const asio::error_code& ec) {
    if (ec) return;
    expiryArmed_ = false;
    serve();
  });
}

}  // namespace kup::host
