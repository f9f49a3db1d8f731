#include "core/App.h"

#include <algorithm>
#include <cmath>

#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

App::App(Platform p) : pf(std::move(p)) {}
App::~App() = default;

void ApParametre::clear() { data_.clear(); }

void ApParametre::set(const std::string& section, const std::string& key, const std::string& value) {
  data_[UCase(section)][UCase(key)] = value;
}

std::string ApParametre::get(const std::string& section, const std::string& key) const {
  auto s = data_.find(UCase(section));
  if (s == data_.end()) return {};
  auto k = s->second.find(UCase(key));
  return k == s->second.end() ? std::string() : k->second;
}

bool ApParametre::has(const std::string& section, const std::string& key) const {
  auto s = data_.find(UCase(section));
  return s != data_.end() && s->second.count(UCase(key));
}

void MainWindow::SetOuterSize(double width, double height) {
  for (double size : {width, height})
    if (!std::isfinite(size) || size < 0) raise(vberr::InvalidPropertyValue);
  double frameWidth = std::max(0.0, Width - ScaleWidth);
  double frameHeight = std::max(0.0, Height - ScaleHeight);
  Width = std::max(width, frameWidth);
  Height = std::max(height, frameHeight);
  ScaleWidth = Width - frameWidth;
  ScaleHeight = Height - frameHeight;
}

void MainWindow::Maximise() {
  WindowState = 2;
  SetOuterSize(WorkAreaWidth, WorkAreaHeight);
}

size_t ApParametre::size() const {
  size_t n = 0;
  for (auto& [_, m] : data_) n += m.size();
  return n;
}

}  // namespace kup
