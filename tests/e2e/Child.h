#pragma once
// A program started with pipes on its standard streams, for tests that
// speak the bridge protocol or read a tool's transcript.
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/RealFlash.h"

extern char** environ;

namespace e2e {

inline std::string ProgramPath(const std::string& name) { return std::string(KUP_PROGRAM_DIR) + "/" + name; }

class Child {
 public:
  // stdinFile: when set, the program reads that file instead of a pipe.
  // env: NAME=VALUE entries added to (or replacing) this process's environment.
  explicit Child(const std::vector<std::string>& argv, bool captureStderr = true,
                 const std::string& stdinFile = {}, const std::vector<std::string>& env = {}) {
    std::signal(SIGPIPE, SIG_IGN);
    int in[2] = {-1, -1}, out[2], err[2];
    if (stdinFile.empty()) ::pipe2(in, O_CLOEXEC);
    ::pipe2(out, O_CLOEXEC);
    ::pipe2(err, O_CLOEXEC);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (stdinFile.empty()) posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    else posix_spawn_file_actions_addopen(&fa, 0, stdinFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    if (captureStderr) posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      bool replaced = false;
      for (auto& add : env) replaced |= entry.substr(0, entry.find('=') + 1) == add.substr(0, add.find('=') + 1);
      if (!replaced) envText.push_back(entry);
    }
    envText.insert(envText.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    started_ = posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&fa);
    if (in[0] >= 0) ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    errChild_ = err[0];
    if (!captureStderr) {
      ::close(errChild_);
      errChild_ = -1;
    }
  }
  ~Child() {
    closeInput();
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fromChild_ >= 0) ::close(fromChild_);
    if (errChild_ >= 0) ::close(errChild_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return started_; }
  pid_t pid() const { return pid_; }

  bool write(const std::string& bytes) { return toChild_ >= 0 && kup::bridge::WriteAll(toChild_, bytes); }
  bool request(const std::string& xml) { return write(kup::bridge::EncodeFrame("REQ", xml)); }
  void closeInput() {
    if (toChild_ >= 0) ::close(toChild_);
    toChild_ = -1;
  }

  // Stops reading the program's output (the interface went away).
  void closeOutput() {
    if (fromChild_ >= 0) ::close(fromChild_);
    fromChild_ = -1;
  }

  // The next frame from the program's output; nullopt on time-out or end.
  std::optional<kup::bridge::FrameReader::Item> frame(int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (auto it = reader_.next()) return it;
      std::string chunk;
      if (!readSome(deadline, chunk)) return std::nullopt;
      reader_.feed(chunk);
    }
  }
  // Frames up to and including the next RET.
  std::vector<kup::bridge::FrameReader::Item> untilRet(int timeoutMs = 10000) {
    std::vector<kup::bridge::FrameReader::Item> out;
    while (auto f = frame(timeoutMs)) {
      out.push_back(*f);
      if (f->ok && f->kind == "RET") break;
    }
    return out;
  }
  // Everything the program writes until it closes its output.
  std::string readAll(int timeoutMs = 20000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string all, chunk;
    while (readSome(deadline, chunk)) all += chunk;
    return all;
  }

  // Exit status as waitpid gives it; nullopt when it did not end in time.
  std::optional<int> wait(int timeoutMs = 20000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int status = 0;
      pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exited_ = true;
        drainStderr();
        return status;
      }
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      drainStderr();
      ::usleep(10000);
    }
  }
  // What the program wrote on its error stream (its log) so far.
  const std::string& log() {
    drainStderr();
    return stderr_;
  }

 private:
  bool readSome(std::chrono::steady_clock::time_point deadline, std::string& chunk) {
    chunk.clear();
    if (fromChild_ < 0) return false;
    for (;;) {
      drainStderr();
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fromChild_, POLLIN, 0};
      int r = ::poll(&p, 1, int(std::min<long>(left.count(), 50)));
      if (r == 0) continue;
      if (r < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      char buf[65536];
      ssize_t n = ::read(fromChild_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ::close(fromChild_);
        fromChild_ = -1;
        return false;
      }
      chunk.assign(buf, size_t(n));
      return true;
    }
  }
  void drainStderr() {
    while (errChild_ >= 0) {
      pollfd p{errChild_, POLLIN, 0};
      if (::poll(&p, 1, 0) <= 0) return;
      char buf[8192];
      ssize_t n = ::read(errChild_, buf, sizeof buf);
      if (n <= 0) {
        ::close(errChild_);
        errChild_ = -1;
        return;
      }
      stderr_.append(buf, size_t(n));
    }
  }

  pid_t pid_ = -1;
  bool started_ = false, exited_ = false;
  int toChild_ = -1, fromChild_ = -1, errChild_ = -1;
  kup::bridge::FrameReader reader_;
  std::string stderr_;
};

// The request XML of a command with string arguments.
inline std::string Invoke(const std::string& name, const std::vector<std::string>& args = {}) {
  std::string x = "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments><array>";
  x += "<property id=\"0\"><string>" + name + "</string></property>";
  for (size_t i = 0; i < args.size(); ++i)
    x += "<property id=\"" + std::to_string(i + 1) + "\"><string>" + args[i] + "</string></property>";
  return x + "</array></arguments></invoke>";
}

}  // namespace e2e
