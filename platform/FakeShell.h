#pragma once
// ShellExecute calls recorded; each answers a scripted value (default 42).
#include <deque>
#include <functional>
#include <vector>

#include "platform/Interfaces.h"

namespace kup::platform {

class FakeShell : public IShell {
 public:
  struct Call {
    long owner = 0;
    std::string verb, file, parameters, folder;
    int show = 0;
  };

  long execute(long ownerHwnd, const std::string& verb, const std::string& file, const std::string& parameters,
               const std::string& folder, int show) override {
    calls.push_back({ownerHwnd, verb, file, parameters, folder, show});
    if (onExecute) onExecute(calls.back());
    if (!results.empty()) {
      long r = results.front();
      results.pop_front();
      return r;
    }
    return defaultResult;
  }

  std::vector<Call> calls;
  std::deque<long> results;
  long defaultResult = 42;
  std::function<void(const Call&)> onExecute;
};

}  // namespace kup::platform
