#include "platform/RealWindowSystem.h"

#include <unistd.h>

namespace kup::platform {

RealWindowSystem::RealWindowSystem(std::string folder)
    : folder_(dde::ResolveFolder(folder)), pid_(static_cast<long>(::getpid())) {
  // Without a usable folder the windows of this process still work; they
  // just cannot be seen from elsewhere, nor other programs' from here.
  usable_ = dde::PrepareFolder(folder_);
}

RealWindowSystem::~RealWindowSystem() {
  if (!usable_) return;
  for (auto& [h, _] : windows_) dde::WithdrawWindow(folder_, h);
}

void RealWindowSystem::publish(long hwnd) {
  auto it = windows_.find(hwnd);
  if (!usable_ || it == windows_.end()) return;
  dde::PublishWindow(folder_, dde::WindowRecord{hwnd, it->second.title, showSocket_});
}

long RealWindowSystem::registerWindow(const std::string& title) {
  for (int i = 1; i <= 255; ++i) {
    long h = dde::MakeHandle(pid_, i);
    if (windows_.count(h)) continue;
    Window w;
    w.title = title;
    w.longs[GWL_STYLE] = DefaultStyle;
    windows_[h] = std::move(w);
    publish(h);
    return h;
  }
  return 0;
}

void RealWindowSystem::setTitle(long hwnd, const std::string& title) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  it->second.title = title;
  publish(hwnd);
}

void RealWindowSystem::unregisterWindow(long hwnd) {
  if (windows_.erase(hwnd) && usable_) dde::WithdrawWindow(folder_, hwnd);
}

long RealWindowSystem::findWindow(const std::string& title) {
  for (auto& [h, w] : windows_)
    if (w.title == title) return h;
  if (!usable_) return 0;
  for (auto& w : dde::ListWindows(folder_))
    if (w.title == title && dde::HandleOwner(w.handle) != pid_) return w.handle;
  return 0;
}

void RealWindowSystem::showWindowAsync(long hwnd, int cmd) {
  if (owns(hwnd)) {
    applyShow(hwnd, cmd);
    return;
  }
  if (!usable_ || dde::HandleOwner(hwnd) == pid_) return;
  if (auto w = dde::ReadWindow(folder_, hwnd)) dde::SendShow(folder_, *w, cmd);
}

void RealWindowSystem::applyShow(long hwnd, int cmd) {
  auto it = windows_.find(hwnd);
  if (it != windows_.end()) it->second.visible = cmd != 0;
}

bool RealWindowSystem::isVisible(long hwnd) const {
  auto it = windows_.find(hwnd);
  return it != windows_.end() && it->second.visible;
}

void RealWindowSystem::setTopmost(long hwnd, bool topmost) {
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return;
  it->second.topmost = topmost;
  it->second.visible = true;
}

bool RealWindowSystem::isTopmost(long hwnd) const {
  auto it = windows_.find(hwnd);
  return it != windows_.end() && it->second.topmost;
}

long RealWindowSystem::getWindowLong(long hwnd, int index) const {
  auto it = windows_.find(hwnd);
  if (it == windows_.end()) return 0;
  auto l = it->second.longs.find(index);
  return l == it->second.longs.end() ? 0 : l->second;
}

void RealWindowSystem::setWindowLong(long hwnd, int index, long value) {
  auto it = windows_.find(hwnd);
  if (it != windows_.end()) it->second.longs[index] = value;
}

void RealWindowSystem::drawMenuBar(long) {}

void RealWindowSystem::setShowSocket(const std::string& socketName) {
  showSocket_ = socketName;
  for (auto& [h, _] : windows_) publish(h);
}

}  // namespace kup::platform
