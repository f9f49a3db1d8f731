#pragma once
// Window registry in memory: windows of this process and of others (added
// by the test), with titles, topmost flags, style words and the show
// commands each received.
#include <map>
#include <vector>

#include "platform/Interfaces.h"

namespace kup::platform {

class FakeWindowSystem : public IWindowSystem {
 public:
  // WS_OVERLAPPEDWINDOW | WS_VISIBLE: a normal top-level window with its system menu.
  static constexpr long DefaultStyle = 0x10CF0000L;

  struct Window {
    std::string title;
    bool foreign = false;
    bool topmost = false;
    bool visible = true;
    std::map<int, long> longs;  // GetWindowLong words (GWL_STYLE: DefaultStyle at first)
    std::vector<int> shows;  // ShowWindowAsync commands, in order
    std::vector<bool> topmostCalls;  // SetWindowPos topmost (true) or not (false), in order
    int menuRedraws = 0;
  };

  long registerWindow(const std::string& title) override { return add(title, false); }
  // A window of another program (a partner, the word processor).
  long addForeignWindow(const std::string& title) { return add(title, true); }
  void setTitle(long hwnd, const std::string& title) override {
    if (auto* w = get(hwnd)) w->title = title;
  }
  void unregisterWindow(long hwnd) override { windows.erase(hwnd); }
  long findWindow(const std::string& title) override {
    for (auto& [h, w] : windows)
      if (w.title == title) return h;
    return 0;
  }
  void showWindowAsync(long hwnd, int cmd) override {
    if (auto* w = get(hwnd)) {
      w->shows.push_back(cmd);
      w->visible = cmd != 0;
    }
  }
  void setTopmost(long hwnd, bool topmost) override {
    if (auto* w = get(hwnd)) {
      w->topmost = topmost;
      w->topmostCalls.push_back(topmost);
      w->visible = true;
    }
  }
  bool isTopmost(long hwnd) const override {
    auto it = windows.find(hwnd);
    return it != windows.end() && it->second.topmost;
  }
  long getWindowLong(long hwnd, int index) const override {
    auto it = windows.find(hwnd);
    if (it == windows.end()) return 0;
    auto l = it->second.longs.find(index);
    return l == it->second.longs.end() ? 0 : l->second;
  }
  void setWindowLong(long hwnd, int index, long value) override {
    if (auto* w = get(hwnd)) w->longs[index] = value;
  }
  void drawMenuBar(long hwnd) override {
    if (auto* w = get(hwnd)) ++w->menuRedraws;
  }

  Window* get(long hwnd) {
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : &it->second;
  }

  std::map<long, Window> windows;
  long nextHandle = 0x10010;

 private:
  long add(const std::string& title, bool foreign) {
    long h = nextHandle;
    nextHandle += 0x10;
    Window w;
    w.title = title;
    w.foreign = foreign;
    w.longs[GWL_STYLE] = DefaultStyle;
    windows[h] = w;
    return h;
  }
};

}  // namespace kup::platform
