// The real korvane executable driven over its standard streams.
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "tests/e2e/Child.h"

using e2e::Child;
using e2e::Invoke;
using Item = kup::bridge::FrameReader::Item;

namespace {

Child Korvane(const std::vector<std::string>& extra = {}, const std::string& stdinFile = {},
              const std::vector<std::string>& env = {}) {
  std::vector<std::string> argv{e2e::ProgramPath("korvane")};
  argv.insert(argv.end(), extra.begin(), extra.end());
  return Child(argv, true, stdinFile, env);
}

bool IsRet(const Item& f) { return f.ok && f.kind == "RET"; }

// The status of a process that ended normally with 0.
void ExpectCleanExit(Child& k) {
  auto status = k.wait();
  ASSERT_TRUE(status.has_value()) << "korvane did not end; log:\n" << k.log();
  EXPECT_TRUE(WIFEXITED(*status)) << "korvane crashed; log:\n" << k.log();
  if (WIFEXITED(*status)) {
    EXPECT_EQ(WEXITSTATUS(*status), 0) << k.log();
  }
}

}  // namespace

TEST(Korvane, OneRetPerRequestAndErrorsAsCalls) {
  Child k = Korvane();
  ASSERT_TRUE(k.started());

  // Unknown command: no value.
  ASSERT_TRUE(k.request(Invoke("KUP_CommandeInconnue", {"x"})));
  auto frames = k.untilRet();
  ASSERT_EQ(frames.size(), 1u) << k.log();
  EXPECT_TRUE(IsRet(frames[0]));
  EXPECT_EQ(frames[0].payload, "");

  // Settings accepted silently.
  std::string rec = "0\xC3\xB0" "1\xC3\xB0" "2\xC3\xB0" "3\xC3\xB0" "DDE\xC3\xB0MODE\xC3\xB0" "6\xC3\xB0" "7\xC3\xB0" "0";
  ASSERT_TRUE(k.request(Invoke("KUP_Parametres", {rec})));
  frames = k.untilRet();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(IsRet(frames[0]));

  // A failing command: the error call comes before the end of its request.
  ASSERT_TRUE(k.request("<invoke name=\"KUP_Parametres\" returntype=\"xml\"><arguments><array>"
                        "<property id=\"0\"><string>KUP_Parametres</string></property>"
                        "<property id=\"1\"><null/></property></array></arguments></invoke>"));
  frames = k.untilRet();
  ASSERT_EQ(frames.size(), 2u) << k.log();
  EXPECT_EQ(frames[0].kind, "CALL");
  EXPECT_NE(frames[0].payload.find("<invoke name=\"KUP_ErreurContainer\""), std::string::npos);
  EXPECT_NE(frames[0].payload.find("<string>KUP_Parametres</string><string>94</string>"), std::string::npos)
      << frames[0].payload;
  EXPECT_TRUE(IsRet(frames[1]));
  EXPECT_EQ(frames[1].payload, "");

  // An empty request and text that is no invoke: answered, nothing else.
  ASSERT_TRUE(k.request(""));
  ASSERT_TRUE(k.request("<pas une requête"));
  for (int i = 0; i < 2; ++i) {
    frames = k.untilRet();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(IsRet(frames[0]));
  }

  k.closeInput();
  EXPECT_FALSE(k.frame(5000).has_value());  // nothing after end of input
  ExpectCleanExit(k);
  EXPECT_NE(k.log().find("bridge closed: end of input"), std::string::npos) << k.log();
}

TEST(Korvane, DamagedFramesAreSkippedAndEveryRequestAnswered) {
  Child k = Korvane();
  ASSERT_TRUE(k.started());
  std::string good = kup::bridge::EncodeFrame("REQ", Invoke("KUP_X"));
  std::string input;
  input += "this is not a header\nnor this\n";           // garbage lines: skipped, no RET
  input += good;                                         // RET 1
  input += "FOO 3\nabc\n";                               // unknown kind: skipped, no RET
  input += "REQ 3\nabcdef\n";                            // wrong length: RET 2, then resync
  input += good;                                         // RET 3
  input += "REQ 4\n\xff\xfe\xfd\xfc\n";                  // invalid UTF-8: RET 4
  input += "\n\n";                                       // blank lines: harmless
  input += std::string(100, 'Z') + "\n";                 // a long garbage line
  input += "REQ 999999999999999\nxyz\n";                 // announced beyond the limit: RET 5
  ASSERT_TRUE(k.write(input));
  k.closeInput();

  int rets = 0, others = 0;
  while (auto f = k.frame(10000)) {
    if (IsRet(*f)) {
      ++rets;
      EXPECT_EQ(f->payload, "");
    } else {
      ++others;
    }
  }
  EXPECT_EQ(rets, 5) << k.log();
  EXPECT_EQ(others, 0);
  ExpectCleanExit(k);
  const std::string& log = k.log();
  EXPECT_NE(log.find("malformed frame header"), std::string::npos) << log;
  EXPECT_NE(log.find("unexpected FOO frame"), std::string::npos) << log;
  EXPECT_NE(log.find("not followed by a newline"), std::string::npos) << log;
  EXPECT_NE(log.find("not valid UTF-8"), std::string::npos) << log;
  EXPECT_NE(log.find("refused"), std::string::npos) << log;
}

