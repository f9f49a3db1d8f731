// The DDE stand-in between processes: the container's links and source over
// real sockets, with the GIS stand-in as a separate program.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "StandinProcess.h"
#include "vb/VbError.h"
#include "platform/DdeFolder.h"
#include "platform/RealDde.h"
#include "platform/RealWindowSystem.h"

using kup::platform::RealDdeLink;
using kup::platform::RealDdeSystem;
using kup::platform::RealWindowSystem;
namespace dde = kup::platform::dde;
using Strings = std::vector<std::string>;

namespace {

int Erreur(const std::function<void()>& f) {
  try {
    f();
  } catch (const kup::VbError& e) {
    return e.number();
  }
  return 0;
}

long Ms(std::chrono::steady_clock::time_point t0) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
}

}  // namespace

TEST(DdeReal, LinkOutcomes) {
  ServiceFolder d;
  RealDdeSystem sys(d.path);
  auto link = sys.createLink();
  link->setLinkTopic("SIG|CARTO");
  EXPECT_EQ(Erreur([&] { link->linkExecute("x"); }), kup::vberr::DdeNoChannel);
  EXPECT_EQ(Erreur([&] { link->setLinkMode(2); }), kup::vberr::DdeNoForeignApp);
  EXPECT_EQ(link->linkMode(), 0);

  Standin sig(d, {"--app", "Sig", "--topic", "Carto", "--log", d.file("log")});
  ASSERT_TRUE(sig.ready());
  link->setLinkTopic("SIG|carto");  // names compare without regard to case
  link->setLinkTimeout(20);
  ASSERT_EQ(Erreur([&] { link->setLinkMode(2); }), 0);
  EXPECT_EQ(link->linkMode(), 2);
  std::string long_(300000, 'p');
  for (auto& cmd : Strings{"SIG_ParcelleCadrer", "deux\nlignes", "", long_})
    EXPECT_EQ(Erreur([&] { link->linkExecute(cmd); }), 0);
  auto lines = WaitLines(d.file("log"), 4);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "SIG_ParcelleCadrer");
  EXPECT_EQ(lines[1], "deux\\nlignes");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], long_);

  EXPECT_EQ(Erreur([&] { link->setLinkTimeout(40000); }), kup::vberr::Overflow);
  EXPECT_EQ(Erreur([&] { link->setLinkMode(5); }), 380);
  link->setLinkTopic("sans barre");
  EXPECT_EQ(Erreur([&] { link->setLinkMode(2); }), kup::vberr::DdeNoForeignApp);
}

TEST(DdeReal, RefusalAndTimeOuts) {
  ServiceFolder d;
  RealDdeSystem sys(d.path);
  Standin non(d, {"--app", "SIG", "--topic", "NON", "--answer", "nak", "--log", d.file("non")});
  Standin muet(d, {"--app", "SIG", "--topic", "MUET", "--answer", "silent", "--log", d.file("muet")});
  ASSERT_TRUE(non.ready() && muet.ready());

  auto refus = sys.createLink();
  refus->setLinkTopic("SIG|NON");
  refus->setLinkMode(2);
  EXPECT_EQ(Erreur([&] { refus->linkExecute("a"); }), kup::vberr::DdeRefused);
  EXPECT_EQ(refus->linkMode(), 2);

  auto lent = sys.createLink();
  lent->setLinkTopic("SIG|MUET");
  lent->setLinkMode(2);
  lent->setLinkTimeout(3);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Erreur([&] { lent->linkExecute("attendu"); }), kup::vberr::DdeTimeout);
  long ms = Ms(t0);
  EXPECT_GE(ms, 280);
  EXPECT_LT(ms, 1500);
  // A time-out of 0 does not wait; the string is delivered all the same.
  lent->setLinkTimeout(0);
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Erreur([&] { lent->linkExecute("sans attente"); }), kup::vberr::DdeTimeout);
  EXPECT_LT(Ms(t0), 200);
  EXPECT_EQ(WaitLines(d.file("muet"), 2), (Strings{"attendu", "sans attente"}));
  EXPECT_EQ(lent->linkMode(), 2);
}

TEST(DdeReal, LateAnswersDoNotAnswerTheNextExecute) {
  ServiceFolder d;
  RealDdeSystem sys(d.path);
  Standin sig(d, {"--app", "SIG", "--topic", "LENT", "--answer", "nak", "--delay-ms", "400", "--log", d.file("log")});
  ASSERT_TRUE(sig.ready());
  auto link = sys.createLink();
  link->setLinkTopic("SIG|LENT");
  link->setLinkMode(2);
  link->setLinkTimeout(1);
  EXPECT_EQ(Erreur([&] { link->linkExecute("un"); }), kup::vberr::DdeTimeout);
  // The late NAK of "un" arrives while "deux" waits: it is not taken for
  // the answer of "deux", whose own NAK comes 400 ms after it was sent.
  link->setLinkTimeout(30);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Erreur([&] { link->linkExecute("deux"); }), kup::vberr::DdeRefused);
  EXPECT_GE(Ms(t0), 350);
  EXPECT_EQ(WaitLines(d.file("log"), 2), (Strings{"un", "deux"}));
}

