// The desktop mode's one application thread: Asio completions reach the Qt
// thread through the gate, and nothing enters while a handler runs, a box
// of its own included. The real korvane chooses its mode from the display.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <QTest>
#include <QThread>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>

#include <gtest/gtest.h>

#include "QtTest.h"
#include "host/DdePoller.h"
#include "host/EventGate.h"
#include "host/Mode.h"
#include "host/QtExecutor.h"
#include "platform/FakeLog.h"
#include "platform/RealDde.h"
#include "platform/qt/QtFenetres.h"
#include "tests/TestApp.h"
#include "tests/e2e/Child.h"
#include "vb/VbError.h"

namespace mb = kup::platform::mb;
using Strings = std::vector<std::string>;

TEST(EventGate, WhatArrivesDuringABoxRunsAfterItInOrder) {
  kup::host::EventGate gate;
  kup::platform::FakeLog log;
  kup::platform::QtMessageBox boite(&log);
  Strings trace;
  qtest::WhenModal([&](QWidget* w) {
    // Two frames arrive from the I/O thread while the box waits for its person.
    std::thread([&] {
      gate.post([&] { trace.push_back("B"); });
      gate.post([&] { trace.push_back("C"); });
    }).join();
    QCoreApplication::processEvents();
    trace.push_back("réponse");
    QTest::keyClick(w, Qt::Key_Return);
    return true;
  });
  gate.post([&] {
    trace.push_back("A");
    boite.show("Continuer ?", mb::OKOnly, "Korvane");
    trace.push_back("A fini");
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return trace.size() == 5; }, 10000)) << trace.size();
  EXPECT_EQ(trace, (Strings{"A", "réponse", "A fini", "B", "C"}));

  // A gesture on a window holds back what arrives during it the same way.
  trace.clear();
  gate.hold([&] {
    gate.post([&] { trace.push_back("après"); });
    QCoreApplication::processEvents();
    trace.push_back("geste");
  });
  EXPECT_EQ(trace, (Strings{"geste", "après"}));
}

TEST(QtExecutor, AsioCompletionsRunOnTheQtThreadInOrder) {
  asio::io_context io;
  kup::host::EventGate gate;
  const asio::any_io_executor ex = kup::host::QtExecutor(io, gate);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  asio::posix::stream_descriptor in(ex, fds[0]);
  asio::steady_timer timer(ex);
  auto work = asio::make_work_guard(io);
  std::thread ioThread([&] { io.run(); });

  Strings trace;
  bool surQt = true;
  char buf[5] = {};
  asio::async_read(in, asio::buffer(buf, 4), [&](const asio::error_code& ec, size_t) {
    surQt &= QThread::currentThread() == qApp->thread();
    trace.push_back(ec ? ec.message() : std::string(buf));
  });
  timer.expires_after(std::chrono::milliseconds(20));
  timer.async_wait([&](const asio::error_code&) {
    surQt &= QThread::currentThread() == qApp->thread();
    trace.push_back("minuterie");
  });
  ASSERT_EQ(::write(fds[1], "REQ1", 4), 4);
  ASSERT_TRUE(QTest::qWaitFor([&] { return trace.size() == 2; }, 10000));
  EXPECT_EQ(trace, (Strings{"REQ1", "minuterie"}));
  EXPECT_TRUE(surQt);
  work.reset();
  io.stop();
  ioThread.join();
  ::close(fds[1]);
}

