#include "host/Terminaison.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kup::host {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
volatile int g_pipe = -1;   // write end, for the handler
volatile int g_asked = -1;  // eventfd written once, never read

void Noter(int sig) {
  const int saved = errno;
  if (g_asked >= 0) {
    uint64_t one = 1;
    // Readable from the first signal on; later writes change nothing.
    (void)!::write(g_asked, &one, sizeof one);
  }
  if (g_pipe >= 0) {
    unsigned char b = static_cast<unsigned char>(sig);
    (void)!::write(g_pipe, &b, 1);
  }
  errno = saved;
}

}  // namespace

int AskedFd() { return g_asked; }

Terminaison::Terminaison(asio::io_context& io) : pipe_(io) {
  int p[2];
  if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) == 0) {
    pipe_.assign(p[0]);
    g_pipe = p[1];
  }
  if (g_asked < 0) g_asked = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  struct sigaction sa {};
  sa.sa_handler = Noter;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : kSignals) ::sigaction(s, &sa, nullptr);
  read();
}

Terminaison::~Terminaison() {
  // Back to the default: a signal after this ends the process.
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  for (int s : kSignals) ::sigaction(s, &sa, nullptr);
  int w = g_pipe;
  g_pipe = -1;
  if (w >= 0) ::close(w);
  asio::error_code ec;
  pipe_.close(ec);
}

void Terminaison::read() {
  if (!pipe_.is_open()) return;
  pipe_.async_read_some(asio::buffer(buf_), [this](const asio::error_code& ec, size_t n) {
    if (ec) return;
    for (size_t i = 0; i < n; ++i)
      if (onSignal) onSignal(buf_[i]);
    read();
  });
}

}  // namespace kup::host
