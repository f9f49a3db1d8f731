#include "platform/RealDde.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/RealFlash.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup::platform {

namespace {

constexpr int kLongestTenths = 65535;
// With a link time-out of 0 the string is still delivered; a partner slow
// to read a long string gets this long before the conversation is dropped.
constexpr int64_t kDeliveryGraceMs = 1000;
// Partners hold a handful of conversations; the limit only bounds what a
// runaway program can take, and the idle time-out gives everything back.
constexpr size_t kMaxConversations = 1024;
constexpr int64_t kIdleTimeoutMs = 30000;
constexpr size_t kReadPerPoll = 1u << 20;
constexpr size_t kMaxPendingOut = 1u << 20;

// Half the descriptors the process may open, at most kMaxConversations.
size_t DefaultMaxConversations() {
  rlimit rl{};
  if (::getrlimit(RLIMIT_NOFILE, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return kMaxConversations;
  return std::clamp<size_t>(static_cast<size_t>(rl.rlim_cur / 2), 16, kMaxConversations);
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

unsigned long inodeOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return 0;
  return static_cast<unsigned long>(st.st_ino);
}

// Reads what is there without waiting. -1 on end or failure of the
// connection, else the number of bytes read.
long readAvailable(int fd, dde::FrameReader& reader, size_t limit) {
  char buf[65536];
  size_t total = 0;
  while (total < limit) {
    ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      reader.feed(buf, static_cast<size_t>(n));
      total += static_cast<size_t>(n);
      // Less than asked for: that was all there was (what comes later
      // makes the socket readable again).
      if (static_cast<size_t>(n) < sizeof buf) break;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    return -1;
  }
  return static_cast<long>(total);
}

}  // namespace

// ------------------------------------------------------------------ link

RealDdeLink::RealDdeLink(std::string folder) : folder_(std::move(folder)) {}

RealDdeLink::~RealDdeLink() { close(); }

void RealDdeLink::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  mode_ = 0;
  pending_ = 0;
  reader_ = dde::FrameReader{};
}

void RealDdeLink::setLinkTimeout(int tenths) {
  if (!LinkTimeoutInRange(tenths)) raise(vberr::Overflow);
  timeout_ = tenths;
}

void RealDdeLink::setLinkMode(int mode) {
  if (mode != 0 && mode != 1 && mode != 2) raise(380, "Valeur de propriété incorrecte");
  close();
  if (mode == 0) return;
  std::string application, topic;
  if (!dde::SplitLinkTopic(topic_, application, topic)) raise(vberr::DdeNoForeignApp);
  int fd = dde::Connect(folder_, dde::SocketName(application, topic));
  if (fd < 0) raise(vberr::DdeNoForeignApp);
  fd_ = fd;
  mode_ = mode;
}

std::string RealDdeLink::retire() {
  std::string settled;
  while (auto f = reader_.next()) {
    if (f->kind != "ACK" && f->kind != "NAK") return "?";
    if (pending_ == 0) continue;  // an answer nobody asked for: ignore it
    if (--pending_ == 0) settled = f->kind;
  }
  return reader_.broken() ? "?" : settled;
}

bool RealDdeLink::drain() {
  if (readAvailable(fd_, reader_, SIZE_MAX) < 0) return false;
  return retire() != "?";
}

void RealDdeLink::linkExecute(const std::string& command) {
  if (fd_ < 0 || mode_ == 0) raise(vberr::DdeNoChannel);
  // Answers of earlier executes that were not waited for are read and
  // dropped here, so that the next answer read is this execute's own. (With
  // none pending, a partner that went away shows when writing.)
  if (pending_ > 0 && !drain()) {
    close();
    raise(vberr::DdeNoChannel);
  }
  int tenths = timeout_ < 0 ? kLongestTenths : timeout_;
  int64_t start = dde::NowMs();
  int64_t deadline = start + static_cast<int64_t>(tenths) * 100;
  int64_t writeDeadline = tenths == 0 ? start + kDeliveryGraceMs : deadline;
  auto status = dde::WriteFrame(fd_, "EXEC", command, writeDeadline);
  if (status != dde::WriteStatus::Done) {
    // The partner went away (the string was not delivered: the caller may
    // connect again), or it does not read: a partly written frame leaves the
    // conversation unusable either way.
    close();
    raise(status == dde::WriteStatus::Broken ? vberr::DdeNoChannel : vberr::DdeTimeout);
  }
  ++pending_;
  for (;;) {
    std::string settled = retire();
    if (settled == "?") {
      close();
      raise(vberr::DdeTimeout);
    }
    if (settled == "ACK") return;
    if (settled == "NAK") raise(vberr::DdeRefused);
    int64_t left = deadline - dde::NowMs();
    if (left < 0) left = 0;
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) raise(vberr::DdeTimeout);
    if (readAvailable(fd_, reader_, SIZE_MAX) < 0) {
      // The partner went away; an answer it sent before going still counts.
      settled = retire();
      close();
      if (settled == "ACK") return;
      if (settled == "NAK") raise(vberr::DdeRefused);
      raise(vberr::DdeTimeout);
    }
  }
}

