#pragma once
// Rnd with a scripted sequence; once the script is used up it continues
// with VB's own generator from a fixed seed, so that repeated draws differ
// and the runs stay reproducible.
#include <deque>

#include "platform/Interfaces.h"

namespace kup::platform {

class FakeRandom : public IRandom {
 public:
  void randomize() override { ++randomizeCount; }
  double rnd() override {
    ++draws;
    if (!script.empty()) {
      double v = script.front();
      script.pop_front();
      return v;
    }
    state = (state * 1140671485u + 12820163u) & 0xFFFFFFu;
    return static_cast<double>(state) / 16777216.0;
  }

  std::deque<double> script;
  int randomizeCount = 0;
  int draws = 0;
  uint32_t state = 0x50000;  // VB's initial seed
};

}  // namespace kup::platform
