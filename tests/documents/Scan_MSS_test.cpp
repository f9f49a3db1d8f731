// Document scanning: the hand-over file, the batch's arguments, the wait
// and the result handed to the player; once with the real stand-in batch.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbString.h"
#include "documents/AttacheFichierTestOutils.h"
#include "documents/Courrier_TestOutils.h"
#include "documents/Mdl_MSS.h"
#include "platform/RealFileSystem.h"
#include "platform/RealProcessLauncher.h"
#include "tests/TestApp.h"

namespace fs = std::filesystem;
using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Local;
using courrier_test::Requete;

namespace {

struct Scan : ::testing::Test {
  Scan() {
    auto table = std::make_shared<CommandTable>();
    RegisterMdl_MSS(*table);
    t.app.commands = table;
    t.env.clock = Local(2016, 11, 7, 14, 30, 0);
  }
  void Lancer(const std::string& numero) {
    Args a{numero};
    KUP_appelScanMSS(t.app, a);
  }
  std::vector<std::string> AppelsScan() const {
    std::vector<std::string> out;
    for (auto& c : t.flash.calls)
      if (c.find("\"KUP_appelScanMSS\"") != std::string::npos) out.push_back(c);
    return out;
  }
  TestApp t;
};

TEST_F(Scan, RunsTheBatchAndHandsTheResultLinesToThePlayer) {
  // The tool writes its result while it runs; lines end in CR LF, LF or CR.
  t.processes.onStart = [&](platform::FakeProcessLauncher::Process&) {
    t.fs.put("2016 0042.xml", "<R>\r\n<N>2016 0042</N>\n</R>");
  };
  sGetFlashXML(t.app, Requete({"KUP_appelScanMSS", "2016 0042"}));
  EXPECT_TRUE(t.processes.attempts.empty()) << "the wait runs outside the player's call";
  EXPECT_EQ(t.timer.interval(), 500);
  TimerAppelDiffere_Timer(t.app);

  ASSERT_EQ(t.processes.processes.size(), 1u);
  EXPECT_EQ(t.processes.processes[0].argv,
            (std::vector<std::string>{"C:\\Korvane\\appelMSS.bat", "2016-0042", "161107"}));
  EXPECT_EQ(t.processes.processes[0].exitWaits, 1);
  EXPECT_EQ(t.fs.readFile("C:\\Korvane\\Tessaly.xml"),
            "<ROOT>\r\n<TYPE_DOC>PDC</TYPE_DOC>\r\n<NUM_DOSS>2016 0042</NUM_DOSS>\r\n"
            "<DATE_DOSS>07/11/16</DATE_DOSS>\r\n</ROOT>\r\n");
  ASSERT_EQ(t.flash.calls.size(), 1u) << (Erreurs(t).empty() ? "" : Erreurs(t)[0][2]);
  EXPECT_EQ(t.flash.calls[0], sInvokeXML("KUP_appelScanMSS", {"KUP_appelScanMSS", "2016 0042",
                                                             "<R>\r\n<N>2016 0042</N>\r\n</R>\r\n", "", ""}));

  // A second call replaces the hand-over file of the first.
  t.processes.onStart = [&](platform::FakeProcessLauncher::Process&) { t.fs.put("PC & 7.xml", ""); };
  t.env.clock = Local(2017, 1, 2, 9, 0, 0);
  Lancer("PC & 7");
  EXPECT_EQ(t.fs.readFile("C:\\Korvane\\Tessaly.xml"),
            "<ROOT>\r\n<TYPE_DOC>PDC</TYPE_DOC>\r\n<NUM_DOSS>PC &amp; 7</NUM_DOSS>\r\n"
            "<DATE_DOSS>02/01/17</DATE_DOSS>\r\n</ROOT>\r\n");
  EXPECT_EQ(t.processes.processes[1].argv[1], "PC-&-7");
  ASSERT_EQ(AppelsScan().size(), 2u);
  EXPECT_EQ(AppelsScan()[1], sInvokeXML("KUP_appelScanMSS", {"KUP_appelScanMSS", "PC & 7", "", "", ""}));
}

TEST_F(Scan, FailuresGoToTheErrorRoutineAndCallNothing) {
  // No result file.
  Lancer("2016 0042");
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_appelScanMSS_Error");
  EXPECT_EQ(Erreurs(t)[0][1], "53");

  // The batch cannot be started.
  t.flash.clear();
  t.fs.put("2016 0042.xml", "ancien");
  t.processes.failStarts = true;
  Lancer("2016 0042");
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][1], "53");
  EXPECT_TRUE(AppelsScan().empty());

  // The hand-over file cannot be written: nothing is started.
  t.flash.clear();
  t.processes.failStarts = false;
  t.fs.fail("C:\\Korvane\\Tessaly.xml", vberr::PermissionDenied, platform::FakeFileSystem::Op::Write);
  const size_t essais = t.processes.attempts.size();
  Lancer("2016 0042");
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][1], "70");
  EXPECT_EQ(t.processes.attempts.size(), essais);
  EXPECT_TRUE(AppelsScan().empty());
}

