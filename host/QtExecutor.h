#pragma once
// An Asio executor whose work runs on the Qt thread through the event gate.
// The bridge, the DDE poller and the timer are built on it in desktop mode:
// their I/O waits on the Asio thread, their completion handlers run on the
// Qt thread, in order, one at a time.
#include <memory>
#include <type_traits>

#include <asio/execution.hpp>
#include <asio/io_context.hpp>

#include "host/EventGate.h"

namespace kup::host {

class QtExecutor {
 public:
  // urgent: the work skips the gate's queue (EventGate::urgent).
  QtExecutor(asio::io_context& io, EventGate& gate, bool urgent = false) noexcept
      : io_(&io), gate_(&gate), urgent_(urgent) {}

  // The I/O objects find their reactor in the io_context run by the Asio thread.
  asio::io_context& query(asio::execution::context_t) const noexcept { return *io_; }
  static constexpr asio::execution::blocking_t query(asio::execution::blocking_t) noexcept {
    return asio::execution::blocking.never;
  }
  QtExecutor require(asio::execution::blocking_t::never_t) const noexcept { return *this; }
  QtExecutor prefer(asio::execution::outstanding_work_t::tracked_t) const noexcept { return *this; }
  QtExecutor prefer(asio::execution::outstanding_work_t::untracked_t) const noexcept { return *this; }
  QtExecutor prefer(asio::execution::relationship_t::fork_t) const noexcept { return *this; }
  QtExecutor prefer(asio::execution::relationship_t::continuation_t) const noexcept { return *this; }

  template <class F>
  void execute(F&& f) const {
    if (urgent_) {
      auto held = std::make_shared<std::decay_t<F>>(std::forward<F>(f));
      gate_->urgent([held] { (*held)(); });
    } else {
      gate_->post(std::forward<F>(f));
    }
  }

  friend bool operator==(const QtExecutor& a, const QtExecutor& b) noexcept {
    return a.io_ == b.io_ && a.gate_ == b.gate_ && a.urgent_ == b.urgent_;
  }
  friend bool operator!=(const QtExecutor& a, const QtExecutor& b) noexcept { return !(a == b); }

 private:
  asio::io_context* io_;
  EventGate* gate_;
  bool urgent_;
};

}  // namespace kup::host
