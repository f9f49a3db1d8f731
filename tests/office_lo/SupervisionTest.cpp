// The office process the container supervises: killed, hung, never started,
// and ended with the container.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>

#include "documents/Mdl_TaxeExterne.h"
#include "office/lo/LibreOffice.h"
#include "tests/office_lo/LoTestSupport.h"

using namespace lotest;
using Clock = std::chrono::steady_clock;

namespace {

long Ms(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::string Number(const std::string& errorCall) {
  auto a = errorCall.find("</string><string>");
  if (a == std::string::npos) return {};
  a += 17;
  return errorCall.substr(a, errorCall.find("</string>", a) - a);
}

TEST(LoSupervision, KilledOfficeIsReportedAsClosedThenRestartedAtTheNextOpen) {
  auto office = std::make_shared<kup::lo::Office>();
  LoApp t(4, office);
  t.put("C:\\Modeles\\lettre.rtf", LetterRtf());
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  long first = office->pid();
  ASSERT_GT(first, 0) << (t.errors().empty() ? std::string() : t.errors()[0]);
  EXPECT_TRUE(w.EditeurToujoursOuvert());

  ::kill(static_cast<pid_t>(first), SIGKILL);
  EXPECT_FALSE(w.EditeurToujoursOuvert());
  w.MinimizeEditor();
  EXPECT_FALSE(w.G_AccesDocument);
  w.FindBookMarks();
  ASSERT_FALSE(t.errors().empty());
  EXPECT_EQ(Number(t.errors().back()), "462");
  EXPECT_TRUE(Reaped(first)) << "no zombie left";

  // The spreadsheet shares the office: it is told the same.
  auto& c = t.calc();
  c.OpenCalc();  // restarts it
  long second = office->pid();
  EXPECT_GT(second, 0);
  EXPECT_NE(second, first);
  // The word processor's document belonged to the dead office.
  size_t before = t.errors().size();
  w.FindBookMarks();
  ASSERT_EQ(t.errors().size(), before + 1);
  EXPECT_EQ(Number(t.errors().back()), "4248");
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  w.FindBookMarks();
  EXPECT_EQ(w.BookMarks.size(), 2u);
  EXPECT_EQ(office->pid(), second) << "a live office is kept warm";

  // Killed in the middle of work: every call fails fast, none hangs.
  std::thread killer([second] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ::kill(static_cast<pid_t>(second), SIGKILL);
  });
  auto start = Clock::now();
  for (int i = 0; i < 400; ++i) w.InsertText("ligne " + std::to_string(i), true, nullptr);
  killer.join();
  EXPECT_LT(Ms(start), 30000);
  EXPECT_EQ(Number(t.errors().back()), "462");
  w.OpenEditor();
  w.OpenDocument("");
  EXPECT_TRUE(w.Saved());
  EXPECT_TRUE(Reaped(second));
  office->shutdown();
}

// A tax workbook that is gone by validation, closed or with its office
// killed, is the closed document: one message, nothing saved.
TEST(LoSupervision, ATaxWorkbookGoneByValidationIsTheClosedDocument) {
  auto office = std::make_shared<kup::lo::Office>();
  const std::string modele = std::string(KUP_SOURCE_DIR) + "/samples/modeles/taxe/taxe/AA_taxe_amenagement.ots";
  for (int type : {4, 2})
    for (bool tuer : {false, true}) {
      SCOPED_TRACE(std::to_string(type) + (tuer ? ": office killed" : ": workbook closed"));
      LoApp t(type, office);
      kup::Args init = {kup::Value(modele)};
      kup::KUP_TaxeInitialiser(t.app, init);
      ASSERT_TRUE(t.errors().empty()) << t.errors()[0];
      if (tuer)
        ::kill(static_cast<pid_t>(office->pid()), SIGKILL);
      else
        t.ctwin().closeDocument();
      t.fakes.flash->clear();
      kup::Args rien;
      kup::KUP_TaxeValider(t.app, rien);
      ASSERT_EQ(t.errors().size(), 1u) << t.errors()[0];
      EXPECT_NE(t.errors()[0].find("<string>Communication</string><string>1</string><string>Document fermé</string>"),
                std::string::npos)
          << t.errors()[0];
      EXPECT_TRUE(t.fakes.flash->returns.empty());
      EXPECT_TRUE(std::filesystem::is_empty(t.host("C:\\Temp")));
    }
  office->shutdown();
}

// An office that dies is reaped at once, not at the next call, and its end
// is logged as such; killed while a call waits for it, the call ends at once.
TEST(LoSupervision, AnOfficeThatDiesIsReapedAtOnceAndLoggedAsEnded) {
  std::vector<std::string> logs;
  kup::lo::OfficeOptions o = kup::lo::OfficeOptions::FromEnvironment();
  o.log = [&](const std::string& line) { logs.push_back(line); };
  auto office = std::make_shared<kup::lo::Office>(o);
  LoApp t(4, office);
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("");
  long first = office->pid();
  ::kill(static_cast<pid_t>(first), SIGKILL);
  auto start = Clock::now();
  while (!Reaped(first) && Ms(start) < 10000) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(Reaped(first)) << "no zombie waiting for the next office call";

  w.OpenEditor();
  w.OpenDocument("");
  long second = office->pid();
  Freeze(second);
  std::thread killer([second] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(static_cast<pid_t>(second), SIGKILL);
  });
  start = Clock::now();
  w.FindBookMarks();
  killer.join();
  EXPECT_LT(Ms(start), 5000);
  EXPECT_EQ(Number(t.errors().back()), "462");
  EXPECT_TRUE(Reaped(second));
  w.EditeurToujoursOuvert();
  size_t ends = 0;
  for (const auto& line : logs) {
    EXPECT_EQ(line.find("ne répond plus"), std::string::npos) << line;
    ends += line.find("LibreOffice s'est arrêté (signal 9)") != std::string::npos;
  }
  EXPECT_EQ(ends, 2u);
  office->shutdown();
}

