#pragma once
// Process starts recorded. A started process runs until the test ends it
// (finish/kill) or, with exitOnWait (the default), until someone waits for
// its end, so that a wait without limit never hangs a test.
#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "platform/Interfaces.h"

namespace kup::platform {

class FakeProcessLauncher : public IProcessLauncher {
 public:
  struct Process {
    long pid = 0;
    std::vector<std::string> argv;
    std::string workingFolder;
    bool running = true;
    bool killed = false;
    int exitCode = 0;
    int idleWaits = 0, exitWaits = 0;
  };

  long start(const std::vector<std::string>& argv, const std::string& workingFolder = {}) override {
    attempts.push_back(argv);
    bool ok = !failStarts;
    if (!startResults.empty()) {
      ok = startResults.front();
      startResults.pop_front();
    }
    if (!ok) return 0;
    Process p;
    p.pid = nextPid++;
    p.argv = argv;
    p.workingFolder = workingFolder;
    p.exitCode = exitCode;
    processes.push_back(p);
    if (onStart) onStart(processes.back());
    return p.pid;
  }
  bool waitForInputIdle(long pid, int timeoutMs) override {
    auto* p = find(pid);
    if (!p) return false;
    ++p->idleWaits;
    return p->running;
  }
  bool waitForExit(long pid, int timeoutMs, int* code = nullptr) override {
    auto* p = find(pid);
    if (!p) return true;
    ++p->exitWaits;
    if (p->running && exitOnWait) p->running = false;
    if (!p->running && code) *code = p->exitCode;
    return !p->running;
  }
  bool isRunning(long pid) override {
    auto* p = find(pid);
    return p && p->running;
  }
  void kill(long pid) override {
    if (auto* p = find(pid); p && p->running) {
      p->running = false;
      p->killed = true;
      p->exitCode = 137;
    }
  }

  void finish(long pid, int code = 0) {
    if (auto* p = find(pid)) {
      p->running = false;
      p->exitCode = code;
    }
  }
  Process* find(long pid) {
    for (auto& p : processes)
      if (p.pid == pid) return &p;
    return nullptr;
  }

  std::vector<std::vector<std::string>> attempts;  // every start, failed ones included
  std::vector<Process> processes;                  // started ones
  std::deque<bool> startResults;                   // scripted success of the next starts
  bool failStarts = false;
  bool exitOnWait = true;
  int exitCode = 0;  // exit code of the next processes
  long nextPid = 4000;
  std::function<void(Process&)> onStart;  // e.g. to write the files the program would
};

}  // namespace kup::platform
