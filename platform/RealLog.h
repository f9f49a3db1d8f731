#pragma once
// Log lines "channel: text" appended to a file or written to stderr (never
// stdout: that is the UI bridge).
#include <cstdio>
#include <mutex>

#include "platform/Interfaces.h"

namespace kup::platform {

class RealLog : public ILog {
 public:
  // Writes to stderr.
  RealLog();
  // Appends to the file; falls back to stderr when it cannot be opened.
  explicit RealLog(const std::string& hostPath);
  ~RealLog() override;
  RealLog(const RealLog&) = delete;
  RealLog& operator=(const RealLog&) = delete;

  void write(const std::string& channel, const std::string& text) override;

 private:
  std::FILE* out_ = nullptr;
  bool owned_ = false;
  std::mutex mutex_;
};

}  // namespace kup::platform