// A partner's string that arrives while a box waits for the person is
// answered at once (no time-out at the partner) and its command runs once
// the box is closed, after what was under way, also when the box is another
// partner's command's. Without a box, each string of a partner's chain is
// answered only once its command has run.
TEST(DdePoller, APartnerIsAnsweredWhileABoxWaits) {
  const std::string dossier = "/tmp/kup_qt_dde_" + std::to_string(::getpid());
  asio::io_context io;
  kup::host::EventGate gate;
  TestApp t;
  kup::platform::RealDdeSystem sys(dossier);
  Strings trace;
  std::atomic<int> faites{0};
  kup::platform::FakeLog log;
  kup::platform::QtMessageBox boite(&log);
  sys.onLinkExecute = [&](const std::string& commande, int16_t& annulation) {
    annulation = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    if (commande == "ZezORA_Boite") boite.show("Continuer ?", mb::OKOnly, "Korvane");
    trace.push_back(commande);
    ++faites;
  };
  sys.setSource("Korvane", "ZEDERA", 1);
  kup::host::DdePoller poller(kup::host::QtExecutor(io, gate, true), t.app, nullptr, &sys);
  poller.gate = &gate;
  poller.start();
  auto work = asio::make_work_guard(io);
  std::thread ioThread([&] { io.run(); });

  // A partner sends a string: 0 once answered, else the link's error.
  auto envoyer = [&](const std::string& commande, int delai = 30) {
    kup::platform::RealDdeLink lien(dossier);
    lien.setLinkTopic("Korvane|ZEDERA");
    try {
      lien.setLinkMode(2);
      lien.setLinkTimeout(delai);
      lien.linkExecute(commande);
      return 0;
    } catch (const kup::VbError& e) {
      return static_cast<int>(e.number());
    }
  };
  std::atomic<int> erreur{-1};
  auto pendantLaBoite = [&](const char* commande) {
    qtest::WhenModal([&, commande](QWidget* w) {
      erreur = -1;
      std::thread partenaire([&] { erreur = envoyer(commande); });
      // Answered while the box is still open.
      EXPECT_TRUE(QTest::qWaitFor([&] { return erreur >= 0; }, 10000));
      partenaire.join();
      trace.push_back("réponse");
      QTest::keyClick(w, Qt::Key_Return);
      return true;
    });
  };
  pendantLaBoite("ZezORA_ParcelleAjouter(590300000A0042)");
  gate.post([&] {
    trace.push_back("requête");
    boite.show("Continuer ?", mb::OKOnly, "Korvane");
    trace.push_back("requête finie");
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return trace.size() == 4; }, 15000)) << trace.size();
  EXPECT_EQ(erreur, 0);
  EXPECT_EQ(trace, (Strings{"requête", "réponse", "requête finie", "ZezORA_ParcelleAjouter(590300000A0042)"}));

  std::vector<int> faitesAuxReponses;
  std::thread partenaire([&] {
    for (const char* c : {"ZezORA_ParcelleAjouter(590300000A0043)", "ZezORA_ParcelleAjouter(590300000A0044)"}) {
      EXPECT_EQ(envoyer(c), 0);
      faitesAuxReponses.push_back(faites);
    }
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return faites == 3; }, 15000));
  partenaire.join();
  EXPECT_EQ(faitesAuxReponses, (std::vector<int>{2, 3}));

  trace.clear();
  pendantLaBoite("ZezORA_ParcelleAjouter(590300000A0045)");
  std::thread premier([&] { EXPECT_EQ(envoyer("ZezORA_Boite", 300), 0); });
  EXPECT_TRUE(QTest::qWaitFor([&] { return faites == 5; }, 15000));
  premier.join();
  EXPECT_EQ(erreur, 0);
  EXPECT_EQ(trace, (Strings{"réponse", "ZezORA_Boite", "ZezORA_ParcelleAjouter(590300000A0045)"}));
  work.reset();
  io.stop();
  ioThread.join();
  std::filesystem::remove_all(dossier);
}

namespace {

e2e::Child Korvane(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<std::string> argv{e2e::ProgramPath("korvane")};
  argv.insert(argv.end(), args.begin(), args.end());
  return e2e::Child(argv, true, {}, env);
}

}  // namespace

