#pragma once
// The process environment, its folders and clocks.
#include "platform/Interfaces.h"

namespace kup::platform {

class RealEnvironment : public IEnvironment {
 public:
  // fs maps path texts given to setCurrentFolder (may be null: host paths only).
  explicit RealEnvironment(const IFileSystem* fs = nullptr);

  std::string get(const std::string& name) const override;
  // PATH is stored in the host's form: entries separated by ";" or ":",
  // Windows path texts mapped through fs, joined by ":".
  void set(const std::string& name, const std::string& value) override;
  std::string tempFolder() const override;
  std::string programFolder() const override;
  std::string currentFolder() const override;
  // Raises 76 when the folder does not exist.
  void setCurrentFolder(const std::string& path) override;
  uint32_t tickCount() const override;
  std::time_t now() const override;

 private:
  const IFileSystem* fs_;
};

// Folder of the running executable (host path, no trailing "/").
std::string ExecutableFolder();

// VB's Rnd over a xorshift128+ generator. Randomize mixes the clock with a
// counter, so two re-seedings within one clock tick still differ.
class RealRandom : public IRandom {
 public:
  RealRandom();
  void randomize() override;
  double rnd() override;

 private:
  uint64_t state_[2];
  uint64_t reseeds_ = 0;
};

}  // namespace kup::platform
