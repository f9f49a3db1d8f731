// kup_gis_standin: a DDE partner standing in for the GIS or the cadastral
// viewer. It opens a topic in the DDE service folder, publishes its window
// title, logs every execute string it receives (one per line, CR, LF and
// "\" escaped as \r, \n and \\) and answers ACK, NAK or nothing. It can also
// send execute strings from a script to another topic (the container's).
//
// Script lines: an execute string (\n, \r and \\ escapes allowed); "#..." a
// comment; "@sleep <ms>" a pause during which the partner keeps serving;
// empty lines are skipped. Each send's outcome goes to --send-log (default
// standard error): "ACK", "NAK", "TIMEOUT" or "NOSERVER", a blank, the string.
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/DdeFolder.h"

namespace dde = kup::platform::dde;

namespace {

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

struct Options {
  std::string dir, app, topic, title, log, answer = "ack", sendFile, to = "Korvane|ZEDERA", sendLog, showLog,
                                       readyFile, dieOn;
  int delayMs = 0, sendTimeoutMs = 5000, sendAfterMs = 0;
  long exitAfter = 0;
  long lifetimeMs = 0;
  bool server = true, window = true, quitAfterSend = false, dieWithParent = false;
};

void usage() {
  std::fprintf(stderr,
               "usage: kup_gis_standin --app NAME --topic TOPIC [--title TEXT] [--dir FOLDER]\n"
               "         [--log FILE] [--answer ack|nak|silent] [--delay-ms N]\n"
               "         [--exit-after N] [--die-on STRING] [--lifetime-ms N] [--die-with-parent]\n"
               "         [--no-server] [--no-window] [--show-log FILE] [--ready-file FILE]\n"
               "         [--send SCRIPT] [--to APP|TOPIC] [--send-after-ms N] [--send-timeout-ms N]\n"
               "         [--send-log FILE] [--quit-after-send]\n");
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto val = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    auto num = [&](auto& out) {
      std::string s;
      if (!val(s)) return false;
      char* end = nullptr;
      long v = std::strtol(s.c_str(), &end, 10);
      if (!end || *end || v < 0) return false;
      out = static_cast<std::remove_reference_t<decltype(out)>>(v);
      return true;
    };
    bool ok = true;
    if (a == "--dir") ok = val(o.dir);
    else if (a == "--app") ok = val(o.app);
    else if (a == "--topic") ok = val(o.topic);
    else if (a == "--title") ok = val(o.title);
    else if (a == "--log") ok = val(o.log);
    else if (a == "--answer") ok = val(o.answer) && (o.answer == "ack" || o.answer == "nak" || o.answer == "silent");
    else if (a == "--delay-ms") ok = num(o.delayMs);
    else if (a == "--exit-after") ok = num(o.exitAfter);
    else if (a == "--die-on") ok = val(o.dieOn);
    else if (a == "--lifetime-ms") ok = num(o.lifetimeMs);
    else if (a == "--die-with-parent") o.dieWithParent = true;
    else if (a == "--no-server") o.server = false;
    else if (a == "--no-window") o.window = false;
    else if (a == "--show-log") ok = val(o.showLog);
    else if (a == "--ready-file") ok = val(o.readyFile);
    else if (a == "--send") ok = val(o.sendFile);
    else if (a == "--to") ok = val(o.to);
    else if (a == "--send-after-ms") ok = num(o.sendAfterMs);
    else if (a == "--send-timeout-ms") ok = num(o.sendTimeoutMs);
    else if (a == "--send-log") ok = val(o.sendLog);
    else if (a == "--quit-after-send") o.quitAfterSend = true;
    else ok = false;
    if (!ok) {
      std::fprintf(stderr, "kup_gis_standin: bad argument %s\n", a.c_str());
      return false;
    }
  }
  if (o.app.empty() || (o.server && o.topic.empty())) return false;
  if (o.title.empty()) o.title = o.app;
  return true;
}

// One line per event, flushed at once: tests read these files while we run.
class Journal {
 public:
  explicit Journal(const std::string& path, FILE* fallback) {
    f_ = path.empty() ? fallback : std::fopen(path.c_str(), "a");
    own_ = !path.empty() && f_;
  }
  ~Journal() {
    if (own_) std::fclose(f_);
  }
  void line(const std::string& s) {
    if (!f_) return;
    std::fwrite(s.data(), 1, s.size(), f_);
    std::fputc('\n', f_);
    std::fflush(f_);
  }
  // The string with CR, LF and "\" escaped. One that has none of them goes
  // out as it is, with its newline, in one system call.
  void escapedLine(const std::string& s) {
    if (!f_) return;
    for (char c : {'\\', '\n', '\r'})
      if (std::memchr(s.data(), c, s.size())) return line(dde::EscapeLine(s));
    // Each line is flushed: nothing waits in the stream's buffer.
    iovec iov[2] = {{const_cast<char*>(s.data()), s.size()}, {const_cast<char*>("\n"), 1}};
    size_t total = s.size() + 1;
    ssize_t n = ::writev(::fileno(f_), iov, 2);
    if (n < 0 || static_cast<size_t>(n) == total) return;
    // Written in part: the rest through the stream.
    size_t done = static_cast<size_t>(n);
    if (done < s.size()) std::fwrite(s.data() + done, 1, s.size() - done, f_);
    std::fputc('\n', f_);
    std::fflush(f_);
  }