TEST(Korvane, FramesSplitAcrossWritesAndEndInsideAFrame) {
  Child k = Korvane();
  ASSERT_TRUE(k.started());
  std::string frame = kup::bridge::EncodeFrame("REQ", Invoke("KUP_X", {"é"}));
  // One byte at a time: the reader must wait for the rest.
  for (char c : frame) ASSERT_TRUE(k.write(std::string(1, c)));
  auto frames = k.untilRet();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(IsRet(frames[0]));

  // The interface dies in the middle of a request.
  ASSERT_TRUE(k.write("REQ 50\n<invoke name="));
  k.closeInput();
  EXPECT_FALSE(k.frame(5000).has_value());
  ExpectCleanExit(k);
  EXPECT_NE(k.log().find("end of input inside a REQ frame"), std::string::npos) << k.log();
}

TEST(Korvane, UnloadEndsTheProcessAfterItsAnswer) {
  Child k = Korvane();
  ASSERT_TRUE(k.started());
  ASSERT_TRUE(k.request(Invoke("unload")));
  ASSERT_TRUE(k.request(Invoke("KUP_X")));  // never read: the session is over
  auto frames = k.untilRet();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(IsRet(frames[0]));
  EXPECT_FALSE(k.frame(5000).has_value());
  ExpectCleanExit(k);  // without closing its input
}

TEST(Korvane, InputFromAFileAndCommandLineSwitches) {
  std::string path = ::testing::TempDir() + "korvane_input.bin";
  {
    std::ofstream f(path, std::ios::binary);
    f << kup::bridge::EncodeFrame("REQ", Invoke("KUP_X")) << kup::bridge::EncodeFrame("REQ", Invoke("KUP_Y"));
  }
  Child k = Korvane({"-debug", "-ARGS", "utilisateur=moi"}, path);
  ASSERT_TRUE(k.started());
  auto a = k.untilRet();
  auto b = k.untilRet();
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_TRUE(IsRet(a[0]) && IsRet(b[0]));
  ExpectCleanExit(k);
  std::remove(path.c_str());
}

TEST(Korvane, TerminationSignalEndsCleanly) {
  Child k = Korvane();
  ASSERT_TRUE(k.started());
  ASSERT_TRUE(k.request(Invoke("KUP_X")));
  ASSERT_EQ(k.untilRet().size(), 1u);
  ::kill(k.pid(), SIGTERM);
  ExpectCleanExit(k);
  EXPECT_NE(k.log().find("bridge closed: signal"), std::string::npos) << k.log();
}

TEST(Korvane, LargeRequestIsReadWhole) {
  Child k = Korvane();
  ASSERT_TRUE(k.started());
  std::string big(20 << 20, 'A');  // a document in base64
  ASSERT_TRUE(k.request(Invoke("KUP_Inconnue", {big})));
  ASSERT_TRUE(k.request(Invoke("KUP_Inconnue")));
  for (int i = 0; i < 2; ++i) {
    auto frames = k.untilRet(30000);
    ASSERT_EQ(frames.size(), 1u) << k.log();
    EXPECT_TRUE(IsRet(frames[0]));
  }
  k.closeInput();
  ExpectCleanExit(k);
}

// Peak memory of the process (kB) as the kernel counts it.
long PeakKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

// A large request costs a few times its size, not tens of times.
TEST(Korvane, LargeRequestPeakStaysWithinFourTimesItsSize) {
  for (const char* commande : {"KUP_Inconnue", "KUP_ChaineSQL"}) {
    Child k = Korvane();
    ASSERT_TRUE(k.started());
    ASSERT_TRUE(k.request(Invoke(commande, {"x"})));
    ASSERT_EQ(k.untilRet(30000).size(), 1u) << k.log();
    long avant = PeakKb(k.pid());
    const size_t taille = size_t(64) << 20;
    ASSERT_TRUE(k.request(Invoke(commande, {std::string(taille, 'A')})));
    ASSERT_EQ(k.untilRet(60000).size(), 1u) << k.log();
    long apres = PeakKb(k.pid());
    ASSERT_GT(avant, 0);
    EXPECT_LE(apres - avant, long(4 * taille / 1024)) << commande;
    k.closeInput();
    ExpectCleanExit(k);
  }
}

