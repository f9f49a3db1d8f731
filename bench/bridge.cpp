// Round trip of a small request through the UI bridge: one korvane process,
// REQ written to its input, RET read from its output, repeated. The
// counters median_us and p99_us are the median and 99th percentile of the
// measured round trips (the mean is pulled up by scheduling stalls).
#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "platform/RealFlash.h"

extern char** environ;

namespace {

class Korvane {
 public:
  Korvane() {
    std::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::string path = std::string(KUP_PROGRAM_DIR) + "/korvane";
    char* argv[] = {path.data(), nullptr};
    ok_ = posix_spawn(&pid_, path.c_str(), &fa, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Korvane() {
    ::close(to_);
    ::close(from_);
    if (ok_) ::waitpid(pid_, nullptr, 0);
  }
  bool ok() const { return ok_; }

  // Sends one request and reads up to its RET; false on failure.
  bool roundTrip(const std::string& frame) {
    if (!kup::bridge::WriteAll(to_, frame)) return false;
    for (;;) {
      while (auto it = reader_.next())
        if (it->ok && it->kind == "RET") return true;
      char buf[65536];
      ssize_t n = ::read(from_, buf, sizeof buf);
      if (n <= 0) return false;
      reader_.feed(std::string_view(buf, size_t(n)));
    }
  }

 private:
  pid_t pid_ = -1;
  bool ok_ = false;
  int to_ = -1, from_ = -1;
  kup::bridge::FrameReader reader_;
};

std::string Request(const std::string& name, const std::string& arg) {
  return kup::bridge::EncodeFrame(
      "REQ", "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments><array><property id=\"0\"><string>" + name +
                 "</string></property><property id=\"1\"><string>" + arg +
                 "</string></property></array></arguments></invoke>");
}

void RoundTrip(benchmark::State& state, const std::string& frame) {
  Korvane k;
  if (!k.ok()) {
    state.SkipWithError("korvane could not be started");
    return;
  }
  std::vector<double> us;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    if (!k.roundTrip(frame)) {
      state.SkipWithError("no RET");
      return;
    }
    us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
  }
  if (!us.empty()) {
    std::sort(us.begin(), us.end());
    state.counters["median_us"] = us[us.size() / 2];
    state.counters["p99_us"] = us[us.size() * 99 / 100];
  }
}

// A command the table does not hold: the bridge and the dispatcher alone.
void BM_BridgeRoundTrip_Unknown(benchmark::State& state) { RoundTrip(state, Request("KUP_Inconnue", "x")); }
// A small settings string: parse, store and the settings reader.
void BM_BridgeRoundTrip_Parametres(benchmark::State& state) {
  RoundTrip(state, Request("KUP_Parametres",
                           "0\xC3\xB0" "1\xC3\xB0" "2\xC3\xB0" "3\xC3\xB0" "DDE\xC3\xB0MODE\xC3\xB0" "6\xC3\xB0" "7\xC3\xB0" "0"));
}

}  // namespace

BENCHMARK(BM_BridgeRoundTrip_Unknown)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BridgeRoundTrip_Parametres)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
