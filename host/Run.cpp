#include "host/Run.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <asio/io_context.hpp>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "core/table/CommandTable.h"
#include "host/DdePoller.h"
#include "host/HostPlatform.h"
#include "host/RealTimer.h"
#include "host/StdioBridge.h"
#include "platform/RealFlash.h"

namespace {

// The command line as one text, as the original received it: words joined
// by blanks, a word holding blanks (or empty) put in double quotes.
std::string CommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (!line.empty()) line += ' ';
    if (a.empty() || a.find_first_of(" \t") != std::string::npos) line += '"' + a + '"';
    else line += a;
  }
  return line;
}

// The frames own the standard streams: they move to private descriptors
// and the standard ones point at /dev/null (input) and the error stream
// (output), so that nothing else, the programs we start included, can
// read requests or write into the frames.
bool TakeStandardStreams(int& in, int& out) {
  in = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (in < 0 || out < 0) return false;
  int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devnull >= 0) {
    ::dup2(devnull, STDIN_FILENO);
    ::close(devnull);
  }
  ::dup2(STDERR_FILENO, STDOUT_FILENO);
  return true;
}

}  // namespace

namespace kup::host {

int RunKorvane(int argc, char** argv, const std::function<void(kup::App&)>& configure) {
  int inFd = -1, outFd = -1;
  if (!TakeStandardStreams(inFd, outFd)) {
    std::perror("korvane: standard streams");
    return 1;
  }

  asio::io_context io;
  kup::host::HostPlatform host = kup::host::MakeHostPlatform();
  kup::Platform& pf = host.pf;
  auto flash = std::make_unique<kup::platform::RealFlash>(outFd);
  kup::platform::RealFlash& flashRef = *flash;
  pf.flash = std::move(flash);
  pf.timer = std::make_unique<kup::host::RealTimer>(io);

  kup::App app(std::move(pf));
  kup::InstallModules(app);
  if (configure) configure(app);

  kup::host::DdePoller poller(io, app, host.windows, host.dde);
  kup::host::StdioBridge bridge(io, flashRef, inFd);
  bridge.log = [&app](const std::string& line) { kup::EcrireLog(app, "bridge", line); };
  bridge.onRequest = [&app, &poller](const std::string& request) {
    kup::FlashCall(app, request);
    poller.sync();
  };
  bridge.stopRequested = [&app] { return app.quitRequested; };
  bridge.onEnd = [&] {
    // "unload" has already released everything when it ended the session.
    if (!app.quitRequested && app.hooks.unload) {
      try {
        app.hooks.unload(app);
      } catch (...) {
        kup::EcrireLog(app, "bridge", "releasing the session at the end failed");
      }
    }
    io.stop();
  };

  kup::Main(app, CommandLine(argc, argv), "korvane");

  bridge.start();
  poller.start();
  io.run();
  return 0;
}

}  // namespace kup::host