TEST(Korvane, InterfaceThatStopsReadingEndsTheSession) {
  Child k = Korvane();
  ASSERT_TRUE(k.started());
  k.closeOutput();
  ASSERT_TRUE(k.request(Invoke("KUP_Parametres", {"x"})));
  ExpectCleanExit(k);  // its input still open
  EXPECT_NE(k.log().find("bridge closed: the interface stopped reading"), std::string::npos) << k.log();
}

TEST(Korvane, DeferredCommandsRunFromTheTimerAfterTheirAnswer) {
  Child k = Korvane();
  ASSERT_TRUE(k.started());
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(k.request(Invoke("KUP_ChoixImprimante")));
  auto frames = k.untilRet();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(IsRet(frames[0]));
  EXPECT_EQ(frames[0].payload, "");
  // The printer dialog (headless: logged and cancelled) opens only when the
  // 500 ms timer fires, outside any request.
  auto deadline = t0 + std::chrono::seconds(10);
  while (k.log().find("printer") == std::string::npos && std::chrono::steady_clock::now() < deadline)
    ::usleep(10000);
  auto fired = std::chrono::steady_clock::now();
  ASSERT_NE(k.log().find("printer"), std::string::npos) << k.log();
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(fired - t0).count(), 450);

  // A deferred command still waiting at the end of input is dropped.
  ASSERT_TRUE(k.request(Invoke("KUP_CourrierChoixModele", {"a", "b"})));
  ASSERT_EQ(k.untilRet().size(), 1u);
  k.closeInput();
  ExpectCleanExit(k);
  EXPECT_EQ(k.log().find("Choix du mod"), std::string::npos) << k.log();
}

TEST(Korvane, DdeCommandsFromThePartnerBecomeCalls) {
  char tmpl[] = "/tmp/kup_e2e_dde_XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  std::string script = dir + "/script.txt", sendLog = dir + "/send.log";
  std::ofstream(script) << "ZezORA_ParcelleAjouter(350001000AB0012#3500010000AB0012)\nZezORA_ParcelleRechercher()\n";

  Child k = Korvane({}, {}, {"KUP_DDE_DIR=" + dir});
  ASSERT_TRUE(k.started());
  // MODE 2: the main window becomes the DDE source "Korvane|ZEDERA".
  ASSERT_TRUE(k.request(Invoke("KUP_Parametres", {"0\xC3\xB0" "1\xC3\xB0" "2\xC3\xB0" "3\xC3\xB0"
                                                  "DDE\xC3\xB0MODE\xC3\xB0" "6\xC3\xB0" "7\xC3\xB0" "2"})));
  ASSERT_EQ(k.untilRet().size(), 1u) << k.log();

  Child gis({e2e::ProgramPath("kup_gis_standin"), "--app", "SIG", "--topic", "T", "--no-server", "--no-window",
             "--dir", dir, "--send", script, "--to", "Korvane|ZEDERA", "--quit-after-send", "--send-log", sendLog},
            true, {}, {"KUP_DDE_DIR=" + dir});
  ASSERT_TRUE(gis.started());
  std::vector<std::string> calls;
  while (calls.size() < 2) {
    auto f = k.frame(10000);
    ASSERT_TRUE(f.has_value()) << k.log() << gis.log();
    EXPECT_EQ(f->kind, "CALL");
    calls.push_back(f->payload);
  }
  EXPECT_NE(calls[0].find("<invoke name=\"ZezORA_ParcelleAjouter\""), std::string::npos) << calls[0];
  EXPECT_NE(calls[0].find("<string>3500010000AB0012</string>"), std::string::npos) << calls[0];
  EXPECT_NE(calls[1].find("<invoke name=\"ZezORA_ParcelleRechercher\""), std::string::npos) << calls[1];
  auto status = gis.wait();
  ASSERT_TRUE(status.has_value());
  std::ifstream in(sendLog);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find("ACK ZezORA_ParcelleAjouter("), std::string::npos) << all;
  EXPECT_NE(all.find("ACK ZezORA_ParcelleRechercher()"), std::string::npos) << all;

  // Requests still work beside the DDE traffic, and the end is clean.
  ASSERT_TRUE(k.request(Invoke("KUP_X")));
  ASSERT_EQ(k.untilRet().size(), 1u);
  k.closeInput();
  ExpectCleanExit(k);
  std::remove(script.c_str());
  std::remove(sendLog.c_str());
  ::rmdir(dir.c_str());
}
