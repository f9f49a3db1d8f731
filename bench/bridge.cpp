// The UI bridge against a pipe echo. The floor is a child process that reads
// the same REQ frames from a pipe, finds their ends and writes back, for
// each, the very RET frame korvane answers, one write per frame: the system calls and copies any
// bridge needs, and nothing else.
//   round trip: one small request at a time, median microseconds;
//   pipelined:  100 000 requests written while the RETs are read, requests
//               per second, and the CPU time the serving process used per
//               request (its own CPU clock).
// The RET bytes are checked on every run.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Floor.h"
#include "platform/RealFlash.h"

extern char** environ;

namespace {

using kup::bench::Fail;

std::string Request() {
  const std::string name = "KUP_ChaineSQL";
  return kup::bridge::EncodeFrame(
      "REQ", "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments><array><property id=\"0\"><string>" + name +
                 "</string></property><property id=\"1\"><string>SELECT 1 FROM DUAL</string></property>"
                 "</array></arguments></invoke>");
}

// The floor's server: frames in, one canned RET per frame out.
[[noreturn]] void EchoServer(int in, int out, const std::string& reply) {
  std::string buf;
  buf.reserve(1 << 20);
  char chunk[65536];
  size_t pos = 0;
  for (;;) {
    ssize_t n = ::read(in, chunk, sizeof chunk);
    if (n <= 0) ::_exit(0);
    buf.append(chunk, size_t(n));
    for (;;) {
      size_t nl = buf.find('\n', pos);
      if (nl == std::string::npos) break;
      size_t sp = buf.find(' ', pos);
      size_t len = std::strtoul(buf.c_str() + sp + 1, nullptr, 10);
      if (buf.size() < nl + 1 + len + 1) break;
      pos = nl + 1 + len + 1;
      // One write per reply, as a server answering each request in turn.
      if (!kup::bridge::WriteAll(out, reply)) ::_exit(0);
    }
    buf.erase(0, pos);
    pos = 0;
  }
}

class Server {
 public:
  // reply empty: korvane; else the echo floor answering that frame.
  explicit Server(const std::string& reply = {}) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) Fail("pipe");
    if (reply.empty()) {
      posix_spawn_file_actions_t fa;
      posix_spawn_file_actions_init(&fa);
      posix_spawn_file_actions_adddup2(&fa, in[0], 0);
      posix_spawn_file_actions_adddup2(&fa, out[1], 1);
      posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
      std::string path = std::string(KUP_PROGRAM_DIR) + "/korvane";
      char* argv[] = {path.data(), nullptr};
      if (posix_spawn(&pid_, path.c_str(), &fa, nullptr, argv, environ) != 0) Fail("korvane did not start");
      posix_spawn_file_actions_destroy(&fa);
    } else {
      // This program started again as the echo: a program started like
      // korvane (not merely forked), so that the scheduler places it alike.
      posix_spawn_file_actions_t fa;
      posix_spawn_file_actions_init(&fa);
      posix_spawn_file_actions_adddup2(&fa, in[0], 0);
      posix_spawn_file_actions_adddup2(&fa, out[1], 1);
      std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
      std::string r = reply;
      char* argv[] = {self.data(), const_cast<char*>("--echo"), r.data(), nullptr};
      if (posix_spawn(&pid_, self.c_str(), &fa, nullptr, argv, environ) != 0) Fail("echo did not start");
      posix_spawn_file_actions_destroy(&fa);
    }
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Server() {
    ::close(to_);
    ::close(from_);
    ::waitpid(pid_, nullptr, 0);
  }
  double cpuSeconds() const {
    clockid_t c;
    timespec ts{};
    if (::clock_getcpuclockid(pid_, &c) != 0 || ::clock_gettime(c, &ts) != 0) return 0;
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
  }
  bool send(const std::string& bytes) { return kup::bridge::WriteAll(to_, bytes); }
  // Reads exactly n bytes.
  std::string read(size_t n) {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
      ssize_t r = ::read(from_, out.data() + got, n - got);
      if (r <= 0) Fail("the server stopped answering");
      got += size_t(r);
    }
    return out;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
};

// The RET korvane gives to the request (read once, header first).
std::string ReplyOfKorvane(const std::string& req) {
  Server k;
  k.send(req);
  std::string head;
  while (head.empty() || head.back() != '\n') head += k.read(1);
  size_t len = std::strtoul(head.c_str() + 4, nullptr, 10);
  if (head.rfind("RET ", 0) != 0) Fail("first frame is not a RET: " + head);
  return head + k.read(len + 1);
}

double RoundTrips(Server& s, const std::string& req, const std::string& reply, int n) {
  std::vector<double> us;
  us.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    s.send(req);
    std::string got = s.read(reply.size());
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    if (got != reply) Fail("round trip answered other bytes");
  }
  return kup::bench::Median(us);
}

struct Pipelined {
  double seconds = 0, cpu = 0;
};

Pipelined Pipeline(const std::string& echoReply, const std::string& req, const std::string& reply, int n) {
  Server s(echoReply);
  // Start-up done before the clock starts.
  s.send(req);
  if (s.read(reply.size()) != reply) Fail("first answer");
  std::string all;
  all.reserve(req.size() * size_t(n));
  for (int i = 0; i < n; ++i) all += req;
  double cpu0 = s.cpuSeconds();
  Pipelined p;
  bool same = true;
  p.seconds = kup::bench::Seconds([&] {
    std::thread writer([&] { s.send(all); });
    const size_t per = 4096 / reply.size() + 1;
    for (int i = 0; i < n;) {
      size_t k = std::min<size_t>(per, size_t(n - i));
      std::string got = s.read(reply.size() * k);
      for (size_t j = 0; j < k; ++j)
        if (std::memcmp(got.data() + j * reply.size(), reply.data(), reply.size()) != 0) same = false;
      i += int(k);
    }
    writer.join();
  });
  p.cpu = s.cpuSeconds() - cpu0;
  if (!same) Fail("a pipelined RET differs from the expected bytes or order");
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--echo") EchoServer(0, 1, argv[2]);
  ::signal(SIGPIPE, SIG_IGN);
  const int rounds = kup::bench::Rounds(argc, argv, 9);
  const std::string req = Request();
  const std::string reply = ReplyOfKorvane(req);

  {
    Server k, echo(reply);
    RoundTrips(k, req, reply, 200);  // warm both
    RoundTrips(echo, req, reply, 200);
    auto r = kup::bench::Interleave(
        rounds, [&] { return RoundTrips(k, req, reply, 2000); }, [&] { return RoundTrips(echo, req, reply, 2000); });
    kup::bench::Report("bridge round trip", std::to_string(req.size()) + " B", r, "us");
  }
  const int n = 100000;
  std::vector<double> cpuK, cpuE;
  auto r = kup::bench::Interleave(
      rounds,
      [&] {
        auto p = Pipeline({}, req, reply, n);
        cpuK.push_back(p.cpu);
        return p.seconds;
      },
      [&] {
        auto p = Pipeline(reply, req, reply, n);
        cpuE.push_back(p.cpu);
        return p.seconds;
      });
  kup::bench::Result cpu{kup::bench::Median(cpuK) / n, kup::bench::Median(cpuE) / n};
  char extra[160];
  std::snprintf(extra, sizeof extra, "korvane %.0f k req/s, echo %.0f k req/s", n / r.measured / 1e3,
                n / r.floor / 1e3);
  kup::bench::Report("bridge pipelined, wall", "100000 req", r, "s", 1.0, extra);
  kup::bench::Report("bridge pipelined, CPU per request", "100000 req", cpu, "us", 1e6);
  return 0;
}
