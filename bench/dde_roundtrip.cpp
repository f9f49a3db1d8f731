// An execute round trip (container link -> GIS stand-in -> ACK) beside a raw
// ping-pong over a Unix-domain socket between two processes, to show what the
// frames, the answer bookkeeping and the partner's logging add.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/RealDde.h"

extern char** environ;

namespace {

struct Partner {
  std::string dir;
  pid_t pid = 0;
  Partner() {
    char tmpl[] = "/tmp/kdde-bench-XXXXXX";
    dir = ::mkdtemp(tmpl);
    std::string ready = dir + "/ready";
    std::vector<std::string> argv{std::string(KUP_PROGRAM_DIR) + "/kup_gis_standin", "--dir", dir, "--app", "SIG",
                                  "--topic", "CARTO", "--log", "/dev/null", "--ready-file", ready,
                                  "--die-with-parent"};
    std::vector<char*> c;
    for (auto& a : argv) c.push_back(a.data());
    c.push_back(nullptr);
    if (::posix_spawn(&pid, c[0], nullptr, nullptr, c.data(), environ) != 0) pid = 0;
    for (int i = 0; i < 1000 && pid > 0 && !std::filesystem::exists(ready); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~Partner() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

void BM_DdeExecuteRoundTrip(benchmark::State& state) {
  Partner p;
  if (p.pid <= 0) {
    state.SkipWithError("kup_gis_standin did not start");
    return;
  }
  kup::platform::RealDdeSystem sys(p.dir);
  auto link = sys.createLink();
  link->setLinkTopic("SIG|CARTO");
  link->setLinkTimeout(50);
  link->setLinkMode(2);
  std::string cmd = "SIG_ParcelleAjouter(" + std::string(static_cast<size_t>(state.range(0)), '7') + ")";
  for (auto _ : state) link->linkExecute(cmd);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DdeExecuteRoundTrip)->Arg(16)->Arg(4096)->UseRealTime();

void BM_RawSocketPingPong(benchmark::State& state) {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) {
    state.SkipWithError("socketpair");
    return;
  }
  size_t n = static_cast<size_t>(state.range(0));
  pid_t child = ::fork();
  if (child == 0) {
    ::close(sv[0]);
    std::vector<char> buf(n);
    for (;;) {
      size_t got = 0;
      while (got < n) {
        ssize_t r = ::read(sv[1], buf.data() + got, n - got);
        if (r <= 0) ::_exit(0);
        got += static_cast<size_t>(r);
      }
      if (::write(sv[1], "PONG", 4) != 4) ::_exit(0);
    }
  }
  ::close(sv[1]);
  std::string ping(n, 'p');
  char pong[4];
  for (auto _ : state) {
    if (::write(sv[0], ping.data(), n) != static_cast<ssize_t>(n)) break;
    size_t got = 0;
    while (got < 4) {
      ssize_t r = ::read(sv[0], pong + got, 4 - got);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
  }
  state.SetItemsProcessed(state.iterations());
  ::close(sv[0]);
  ::waitpid(child, nullptr, 0);
}
BENCHMARK(BM_RawSocketPingPong)->Arg(16)->Arg(4096)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
