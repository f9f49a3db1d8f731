// The shipped korvane under the bridge client, as the interface drives it:
// the logon on the real server, then an HTML sheet merged by the stored
// procedure, written in TEMP and handed to the program that opens pages.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>

#include "PgSupport.h"
#include "tests/e2e/Child.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

TEST(PgBridge, LogonThenHtmlMergeThroughKorvane) {
  ASSERT_FALSE(pgtest::Env("PGHOST").empty());
  fs::path dir = fs::path("/tmp") / ("kup-pge-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::path fiche = dir / "Modeles" / "FicheHTML" / "fiche.html";
  Write(fiche, "<html>\r\n<p>Dossiers {LIST_IDENT} \xE9tudi\xE9s par {UTILISATEUR}</p>\r\n</html>\r\n");
  fs::create_directories(dir / "Temp");
  // Stands in for xdg-open: notes the page it was given.
  Write(dir / "bin" / "xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > " + (dir / "ouvert.txt").string() + "\n");
  ::chmod((dir / "bin" / "xdg-open").c_str(), 0755);
  Write(dir / "session.txt",
        "KUP_Parametres | 0{240}1{240}2{240}3{240}EDITION{240}REP_MODELE{240}6{240}7{240}" + (dir / "Modeles").string() +
            "{241}0{240}1{240}2{240}3{240}DDE{240}MODE{240}6{240}7{240}0\n"
            "KUP_ChaineSQL | korvane\n"
            "Connexion | kup_test | kup_test_mdp\n"
            "KUP_FicheHtmlOuvrir | " + fiche.string() + " | PC 035 001 24 A0042\n");

  e2e::Child c({e2e::ProgramPath("kup_bridge_client"), "--session", (dir / "session.txt").string(), "--timeout", "30",
                "--", e2e::ProgramPath("korvane")},
               true, {}, {"TEMP=" + (dir / "Temp").string(), "PATH=" + (dir / "bin").string() + ":" + pgtest::Env("PATH")});
  ASSERT_TRUE(c.started());
  std::string text = c.readAll(60000);
  auto status = c.wait(60000);
  ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << text;

  std::vector<std::string> rets;
  std::istringstream lines(text);
  for (std::string l; std::getline(lines, l);)
    if (l.rfind("< RET ", 0) == 0) rets.push_back(l.substr(6));
  ASSERT_EQ(rets.size(), 4u) << text;
  EXPECT_EQ(rets[2], "Connexion |  | ") << text;
  std::string prefix = "KUP_FicheHtmlOuvrir | " + (dir / "Temp").string() + "\\";
  ASSERT_EQ(rets[3].rfind(prefix, 0), 0u) << text;
  std::string name = rets[3].substr(prefix.size(), rets[3].find(" |", prefix.size()) - prefix.size());
  EXPECT_EQ(rets[3], prefix + name + " |  | ");
  EXPECT_EQ(Read(dir / "Temp" / name),
            "<html><p>Dossiers PC 035 001 24 A0042 \xE9tudi\xE9s par kup_test</p></html>\r\n");
  for (int i = 0; i < 500 && !fs::exists(dir / "ouvert.txt"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(Read(dir / "ouvert.txt"), (dir / "Temp" / name).string());
  fs::remove_all(dir);
}

}  // namespace

namespace {

// A request as the session files write it ("name | value | ...").
std::string Request(const std::string& line) { return kup::bridgeclient::ParseSessionLine(line, 1)->xml; }

// korvane waits for the server (a logon check held up by another session's
// lock): the end of its input, or SIGTERM, still ends it at once, as it
// would between requests.
TEST(PgBridge, TheEndOfInputOrSigtermEndsKorvaneWhileItWaitsForTheServer) {
  ASSERT_FALSE(pgtest::Env("PGHOST").empty());
  for (bool signal : {false, true}) {
    SCOPED_TRACE(signal ? "SIGTERM" : "end of input");
    pgtest::RawConnection holder;
    ASSERT_TRUE(holder.ok());
    holder.value("select pg_advisory_lock(4242)");
    e2e::Child c({e2e::ProgramPath("korvane")}, true);
    ASSERT_TRUE(c.started());
    ASSERT_TRUE(c.request(Request("KUP_ChaineSQL | dbname=korvane connect_timeout=30")));
    c.untilRet();
    ASSERT_TRUE(c.request(Request("Connexion | kup_lent | kup_lent_mdp")));
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    auto start = std::chrono::steady_clock::now();
    if (signal) ::kill(c.pid(), SIGTERM);
    else c.closeInput();
    auto status = c.wait(8000);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    holder.value("select pg_advisory_unlock(4242)");
    ASSERT_TRUE(status) << c.log();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << c.log();
    EXPECT_LT(took, 4.0);
  }
}

}  // namespace
