#include "platform/RealLog.h"

namespace kup::platform {

RealLog::RealLog() : out_(stderr) {}

RealLog::RealLog(const std::string& hostPath) : out_(std::fopen(hostPath.c_str(), "ae")) {
  owned_ = out_ != nullptr;
  if (!out_) {
    out_ = stderr;
    std::fprintf(stderr, "log: cannot open %s, writing here\n", hostPath.c_str());
  }
}

RealLog::~RealLog() {
  if (owned_) std::fclose(out_);
}

void RealLog::write(const std::string& channel, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string line = channel + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
}

}  // namespace kup::platform
