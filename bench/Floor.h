#pragma once
// Side-by-side measurement: the measured work and its floor (the least the
// same job can cost, written for the purpose) run in the same process run,
// interleaved round by round on the same input, so that a noisy machine
// slows both alike. Reported: the median of each side and their ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace kup::bench {

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Seconds taken by f().
inline double Seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct Result {
  double measured = 0, floor = 0;  // medians, in the unit the sides return
  double ratio() const { return floor > 0 ? measured / floor : 0; }
};

// Runs `rounds` rounds; each runs the floor then the measured side (the
// order alternates from round to round). Each side returns its own figure
// for the round (seconds, or any cost where smaller is better).
inline Result Interleave(int rounds, const std::function<double()>& measured, const std::function<double()>& floor) {
  std::vector<double> m, f;
  for (int r = 0; r < rounds; ++r) {
    if (r % 2) {
      m.push_back(measured());
      f.push_back(floor());
    } else {
      f.push_back(floor());
      m.push_back(measured());
    }
  }
  return {Median(m), Median(f)};
}

// One line of the report: name, size, both medians (with their unit), the
// ratio, and an extra figure when given.
inline void Report(const std::string& name, const std::string& size, const Result& r, const char* unit,
                   double scale = 1.0, const std::string& extra = {}) {
  std::printf("%-34s %-12s measured %10.3f %-3s floor %10.3f %-3s ratio %5.2f%s%s\n", name.c_str(), size.c_str(),
              r.measured * scale, unit, r.floor * scale, unit, r.ratio(), extra.empty() ? "" : "  ", extra.c_str());
  std::fflush(stdout);
}

// A failed output check ends the benchmark: a figure for wrong work is no figure.
[[noreturn]] inline void Fail(const std::string& why) {
  std::fprintf(stderr, "benchmark output check failed: %s\n", why.c_str());
  std::exit(1);
}

// The number of rounds: argument --rounds N, else the default.
inline int Rounds(int argc, char** argv, int def) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--rounds") return std::max(1, std::atoi(argv[i + 1]));
  return def;
}

}  // namespace kup::bench
