#include "platform/RealFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "vb/VbError.h"

namespace kup::platform {

namespace {

// The VB error of a failed call on a host path.
[[noreturn]] void RaiseErrno(int err, const std::string& host, const std::string& text) {
  int number = vberr::PathFileAccess;
  switch (err) {
    case ENOENT: {
      // A missing file in an existing folder is 53; a missing folder on the way is 76.
      auto slash = host.find_last_of('/');
      std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : host.substr(0, slash));
      struct stat st {};
      number = ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? vberr::FileNotFound : vberr::PathNotFound;
      break;
    }
    case ENOTDIR: number = vberr::PathNotFound; break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: number = vberr::PermissionDenied; break;
    case ENOSPC:
    case EDQUOT: number = vberr::DiskFull; break;
    case EEXIST: number = vberr::FileAlreadyExists; break;
    case ENAMETOOLONG: number = vberr::BadFileName; break;
    default: number = vberr::PathFileAccess; break;
  }
  raise(number, vbErrorText(number) + " (" + text + ")");
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() {
    int f = fd_;
    fd_ = -1;
    return f;
  }

 private:
  int fd_;
};

bool StatOf(const std::string& host, struct stat& st) { return ::stat(host.c_str(), &st) == 0; }

std::vector<std::string> List(const std::string& host, const std::string& text, bool folders) {
  std::vector<std::string> out;
  DIR* d = ::opendir(host.c_str());
  if (!d) {
    // A missing folder simply has no files; one that is there but cannot
    // be read is an error, not an empty folder (callers would otherwise
    // take "no file" for an answer).
    if (errno == ENOENT || errno == ENOTDIR) return out;
    RaiseErrno(errno, host, text);
  }
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;  // hidden names, "." and ".."
    bool isDir = false, isFile = false;
    if (e->d_type == DT_DIR) {
      isDir = true;
    } else if (e->d_type == DT_REG) {
      isFile = true;
    } else {
      // Links and file systems without d_type: look at what the name leads to.
      struct stat st {};
      if (::fstatat(::dirfd(d), e->d_name, &st, 0) == 0) {
        isDir = S_ISDIR(st.st_mode);
        isFile = S_ISREG(st.st_mode);
      }
    }
    // The name as a text that leads back to it, whatever its bytes.
    if (folders ? isDir : isFile) out.push_back(HostNameToText(e->d_name));
  }
  ::closedir(d);
  return out;
}

}  // namespace

RealFileSystem::RealFileSystem(DriveMap map, ILog* log) : map_(std::move(map)), log_(log) {}

bool RealFileSystem::locate(const PathText& p, std::string& host, struct stat& st) const {
  return map_.find(p, host, &st, [this](const std::string& nom, const std::string& dossier, size_t n) {
    if (log_)
      log_->write("files", "\"" + nom + "\": " + std::to_string(n) + " names differ from it only in case in " +
                               HostNameToText(dossier) + "; taken as written");
  });
}

bool RealFileSystem::probe(const std::string& path, std::string& host, struct stat& st) const {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  if (!locate(PathText::Parse(path), host, st)) return false;
  return !S_ISLNK(st.st_mode) || StatOf(host, st);
}

std::string RealFileSystem::hostPath(const std::string& path) const {
  if (path.empty() || path.find('\0') != std::string::npos) return {};
  std::string host;
  struct stat st {};
  locate(PathText::Parse(path), host, st);
  return host;
}

std::string RealFileSystem::resolvedPath(const std::string& path) const {
  std::string host;
  struct stat st {};
  if (!probe(path, host, st)) return {};
  char buf[PATH_MAX];
  return ::realpath(host.c_str(), buf) ? HostNameToText(buf) : std::string();
}

std::string RealFileSystem::mapped(const std::string& path) const {
  if (path.empty() || path.find('\0') != std::string::npos) raise(vberr::PathFileAccess);
  PathText p = PathText::Parse(path);
  if (p.kind == PathText::Kind::Unc && (p.server.empty() || p.share.empty())) raise(vberr::PathNotFound);
  std::string host;
  struct stat st {};
  locate(p, host, st);
  return host;
}

bool RealFileSystem::fileExists(const std::string& path) const {
  std::string host;
  struct stat st {};
  return probe(path, host, st) && !S_ISDIR(st.st_mode);
}

bool RealFileSystem::folderExists(const std::string& path) const {
  std::string host;
  struct stat st {};
  return probe(path, host, st) && S_ISDIR(st.st_mode);
}

std::vector<std::string> RealFileSystem::listFiles(const std::string& folder) const {
  std::string host = hostPath(folder);
  return host.empty() ? std::vector<std::string>() : List(host, folder, false);
}

std::vector<std::string> RealFileSystem::listFolders(const std::string& folder) const {
  std::string host = hostPath(folder);
  return host.empty() ? std::vector<std::string>() : List(host, folder, true);
}

std::string RealFileSystem::readFile(const std::string& path) const {
  std::string host = mapped(path);
  // Non-blocking open: a pipe or device name must not hang the program.
  Fd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) RaiseErrno(errno, host, path);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) RaiseErrno(errno, host, path);
  if (!S_ISREG(st.st_mode)) raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " (" + path + ")");
  std::string out;
  out.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseErrno(errno, host, path);
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

void RealFileSystem::write(const std::string& path, const std::string& bytes, bool append) {
  std::string host = mapped(path);
  // Only regular files (a pipe or a device would block or swallow the bytes).
  struct stat st {};
  if (StatOf(host, st) && !S_ISREG(st.st_mode))
    raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " (" + path + ")");
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  Fd fd(::open(host.c_str(), flags, 0666));
  if (fd.get() < 0) RaiseErrno(errno, host, path);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseErrno(errno, host, path);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd.release()) != 0) RaiseErrno(errno, host, path);
}

