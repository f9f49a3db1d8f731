#include "host/EventGate.h"

#include <exception>

#include <QApplication>
#include <QMetaObject>

namespace kup::host {

EventGate::EventGate() : context_(std::make_unique<QObject>()) {}
EventGate::~EventGate() = default;

void EventGate::push(std::function<void()> f) {
  {
    std::lock_guard lk(mutex_);
    queue_.push_back(std::move(f));
  }
  QMetaObject::invokeMethod(context_.get(), [this] { drain(); }, Qt::QueuedConnection);
}

void EventGate::urgent(std::function<void()> f) {
  QMetaObject::invokeMethod(
      context_.get(), [this, f = std::move(f)] { runOne(f); }, Qt::QueuedConnection);
}

void EventGate::runOne(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    if (report) report(std::string("event failed: ") + e.what());
  } catch (...) {
    if (report) report("event failed");
  }
}

void EventGate::drain() {
  // Inside a box opened by the running item: its turn comes after it.
  if (busy_) return;
  busy_ = true;
  for (;;) {
    std::function<void()> f;
    {
      std::lock_guard lk(mutex_);
      if (queue_.empty()) break;
      f = std::move(queue_.front());
      queue_.pop_front();
    }
    runOne(f);
  }
  busy_ = false;
}

// Every window that holds the thread for the person is modal (it runs its
// own loop until answered); a window left open beside the work, as the
// colour themes, holds nothing.
bool EventGate::waitsForPerson() const {
  return busy_ && (QApplication::activeModalWidget() != nullptr || (personWaits && personWaits()));
}

void EventGate::hold(const std::function<void()>& f) {
  if (busy_) {
    runOne(f);
    return;
  }
  busy_ = true;
  runOne(f);
  busy_ = false;
  drain();
}

}  // namespace kup::host