 private:
  FILE* f_ = nullptr;
  bool own_ = false;
};

struct Conn {
  dde::FrameReader reader;
  std::string out;
  // Which conversation this is: a descriptor number comes back for the next
  // one once closed, and a late answer must not reach that one.
  long serial = 0;
};

class Partner {
 public:
  explicit Partner(const Options& o)
      : o_(o), log_(o.log, stdout), showLog_(o.showLog, nullptr), sendLog_(o.sendLog, stderr) {}

  int run() {
    std::string why;
    folder_ = dde::ResolveFolder(o_.dir);
    if (!dde::PrepareFolder(folder_, &why)) {
      std::fprintf(stderr, "kup_gis_standin: %s\n", why.c_str());
      return 2;
    }
    if (o_.server) {
      socket_ = dde::SocketName(o_.app, o_.topic);
      listen_ = dde::Listen(folder_, socket_, &why);
      if (listen_ < 0) {
        std::fprintf(stderr, "kup_gis_standin: %s\n", why.c_str());
        return 2;
      }
    }
    handle_ = dde::MakeHandle(static_cast<long>(::getpid()), 1);
    if (o_.window) dde::PublishWindow(folder_, dde::WindowRecord{handle_, o_.title, socket_});
    if (!o_.readyFile.empty()) {
      std::ofstream(o_.readyFile) << ::getpid() << "\n";
    }
    start_ = dde::NowMs();
    if (!o_.sendFile.empty()) {
      pump(start_ + o_.sendAfterMs, [] { return false; });
      if (!stopping()) runScript();
      if (o_.quitAfterSend) exitCode_ = 0, quit_ = true;
    }
    while (!stopping()) pump(dde::NowMs() + 1000, [] { return false; });
    cleanup();
    return exitCode_;
  }

 private:
  bool stopping() const { return quit_ || gStop || (o_.lifetimeMs > 0 && dde::NowMs() - start_ >= o_.lifetimeMs); }

  void cleanup() {
    // Answers already due go out before leaving.
    for (auto& [fd, c] : conns_)
      if (!c.out.empty()) dde::WriteAll(fd, c.out, dde::NowMs() + 200);
    for (auto& [fd, _] : conns_) ::close(fd);
    conns_.clear();
    if (listen_ >= 0) {
      ::close(listen_);
      ::unlink((folder_ + "/" + socket_).c_str());
    }
    if (o_.window) dde::WithdrawWindow(folder_, handle_);
  }

  // Serves until `done` holds or the time comes.
  void pump(int64_t untilMs, const std::function<bool()>& done) {
    while (!stopping() && !done()) {
      int64_t now = dde::NowMs();
      flushDelayed(now);
      if (now >= untilMs) return;
      int64_t wait = untilMs - now;
      if (!delayed_.empty() && delayed_.front().due - now < wait) wait = delayed_.front().due - now;
      if (wait > 100) wait = 100;
      if (wait < 0) wait = 0;
      std::vector<pollfd> fds;
      if (listen_ >= 0) fds.push_back({listen_, POLLIN, 0});
      for (auto& [fd, c] : conns_) fds.push_back({fd, static_cast<short>(POLLIN | (c.out.empty() ? 0 : POLLOUT)), 0});
      if (out_ >= 0) fds.push_back({out_, POLLIN, 0});
      int r = ::poll(fds.data(), fds.size(), static_cast<int>(wait));
      if (r < 0 && errno != EINTR) return;
      if (r <= 0) continue;
      for (auto& p : fds) {
        if (!p.revents) continue;
        if (p.fd == listen_) accept();
        else if (p.fd == out_) readAnswers();
        else serve(p.fd);
      }
    }
  }

  void accept() {
    for (;;) {
      int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      conns_[fd].serial = ++serials_;
    }
  }

