#pragma once
// The GIS stand-in as a separate process, and a private DDE service folder
// for each test.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

inline std::string StandinPath() { return std::string(KUP_PROGRAM_DIR) + "/kup_gis_standin"; }

// A service folder of its own, short enough for socket paths, removed at the end.
struct ServiceFolder {
  std::string path;
  ServiceFolder() {
    char tmpl[] = "/tmp/kdde-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~ServiceFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
};

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

// Lines of a file once it has at least n of them (or what it has after the wait).
inline std::vector<std::string> WaitLines(const std::string& path, size_t n, int timeoutMs = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto lines = ReadLines(path);
    if (lines.size() >= n || std::chrono::steady_clock::now() >= end) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

class Standin {
 public:
  // Starts the stand-in on the folder with extra arguments; waits until it serves.
  Standin(const ServiceFolder& folder, std::vector<std::string> args) : folder_(folder) {
    static int n = 0;
    ready_ = folder.file("ready-" + std::to_string(++n));
    std::vector<std::string> argv{StandinPath(), "--dir", folder.path, "--ready-file", ready_, "--lifetime-ms",
                                  "60000"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    if (::posix_spawn(&pid_, cargv[0], nullptr, nullptr, cargv.data(), environ) != 0) pid_ = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid_ > 0 && !std::filesystem::exists(ready_) && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~Standin() { stop(); }
  Standin(const Standin&) = delete;
  Standin& operator=(const Standin&) = delete;

  pid_t pid() const { return pid_; }
  bool ready() const { return pid_ > 0 && std::filesystem::exists(ready_); }
  // Ends it (SIGTERM, then SIGKILL) and reaps it.
  void stop(int sig = SIGTERM) {
    if (pid_ <= 0) return;
    ::kill(pid_, sig);
    for (int i = 0; i < 200; ++i) {
      int st = 0;
      if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = 0;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  // Waits for it to end by itself; its exit code, or -1.
  int wait(int timeoutMs = 5000) {
    for (int i = 0; pid_ > 0 && i < timeoutMs / 10; ++i) {
      int st = 0;
      if (::waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = 0;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

 private:
  const ServiceFolder& folder_;
  std::string ready_;
  pid_t pid_ = 0;
};
