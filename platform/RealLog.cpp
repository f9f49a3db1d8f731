#include "platform/RealLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kup::platform {

RealLog::RealLog() : out_(stderr) {}

namespace {
// The log is private: it may hold what the users did. One of ours that an
// earlier version left readable by others is closed to them too; a file
// another user owns is theirs to set.
std::FILE* OpenPrivate(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
    (void)::fchmod(fd, st.st_mode & 0700);
  std::FILE* f = ::fdopen(fd, "a");
  if (!f) ::close(fd);
  return f;
}
}  // namespace

RealLog::RealLog(const std::string& hostPath) : out_(OpenPrivate(hostPath)) {
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