TEST(DdeReal, PartnerThatDies) {
  ServiceFolder d;
  RealDdeSystem sys(d.path);
  auto link = sys.createLink();
  {
    Standin sig(d, {"--app", "SIG", "--topic", "T", "--die-on", "BOOM", "--log", d.file("log")});
    ASSERT_TRUE(sig.ready());
    link->setLinkTopic("SIG|T");
    link->setLinkMode(2);
    link->setLinkTimeout(50);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Erreur([&] { link->linkExecute("BOOM"); }), kup::vberr::DdeTimeout);
    EXPECT_LT(Ms(t0), 3000);  // the end of the partner, not the time-out
    EXPECT_EQ(link->linkMode(), 0);
    EXPECT_EQ(Erreur([&] { link->linkExecute("encore"); }), kup::vberr::DdeNoChannel);
    EXPECT_EQ(sig.wait(), 3);
  }
  EXPECT_EQ(Erreur([&] { link->setLinkMode(2); }), kup::vberr::DdeNoForeignApp);

  // Killed between two commands: the next one finds no channel.
  Standin autre(d, {"--app", "SIG", "--topic", "T", "--log", d.file("log2")});
  link->setLinkMode(2);
  EXPECT_EQ(Erreur([&] { link->linkExecute("avant"); }), 0);
  autre.stop(SIGKILL);
  EXPECT_EQ(Erreur([&] { link->linkExecute("après"); }), kup::vberr::DdeNoChannel);
  EXPECT_EQ(link->linkMode(), 0);
}

TEST(DdeReal, SourceReceivesThePartnersCommands) {
  ServiceFolder d;
  RealDdeSystem sys(d.path);
  Strings recus;
  sys.onLinkExecute = [&](const std::string& cmd, int16_t& cancel) {
    recus.push_back(cmd);
    if (cmd == "PANNE") throw std::runtime_error("panne");
    if (cmd != "REFUSE") cancel = 0;
  };
  sys.setSource("Korvane", "ZEDERA", 1);
  ASSERT_GE(sys.pollFd(), 0);
  std::ofstream(d.file("script")) << "# palette\n"
                                     "dde_ajoutcouleurinit(2)\n"
                                     "\n"
                                     "dde_ajoutcouleur(0,255,0,0)\\nsuite\n"
                                     "REFUSE\n"
                                     "@sleep 50\n"
                                     "PANNE\n"
                                     "dde_ajoutcouleurfin()\n";
  Standin sig(d, {"--app", "SIG", "--topic", "CARTO", "--send", d.file("script"), "--to", "korvane|zedera",
                  "--send-log", d.file("envois")});
  ASSERT_TRUE(sig.ready());
  auto t0 = std::chrono::steady_clock::now();
  while (ReadLines(d.file("envois")).size() < 5 && Ms(t0) < 5000) {
    pollfd p{sys.pollFd(), POLLIN, 0};
    ::poll(&p, 1, 20);
    sys.poll();
  }
  EXPECT_EQ(recus, (Strings{"dde_ajoutcouleurinit(2)", "dde_ajoutcouleur(0,255,0,0)\nsuite", "REFUSE", "PANNE",
                            "dde_ajoutcouleurfin()"}));
  EXPECT_EQ(ReadLines(d.file("envois")),
            (Strings{"ACK dde_ajoutcouleurinit(2)", "ACK dde_ajoutcouleur(0,255,0,0)\\nsuite", "NAK REFUSE",
                     "NAK PANNE", "ACK dde_ajoutcouleurfin()"}));

  // A client speaking nonsense is dropped; the others are still served.
  int brouillon = dde::Connect(d.path, dde::SocketName("Korvane", "ZEDERA"));
  ASSERT_GE(brouillon, 0);
  std::string bruit(100, '?');
  ::send(brouillon, bruit.data(), bruit.size(), MSG_NOSIGNAL);
  auto link = sys.createLink();
  link->setLinkTopic("Korvane|Zedera");
  link->setLinkMode(2);
  link->setLinkTimeout(0);
  EXPECT_EQ(Erreur([&] { link->linkExecute("bonjour"); }), kup::vberr::DdeTimeout);  // nobody polls yet
  sys.poll();
  char c;
  pollfd p{brouillon, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 1000), 1);
  EXPECT_EQ(::recv(brouillon, &c, 1, 0), 0);  // closed by the source
  ::close(brouillon);
  EXPECT_EQ(recus.back(), "bonjour");

  // A new topic replaces the old one; mode 0 stops serving.
  sys.setSource("Korvane", "CADASTRE", 1);
  EXPECT_LT(dde::Connect(d.path, dde::SocketName("Korvane", "ZEDERA")), 0);
  int fd = dde::Connect(d.path, dde::SocketName("Korvane", "CADASTRE"));
  EXPECT_GE(fd, 0);
  ::close(fd);
  sys.setSource("Korvane", "CADASTRE", 0);
  EXPECT_LT(dde::Connect(d.path, dde::SocketName("Korvane", "CADASTRE")), 0);
  EXPECT_EQ(sys.pollFd(), -1);
}