void RealFileSystem::writeFile(const std::string& path, const std::string& bytes) { write(path, bytes, false); }
void RealFileSystem::appendFile(const std::string& path, const std::string& bytes) { write(path, bytes, true); }

void RealFileSystem::removeFile(const std::string& path) {
  std::string host = mapped(path);
  struct stat st {};
  if (StatOf(host, st) && S_ISDIR(st.st_mode))
    raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " (" + path + ")");
  if (::unlink(host.c_str()) != 0) RaiseErrno(errno, host, path);
}

void RealFileSystem::createFolder(const std::string& path) {
  std::string host = mapped(path);
  // Each level in turn, so that the error names the level that failed.
  for (size_t pos = 1; pos <= host.size(); ++pos) {
    if (pos != host.size() && host[pos] != '/') continue;
    std::string level = host.substr(0, pos);
    if (::mkdir(level.c_str(), 0777) == 0) continue;
    int err = errno;
    struct stat st {};
    if (StatOf(level, st)) {
      if (S_ISDIR(st.st_mode)) continue;
      raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " (" + path + ")");
    }
    RaiseErrno(err, level, path);
  }
}

void RealFileSystem::copyFile(const std::string& from, const std::string& to) {
  std::string src = mapped(from);
  std::string bytes = readFile(from);
  struct stat st {};
  bool dated = StatOf(src, st);
  writeFile(to, bytes);
  // The copy keeps the date of its source, as a Windows copy does.
  if (dated) {
    struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    ::utimensat(AT_FDCWD, mapped(to).c_str(), times, 0);
  }
}

void RealFileSystem::renameFile(const std::string& from, const std::string& to) {
  std::string a = mapped(from), b = mapped(to);
  struct stat st {};
  if (!StatOf(a, st)) RaiseErrno(errno, a, from);
  // A new case for the same name: the name as given.
  const PathText nouveau = PathText::Parse(to);
  if (b == a && !nouveau.parts.empty()) b = b.substr(0, b.find_last_of('/') + 1) + TextToHostName(nouveau.parts.back());
  // Windows refuses to move onto an existing name.
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return;
  int err = errno;
  if (err == EINVAL) {  // file system without RENAME_NOREPLACE
    struct stat other {};
    if (StatOf(b, other)) raise(vberr::FileAlreadyExists, vbErrorText(vberr::FileAlreadyExists) + " (" + to + ")");
    if (::rename(a.c_str(), b.c_str()) == 0) return;
    err = errno;
  }
  if (err == EXDEV && !S_ISDIR(st.st_mode)) {  // another volume: copy, then remove
    copyFile(from, to);
    removeFile(from);
    return;
  }
  RaiseErrno(err, err == EEXIST ? b : (err == ENOENT ? b : a), err == EEXIST || err == ENOENT ? to : from);
}

void RealFileSystem::replaceFile(const std::string& from, const std::string& to) {
  std::string a = mapped(from), b = mapped(to);
  struct stat st {};
  if (!StatOf(a, st)) RaiseErrno(errno, a, from);
  if (S_ISDIR(st.st_mode)) raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " (" + from + ")");
  // rename() swaps the names at once and takes the place of a link itself.
  if (::rename(a.c_str(), b.c_str()) != 0) {
    int err = errno;
    RaiseErrno(err, err == ENOENT ? b : a, err == ENOENT ? to : from);
  }
}

bool RealFileSystem::isLink(const std::string& path) const {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  std::string host;
  struct stat st {};
  return locate(PathText::Parse(path), host, st) && S_ISLNK(st.st_mode);
}

bool RealFileSystem::isOwnFile(const std::string& path) const {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  std::string host;
  struct stat st {};
  return locate(PathText::Parse(path), host, st) && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

int64_t RealFileSystem::fileSize(const std::string& path) const {
  std::string host;
  struct stat st {};
  if (!probe(path, host, st) || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

std::time_t RealFileSystem::modifiedTime(const std::string& path) const {
  std::string host = mapped(path);
  struct stat st {};
  if (!StatOf(host, st)) RaiseErrno(errno, host, path);
  return st.st_mtim.tv_sec;
}

void RealFileSystem::setModifiedTime(const std::string& path, std::time_t t) {
  std::string host = mapped(path);
  struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
  if (::utimensat(AT_FDCWD, host.c_str(), times, 0) != 0) RaiseErrno(errno, host, path);
}

int OpenNewPrivateFile(const std::string& hostPath) {
  int fd;
  do {
    fd = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::string RealFileSystem::createNewTempFile(const std::function<std::string()>& draw, int tries,
                                              const std::string& bytes) {
  // The temporary folder is often shared: with O_EXCL a name someone else
  // holds, a planted link included, is never opened; another is drawn.
  std::string path, host;
  int ouvert = -1;
  for (int i = 0; i < tries && ouvert < 0; ++i) {
    path = draw();
    host = mapped(path);
    ouvert = OpenNewPrivateFile(host);
    if (ouvert < 0 && errno != EEXIST) RaiseErrno(errno, host, path);
  }
  Fd fd(ouvert);
  if (fd.get() < 0) raise(vberr::FileAlreadyExists, vbErrorText(vberr::FileAlreadyExists) + " (" + path + ")");
  auto echec = [&](int err) {
    ::unlink(host.c_str());
    RaiseErrno(err, host, path);
  };
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      echec(errno);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd.release()) != 0) echec(errno);
  return path;
}

}  // namespace kup::platform
