#include "data/OraCallStop.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kup::oracallstop {

namespace {

// Written by the signal handler, read by the waiting call: once a byte is
// in, the pipe stays readable, as the stop lasts.
int gPipe[2] = {-1, -1};
volatile sig_atomic_t gSignalled = 0;
struct sigaction gPrevious[NSIG];
bool gChained[NSIG] = {};

std::atomic<bool> gStopped{false};
int gInput = -1;
std::function<bool()> gRequestsWaiting;
std::mutex gMutex;

void OnSignal(int sig, siginfo_t* info, void* context) {
  int saved = errno;
  const struct sigaction& previous = gPrevious[sig];
  if (previous.sa_handler != SIG_IGN) {
    gSignalled = 1;
    if (gPipe[1] >= 0) {
      char c = 1;
      ssize_t r = ::write(gPipe[1], &c, 1);
      (void)r;
    }
  }
  if (previous.sa_flags & SA_SIGINFO) {
    if (previous.sa_sigaction) previous.sa_sigaction(sig, info, context);
  } else if (previous.sa_handler == SIG_DFL) {
    // Nobody took the signal before: it does what it would have done.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
  } else if (previous.sa_handler != SIG_IGN) {
    previous.sa_handler(sig);
  }
  errno = saved;
}

}  // namespace

void WatchInput(int fd, std::function<bool()> requestsWaiting) {
  std::lock_guard<std::mutex> lock(gMutex);
  gInput = fd;
  gRequestsWaiting = std::move(requestsWaiting);
}

void WatchSignals(std::initializer_list<int> signals) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gPipe[0] < 0) {
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
      gPipe[0] = gPipe[1] = -1;
      return;
    }
  }
  for (int sig : signals) {
    if (sig <= 0 || sig >= NSIG || gChained[sig]) continue;
    struct sigaction sa {};
    sa.sa_sigaction = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_SIGINFO | SA_RESTART;
    if (::sigaction(sig, &sa, &gPrevious[sig]) == 0) gChained[sig] = true;
  }
}

bool Stopped() {
  if (gSignalled) gStopped = true;
  return gStopped;
}

void Reset() {
  std::lock_guard<std::mutex> lock(gMutex);
  gInput = -1;
  gRequestsWaiting = nullptr;
  gStopped = false;
  gSignalled = 0;
  if (gPipe[0] >= 0) {
    char buf[64];
    while (::read(gPipe[0], buf, sizeof buf) > 0) {
    }
  }
}

Watch::Watch() : input_(gInput >= 0) {}

int Watch::fill(pollfd* entries) const {
  int n = 0;
  if (gPipe[0] >= 0) entries[n++] = pollfd{gPipe[0], POLLIN, 0};
  // Only its end: requests arriving meanwhile wait their turn.
  if (input_) entries[n++] = pollfd{gInput, POLLRDHUP, 0};
  return n;
}

bool Watch::check(const pollfd* entries) {
  int n = 0;
  if (gPipe[0] >= 0 && (entries[n++].revents & POLLIN) && gSignalled) gStopped = true;
  if (input_ && entries[n].revents) {
    int unread = 0;
    bool waiting = (entries[n].revents & POLLNVAL) || (::ioctl(gInput, FIONREAD, &unread) == 0 && unread > 0);
    if (!waiting) {
      std::lock_guard<std::mutex> lock(gMutex);
      waiting = gRequestsWaiting && gRequestsWaiting();
    }
    if (waiting) input_ = false;
    else gStopped = true;
  }
  return gStopped;
}

}  // namespace kup::oracallstop