// ------------------------------------------------------------------ system

RealDdeSystem::RealDdeSystem(std::string folder)
    : folder_(dde::ResolveFolder(folder)), idleMs_(kIdleTimeoutMs), maxConversations_(DefaultMaxConversations()) {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

RealDdeSystem::~RealDdeSystem() {
  closeSource();
  if (epoll_ >= 0) ::close(epoll_);
  if (reserveFd_ >= 0) ::close(reserveFd_);
}

std::unique_ptr<IDdeLink> RealDdeSystem::createLink() { return std::make_unique<RealDdeLink>(folder_); }

void RealDdeSystem::report(const std::string& line) {
  if (onLog) onLog(line);
}

void RealDdeSystem::closeConn(int fd) {
  auto it = conns_.find(fd);
  if (it == conns_.end()) return;
  if (epoll_ >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  ::close(fd);
  conns_.erase(it);
}

void RealDdeSystem::closeSource() {
  while (!conns_.empty()) closeConn(conns_.begin()->first);
  if (listen_ >= 0) {
    if (epoll_ >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, listen_, nullptr);
    ::close(listen_);
    listen_ = -1;
    // Only our own socket file: a newer server may have taken the name.
    std::string path = joinPath(folder_, sourceName_);
    if (sourceInode_ != 0 && inodeOf(path) == sourceInode_) ::unlink(path.c_str());
  }
  sourceName_.clear();
  sourceInode_ = 0;
}

void RealDdeSystem::setSource(const std::string& application, const std::string& topic, int mode) {
  if (mode == 0) {
    closeSource();
    return;
  }
  std::string why;
  if (!dde::PrepareFolder(folder_, &why)) raise(vberr::PathFileAccess, "Dossier de service DDE inutilisable : " + why);
  std::string name = dde::SocketName(application, topic);
  if (name == sourceName_ && listen_ >= 0 && inodeOf(joinPath(folder_, name)) == sourceInode_) return;
  int fd = dde::Listen(folder_, name, &why);
  if (fd < 0) raise(vberr::PathFileAccess, "Source DDE impossible : " + why);
  unsigned long inode = inodeOf(joinPath(folder_, name));
  // The conversations already open stay; only the listening socket changes.
  if (listen_ >= 0) {
    if (epoll_ >= 0) ::epoll_ctl(epoll_, EPOLL_CTL_DEL, listen_, nullptr);
    ::close(listen_);
    std::string old = joinPath(folder_, sourceName_);
    if (name != sourceName_ && inodeOf(old) == sourceInode_) ::unlink(old.c_str());
  }
  listen_ = fd;
  sourceName_ = name;
  sourceInode_ = inode;
  if (epoll_ >= 0) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
  }
}

void RealDdeSystem::serve(int fd) {
  auto it = conns_.find(fd);
  if (it == conns_.end() || it->second.serving) return;
  it->second.serving = true;
  long got = readAvailable(fd, it->second.reader, kReadPerPoll);
  if (got < 0) it->second.closing = true;
  if (got > 0) it->second.lastMs = dde::NowMs();
  for (;;) {
    it = conns_.find(fd);  // a handler may have stopped the source
    if (it == conns_.end()) return;
    auto frame = it->second.reader.next();
    if (!frame) break;
    if (frame->kind == "EXEC") {
      int16_t cancel = -1;
      if (!frame->oversized && onLinkExecute) {
        try {
          // Valid text (nearly always) goes as it came, without a copy.
          if (!bridge::IsValidUtf8(frame->payload)) frame->payload = SanitizeUtf8(frame->payload);
          onLinkExecute(frame->payload, cancel);
        } catch (...) {
          cancel = -1;
        }
      }
      it = conns_.find(fd);
      if (it == conns_.end()) return;
      it->second.out += cancel == 0 ? "ACK\n" : "NAK\n";
    } else if (frame->kind == "SHOW") {
      long handle = 0;
      int cmd = 0;
      if (!frame->oversized && std::sscanf(frame->payload.c_str(), "%ld %d", &handle, &cmd) == 2 && onShowRequest)
        onShowRequest(handle, cmd);
    }
    // Any other kind gets no answer: only executes wait for one.
  }
  it = conns_.find(fd);
  if (it == conns_.end()) return;
  Conn& c = it->second;
  c.serving = false;
  if (!c.out.empty()) {
    size_t written = 0;
    auto status = dde::WriteAll(fd, c.out, dde::NowMs(), &written);
    c.out.erase(0, written);
    // A client that never reads its answers is not kept waiting on forever.
    if (status == dde::WriteStatus::Broken || c.out.size() > kMaxPendingOut) c.closing = true;
  }
  if (c.reader.broken()) c.closing = true;
  if (c.closing) closeConn(fd);
}

bool RealDdeSystem::evictOldest(const char* why) {
  auto oldest = conns_.end();
  for (auto it = conns_.begin(); it != conns_.end(); ++it)
    if (!it->second.serving && (oldest == conns_.end() || it->second.lastMs < oldest->second.lastMs)) oldest = it;
  if (oldest == conns_.end()) return false;
  int64_t silent = (dde::NowMs() - oldest->second.lastMs) / 1000;
  report(std::string("conversation DDE silencieuse depuis ") + std::to_string(silent) + " s fermée : " + why);
  closeConn(oldest->first);
  return true;
}

void RealDdeSystem::acceptWaiting() {
  while (listen_ >= 0) {
    int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE) {
        // Out of descriptors: the longest silent conversation makes room;
        // with none of ours to close, the newcomer is refused rather than
        // left waiting, which would wake the loop again and again.
        if (evictOldest("plus de descripteurs libres")) continue;
        if (reserveFd_ >= 0) {
          ::close(reserveFd_);
          reserveFd_ = -1;
          int late = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
          if (late >= 0) ::close(late);
          reserveFd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
          report("conversation DDE refusée : plus de descripteurs libres");
          if (late >= 0) continue;
        }
      }
      break;
    }
    if (conns_.size() >= maxConversations_) evictOldest("trop de conversations ouvertes");
    Conn& c = conns_[fd];
    c.lastMs = dde::NowMs();
    if (epoll_ >= 0) {
      epoll_event ev{};
      ev.events = EPOLLIN;
      ev.data.fd = fd;
      ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
    }
  }
}

