#include "host/Run.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/post.hpp>

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
#include "host/Terminaison.h"
#include "platform/RealFlash.h"
#include "platform/RealHeadlessUi.h"

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

// The exit codes (README, desktop mode): 0 the session ended; 1 the standard
// streams cannot be used; 2 desktop mode forced without a display that
// answers; 4 ended at once by a second termination signal while the end of
// the session waited; 3 the display went away during the session (desktop).
constexpr int kExitDisplayLost = 3;
constexpr int kExitSecondSignal = 4;

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
  Terminaison terminaison(io);
  // Headless: one Asio thread does it all, as it always did. Desktop: the
  // same objects, their handlers sent to the Qt thread.
  std::unique_ptr<Desktop> desktop;
  if (mode.mode == Mode::Desktop) {
    // The office shows the documents the person edits.
    ::setenv("KUP_OFFICE_VISIBLE", "1", 1);
    desktop = std::make_unique<Desktop>(io, argc, argv);
  }
  ReleaseX11Probe();
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

  // The DDE source is served even while a box waits for the person (its
  // commands then take their turn through the gate after it).
  kup::host::DdePoller poller(desktop ? desktop->urgentExecutor() : ex, app, host.windows, host.dde);
  if (desktop) poller.gate = &desktop->gate();
  kup::host::StdioBridge bridge(ex, flashRef, inFd);
  // A database call waits on this thread: it hears the end of the input and
  // the ending signals itself (cancelled on the server), then the loop ends
  // as usual. Chained in front of the termination handling above, which
  // still sees every signal.
  kup::oracallstop::WatchInput(inFd, [&bridge] { return bridge.inputWaiting(); });
  kup::oracallstop::WatchSignals({SIGTERM, SIGINT, SIGHUP});
  bridge.log = [&app](const std::string& line) { kup::EcrireLog(app, "bridge", line); };
  bridge.onRequest = [&app, &poller](const std::string& request) {
    kup::FlashCall(app, request);
    poller.sync();
  };
  bridge.stopRequested = [&app] { return app.quitRequested; };
  // Set once the session ends: a signal then no longer ends the bridge,
  // it is counted (read on the I/O thread).
  std::atomic<bool> ending{false};
  bool released = false;  // the release below has begun
  bridge.onEnd = [&] {
    ending = true;
    released = true;
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

  // On the I/O thread. The first signal ends the session like end of input;
  // once the end is under way (it may wait for the person to save a letter)
  // a signal is written down, and the next one ends the program at once.
  // Nothing is killed then: an office holding the person's modified
  // documents stays open for them.
  int lateSignals = 0;
  terminaison.onSignal = [&](int sig) {
    if (!ending) {
      asio::post(ex, [&bridge, sig] { bridge.finish("signal " + std::to_string(sig)); });
      return;
    }
    if (++lateSignals == 1) {
      kup::EcrireLog(app, "bridge",
                     "signal " + std::to_string(sig) +
                         " reçu pendant la fin de session (en attente de la personne) : un second signal arrête "
                         "Korvane sur-le-champ, sans fermer LibreOffice ni ses documents modifiés");
      return;
    }
    kup::EcrireLog(app, "bridge",
                   "second signal " + std::to_string(sig) +
                       " pendant la fin de session : arrêt immédiat, LibreOffice et ses documents laissés ouverts");
    std::_Exit(kExitSecondSignal);
  };

  if (desktop) {
    // Nobody can see or answer a window any more: what the end of the
    // session would ask is answered as without a screen (and logged), the
    // request under way gets its RET, the office and its profile go, and
    // the program ends before Qt does it its own way.
    desktop->onDisplayLost = [&] {
      kup::EcrireLog(app, "mode", "connexion à l'écran perdue (serveur X arrêté ou injoignable) : fin de Korvane");
      ending = true;
      bridge.answerInFlight();
      // The boxes on the stack are never returned to: left as they are.
      (void)app.pf.msgbox.release();
      (void)app.pf.dialog.release();
      app.pf.msgbox = std::make_unique<kup::platform::RealMessageBox>(app.pf.log.get());
      app.pf.dialog = std::make_unique<kup::platform::RealCommonDialog>(app.pf.log.get(), [](const std::string& n) {
        const char* v = std::getenv(n.c_str());
        return std::string(v ? v : "");
      });
      // A release already under way (its question was on the screen) is
      // not entered again: it holds the office, and the office, shown on
      // the same display, ends with it.
      if (released) {
        kup::EcrireLog(app, "mode", "la fin de session était en cours : LibreOffice s'arrête avec l'écran");
      } else if (!app.quitRequested && app.hooks.unload) {
        try {
          app.hooks.unload(app);
        } catch (...) {
          kup::EcrireLog(app, "bridge", "releasing the session at the end failed");
        }
      }
      try {
        if (app.pf.dde) app.pf.dde->setSource("", "", 0);
      } catch (...) {
      }
      kup::EcrireLog(app, "mode", "fin après la perte de l'écran, code " + std::to_string(kExitDisplayLost));
      std::_Exit(kExitDisplayLost);
    };
  }

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
