#pragma once
// A timer that fires only when the test says so.
#include <utility>
#include <vector>

#include "platform/Interfaces.h"

namespace kup::platform {

class FakeTimer : public ITimer {
 public:
  void setInterval(int ms) override {
    interval_ = ms;
    history.emplace_back("interval", ms);
  }
  int interval() const override { return interval_; }
  void setEnabled(bool on) override {
    enabled_ = on;
    history.emplace_back("enabled", on ? 1 : 0);
  }
  bool enabled() const override { return enabled_; }

  // Runs onTimer as the elapsed interval would: only while enabled.
  // Returns whether it ran.
  bool fire() {
    if (!enabled_ || !onTimer) return false;
    ++fires;
    onTimer();
    return true;
  }

  int fires = 0;
  std::vector<std::pair<std::string, int>> history;  // ("interval", ms) / ("enabled", 0|1)

 private:
  int interval_ = 0;
  bool enabled_ = false;
};

}  // namespace kup::platform
