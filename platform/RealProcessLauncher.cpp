#include "platform/RealProcessLauncher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "vb/VbString.h"
#include "platform/PathText.h"
#include "platform/RealEnvironment.h"

extern char** environ;

namespace kup::platform {

namespace {

bool IsExecutableFile(const std::string& host) {
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(host.c_str(), X_OK) == 0;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::vector<std::string> Candidates(const std::string& host) {
  std::vector<std::string> out{host};
  if (EndsWithNoCase(host, ".exe") || EndsWithNoCase(host, ".com")) {
    out.push_back(host.substr(0, host.size() - 4));
  } else if (EndsWithNoCase(host, ".bat") || EndsWithNoCase(host, ".cmd")) {
    out.push_back(host.substr(0, host.size() - 4) + ".sh");
    out.push_back(host.substr(0, host.size() - 4));
  }
  return out;
}

std::vector<std::string> PathFolders() {
  std::vector<std::string> out;
  const char* path = std::getenv("PATH");
  if (!path) return out;
  std::string p(path);
  size_t i = 0;
  while (i <= p.size()) {
    size_t j = p.find(':', i);
    if (j == std::string::npos) j = p.size();
    if (j > i) out.push_back(p.substr(i, j - i));
    i = j + 1;
  }
  return out;
}

}  // namespace

std::string FindOnPath(const std::string& name) {
  for (auto& folder : PathFolders()) {
    std::string candidate = folder + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

std::string ResolveProgram(const IFileSystem* fs, const std::string& program) {
  if (program.empty()) return {};
  bool hasFolder = program.find_first_of("\\/") != std::string::npos ||
                   (program.size() >= 2 && program[1] == ':');
  if (hasFolder) {
    std::string host = fs ? fs->hostPath(program) : DriveMap{}.hostPath(PathText::Parse(program));
    for (auto& c : Candidates(host))
      if (IsExecutableFile(c)) return c;
    return {};
  }
  std::vector<std::string> folders{ExecutableFolder()};
  char cwd[4096];
  if (::getcwd(cwd, sizeof cwd)) folders.emplace_back(cwd);
  for (auto& f : PathFolders()) folders.push_back(f);
  for (auto& folder : folders)
    for (auto& c : Candidates(folder + "/" + program))
      if (IsExecutableFile(c)) return c;
  return {};
}

struct RealProcessLauncher::Child {
  pid_t pid = 0;
  std::mutex m;
  std::condition_variable cv;
  bool exited = false;
  int code = 0;
};

RealProcessLauncher::RealProcessLauncher(const IFileSystem* fs, ILog* log, int settleMs)
    : fs_(fs), log_(log), settleMs_(settleMs) {}

// Children outlive the launcher: their reaper threads hold what they need.
RealProcessLauncher::~RealProcessLauncher() = default;

void RealProcessLauncher::note(const std::string& text) {
  if (log_) log_->write("process", text);
}

long RealProcessLauncher::start(const std::vector<std::string>& argv, const std::string& workingFolder) {
  if (argv.empty()) return 0;
  std::string program = ResolveProgram(fs_, argv[0]);
  if (program.empty()) {
    note("cannot start \"" + argv[0] + "\": no such program");
    return 0;
  }
  std::string folder;
  if (!workingFolder.empty()) {
    folder = fs_ ? fs_->hostPath(workingFolder) : workingFolder;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      note("cannot start \"" + argv[0] + "\": no folder \"" + workingFolder + "\"");
      return 0;
    }
  }

  std::vector<char*> args;
  args.push_back(program.data());
  std::vector<std::string> rest(argv.begin() + 1, argv.end());
  for (auto& a : rest) args.push_back(a.data());
  args.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&fa);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, 2, 1);
  posix_spawn_file_actions_addclosefrom_np(&fa, 3);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&fa, folder.c_str());
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, program.c_str(), &fa, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    note("cannot start \"" + program + "\": " + std::strerror(rc));
    return 0;
  }

  auto child = std::make_shared<Child>();
  child->pid = pid;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    children_[pid] = child;
  }
  std::thread([child] {
    // Wait without reaping, then reap under the lock: until then the pid
    // cannot be reused, so kill() never signals a stranger.
    siginfo_t info{};
    int r;
    do {
      r = ::waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOWAIT);
    } while (r != 0 && errno == EINTR);
    std::lock_guard<std::mutex> lock(child->m);
    int status = 0;
    if (::waitpid(child->pid, &status, 0) == child->pid) {
      child->code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    } else {
      child->code = -1;  // reaped elsewhere
    }
    child->exited = true;
    child->cv.notify_all();
  }).detach();
  note("started " + std::to_string(pid) + " \"" + program + "\"");
  return pid;
}

std::shared_ptr<RealProcessLauncher::Child> RealProcessLauncher::find(long pid) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = children_.find(pid);
  return it == children_.end() ? nullptr : it->second;
}

bool RealProcessLauncher::waitForInputIdle(long pid, int timeoutMs) {
  auto c = find(pid);
  if (!c) return false;
  int settle = timeoutMs >= 0 && timeoutMs < settleMs_ ? timeoutMs : settleMs_;
  std::unique_lock<std::mutex> lock(c->m);
  c->cv.wait_for(lock, std::chrono::milliseconds(settle), [&] { return c->exited; });
  return !c->exited;
}

bool RealProcessLauncher::waitForExit(long pid, int timeoutMs, int* exitCode) {
  auto c = find(pid);
  if (!c) return true;
  std::unique_lock<std::mutex> lock(c->m);
  if (timeoutMs < 0)
    c->cv.wait(lock, [&] { return c->exited; });
  else
    c->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return c->exited; });
  if (c->exited && exitCode) *exitCode = c->code;
  return c->exited;
}

bool RealProcessLauncher::isRunning(long pid) {
  auto c = find(pid);
  if (!c) return false;
  std::lock_guard<std::mutex> lock(c->m);
  return !c->exited;
}

void RealProcessLauncher::kill(long pid) {
  auto c = find(pid);
  if (!c) return;
  std::lock_guard<std::mutex> lock(c->m);
  if (!c->exited) ::kill(c->pid, SIGKILL);
}

}  // namespace kup::platform
