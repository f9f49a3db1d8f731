// kup_bridge_client: a stand-in for the Flex interface that speaks the UI
// bridge. It starts the container, sends the requests of a session file one
// by one, waits for each RET and prints what comes back (calls and replies,
// decoded and raw), then closes the container's input and waits for it.
//
//   kup_bridge_client --session FILE [--timeout S] [--raw-limit N] -- PROGRAM ARGS...
//
// The time-out (for each RET, and for the program's end after its input is
// closed) does not apply when the program runs in desktop mode: a person
// may be reading a box or saving a letter (see DesktopMode).
//
// Exit code: 0 when every request got its RET and the program ended with 0;
// 1 when a RET is missing or the program broke the protocol; 2 when the
// program crashed or ended with another code; 3 for a bad command line or
// session file.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/RealFlash.h"
#include "tools/bridge_client/Session.h"

extern char** environ;

namespace {

using namespace kup::bridgeclient;
using Clock = std::chrono::steady_clock;

struct Options {
  std::string session;
  double timeoutS = 30;
  // The program shows its windows to a person: it may wait for them (a
  // box, a letter to save at the end) as long as they take, and so does
  // the client; the time-out does not apply.
  bool desktop = false;
  size_t rawLimit = 2000;
  std::vector<std::string> argv;
};

[[noreturn]] void Usage(const std::string& why) {
  std::cerr << "kup_bridge_client: " << why << "\n"
            << "usage: kup_bridge_client --session FILE [--timeout S] [--raw-limit N] -- PROGRAM ARGS...\n";
  std::exit(3);
}

// The container forced into desktop mode (--desktop among its arguments,
// the last of --desktop and --headless winning, as it reads them). A
// display in the environment alone does not count: the client cannot tell
// whether it answers, and a session run without a person must still end.
bool DesktopMode(const std::vector<std::string>& argv) {
  bool desktop = false;
  for (size_t i = 1; i < argv.size(); ++i) {
    if (argv[i] == "--headless") desktop = false;
    if (argv[i] == "--desktop") desktop = true;
  }
  return desktop;
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") {
      ++i;
      break;
    }
    if (i + 1 >= argc) Usage("missing value after " + a);
    try {
      if (a == "--session") o.session = argv[++i];
      else if (a == "--timeout") o.timeoutS = std::stod(argv[++i]);
      else if (a == "--raw-limit") o.rawLimit = std::stoul(argv[++i]);
      else Usage("unknown option " + a);
    } catch (const std::logic_error&) {
      Usage("bad value for " + a);
    }
  }
  for (; i < argc; ++i) o.argv.push_back(argv[i]);
  if (o.session.empty()) Usage("--session is required");
  if (o.argv.empty()) Usage("no program after --");
  if (!(o.timeoutS > 0)) Usage("--timeout must be positive");
  o.desktop = DesktopMode(o.argv);
  return o;
}

class Client {
 public:
  explicit Client(const Options& o) : opt_(o) {}

  bool spawn() {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
      std::perror("kup_bridge_client: pipe");
      return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (auto& a : opt_.argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int rc = posix_spawnp(&pid_, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
      std::cerr << "kup_bridge_client: cannot start " << opt_.argv[0] << ": " << std::strerror(rc) << "\n";
      ::close(in[1]);
      ::close(out[0]);
      return false;
    }
    toChild_ = in[1];
    fromChild_ = out[0];
    ::fcntl(toChild_, F_SETFL, ::fcntl(toChild_, F_GETFL) | O_NONBLOCK);
    return true;
  }

  // Sends every step; false at the first missing RET.
  bool run(const std::vector<Step>& steps) {
    for (const auto& s : steps) {
      if (s.type == Step::Type::Wait) {
        std::cout << "... wait " << s.waitMs << " ms\n";
        pump(Clock::now() + std::chrono::milliseconds(s.waitMs), false);
        continue;
      }
      std::cout << "> " << s.label << "\n";
      ++requests_;
      if (!send(kup::bridge::EncodeFrame("REQ", s.xml))) {
        std::cout << "! the program no longer reads its input (line " << s.line << ")\n";
        failed_ = true;
        return false;
      }
      auto deadline = deadlineFromNow();
      switch (pump(deadline, true)) {
        case Pump::Ret:
          break;
        case Pump::Timeout:
          std::cout << "! no RET within " << opt_.timeoutS << " s (line " << s.line << ")\n";
          failed_ = true;
          return false;
        case Pump::Eof:
          std::cout << "! the program ended before answering (line " << s.line << ")\n";
          failed_ = true;
          return false;
      }
    }
    return true;
  }

  // Closes the program's input, prints what still comes, waits for its end.
  int finish() {
    if (toChild_ >= 0) ::close(toChild_);
    toChild_ = -1;
    if (opt_.desktop) std::cout << "... desktop mode: waiting for the program to end, without a time limit\n";
    auto deadline = deadlineFromNow();
    if (fromChild_ >= 0 && pump(deadline, false) == Pump::Timeout)
      std::cout << "! the program did not close its output within " << opt_.timeoutS << " s\n";
    int status = 0;
    bool ended = false;
    while (Clock::now() < deadline) {
      pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        ended = true;
        break;
      }
      ::usleep(20000);
    }
    if (!ended) {
      std::cout << "! the program did not end within " << opt_.timeoutS << " s after end of input: killed\n";
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      return 2;
    }
    int code = 0;
    if (WIFSIGNALED(status)) {
      std::cout << "= the program was killed by signal " << WTERMSIG(status) << " (" << strsignal(WTERMSIG(status))
                << ")\n";
      code = 2;
    } else {
      std::cout << "= the program ended with code " << WEXITSTATUS(status) << "\n";
      if (WEXITSTATUS(status) != 0) code = 2;
    }
    std::cout << "= " << requests_ << " requests, " << rets_ << " RET, " << calls_ << " CALL\n";
    if (code == 0 && failed_) code = 1;
    return code;
  }