TEST_F(Scan, ABatchThatNeverEndsDoesNotHoldTheContainerForEver) {
  t.fs.put("2016 0042.xml", "résultat d'un scan précédent");
  t.processes.exitOnWait = false;
  Lancer("2016 0042");
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_appelScanMSS_Error");
  EXPECT_NE(Erreurs(t)[0][2].find("n'est pas terminée"), std::string::npos);
  EXPECT_TRUE(AppelsScan().empty()) << "an older result is not sent as this scan's";
  ASSERT_EQ(t.processes.processes.size(), 1u);
  EXPECT_FALSE(t.processes.processes[0].killed) << "the person may still be scanning";
}

TEST_F(Scan, ANumberThatIsNoBareFileNameIsRefusedBeforeAnything) {
  for (const char* numero : {"..\\..\\secret", "a/b", "..", "", "C:x"}) {
    t.flash.clear();
    Lancer(numero);
    ASSERT_EQ(Erreurs(t).size(), 1u) << numero;
    EXPECT_EQ(Erreurs(t)[0][1], "52") << numero;
  }
  EXPECT_TRUE(t.processes.attempts.empty());
  EXPECT_FALSE(t.fs.fileExists("C:\\Korvane\\Tessaly.xml"));
}

TEST(sLireFichierTexte, EveryLineEndedByCrLf) {
  TestApp t;
  auto lire = [&](const std::string& contenu) {
    t.fs.put("C:\\r.xml", contenu);
    return sLireFichierTexte(t.app, "C:\\r.xml");
  };
  EXPECT_EQ(lire(""), "");
  EXPECT_EQ(lire("a"), "a\r\n");
  EXPECT_EQ(lire("a\r\nb\r\nc\r\n"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(lire("a\n\nb\rc"), "a\r\n\r\nb\r\nc\r\n");
  EXPECT_EQ(lire("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9\r\n") << "8-bit text";
  EXPECT_THROW(sLireFichierTexte(t.app, "C:\\absent.xml"), VbError);
}

// The stand-in batch of the program folder, run for real in a program
// folder of its own; the result lands in the current folder.
TEST(ScanReel, TheStandInBatchWritesTheResultTheContainerReads) {
  const fs::path dir = attache_test::DossierTemporaire("scan");
  ASSERT_FALSE(dir.empty());
  fs::create_directories(dir / "programme");
  fs::create_directories(dir / "courant");
  fs::copy_file(fs::path(KUP_PROGRAM_DIR) / "appelMSS.sh", dir / "programme" / "appelMSS.sh");

  TestApp t;
  t.app.pf.fs = std::make_unique<platform::RealFileSystem>(platform::DriveMap{});
  t.app.pf.processes = std::make_unique<platform::RealProcessLauncher>(t.app.pf.fs.get(), t.app.pf.log.get());
  t.env.program = (dir / "programme").string();
  t.env.clock = Local(2016, 11, 7, 14, 30, 0);
  const fs::path avant = fs::current_path();
  fs::current_path(dir / "courant");

  // Blanks, "&" and an accent all make their way through the batch.
  Args a{"PC 2016 & \xC3\xA9"};
  KUP_appelScanMSS(t.app, a);
  fs::current_path(avant);

  EXPECT_TRUE(Erreurs(t).empty()) << Erreurs(t)[0][2];
  EXPECT_TRUE(fs::exists(dir / "courant" / "PC 2016 & \xC3\xA9.xml"));
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_EQ(t.flash.calls[0],
            sInvokeXML("KUP_appelScanMSS", {"KUP_appelScanMSS", "PC 2016 & \xC3\xA9",
                                            "<RESULTAT_SCAN>\r\n<NUM_DOSS>PC 2016 &amp; \xC3\xA9</NUM_DOSS>\r\n"
                                            "<DATE_SCAN>161107</DATE_SCAN>\r\n<STATUT>OK</STATUT>\r\n"
                                            "</RESULTAT_SCAN>\r\n",
                                            "", ""}));
  fs::remove_all(dir);
}

}  // namespace