  void serve(int fd) {
    auto it = conns_.find(fd);
    if (it == conns_.end()) return;
    Conn& c = it->second;
    char buf[65536];
    bool gone = false;
    for (;;) {
      ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        c.reader.feed(buf, static_cast<size_t>(n));
        // Less than the room: all there was (more makes the socket readable).
        if (static_cast<size_t>(n) < sizeof buf) break;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      gone = true;
      break;
    }
    while (auto f = c.reader.next()) {
      if (f->kind == "EXEC") {
        if (f->oversized) log_.line("#OVERSIZED");
        else log_.escapedLine(f->payload);
        if (!o_.dieOn.empty() && f->payload == o_.dieOn) ::_exit(3);  // dies without a word
        ++received_;
        if (o_.answer != "silent") {
          std::string a = (o_.answer == "nak" || f->oversized) ? "NAK\n" : "ACK\n";
          if (o_.delayMs > 0) delayed_.push_back({dde::NowMs() + o_.delayMs, fd, c.serial, a});
          else c.out += a;
        }
        if (o_.exitAfter > 0 && received_ >= o_.exitAfter) quit_ = true;
      } else if (f->kind == "SHOW") {
        long h = 0;
        int cmd = 0;
        if (std::sscanf(f->payload.c_str(), "%ld %d", &h, &cmd) == 2) showLog_.line("SHOW " + std::to_string(cmd));
      }
    }
    if (!c.out.empty()) {
      size_t w = 0;
      auto st = dde::WriteAll(fd, c.out, dde::NowMs(), &w);
      c.out.erase(0, w);
      if (st == dde::WriteStatus::Broken) gone = true;
    }
    if (gone || c.reader.broken()) {
      ::close(fd);
      conns_.erase(fd);
    }
  }

  void flushDelayed(int64_t now) {
    while (!delayed_.empty() && delayed_.front().due <= now) {
      auto d = delayed_.front();
      delayed_.pop_front();
      auto it = conns_.find(d.fd);
      if (it == conns_.end() || it->second.serial != d.serial) continue;
      it->second.out += d.answer;
      size_t w = 0;
      dde::WriteAll(d.fd, it->second.out, now, &w);
      it->second.out.erase(0, w);
    }
  }

  // ---- sending to another topic
  void readAnswers() {
    char buf[4096];
    for (;;) {
      ssize_t n = ::recv(out_, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) {
        outReader_.feed(buf, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      ::close(out_);
      out_ = -1;
      break;
    }
    while (auto f = outReader_.next()) {
      if (pendingOut_ > 0 && --pendingOut_ == 0) lastAnswer_ = f->kind;
    }
  }

  // The container closes a conversation that stayed silent; a string
  // written as it does so is lost unread (it answers every string it reads),
  // so such a string goes again once, on a new conversation.
  void send(const std::string& cmd) {
    for (int attempt = 0;; ++attempt) {
      if (out_ >= 0) readAnswers();  // shows a conversation closed meanwhile
      bool reused = out_ >= 0;
      if (out_ < 0) {
        std::string app, topic;
        if (dde::SplitLinkTopic(o_.to, app, topic)) out_ = dde::Connect(folder_, dde::SocketName(app, topic));
        outReader_ = dde::FrameReader{};
        pendingOut_ = 0;
      }
      if (out_ < 0) {
        sendLog_.line("NOSERVER " + dde::EscapeLine(cmd));
        return;
      }
      bool again = reused && attempt == 0;
      int64_t deadline = dde::NowMs() + o_.sendTimeoutMs;
      auto st = dde::WriteAll(out_, dde::EncodeFrame("EXEC", cmd), deadline);
      if (st != dde::WriteStatus::Done) {
        ::close(out_);
        out_ = -1;
        if (st == dde::WriteStatus::Broken && again) continue;
        sendLog_.line("NOSERVER " + dde::EscapeLine(cmd));
        return;
      }
      ++pendingOut_;
      lastAnswer_.clear();
      pump(deadline, [&] { return !lastAnswer_.empty() || out_ < 0; });
      if (lastAnswer_.empty() && out_ < 0 && again) continue;
      sendLog_.line((lastAnswer_.empty() ? std::string("TIMEOUT") : lastAnswer_) + " " + dde::EscapeLine(cmd));
      return;
    }
  }

  void runScript() {
    std::ifstream in(o_.sendFile);
    if (!in) {
      std::fprintf(stderr, "kup_gis_standin: cannot read %s\n", o_.sendFile.c_str());
      return;
    }
    std::string line;
    while (!stopping() && std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '#') continue;
      if (line.rfind("@sleep ", 0) == 0) {
        long ms = std::strtol(line.c_str() + 7, nullptr, 10);
        pump(dde::NowMs() + (ms > 0 ? ms : 0), [] { return false; });
        continue;
      }
      send(dde::UnescapeLine(line));
    }
  }

  struct Delayed {
    int64_t due;
    int fd;
    long serial;
    std::string answer;
  };

  const Options& o_;
  Journal log_, showLog_, sendLog_;
  std::string folder_, socket_;
  int listen_ = -1;
  long handle_ = 0;
  std::map<int, Conn> conns_;
  std::deque<Delayed> delayed_;
  long received_ = 0;
  long serials_ = 0;
  int64_t start_ = 0;
  bool quit_ = false;
  int exitCode_ = 0;
  int out_ = -1;
  dde::FrameReader outReader_;
  size_t pendingOut_ = 0;
  std::string lastAnswer_;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    usage();
    return 64;
  }
  if (o.dieWithParent) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() == 1) return 0;
  }
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  Partner p(o);
  return p.run();
}
