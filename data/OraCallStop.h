#pragma once
// A database call waits for its server on the thread whose loop hears the
// end of the interface's input and the ending signals: while it waits, the
// loop hears nothing. So that they are not held up for as long as a call
// lasts, the host names them here once it owns them, and a waiting call
// watches them too. When one comes, the call is cancelled on the server and
// every later call is refused before anything is sent: the program is
// ending, and the host's loop, once the call has returned, ends it as it
// always does.
#include <functional>
#include <initializer_list>

#include <poll.h>

namespace kup::oracallstop {

// The interface's input: its end stops the calls, unless requests read
// before the end still wait for their answers (requestsWaiting, asked then;
// unread bytes of the input count as waiting requests too).
void WatchInput(int fd, std::function<bool()> requestsWaiting = {});
// These signals stop the calls. The handlers already set for them still run
// after ours: call it once the host's own handling of them is in place.
void WatchSignals(std::initializer_list<int> signals);

// True once the calls have been stopped (for the rest of the process).
bool Stopped();
// Forgets the input, the signals' stop and the stopped state (tests; the
// handlers stay chained).
void Reset();

// What a waiting call adds to its poll() set.
class Watch {
 public:
  Watch();
  // The entries to poll beside the connection (at most kMax).
  static constexpr int kMax = 2;
  int fill(pollfd* entries) const;
  // After poll(): true when the calls must stop. An input whose end turns
  // out to leave requests waiting is not watched again by this Watch.
  bool check(const pollfd* entries);

 private:
  bool input_ = false;
};

}  // namespace kup::oracallstop
