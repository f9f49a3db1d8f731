#include "platform/DdeFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>

#include "vb/VbString.h"

namespace kup::platform::dde {

namespace {

std::string envOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool fillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

std::string encodeName(const std::string& s) {
  static const char* hex = "0123456789abcdef";
  std::string folded = LCase(SanitizeUtf8(s));
  std::string out;
  for (unsigned char c : folded) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

uint64_t fnv1a(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

bool processAlive(long pid) {
  if (pid <= 0) return false;
  if (::kill(static_cast<pid_t>(pid), 0) == 0) return true;
  return errno == EPERM;
}

bool readSmallFile(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  out.clear();
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
    if (out.size() > 1u << 20) break;  // a title record is never that big
  }
  ::close(fd);
  return true;
}

const char* kWindowPrefix = "win-";

}  // namespace

std::string ResolveFolder(const std::string& configured) {
  if (!configured.empty()) return configured;
  std::string v = envOr("KUP_DDE_DIR");
  if (!v.empty()) return v;
  std::string run = envOr("XDG_RUNTIME_DIR");
  if (!run.empty()) return joinPath(run, "kup-dde");
  return "/tmp/kup-dde-" + std::to_string(static_cast<unsigned long>(::getuid()));
}

bool PrepareFolder(const std::string& folder, std::string* why) {
  auto fail = [&](const std::string& reason) {
    if (why) *why = reason;
    return false;
  };
  if (folder.empty()) return fail("dossier de service DDE vide");
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return fail("impossible de créer " + folder + " : " + std::strerror(errno));
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) return fail(folder + " : " + std::strerror(errno));
  if (!S_ISDIR(st.st_mode)) return fail(folder + " n'est pas un dossier");
  if (st.st_uid != ::getuid()) return fail(folder + " appartient à un autre utilisateur");
  if (st.st_mode & 022) return fail(folder + " est modifiable par d'autres utilisateurs");
  return true;
}

std::string SocketName(const std::string& application, const std::string& topic) {
  std::string key = encodeName(application) + "@" + encodeName(topic);
  if (key.size() <= 48) return "dde-" + key;
  char buf[32];
  std::snprintf(buf, sizeof buf, "dde-h%016llx", static_cast<unsigned long long>(fnv1a(key)));
  return buf;
}

bool SplitLinkTopic(const std::string& linkTopic, std::string& application, std::string& topic) {
  auto bar = linkTopic.find('|');
  if (bar == std::string::npos || bar == 0) return false;
  application = linkTopic.substr(0, bar);
  topic = linkTopic.substr(bar + 1);
  return true;
}

int Listen(const std::string& folder, const std::string& name, std::string* why) {
  std::string path = joinPath(folder, name);
  sockaddr_un addr{};
  if (!fillAddress(path, addr)) {
    if (why) *why = "chemin de socket trop long : " + path;
    return -1;
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    if (why) *why = std::strerror(errno);
    return -1;
  }
  // The newest server of a topic takes it over; a stale file of a dead one
  // goes the same way.
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, SOMAXCONN) != 0) {
    if (why) *why = path + " : " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  ::chmod(path.c_str(), 0600);
  return fd;
}

int Connect(const std::string& folder, const std::string& name) {
  sockaddr_un addr{};
  if (!fillAddress(joinPath(folder, name), addr)) return -1;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int rc;
  do rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    // EAGAIN: the server's backlog is full, it is not accepting: no answer.
    ::close(fd);
    return -1;
  }
  return fd;
}

void SetNonBlocking(int fd, bool on) {
  int fl = ::fcntl(fd, F_GETFL);
  if (fl < 0) return;
  ::fcntl(fd, F_SETFL, on ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK));
}

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

WriteStatus WriteAll(int fd, const std::string& bytes, int64_t deadlineMs, size_t* written) {
  size_t off = 0;
  auto done = [&](WriteStatus st) {
    if (written) *written = off;
    return st;
  };
  while (off < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      off += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      int64_t left = deadlineMs - NowMs();
      if (left <= 0) return done(WriteStatus::Late);
      pollfd p{fd, POLLOUT, 0};
      int r = ::poll(&p, 1, static_cast<int>(left > 1000 ? 1000 : left));
      if (r < 0 && errno != EINTR) return done(WriteStatus::Broken);
      if (r > 0 && (p.revents & (POLLERR | POLLHUP)) && !(p.revents & POLLOUT)) return done(WriteStatus::Broken);
      continue;
    }
    return done(WriteStatus::Broken);
  }
  return done(WriteStatus::Done);
}