TEST(DesktopMode, RequestsAnsweredInOrderOnTheQtThread) {
  auto k = Korvane({"--desktop"}, {"QT_QPA_PLATFORM=offscreen"});
  ASSERT_TRUE(k.started());
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(k.request(e2e::Invoke("KUP_CommandeInconnue", {std::to_string(i)})));
  for (int i = 0; i < 3; ++i) {
    auto frames = k.untilRet();
    ASSERT_EQ(frames.size(), 1u) << k.log();
    EXPECT_EQ(frames[0].kind, "RET");
  }
  k.closeInput();
  auto status = k.wait();
  ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << k.log();
  EXPECT_NE(k.log().find("mode bureau (--desktop)"), std::string::npos) << k.log();
}

TEST(DesktopMode, ADisplayThatDoesNotAnswerIsNone) {
  // Display 5999 has no server here: headless, with the reason in the log.
  auto k = Korvane({}, {"QT_QPA_PLATFORM=", "DISPLAY=:5999", "WAYLAND_DISPLAY="});
  ASSERT_TRUE(k.request(e2e::Invoke("KUP_CommandeInconnue", {"x"})));
  EXPECT_EQ(k.untilRet().size(), 1u) << k.log();
  k.closeInput();
  auto status = k.wait();
  ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << k.log();
  EXPECT_NE(k.log().find("aucun serveur X n'écoute pour DISPLAY \":5999\""), std::string::npos) << k.log();
  EXPECT_NE(k.log().find("mode sans écran"), std::string::npos) << k.log();

  // Forced onto it, the program says so and ends instead of aborting in Qt.
  auto f = Korvane({"--desktop"}, {"QT_QPA_PLATFORM=", "DISPLAY=:5999", "WAYLAND_DISPLAY="});
  f.closeInput();
  status = f.wait();
  ASSERT_TRUE(status && WIFEXITED(*status)) << f.log();
  EXPECT_EQ(WEXITSTATUS(*status), 2);
  EXPECT_NE(f.log().find("sans écran qui réponde"), std::string::npos) << f.log();
}

