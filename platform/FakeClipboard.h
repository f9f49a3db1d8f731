#pragma once
// Clipboard kept in memory, with a record of what was put there.
#include <map>
#include <utility>
#include <vector>

#include "platform/Interfaces.h"

namespace kup::platform {

class FakeClipboard : public IClipboard {
 public:
  void clear() override {
    formats.clear();
    ++clears;
  }
  void setText(const std::string& text, const std::string& format = "text") override {
    formats[format] = text;
    sets.emplace_back(format, text);
  }
  std::string getText(const std::string& format = "text") const override {
    auto it = formats.find(format);
    return it == formats.end() ? std::string() : it->second;
  }

  std::map<std::string, std::string> formats;
  std::vector<std::pair<std::string, std::string>> sets;  // (format, text)
  int clears = 0;
};

}  // namespace kup::platform
