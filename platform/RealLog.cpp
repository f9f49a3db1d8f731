#include "platform/RealLog.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kup::platform {

RealLog::RealLog() : out_(stderr) {}

namespace {

// The kernel's rule for links in a folder every user writes to and whose
// entries the sticky bit protects (protected_symlinks): a link there is
// followed only when its owner is the follower or the folder's owner.
// Anyone could have planted it otherwise, pointing at a file of ours.
bool LinkMayBeFollowed(const std::string& path, const struct stat& link) {
  if (link.st_uid == ::geteuid()) return true;
  std::string copy = path;
  struct stat folder {};
  if (::stat(::dirname(copy.data()), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || link.st_uid == folder.st_uid;
}

// The log is private: it may hold what the users did. One of ours that an
// earlier version left readable by others is closed to them too; a file
// another user owns is theirs to set, and so is a file reached through a
// link, whoever made it.
std::FILE* OpenPrivate(const std::string& path, std::string& why) {
  // Non-blocking: a pipe at the name with no reader must not hang the start.
  const int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK;
  bool throughLink = false;
  int fd = ::open(path.c_str(), flags | O_NOFOLLOW, 0600);
  if (fd < 0 && errno == ELOOP) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && !LinkMayBeFollowed(path, link)) {
      why = "a link of another user in a shared folder, not followed";
      return nullptr;
    }
    throughLink = true;
    fd = ::open(path.c_str(), flags, 0600);
  }
  if (fd < 0) {
    why = std::strerror(errno);
    return nullptr;
  }
  (void)::fcntl(fd, F_SETFL, O_APPEND);
  struct stat st {};
  if (!throughLink && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
      st.st_nlink == 1 && (st.st_mode & 077) != 0)
    (void)::fchmod(fd, st.st_mode & 0700);
  std::FILE* f = ::fdopen(fd, "a");
  if (!f) {
    why = std::strerror(errno);
    ::close(fd);
  }
  return f;
}

}  // namespace

RealLog::RealLog(const std::string& hostPath) {
  std::string why;
  out_ = OpenPrivate(hostPath, why);
  owned_ = out_ != nullptr;
  if (!out_) {
    out_ = stderr;
    std::fprintf(stderr, "log: cannot open %s (%s), writing here\n", hostPath.c_str(), why.c_str());
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