namespace {

// A virtual X server of the test's own (with the credentials file auth, if
// any), ended with SIGTERM so that it takes its lock and socket away.
std::string DisplayLibre() {
  int n = 300 + ::getpid() % 400;
  while (std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) ++n;
  return ":" + std::to_string(n);
}

struct EcranVirtuel {
  std::string display;
  std::unique_ptr<e2e::Child> x;
  explicit EcranVirtuel(const std::string& auth = {}, const std::string& d = DisplayLibre()) : display(d) {
    namespace fs = std::filesystem;
    const std::string n = display.substr(1);
    // -noreset: our clients' comings and goings never restart it.
    std::vector<std::string> argv{"/usr/bin/Xvfb", display, "-nolisten", "tcp", "-noreset"};
    if (!auth.empty()) argv.insert(argv.end(), {"-auth", auth});
    x = std::make_unique<e2e::Child>(argv);
    const std::string socket = "/tmp/.X11-unix/X" + n;
    const std::string essai = "DISPLAY=" + display + (auth.empty() ? "" : " XAUTHORITY=" + auth) +
                              " /usr/bin/xdpyinfo >/dev/null 2>&1";
    for (int i = 0; i < 200 && !(fs::exists(socket) && std::system(essai.c_str()) == 0); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ~EcranVirtuel() { arreter(); }
  bool pret() const { return std::filesystem::exists("/tmp/.X11-unix/X" + display.substr(1)); }
  void arreter() {
    if (!x) return;
    ::kill(x->pid(), SIGTERM);
    x->wait(5000);
    x.reset();
  }
};

bool XvfbPresent() {
  return ::access("/usr/bin/Xvfb", X_OK) == 0 && ::access("/usr/bin/xauth", X_OK) == 0 &&
         ::access("/usr/bin/xdpyinfo", X_OK) == 0;
}

}  // namespace

// A live X server that refuses us (credentials it does not know) is no
// display: headless with the reason, and requests answered, where Qt would
// have aborted.
TEST(DesktopMode, AnXServerThatRefusesUsIsNone) {
  namespace fs = std::filesystem;
  if (!XvfbPresent()) GTEST_SKIP() << "no Xvfb";
  const fs::path dir = fs::temp_directory_path() / ("kup_qt_xauth_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string bon = (dir / "bon").string();
  const std::string display = DisplayLibre();
  ASSERT_EQ(std::system(("/usr/bin/xauth -q -f " + bon + " add " + display + " . " +
                         "0123456789abcdef0123456789abcdef").c_str()),
            0);
  EcranVirtuel ecran(bon, display);
  ASSERT_TRUE(ecran.pret()) << ecran.x->log();

  auto k = Korvane({}, {"QT_QPA_PLATFORM=", "DISPLAY=" + display, "WAYLAND_DISPLAY=",
                        "XAUTHORITY=" + (dir / "faux").string()});
  ASSERT_TRUE(k.request(e2e::Invoke("KUP_CommandeInconnue", {"x"})));
  EXPECT_EQ(k.untilRet().size(), 1u) << k.log();
  k.closeInput();
  auto status = k.wait();
  ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << k.log();
  EXPECT_NE(k.log().find("refuse la connexion"), std::string::npos) << k.log();
  EXPECT_NE(k.log().find("mode sans écran"), std::string::npos) << k.log();

  // With the server's own credentials it is a display.
  std::string why;
  const char* avant = std::getenv("XAUTHORITY");
  const std::string garde = avant ? avant : "";
  ::setenv("XAUTHORITY", bon.c_str(), 1);
  EXPECT_TRUE(kup::host::X11DisplayAnswers(display, 2000, &why)) << why;
  if (avant) ::setenv("XAUTHORITY", garde.c_str(), 1);
  else ::unsetenv("XAUTHORITY");
  fs::remove_all(dir);
}

// The display going away while a dialog waits for the person ends the
// program by its own road: the reason in French, its own exit code, not
// Qt's abrupt end.
TEST(DesktopMode, TheDisplayGoingAwayEndsCleanly) {
  if (!XvfbPresent()) GTEST_SKIP() << "no Xvfb";
  EcranVirtuel ecran;
  ASSERT_TRUE(ecran.pret()) << ecran.x->log();
  auto k = Korvane({"--desktop"}, {"QT_QPA_PLATFORM=", "DISPLAY=" + ecran.display, "WAYLAND_DISPLAY="});
  ASSERT_TRUE(k.request(e2e::Invoke("KUP_ChoixImprimante", {})));
  ASSERT_EQ(k.untilRet().size(), 1u) << k.log();
  // The printer dialog is on the screen (it follows its request).
  ASSERT_EQ(std::system(("DISPLAY=" + ecran.display +
                         " timeout 30 xdotool search --sync --onlyvisible --name . >/dev/null 2>&1")
                            .c_str()),
            0)
      << k.log();
  ecran.arreter();
  auto status = k.wait(30000);
  ASSERT_TRUE(status && WIFEXITED(*status)) << k.log();
  EXPECT_EQ(WEXITSTATUS(*status), 3) << k.log();
  EXPECT_NE(k.log().find("connexion à l'écran perdue"), std::string::npos) << k.log();
}

TEST(DesktopMode, DisplayTexts) {
  std::string why;
  EXPECT_FALSE(kup::host::X11DisplayAnswers("pas un écran", 100, &why));
  EXPECT_NE(why.find("illisible"), std::string::npos);
  EXPECT_FALSE(kup::host::WaylandDisplayAnswers("wayland-9", "", &why));
  EXPECT_NE(why.find("XDG_RUNTIME_DIR"), std::string::npos);

  // A compositor's socket that listens answers; a missing one does not.
  const std::string dir = "/tmp/kup_wl_" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s/wayland-7", dir.c_str());
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(s, 4), 0);
  EXPECT_TRUE(kup::host::WaylandDisplayAnswers("wayland-7", dir, &why));
  EXPECT_TRUE(kup::host::WaylandDisplayAnswers(dir + "/wayland-7", "", &why));
  EXPECT_FALSE(kup::host::WaylandDisplayAnswers("wayland-8", dir, &why));
  ::close(s);
  ::unlink(a.sun_path);
  ::rmdir(dir.c_str());
}