// With its temporary folder full the office cannot open even a sound
// template: the report says so, not that the file is damaged.
TEST(LoSupervision, AFullTemporaryFolderIsReportedAsSuch) {
  ScratchDir full;
  if (::mount("tmpfs", full.path.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "no tmpfs to fill here";
  {
    std::ofstream fill(full.path + "/plein", std::ios::binary);
    const std::string block(4096, 'x');
    for (int i = 0; i < 64 && fill; ++i) fill << block;
  }
  const char* was = std::getenv("TEMP");
  std::string before = was ? was : "";
  ::setenv("TEMP", full.path.c_str(), 1);
  {
    auto office = std::make_shared<kup::lo::Office>();
    LoApp t(4, office);
    std::filesystem::copy_file(KUP_SOURCE_DIR "/samples/modeles/courrier/AA_lettre_demande.ott",
                               t.host("C:\\Modeles\\lettre.ott"));
    t.word().OpenEditor();
    t.word().OpenDocument("C:\\Modeles\\lettre.ott");
    ASSERT_EQ(t.errors().size(), 1u);
    EXPECT_EQ(Number(t.errors()[0]), "61");
    EXPECT_NE(t.errors()[0].find("plus de place pour écrire dans " + full.path), std::string::npos) << t.errors()[0];
    office->shutdown();
  }
  if (was) ::setenv("TEMP", before.c_str(), 1); else ::unsetenv("TEMP");
  ::umount2(full.path.c_str(), MNT_DETACH);
}

// After its number of documents the office is ended, once no driver holds
// a document of it, and the next document starts a fresh one.
TEST(LoSupervision, AnOfficeIsRecycledAfterItsDocumentsOnceNoneIsHeld) {
  kup::lo::OfficeOptions o = kup::lo::OfficeOptions::FromEnvironment();
  o.recycleAfterDocuments = 3;
  auto office = std::make_shared<kup::lo::Office>(o);
  LoApp t(4, office);
  auto& w = t.word();
  w.OpenEditor();
  for (int i = 0; i < 3; ++i) w.OpenDocument("");
  long first = office->pid();
  EXPECT_FALSE(office->recycleIfDue()) << "the driver holds its document";
  w.CloseDocument(true);
  EXPECT_TRUE(office->recycleIfDue());
  EXPECT_TRUE(Reaped(first));
  w.OpenEditor();
  w.OpenDocument("");
  EXPECT_NE(office->pid(), first);
  w.CloseDocument(true);
  EXPECT_FALSE(office->recycleIfDue()) << "a fresh office counts again";
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
  office->shutdown();
}

TEST(LoSupervision, HungOfficeIsKilledWithinTheCallTimeOut) {
  kup::lo::OfficeOptions o = kup::lo::OfficeOptions::FromEnvironment();
  o.callTimeoutMs = 1500;
  o.pingTimeoutMs = 1000;
  auto office = std::make_shared<kup::lo::Office>(o);
  LoApp t(4, office);
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("");
  long pid = office->pid();
  Freeze(pid);
  auto start = Clock::now();
  w.InsertText("jamais", false, nullptr);
  long took = Ms(start);
  EXPECT_GE(took, 1400);
  EXPECT_LT(took, 1500 + 11000);
  ASSERT_FALSE(t.errors().empty());
  EXPECT_EQ(Number(t.errors().back()), "462");
  EXPECT_TRUE(Reaped(pid)) << "the hung office was killed";
  EXPECT_FALSE(w.EditeurToujoursOuvert());
  // The liveness question itself is bounded too.
  w.OpenEditor();
  long again = office->pid();
  Freeze(again);
  start = Clock::now();
  EXPECT_FALSE(w.EditeurToujoursOuvert());
  EXPECT_LT(Ms(start), 1000 + 11000);
  EXPECT_TRUE(Reaped(again));
  w.OpenEditor();
  w.OpenDocument("");
  EXPECT_TRUE(w.Saved());
}

TEST(LoSupervision, AnOfficeThatNeverStartsIsReportedWithinTheStartTimeOut) {
  ScratchDir dir;
  std::string script = dir.path + "/soffice-muet";
  std::ofstream(script) << "#!/bin/sh\nexec sleep 60\n";
  ::chmod(script.c_str(), 0755);
  for (std::string program : {script, dir.path + "/absent.bin"}) {
    SCOPED_TRACE(program);
    kup::lo::OfficeOptions o;
    o.program = program;
    o.startTimeoutMs = 1500;
    auto office = std::make_shared<kup::lo::Office>(o);
    LoApp t(4, office);
    auto start = Clock::now();
    t.word().OpenEditor();
    EXPECT_LT(Ms(start), 1500 + 11000);
    EXPECT_EQ(t.word().twin(), nullptr);
    ASSERT_EQ(t.errors().size(), 1u);
    EXPECT_EQ(Number(t.errors()[0]), "429");
    EXPECT_EQ(office->pid(), 0);
    // The spreadsheet says the same, and nothing is left running.
    t.calc().OpenCalc();
    EXPECT_EQ(t.calc().twin(), nullptr);
    std::string profile = office->profileFolder();
    office->shutdown();
    EXPECT_FALSE(std::filesystem::exists(profile));
  }
}

// The office processes this test process started.
std::set<long> OurOffices() {
  std::set<long> out;
  std::string mark = "kup_lo_" + std::to_string(::getpid()) + "_";
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
    std::ifstream cmd(e.path() / "cmdline");
    std::string line((std::istreambuf_iterator<char>(cmd)), {});
    if (line.find(mark) != std::string::npos && line.find("soffice") != std::string::npos)
      out.insert(std::stol(e.path().filename().string()));
  }
  return out;
}

long NewOffice(const std::set<long>& before) {
  for (long p : OurOffices())
    if (!before.count(p)) return p;
  return 0;
}

TEST(LoSupervision, TheOfficeEndsWithTheUnloadHookAndWithTheApplication) {
  long second = 0;
  {
    LoApp t(4);
    kup::InstallOfficeHooks(t.app);
    t.word().twinFactory = nullptr;
    t.calc().twinFactory = nullptr;
    kup::InstallLibreOfficeTwins(t.app);
    t.app.hooks.setEditorType(t.app, 4);
    auto& w = kup::G_Courrier(t.app);
    auto before = OurOffices();
    // A workbook opened as itself (not as a template) holds a lock file.
    t.put("C:\\Modeles\\classeur.fods",
          "<?xml version=\"1.0\"?><office:document "
          "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" office:version=\"1.2\" "
          "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body><office:spreadsheet/>"
          "</office:body></office:document>");
    const std::string verrou = t.host("C:\\Modeles") + "/.~lock.classeur.fods#";
    w.OpenEditor();
    w.OpenDocument("");
    kup::G_Tableur(t.app).OpenCalc();
    kup::G_Tableur(t.app).OpenDocument("C:\\Modeles\\classeur.fods");
    ASSERT_TRUE(t.errors().empty()) << t.errors()[0];
    ASSERT_TRUE(std::filesystem::exists(verrou));
    long first = NewOffice(before);
    ASSERT_GT(first, 0);
    t.app.hooks.unload(t.app);
    EXPECT_EQ(t.app.G_Courrier, nullptr);
    EXPECT_TRUE(Reaped(first)) << "the unload hook ends the office";
    // Its documents closed first: no lock file left that would make the
    // next session's hidden load refuse the file.
    EXPECT_FALSE(std::filesystem::exists(verrou));
    // A new driver (after unload) gets the twins again and a new office,
    // which the application's end takes along.
    t.app.hooks.setEditorType(t.app, 4);
    kup::G_Courrier(t.app).OpenEditor();
    ASSERT_NE(kup::G_Courrier(t.app).twin(), nullptr);
    kup::G_Courrier(t.app).OpenDocument("");
    ASSERT_TRUE(t.errors().empty()) << t.errors()[0];
    second = NewOffice(before);
    ASSERT_GT(second, 0);
  }
  EXPECT_TRUE(Reaped(second));
}

// A process that ended: a container that is gone.
pid_t DeadProcess() {
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ::waitpid(dead, nullptr, 0);
  return dead;
}

// Stands in for an office: its command line is what the sweep reads.
pid_t FakeOffice(const std::string& commandLine) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/bin/sleep", commandLine.c_str(), "60", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

TEST(LoSupervision, LeftoversOfAContainerThatCrashedAreSweptAway) {
  pid_t dead = DeadProcess();
  ScratchDir tmp;
  std::string mark = "kup_lo_" + std::to_string(dead) + "_1_7";
  std::string pipe = "/tmp/OSL_PIPE_" + std::to_string(::getuid()) + "_" + mark;
  std::ofstream(pipe) << "";
  std::string profile = tmp.path + "/kup-lo-" + std::to_string(dead) + "-1";
  std::filesystem::create_directories(profile + "/user");
  std::string alive = tmp.path + "/kup-lo-" + std::to_string(::getpid()) + "-99";
  std::filesystem::create_directories(alive);
  // Its office, still running.
  pid_t orphan = FakeOffice("soffice --headless --accept=pipe,name=" + mark + ";urp;");
  // An office with windows that another container left to the person (who
  // may have a letter to save there), with its profile.
  pid_t left = DeadProcess();
  const std::string leftMark = "kup_lo_" + std::to_string(left) + "_1_8";
  const std::string leftProfile = tmp.path + "/kup-lo-" + std::to_string(left) + "-1";
  std::filesystem::create_directories(leftProfile + "/user");
  pid_t shown = FakeOffice("soffice --norestore --accept=pipe,name=" + leftMark + ";urp;");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  kup::lo::SweepLeftovers(tmp.path);
  int status = 0;
  EXPECT_EQ(::waitpid(orphan, &status, 0), orphan);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_FALSE(std::filesystem::exists(pipe));
  EXPECT_FALSE(std::filesystem::exists(profile));
  EXPECT_TRUE(std::filesystem::exists(alive)) << "a living container's profile stays";
  EXPECT_EQ(::waitpid(shown, &status, WNOHANG), 0) << "the person's office was ended";
  EXPECT_TRUE(std::filesystem::exists(leftProfile));
  ::kill(shown, SIGKILL);
  ::waitpid(shown, nullptr, 0);
  // Once the person closed it, what it leaves goes.
  kup::lo::SweepLeftovers(tmp.path);
  EXPECT_FALSE(std::filesystem::exists(leftProfile));
}

}  // namespace
