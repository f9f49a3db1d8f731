// DDE execute round trips against a socketpair echo of the same frame.
//   link execute: the container's link (RealDdeLink) sends EXEC to the GIS
//     stand-in, which logs the string and answers ACK;
//   receiver: a partner sends EXEC to korvane's own topic (the main window's
//     source), which runs the string and answers ACK.
// The floor for both is a child process on a socketpair that reads the same
// "EXEC <N>\n<bytes>" frame and answers "ACK\n". Sides interleaved round by
// round; per round the median of the round trips; the answers are checked.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "Floor.h"
#include "platform/DdeFolder.h"
#include "platform/RealDde.h"
#include "platform/RealFlash.h"

extern char** environ;

namespace {

namespace dde = kup::platform::dde;
using kup::bench::Fail;

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env = {}, bool quiet = true) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> envs(env);
  for (char** e = environ; *e; ++e) envs.push_back(*e);
  std::vector<char*> envp;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (quiet) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) != 0) Fail("cannot start " + args[0]);
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

void WaitFor(const std::string& path) {
  for (int i = 0; i < 2000 && !std::filesystem::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (!std::filesystem::exists(path)) Fail(path + " never appeared");
}

// Reads until "ACK\n" (4 bytes) arrived; false on anything else.
bool ReadAck(int fd) {
  char buf[4];
  size_t got = 0;
  while (got < 4) {
    ssize_t r = ::read(fd, buf + got, 4 - got);
    if (r <= 0) return false;
    got += size_t(r);
  }
  return std::string(buf, 4) == "ACK\n";
}

// The floor's server: ACK to each EXEC frame, on descriptor fd.
[[noreturn]] void EchoLoop(int fd) {
  dde::FrameReader reader;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) ::_exit(0);
    reader.feed(buf, size_t(n));
    while (auto f = reader.next())
      if (f->kind == "EXEC" && ::write(fd, "ACK\n", 4) != 4) ::_exit(0);
  }
}

// The floor: this program started again as the echo, on a socketpair. It is
// a program started like the partners (not merely forked), so that the
// scheduler places it as it places them.
struct Echo {
  int fd = -1;
  pid_t pid = -1;
  Echo() {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) Fail("socketpair");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, sv[1], 3);
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    char* argv[] = {self.data(), const_cast<char*>("--echo"), nullptr};
    if (posix_spawn(&pid, self.c_str(), &fa, nullptr, argv, environ) != 0) Fail("echo did not start");
    posix_spawn_file_actions_destroy(&fa);
    ::close(sv[1]);
    fd = sv[0];
  }
  ~Echo() {
    ::close(fd);
    ::waitpid(pid, nullptr, 0);
  }
  double trips(const std::string& frame, int n) {
    std::vector<double> us;
    for (int i = 0; i < n; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      if (!kup::bridge::WriteAll(fd, frame) || !ReadAck(fd)) Fail("echo");
      us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    return kup::bench::Median(us);
  }
};

struct Folder {
  std::string path;
  Folder() {
    char tmpl[] = "/tmp/kdde-bench-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

void Stop(pid_t pid) {
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
}

void LinkExecute(int rounds, size_t size) {
  Folder d;
  std::string ready = d.path + "/ready";
  pid_t partner = Spawn({std::string(KUP_PROGRAM_DIR) + "/kup_gis_standin", "--dir", d.path, "--app", "SIG", "--topic",
                         "CARTO", "--log", "/dev/null", "--ready-file", ready, "--die-with-parent"});
  WaitFor(ready);
  kup::platform::RealDdeSystem sys(d.path);
  auto link = sys.createLink();
  link->setLinkTopic("SIG|CARTO");
  link->setLinkTimeout(50);
  link->setLinkMode(2);
  const std::string cmd = "SIG_ParcelleAjouter(" + std::string(size, '7') + ")";
  const std::string frame = dde::EncodeFrame("EXEC", cmd);
  Echo echo;
  auto measured = [&] {
    std::vector<double> us;
    for (int i = 0; i < 2000; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      link->linkExecute(cmd);  // raises on anything but ACK
      us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    return kup::bench::Median(us);
  };
  measured();
  echo.trips(frame, 500);
  auto r = kup::bench::Interleave(rounds, measured, [&] { return echo.trips(frame, 2000); });
  kup::bench::Report("DDE link execute", std::to_string(cmd.size()) + " B", r, "us");
  Stop(partner);
}

void Receiver(int rounds, const std::vector<size_t>& sizes) {
  Folder d;
  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) Fail("pipe");
  std::vector<char*> argv;
  std::string path = std::string(KUP_PROGRAM_DIR) + "/korvane";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  std::string env = "KUP_DDE_DIR=" + d.path;
  std::vector<char*> envp{env.data()};
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  char* args[] = {path.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, path.c_str(), &fa, nullptr, args, envp.data()) != 0) Fail("korvane did not start");
  posix_spawn_file_actions_destroy(&fa);
  ::close(in[0]);
  // The settings that open the main window's topic (DDE mode 2).
  const std::string sep = "\xC3\xB0";
  const std::string record = "0" + sep + "1" + sep + "2" + sep + "3" + sep + "DDE" + sep + "MODE" + sep + "6" + sep + "7" + sep + "2";
  kup::bridge::WriteAll(in[1], kup::bridge::EncodeFrame(
                                   "REQ", "<invoke name=\"KUP_Parametres\" returntype=\"xml\"><arguments><array>"
                                          "<property id=\"0\"><string>KUP_Parametres</string></property>"
                                          "<property id=\"1\"><string>" + record +
                                          "</string></property></array></arguments></invoke>"));
  WaitFor(d.path + "/" + dde::SocketName("Korvane", "ZEDERA"));
  // The socket file appears when it is bound, a moment before it listens.
  int fd = -1;
  for (int i = 0; i < 400 && fd < 0; ++i) {
    fd = dde::Connect(d.path, dde::SocketName("Korvane", "ZEDERA"));
    if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (fd < 0) Fail("korvane's topic does not accept");
  dde::SetNonBlocking(fd, false);
  auto trips = [&](int s, const std::string& frame, int n) {
    std::vector<double> us;
    for (int i = 0; i < n; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      if (!kup::bridge::WriteAll(s, frame) || !ReadAck(s)) Fail("the receiver did not answer ACK");
      us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
    }
    return kup::bench::Median(us);
  };
  Echo echo;
  for (size_t size : sizes) {
    // A string the receiver reads to its end and that has no effect on
    // anything else.
    const std::string frame = dde::EncodeFrame("EXEC", "KUP_ListeDossierParRequeteAjouter(" + std::string(size, 'x') + ")");
    trips(fd, frame, 100);
    echo.trips(frame, 100);
    auto r = kup::bench::Interleave(rounds, [&] { return trips(fd, frame, 1000); },
                                    [&] { return echo.trips(frame, 1000); });
    kup::bench::Report("DDE receiver (partner to korvane)", std::to_string(frame.size()) + " B frame", r, "us");
  }
  ::close(fd);
  ::close(in[1]);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--echo") EchoLoop(3);
  ::signal(SIGPIPE, SIG_IGN);
  const int rounds = kup::bench::Rounds(argc, argv, 9);
  // The argument's size: 16 B, 256 B, 4 KB.
  const std::vector<size_t> sizes{16, 256, 4096};
  for (size_t size : sizes) LinkExecute(rounds, size);
  Receiver(rounds, sizes);
  return 0;
}
