#pragma once
// The termination signals (SIGTERM, SIGINT, SIGHUP), taken in one place. A
// handler notes each one on a self-pipe; the I/O thread reads them and calls
// onSignal there, never on the application thread: a box or the end of
// session's wait for the person holds that thread, and a signal must still
// be seen meanwhile.
//
// AskedFd() becomes readable at the first signal and stays so: a long wait
// anywhere in the process (a database call) can poll it beside its own
// descriptor and give up early.
#include <array>
#include <functional>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>

namespace kup::host {

class Terminaison {
 public:
  // One per process; the signals are taken from now on.
  explicit Terminaison(asio::io_context& io);
  ~Terminaison();
  Terminaison(const Terminaison&) = delete;
  Terminaison& operator=(const Terminaison&) = delete;

  // On the I/O thread, once per signal, in order.
  std::function<void(int sig)> onSignal;

 private:
  void read();

  asio::posix::stream_descriptor pipe_;
  std::array<unsigned char, 16> buf_{};
};

// -1 until a Terminaison exists.
int AskedFd();

}  // namespace kup::host