WriteStatus WriteFrame(int fd, const std::string& kind, const std::string& payload, int64_t deadlineMs) {
  char header[kMaxHeader + 8];
  int h = std::snprintf(header, sizeof header, "%s %zu\n", kind.c_str(), payload.size());
  if (h < 0 || static_cast<size_t>(h) >= sizeof header) return WriteAll(fd, EncodeFrame(kind, payload), deadlineMs);
  const size_t total = static_cast<size_t>(h) + payload.size();
  size_t off = 0;
  while (off < total) {
    iovec iov[2];
    int n = 0;
    if (off < static_cast<size_t>(h)) iov[n++] = {header + off, static_cast<size_t>(h) - off};
    size_t p = off < static_cast<size_t>(h) ? 0 : off - static_cast<size_t>(h);
    if (p < payload.size()) iov[n++] = {const_cast<char*>(payload.data()) + p, payload.size() - p};
    msghdr m{};
    m.msg_iov = iov;
    m.msg_iovlen = static_cast<size_t>(n);
    ssize_t w = ::sendmsg(fd, &m, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (w > 0) {
      off += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Slow reader: the rest as WriteAll sends it (same waits, same end).
      std::string rest = EncodeFrame(kind, payload);
      rest.erase(0, off);
      return WriteAll(fd, rest, deadlineMs);
    }
    return WriteStatus::Broken;
  }
  return WriteStatus::Done;
}

std::string EncodeFrame(const std::string& kind, const std::string& payload) {
  std::string f = kind + " " + std::to_string(payload.size()) + "\n";
  f += payload;
  return f;
}

void FrameReader::feed(const char* data, size_t n) {
  if (broken_) return;
  if (skipLeft_ > 0) {
    size_t k = n < skipLeft_ ? n : skipLeft_;
    skipLeft_ -= k;
    data += k;
    n -= k;
    if (skipLeft_ > 0) return;
    ready_.push_back(Frame{skipKind_, {}, true});
  }
  buf_.append(data, n);
  parse();
}

std::optional<FrameReader::Frame> FrameReader::next() {
  if (ready_.empty()) return std::nullopt;
  Frame f = std::move(ready_.front());
  ready_.pop_front();
  return f;
}

void FrameReader::parse() {
  while (!broken_ && skipLeft_ == 0) {
    size_t nl = buf_.find('\n', pos_);
    if (nl == std::string::npos) {
      if (buf_.size() - pos_ > kMaxHeader) broken_ = true;
      break;
    }
    if (nl - pos_ > kMaxHeader) {
      broken_ = true;
      break;
    }
    std::string header = buf_.substr(pos_, nl - pos_);
    if (!header.empty() && header.back() == '\r') header.pop_back();
    auto sp = header.find(' ');
    if (sp == std::string::npos) {
      // An answer: a bare word.
      if (header.empty()) {
        broken_ = true;
        break;
      }
      ready_.push_back(Frame{header, {}, false});
      pos_ = nl + 1;
      continue;
    }
    std::string kind = header.substr(0, sp);
    std::string len = header.substr(sp + 1);
    if (kind.empty() || len.empty() || len.size() > 18 ||
        len.find_first_not_of("0123456789") != std::string::npos) {
      broken_ = true;
      break;
    }
    unsigned long long n = std::stoull(len);
    size_t have = buf_.size() - (nl + 1);
    if (n > kMaxPayload) {
      // Too big to keep: drop its bytes as they come, and report it once
      // all of them have gone by.
      size_t take = have < n ? have : static_cast<size_t>(n);
      pos_ = nl + 1 + take;
      if (take == n) {
        ready_.push_back(Frame{kind, {}, true});
        continue;
      }
      skipKind_ = kind;
      skipLeft_ = static_cast<size_t>(n) - take;
      break;
    }
    if (have < n) break;
    ready_.push_back(Frame{kind, buf_.substr(nl + 1, static_cast<size_t>(n)), false});
    pos_ = nl + 1 + static_cast<size_t>(n);
  }
  if (pos_ > 0 && (pos_ >= buf_.size() || pos_ > 65536)) {
    buf_.erase(0, pos_);
    pos_ = 0;
  }
}

long MakeHandle(long pid, int index) { return (pid << 8) | (index & 0xFF); }
long HandleOwner(long handle) { return handle >> 8; }

bool PublishWindow(const std::string& folder, const WindowRecord& w) {
  std::string name = kWindowPrefix + std::to_string(w.handle);
  std::string path = joinPath(folder, name);
  std::string tmp = joinPath(folder, ".tmp-" + name);
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  std::string content = w.socket + "\n" + w.title;
  size_t off = 0;
  bool ok = true;
  while (off < content.size()) {
    ssize_t n = ::write(fd, content.data() + off, content.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    off += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

void WithdrawWindow(const std::string& folder, long handle) {
  ::unlink(joinPath(folder, kWindowPrefix + std::to_string(handle)).c_str());
}

std::optional<WindowRecord> ReadWindow(const std::string& folder, long handle) {
  if (handle <= 0) return std::nullopt;
  std::string content;
  if (!readSmallFile(joinPath(folder, kWindowPrefix + std::to_string(handle)), content)) return std::nullopt;
  if (!processAlive(HandleOwner(handle))) {
    WithdrawWindow(folder, handle);
    return std::nullopt;
  }
  WindowRecord w;
  w.handle = handle;
  auto nl = content.find('\n');
  if (nl == std::string::npos) {
    w.title = content;
  } else {
    w.socket = content.substr(0, nl);
    w.title = content.substr(nl + 1);
  }
  return w;
}

std::vector<WindowRecord> ListWindows(const std::string& folder) {
  std::vector<WindowRecord> out;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return out;
  std::vector<long> handles;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n.rfind(kWindowPrefix, 0) != 0) continue;
    char* end = nullptr;
    long h = std::strtol(n.c_str() + 4, &end, 10);
    if (end && *end == '\0' && h > 0) handles.push_back(h);
  }
  ::closedir(d);
  std::sort(handles.begin(), handles.end());
  for (long h : handles)
    if (auto w = ReadWindow(folder, h)) out.push_back(std::move(*w));
  return out;
}

bool SendShow(const std::string& folder, const WindowRecord& w, int cmd) {
  if (w.socket.empty() || w.socket.find('/') != std::string::npos) return false;
  int fd = Connect(folder, w.socket);
  if (fd < 0) return false;
  std::string frame = EncodeFrame("SHOW", std::to_string(w.handle) + " " + std::to_string(cmd));
  // A show request is a handful of bytes on a fresh connection: it goes out
  // at once or not at all.
  bool ok = WriteAll(fd, frame, NowMs()) == WriteStatus::Done;
  ::close(fd);
  return ok;
}

std::string EscapeLine(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string UnescapeLine(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      char n = s[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace kup::platform::dde
