#include "host/Run.h"

#include <csignal>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <asio/io_context.hpp>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "core/table/CommandTable.h"
#include "data/OraCallStop.h"
#include "host/DdePoller.h"
#include "host/Desktop.h"
#include "host/HostPlatform.h"
#include "host/Mode.h"
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
  const ModeChoice mode = ChooseMode(argc, argv);
  if (mode.impossible) {
    for (const auto& n : mode.notes) std::fprintf(stderr, "korvane: %s\n", n.c_str());
    return 2;
  }
  int inFd = -1, outFd = -1;
  if (!TakeStandardStreams(inFd, outFd)) {
    std::perror("korvane: standard streams");
    return 1;
  }

  asio::io_context io;
  // Headless: one Asio thread does it all, as it always did. Desktop: the
  // same objects, their handlers sent to the Qt thread.
  std::unique_ptr<Desktop> desktop;
  if (mode.mode == Mode::Desktop) {
    // The office shows the documents the person edits.
    ::setenv("KUP_OFFICE_VISIBLE", "1", 1);
    desktop = std::make_unique<Desktop>(io, argc, argv);
  }
  const asio::any_io_executor ex = desktop ? desktop->executor() : asio::any_io_executor(io.get_executor());
  kup::host::HostPlatform host = kup::host::MakeHostPlatform();
  kup::Platform& pf = host.pf;
  if (desktop) desktop->install(pf);
  auto flash = std::make_unique<kup::platform::RealFlash>(outFd);
  kup::platform::RealFlash& flashRef = *flash;
  pf.flash = std::move(flash);
  pf.timer = std::make_unique<kup::host::RealTimer>(ex);

  kup::App app(std::move(pf));
  kup::InstallModules(app);
  if (configure) configure(app);
  for (const auto& n : mode.notes) kup::EcrireLog(app, "mode", n);
  if (desktop) {
    desktop->installWindows(app);
    desktop->gate().report = [&app](const std::string& line) { kup::EcrireLog(app, "bridge", line); };
  }

  kup::host::DdePoller poller(ex, app, host.windows, host.dde);
  kup::host::StdioBridge bridge(ex, flashRef, inFd);
  // A database call waits on this thread: it hears the end of the input and
  // the ending signals itself (cancelled on the server), then the loop ends
  // as usual. Chained after the bridge's own signal handling.
  kup::oracallstop::WatchInput(inFd, [&bridge] { return bridge.inputWaiting(); });
  kup::oracallstop::WatchSignals({SIGTERM, SIGINT, SIGHUP});
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
    if (desktop)
      desktop->quit();
    else
      io.stop();
  };

  auto startUp = [&] {
    kup::Main(app, CommandLine(argc, argv), "korvane");
    bridge.start();
    poller.start();
  };
  if (!desktop) {
    startUp();
    io.run();
    return 0;
  }
  // A box shown at start-up holds back the first frames like any other.
  desktop->gate().hold(startUp);
  desktop->run();
  return 0;
}

}  // namespace kup::host
