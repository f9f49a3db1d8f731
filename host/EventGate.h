#pragma once
// One application thread in desktop mode. Everything that enters the
// application (a frame, a DDE string, a timer, a window gesture) passes
// through the gate, which runs it on the Qt thread, one at a time, in the
// order of arrival. What arrives while something runs, also while that
// something waits in a modal box's own event loop, waits in the gate and
// runs after it returns: so one RET per REQ, in order, holds with a box open.
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include <QObject>

namespace kup::host {

class EventGate {
 public:
  EventGate();
  ~EventGate();
  EventGate(const EventGate&) = delete;
  EventGate& operator=(const EventGate&) = delete;

  // From any thread: run f on the Qt thread when the gate is free. f may be
  // move-only (an Asio completion handler).
  template <class F>
  void post(F&& f) {
    auto held = std::make_shared<std::decay_t<F>>(std::forward<F>(f));
    push([held] { (*held)(); });
  }
  void push(std::function<void()> f);

  // From any thread: run f on the Qt thread as soon as its loop turns, a
  // box's own loop included, without waiting for the gate. Only for work
  // that never runs a request or a command itself (taking in what a
  // partner sends, so that it is answered while the person reads a box).
  void urgent(std::function<void()> f);

  // On the Qt thread: run f now, holding back whatever arrives meanwhile
  // (a window gesture enters the application this way).
  void hold(const std::function<void()>& f);

  bool busy() const { return busy_; }
  // On the Qt thread: the running item waits for the person in a window of
  // the program that holds the thread (a box, a dialog, the attachment
  // window, the end-of-session question): whatever arrives cannot run
  // before the person answers.
  bool waitsForPerson() const;
  // Also waiting for the person: in a window that is not the program's
  // (the office's print dialog), as the step under way says.
  std::function<bool()> personWaits;
  // Whatever escapes an item (it is logged; the next item runs).
  std::function<void(const std::string&)> report;

 private:
  void drain();
  void runOne(const std::function<void()>& f);

  std::unique_ptr<QObject> context_;
  std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
  bool busy_ = false;
};

}  // namespace kup::host
