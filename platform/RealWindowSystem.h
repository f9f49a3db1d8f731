#pragma once
// Window registry across processes. Windows of this process are kept here
// and published by title in the DDE service folder; windows of other
// programs are found there by their title, and hide/restore requests reach
// them as show frames on the socket their record names.
#include <map>
#include <string>
#include <vector>

#include "platform/DdeFolder.h"
#include "platform/Interfaces.h"

namespace kup::platform {

class RealWindowSystem : public IWindowSystem {
 public:
  // WS_OVERLAPPEDWINDOW | WS_VISIBLE.
  static constexpr long DefaultStyle = 0x10CF0000L;

  // folder "" : dde::ResolveFolder().
  explicit RealWindowSystem(std::string folder = {});
  ~RealWindowSystem() override;
  RealWindowSystem(const RealWindowSystem&) = delete;
  RealWindowSystem& operator=(const RealWindowSystem&) = delete;

  // Handles are process id << 8 | index (index 1 to 255); 0 when this
  // process already has 255 windows.
  long registerWindow(const std::string& title) override;
  void setTitle(long hwnd, const std::string& title) override;
  void unregisterWindow(long hwnd) override;
  // Windows of this process first, then the published ones; exact title.
  long findWindow(const std::string& title) override;
  void showWindowAsync(long hwnd, int cmd) override;
  void setTopmost(long hwnd, bool topmost) override;
  bool isTopmost(long hwnd) const override;
  long getWindowLong(long hwnd, int index) const override;
  void setWindowLong(long hwnd, int index, long value) override;
  void drawMenuBar(long hwnd) override;

  // Names the socket (in the folder) on which this process takes show
  // requests for its windows, e.g. RealDdeSystem::sourceSocket(); the
  // records are published again with it.
  void setShowSocket(const std::string& socketName);
  // A show request for one of this process's windows (from a show frame).
  void applyShow(long hwnd, int cmd);
  bool isVisible(long hwnd) const;
  bool owns(long hwnd) const { return windows_.count(hwnd) > 0; }

 private:
  struct Window {
    std::string title;
    bool visible = true;
    bool topmost = false;
    std::map<int, long> longs;
  };
  void publish(long hwnd);

  std::string folder_;
  bool usable_ = false;
  long pid_ = 0;
  std::string showSocket_;
  std::map<long, Window> windows_;
};

}  // namespace kup::platform
