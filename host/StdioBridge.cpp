#include "host/StdioBridge.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>

#include <asio/post.hpp>

namespace kup::host {

namespace {
void IgnorePipeSignal(int) {}
}  // namespace

StdioBridge::StdioBridge(const asio::any_io_executor& io, platform::RealFlash& flash, int inFd)
    : io_(io), flash_(flash), inFd_(inFd), in_(io) {
  // The loop makes the input non-blocking; a terminal shares that flag with
  // the shell, so it is put back at the end.
  savedFlags_ = ::fcntl(inFd_, F_GETFL);
  // A dead UI must be seen as a failed write, not kill the process (also
  // during start-up, before the service starts). A handler rather than
  // SIG_IGN: it does not pass on to the programs we start.
  struct sigaction sa {};
  sa.sa_handler = IgnorePipeSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGPIPE, &sa, nullptr);
}

StdioBridge::~StdioBridge() {
  asio::error_code ec;
  in_.close(ec);
  if (savedFlags_ != -1) ::fcntl(inFd_, F_SETFL, savedFlags_);
}

void StdioBridge::report(const std::string& line) {
  if (log) {
    log(line);
  } else {
    std::fprintf(stderr, "korvane: %s\n", line.c_str());
  }
}

void StdioBridge::start() {
  int fd = ::fcntl(inFd_, F_DUPFD_CLOEXEC, 3);
  asio::error_code ec;
  if (fd >= 0) in_.assign(fd, ec);
  if (fd < 0 || ec) {
    // Regular files and /dev/null cannot be watched by the reactor; they
    // never block either, so they are read in slices between other events.
    if (fd >= 0) ::close(fd);
    fileMode_ = true;
    asio::post(io_, [this] { readBlocking(); });
  } else {
    readAsync();
  }
}

void StdioBridge::readAsync() {
  in_.async_read_some(asio::buffer(buf_), [this](const asio::error_code& ec, size_t n) {
    if (finished_) return;
    if (n > 0) consume(buf_.data(), n);
    if (finished_) return;
    if (ec) {
      if (ec != asio::error::eof) report("reading the input failed: " + ec.message());
      endOfInput();
      return;
    }
    readAsync();
  });
}

void StdioBridge::readBlocking() {
  if (finished_) return;
  ssize_t n;
  do {
    n = ::read(inFd_, buf_.data(), buf_.size());
  } while (n < 0 && errno == EINTR);
  if (n > 0) {
    consume(buf_.data(), size_t(n));
    if (!finished_) asio::post(io_, [this] { readBlocking(); });
    return;
  }
  if (n < 0) report(std::string("reading the input failed: ") + std::strerror(errno));
  endOfInput();
}

void StdioBridge::consume(const char* data, size_t n) {
  reader_.feed(std::string_view(data, n));
  while (!finished_) {
    auto item = reader_.next();
    if (!item) break;
    handle(*item);
    if (!finished_ && stopRequested && stopRequested()) finish("unload requested");
  }
}

void StdioBridge::answerEmpty() {
  flash_.beginRequest();
  if (!flash_.endRequest()) finish("the interface stopped reading");
}

void StdioBridge::handle(bridge::FrameReader::Item& item) {
  if (!item.ok) {
    ++rejected_;
    report("bad frame: " + item.error);
    // Its sender waits for the end of that request.
    if (item.kind == "REQ") answerEmpty();
    return;
  }
  if (item.kind != "REQ") {
    ++rejected_;
    report("unexpected " + item.kind + " frame from the interface ignored (" +
           std::to_string(item.payload.size()) + " bytes)");
    return;
  }
  ++requests_;
  if (!bridge::IsValidUtf8(item.payload)) {
    ++rejected_;
    report("request refused: its text is not valid UTF-8");
    answerEmpty();
    return;
  }
  flash_.beginRequest();
  inRequest_ = true;
  try {
    if (onRequest) onRequest(item.payload);
  } catch (const std::exception& e) {
    report(std::string("request failed: ") + e.what());
  } catch (...) {
    report("request failed");
  }
  if (!inRequest_) return;  // answered already
  inRequest_ = false;
  if (!flash_.endRequest()) finish("the interface stopped reading");
}

void StdioBridge::answerInFlight() {
  if (!inRequest_) return;
  inRequest_ = false;
  flash_.endRequest();
}

void StdioBridge::endOfInput() {
  if (reader_.midFrame()) {
    std::string kind = reader_.pendingKind();
    report("end of input inside a " + (kind.empty() ? std::string("frame") : kind + " frame") +
           "; the partial frame is dropped");
  }
  finish("end of input");
}

void StdioBridge::finish(const std::string& why) {
  if (finished_) return;
  finished_ = true;
  asio::error_code ec;
  in_.cancel(ec);
  report("bridge closed: " + why + " (" + std::to_string(requests_) + " requests, " +
         std::to_string(rejected_) + " refused frames)");
  if (onEnd) onEnd();
}

}  // namespace kup::host