 private:
  enum class Pump { Ret, Timeout, Eof };

  Clock::time_point deadlineFromNow() const {
    if (opt_.desktop) return Clock::time_point::max();
    return Clock::now() + std::chrono::milliseconds(long(opt_.timeoutS * 1000));
  }

  // Writes a frame while reading what the program writes meanwhile (shown
  // afterwards), so that a program busy writing a long call cannot block
  // against a long request. False when the program stopped reading.
  bool send(const std::string& frame) {
    std::string_view rest = frame;
    while (!rest.empty()) {
      pollfd p[2] = {{toChild_, POLLOUT, 0}, {fromChild_, POLLIN, 0}};
      int r = ::poll(p, fromChild_ >= 0 ? 2 : 1, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (p[0].revents & (POLLERR | POLLHUP)) return false;
      if (p[0].revents & POLLOUT) {
        ssize_t n = ::write(toChild_, rest.data(), std::min(rest.size(), size_t(65536)));
        if (n > 0) rest.remove_prefix(size_t(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
      }
      if (fromChild_ >= 0 && (p[1].revents & (POLLIN | POLLHUP))) {
        char buf[65536];
        ssize_t n = ::read(fromChild_, buf, sizeof buf);
        if (n > 0) {
          reader_.feed(std::string_view(buf, size_t(n)));
        } else if (n == 0) {
          ::close(fromChild_);
          fromChild_ = -1;
        }
      }
    }
    return true;
  }

  // Reads frames until a RET (when wanted), the deadline or end of output.
  Pump pump(Clock::time_point deadline, bool wantRet) {
    for (;;) {
      while (auto item = reader_.next()) {
        if (show(*item) && wantRet) return Pump::Ret;
      }
      if (fromChild_ < 0) return Pump::Eof;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return Pump::Timeout;
      pollfd p{fromChild_, POLLIN, 0};
      int r = ::poll(&p, 1, int(std::min<long long>(left, 60000)));
      if (r < 0 && errno == EINTR) continue;
      if (r == 0) continue;
      char buf[65536];
      ssize_t n = ::read(fromChild_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (reader_.midFrame()) {
          std::cout << "! the program's output ends inside a frame\n";
          failed_ = true;
        }
        ::close(fromChild_);
        fromChild_ = -1;
        return Pump::Eof;
      }
      reader_.feed(std::string_view(buf, size_t(n)));
    }
  }

  // The payload as it came, cut at the limit; its line ends are followed by
  // an indent so that the transcript keeps one frame per block.
  std::string raw(const std::string& payload) const {
    std::string shown = payload.size() <= opt_.rawLimit ? payload : payload.substr(0, opt_.rawLimit);
    std::string out;
    for (char c : shown) {
      out += c;
      if (c == '\n') out += "        ";
    }
    if (shown.size() < payload.size()) out += "... (" + std::to_string(payload.size()) + " bytes)";
    return out;
  }

  static std::string joined(const std::vector<std::string>& values) {
    std::string out;
    for (size_t i = 0; i < values.size(); ++i) {
      if (i) out += " | ";
      out += Printable(values[i]);
    }
    return out;
  }

  // Prints one frame; true when it was a RET.
  bool show(const kup::bridge::FrameReader::Item& it) {
    if (!it.ok) {
      std::cout << "! bad frame from the program: " << it.error << "\n";
      failed_ = true;
      return false;
    }
    if (it.kind == "CALL") {
      ++calls_;
      Decoded d = DecodeCall(it.payload);
      if (d.ok) {
        std::cout << "< CALL " << Printable(d.name);
        if (!d.values.empty()) std::cout << " | " << joined(d.values);
        std::cout << "\n";
      } else {
        std::cout << "< CALL (not an invoke)\n";
      }
      std::cout << "    raw CALL " << it.payload.size() << ": " << raw(it.payload) << "\n";
      return false;
    }
    if (it.kind == "RET") {
      ++rets_;
      if (it.payload.empty()) {
        std::cout << "< RET (no value)\n";
      } else {
        Decoded d = DecodeReply(it.payload);
        if (d.ok) std::cout << "< RET " << joined(d.values) << "\n";
        else std::cout << "< RET (not an array)\n";
        std::cout << "    raw RET " << it.payload.size() << ": " << raw(it.payload) << "\n";
      }
      if (rets_ > requests_) {
        std::cout << "! RET without a pending request\n";
        failed_ = true;
      }
      return true;
    }
    std::cout << "! unknown frame kind " << it.kind << " from the program\n";
    failed_ = true;
    return false;
  }

  const Options& opt_;
  pid_t pid_ = -1;
  int toChild_ = -1, fromChild_ = -1;
  kup::bridge::FrameReader reader_;
  bool failed_ = false;
  size_t requests_ = 0, rets_ = 0, calls_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  std::cout << std::unitbuf;  // keeps the transcript in step with the program's log
  Options opt = ParseArgs(argc, argv);
  std::vector<Step> steps;
  {
    std::ifstream in(opt.session);
    if (!in) {
      std::cerr << "kup_bridge_client: cannot read " << opt.session << "\n";
      return 3;
    }
    try {
      steps = ParseSession(in, opt.session);
    } catch (const SessionError& e) {
      std::cerr << "kup_bridge_client: " << e.what() << "\n";
      return 3;
    }
  }
  Client c(opt);
  if (!c.spawn()) return 3;
  c.run(steps);
  return c.finish();
}
