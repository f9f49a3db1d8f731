#pragma once
// Programs started with an argument vector (posix_spawn, never a shell).
// Each child is reaped as soon as it ends, by a small thread of its own, so
// no zombie is left whether or not anyone waits for it; its exit code is kept.
// Children get /dev/null as input and the container's stderr as output: the
// container's stdout carries the UI bridge and must not see their text.
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Interfaces.h"

namespace kup::platform {

// Host path of the program a path text names, or "" when there is none.
// Windows program names map to their stand-ins: "x.exe" to "x.exe" or "x";
// "x.bat"/"x.cmd" to "x.bat", "x.sh" or "x". A text with a folder is mapped
// through fs (null: host paths only); a bare name is searched in the
// executable's folder, the current folder, then the PATH folders.
std::string ResolveProgram(const IFileSystem* fs, const std::string& program);
// The full host path of an executable found on PATH, or "".
std::string FindOnPath(const std::string& name);

class RealProcessLauncher : public IProcessLauncher {
 public:
  // settleMs: how long waitForInputIdle watches a new process before
  // calling it ready (there is no input queue to look at).
  explicit RealProcessLauncher(const IFileSystem* fs = nullptr, ILog* log = nullptr, int settleMs = 200);
  ~RealProcessLauncher() override;

  long start(const std::vector<std::string>& argv, const std::string& workingFolder = {}) override;
  bool waitForInputIdle(long pid, int timeoutMs) override;
  bool waitForExit(long pid, int timeoutMs, int* exitCode = nullptr) override;
  bool isRunning(long pid) override;
  void kill(long pid) override;

  struct Child;

 private:
  std::shared_ptr<Child> find(long pid);
  void note(const std::string& text);

  const IFileSystem* fs_;
  ILog* log_;
  int settleMs_;
  std::mutex mutex_;
  std::map<long, std::shared_ptr<Child>> children_;
};

}  // namespace kup::platform
