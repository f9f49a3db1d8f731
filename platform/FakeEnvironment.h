#pragma once
// Environment kept in memory: variables (names without regard to case, as
// on the workstation), folders and clocks set by the test.
#include <map>

#include "vb/VbString.h"
#include "platform/Interfaces.h"

namespace kup::platform {

class FakeEnvironment : public IEnvironment {
 public:
  std::string get(const std::string& name) const override {
    auto it = vars.find(UCase(name));
    return it == vars.end() ? std::string() : it->second;
  }
  void set(const std::string& name, const std::string& value) override { vars[UCase(name)] = value; }
  std::string tempFolder() const override {
    std::string t = get("TEMP");
    if (t.empty()) t = hostTemp;
    while (t.size() > 1 && (t.back() == '\\' || t.back() == '/') && !(t.size() == 3 && t[1] == ':')) t.pop_back();
    return t;
  }
  std::string programFolder() const override { return program; }
  std::string currentFolder() const override { return current; }
  void setCurrentFolder(const std::string& path) override { current = path; }
  uint32_t tickCount() const override { return tick; }
  std::time_t now() const override { return clock; }

  // Moves both clocks on.
  void advance(uint32_t ms) {
    tick += ms;
    clock += ms / 1000;
  }

  std::map<std::string, std::string> vars;  // upper-cased names
  std::string hostTemp = "C:\\Temp";
  std::string program = "C:\\Korvane";
  std::string current = "C:\\Korvane";
  uint32_t tick = 1000;
  std::time_t clock = 1700000000;  // 2023-11-14 22:13:20 UTC
};

}  // namespace kup::platform