// The container closes conversations that fell silent: the partner connects
// again, and a string the container dropped unread with its conversation is
// sent again on the new one rather than lost.
TEST(DdeReal, PartnerSendsAgainWhenTheContainerClosedItsConversation) {
  ServiceFolder d;
  int ecoute = dde::Listen(d.path, dde::SocketName("Korvane", "ZEDERA"));
  ASSERT_GE(ecoute, 0);
  auto accepter = [&] {
    pollfd p{ecoute, POLLIN, 0};
    return ::poll(&p, 1, 5000) == 1 ? ::accept4(ecoute, nullptr, nullptr, SOCK_CLOEXEC) : -1;
  };
  auto lire = [&](int fd) {
    dde::FrameReader r;
    char buf[256];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 5000) == 1) {
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      r.feed(buf, static_cast<size_t>(n));
      if (auto f = r.next()) return f->payload;
    }
    return std::string("?");
  };
  auto repondre = [&](int fd) { ::send(fd, "ACK\n", 4, MSG_NOSIGNAL); };
  std::ofstream(d.file("script")) << "un\n@sleep 200\ndeux\ntrois\n";
  Standin sig(d, {"--app", "SIG", "--topic", "CARTO", "--send", d.file("script"), "--send-log", d.file("envois")});
  ASSERT_TRUE(sig.ready());

  int c1 = accepter();
  ASSERT_GE(c1, 0);
  EXPECT_EQ(lire(c1), "un");
  repondre(c1);
  ::close(c1);  // closed while the partner is silent
  int c2 = accepter();
  ASSERT_GE(c2, 0);
  EXPECT_EQ(lire(c2), "deux");
  repondre(c2);
  pollfd p{c2, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  ::close(c2);  // closed with "trois" still unread
  int c3 = accepter();
  ASSERT_GE(c3, 0);
  EXPECT_EQ(lire(c3), "trois");
  repondre(c3);
  EXPECT_EQ(WaitLines(d.file("envois"), 3), (Strings{"ACK un", "ACK deux", "ACK trois"}));
  ::close(c3);
  ::close(ecoute);
}

TEST(DdeReal, WindowsOfOtherProgramsByTitle) {
  ServiceFolder d;
  RealWindowSystem fenetres(d.path);
  EXPECT_EQ(fenetres.findWindow("Carte SIG"), 0);
  {
    Standin sig(d, {"--app", "SIG", "--topic", "CARTO", "--title", "Carte SIG", "--show-log", d.file("show")});
    ASSERT_TRUE(sig.ready());
    long h = fenetres.findWindow("Carte SIG");
    ASSERT_GT(h, 0);
    EXPECT_LE(h, 0x7FFFFFFFL);
    EXPECT_EQ(dde::HandleOwner(h), sig.pid());
    EXPECT_EQ(fenetres.findWindow("carte sig"), 0);  // the title is compared exactly
    fenetres.showWindowAsync(h, 0);
    fenetres.showWindowAsync(h, 9);
    EXPECT_EQ(WaitLines(d.file("show"), 2), (Strings{"SHOW 0", "SHOW 9"}));
    sig.stop(SIGKILL);  // no time to withdraw its title
    EXPECT_EQ(fenetres.findWindow("Carte SIG"), 0);
    fenetres.showWindowAsync(h, 9);  // a dead window: nothing happens
  }
  // This process's own windows.
  long moi = fenetres.registerWindow("Korvane");
  EXPECT_EQ(fenetres.findWindow("Korvane"), moi);
  ASSERT_EQ(dde::ListWindows(d.path).size(), 1u);
  EXPECT_EQ(dde::ListWindows(d.path)[0].title, "Korvane");
  fenetres.showWindowAsync(moi, 0);
  EXPECT_FALSE(fenetres.isVisible(moi));
  fenetres.setTopmost(moi, true);
  EXPECT_TRUE(fenetres.isTopmost(moi));
  EXPECT_TRUE(fenetres.isVisible(moi));
  fenetres.unregisterWindow(moi);
  EXPECT_TRUE(dde::ListWindows(d.path).empty());
}

