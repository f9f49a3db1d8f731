#pragma once
// Serves the UI bridge on the standard streams: reads REQ frames, hands each
// request to the dispatcher, answers exactly one RET per REQ. End of input
// (or the UI closing its reading end, or finish(), which korvane calls for
// SIGTERM, SIGINT and SIGHUP) ends the service; damaged frames are logged
// and skipped.
#include <array>
#include <functional>
#include <string>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>

#include "platform/RealFlash.h"

namespace kup::host {

class StdioBridge {
 public:
  StdioBridge(asio::io_context& io, platform::RealFlash& flash, int inFd = STDIN_FILENO)
      : StdioBridge(io.get_executor(), flash, inFd) {}
  // Handlers run through the executor (desktop mode: on the Qt thread).
  StdioBridge(const asio::any_io_executor& ex, platform::RealFlash& flash, int inFd = STDIN_FILENO);
  ~StdioBridge();
  StdioBridge(const StdioBridge&) = delete;
  StdioBridge& operator=(const StdioBridge&) = delete;

  // Runs one request; whatever it sets through the Flash control becomes
  // the RET. Must not throw (the bridge logs anything that escapes).
  std::function<void(const std::string& request)> onRequest;
  // Checked after each frame: true ends the service (the command "unload").
  std::function<bool()> stopRequested;
  // Called once when the service ends.
  std::function<void()> onEnd;
  // Error lines about the traffic.
  std::function<void(const std::string& line)> log;

  void start();
  // Ends the service (idempotent): stops reading and calls onEnd.
  void finish(const std::string& why);
  bool finished() const { return finished_; }
  // The program is about to end inside a request: its RET goes now, with
  // what the request set so far (nothing when it set nothing).
  void answerInFlight();
  // Input read but not yet handled (requests waiting behind the current one).
  bool inputWaiting() const { return reader_.midFrame(); }

  // Counters for the end-of-run log line.
  size_t requests() const { return requests_; }
  size_t rejected() const { return rejected_; }

 private:
  void readAsync();
  void readBlocking();
  void consume(const char* data, size_t n);
  void handle(bridge::FrameReader::Item& item);
  void answerEmpty();
  void endOfInput();
  void report(const std::string& line);

  asio::any_io_executor io_;
  platform::RealFlash& flash_;
  int inFd_;
  int savedFlags_ = -1;
  asio::posix::stream_descriptor in_;
  bridge::FrameReader reader_;
  std::array<char, 65536> buf_{};
  bool fileMode_ = false;
  bool finished_ = false;
  bool inRequest_ = false;
  size_t requests_ = 0, rejected_ = 0;
};

}  // namespace kup::host