void RealDdeSystem::expireIdle(int64_t now) {
  if (idleMs_ <= 0) return;
  std::vector<int> idle;
  for (auto& [fd, c] : conns_) {
    if (now - c.lastMs < idleMs_ || c.serving) continue;
    // A string that arrived after this poll looked is not silence: closing
    // now would drop it unread. The next poll serves it.
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) continue;
    idle.push_back(fd);
  }
  for (int fd : idle) closeConn(fd);
  if (!idle.empty())
    report(std::to_string(idle.size()) + " conversation(s) DDE fermée(s) après " + std::to_string(idleMs_ / 1000) +
           " s de silence");
}

int64_t RealDdeSystem::nextExpiryMs() const {
  if (idleMs_ <= 0) return -1;
  int64_t oldest = INT64_MAX;
  for (auto& [fd, c] : conns_)
    if (!c.serving) oldest = std::min(oldest, c.lastMs);
  if (oldest == INT64_MAX) return -1;
  return std::max<int64_t>(0, oldest + idleMs_ - dde::NowMs());
}

void RealDdeSystem::poll() {
  if (listen_ < 0 && conns_.empty()) return;
  if (epoll_ < 0) {
    acceptWaiting();
    std::vector<int> fds;
    for (auto& [fd, _] : conns_) fds.push_back(fd);
    for (int fd : fds) serve(fd);
  } else {
    // Only the sockets that have something: idle conversations cost nothing.
    // A few rounds take the conversations just accepted; what is left keeps
    // the descriptor readable for the next call.
    epoll_event ev[64];
    for (int round = 0; round < 4; ++round) {
      int n = ::epoll_wait(epoll_, ev, 64, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      bool accepted = false;
      for (int i = 0; i < n; ++i) {
        int fd = ev[i].data.fd;
        if (fd == listen_) {
          acceptWaiting();
          accepted = true;
        } else {
          serve(fd);
        }
      }
      if (!accepted && n < 64) break;
    }
  }
  expireIdle(dde::NowMs());
}

bool RealDdeSystem::waitForServer(const std::string& linkTopic, int timeoutMs) {
  std::string application, topic;
  if (!dde::SplitLinkTopic(linkTopic, application, topic)) return false;
  std::string name = dde::SocketName(application, topic);
  int64_t deadline = dde::NowMs() + (timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    int fd = dde::Connect(folder_, name);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
    if (dde::NowMs() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace kup::platform