TEST(DdeReal, LateAnswerOfAClosedConversationNeverReachesTheNextOne) {
  ServiceFolder d;
  RealDdeSystem sys(d.path);
  Standin sig(d, {"--app", "SIG", "--topic", "LENT", "--delay-ms", "700", "--log", d.file("log")});
  ASSERT_TRUE(sig.ready());
  auto link = sys.createLink();
  link->setLinkTopic("SIG|LENT");
  link->setLinkMode(2);
  link->setLinkTimeout(0);
  EXPECT_EQ(Erreur([&] { link->linkExecute("un"); }), kup::vberr::DdeTimeout);
  // The conversation closes before the answer of "un" is due; the partner's
  // next conversation may well get the same descriptor.
  link->setLinkMode(0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  link->setLinkMode(2);
  link->setLinkTimeout(5);
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Erreur([&] { link->linkExecute("deux"); }), kup::vberr::DdeTimeout);
  EXPECT_GE(Ms(t0), 450);
  EXPECT_EQ(WaitLines(d.file("log"), 2), (Strings{"un", "deux"}));
}

// Idle connections from any program of the user must not keep the GIS and
// the viewer out: silent conversations are closed after the idle time-out,
// and a newcomer beyond the limit takes the place of the longest silent one.
TEST(DdeReal, IdleConversationsNeverLockThePartnersOut) {
  ServiceFolder d;
  RealDdeSystem sys(d.path);
  Strings journal, recus;
  sys.onLog = [&](const std::string& l) { journal.push_back(l); };
  sys.onLinkExecute = [&](const std::string& cmd, int16_t& cancel) {
    recus.push_back(cmd);
    cancel = 0;
  };
  sys.setSource("Korvane", "ZEDERA", 1);
  const std::string nom = dde::SocketName("Korvane", "ZEDERA");
  auto servir = [&](const std::function<bool()>& fini) {
    auto t0 = std::chrono::steady_clock::now();
    while (!fini() && Ms(t0) < 5000) {
      pollfd p{sys.pollFd(), POLLIN, 0};
      ::poll(&p, 1, 20);
      sys.poll();
    }
  };
  // A partner in its own thread: one string, true when it was answered ACK.
  auto partenaire = [&](const std::string& cmd, std::atomic<int>& resultat) {
    return std::thread([&, cmd] {
      int fd = dde::Connect(d.path, nom);
      std::string rep;
      if (fd >= 0 && dde::WriteAll(fd, dde::EncodeFrame("EXEC", cmd), dde::NowMs() + 3000) == dde::WriteStatus::Done) {
        pollfd p{fd, POLLIN, 0};
        char buf[8];
        if (::poll(&p, 1, 3000) == 1) {
          ssize_t n = ::recv(fd, buf, sizeof buf, 0);
          if (n > 0) rep.assign(buf, static_cast<size_t>(n));
        }
      }
      if (fd >= 0) ::close(fd);
      resultat = rep == "ACK\n" ? 1 : 2;
    });
  };

  std::vector<int> oisifs;
  for (int i = 0; i < 200; ++i) {
    int fd = dde::Connect(d.path, nom);
    ASSERT_GE(fd, 0) << i;
    oisifs.push_back(fd);
  }
  servir([&] { return sys.conversations() >= 200; });
  std::atomic<int> resultat{0};
  auto t = partenaire("SIG_Palette()", resultat);
  servir([&] { return resultat != 0; });
  t.join();
  EXPECT_EQ(resultat, 1);
  EXPECT_EQ(recus, Strings{"SIG_Palette()"});

  // Beyond the limit the longest silent conversation is closed, and said so.
  sys.setMaxConversations(8);
  std::atomic<int> resultat2{0};
  auto t2 = partenaire("ZezORA_ParcelleRechercher()", resultat2);
  servir([&] { return resultat2 != 0; });
  t2.join();
  EXPECT_EQ(resultat2, 1);
  ASSERT_FALSE(journal.empty());
  EXPECT_NE(journal.back().find("trop de conversations"), std::string::npos) << journal.back();

  // Silence past the time-out closes the conversations, the partner sees the end.
  sys.setIdleTimeoutMs(100);
  servir([&] { return sys.conversations() == 0; });
  EXPECT_EQ(sys.conversations(), 0u);
  EXPECT_NE(journal.back().find("de silence"), std::string::npos) << journal.back();
  char c;
  pollfd p{oisifs.back(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 1000), 1);
  EXPECT_EQ(::recv(oisifs.back(), &c, 1, 0), 0);
  for (int fd : oisifs) ::close(fd);
}
