#pragma once
// Log lines recorded by channel.
#include <utility>
#include <vector>

#include "platform/Interfaces.h"

namespace kup::platform {

class FakeLog : public ILog {
 public:
  void write(const std::string& channel, const std::string& text) override { entries.emplace_back(channel, text); }

  std::vector<std::string> lines(const std::string& channel) const {
    std::vector<std::string> out;
    for (auto& [c, t] : entries)
      if (c == channel) out.push_back(t);
    return out;
  }

  std::vector<std::pair<std::string, std::string>> entries;  // (channel, text)
};

}  // namespace kup::platform
