// A call under faults on a real server: its time limit, the host's stop
// (the end of the input, a signal), the connection lost before or after the
// commit, and out values that cannot match.
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <unistd.h>

#include "PgSupport.h"
#include "data/OraCallStop.h"

using kup::Value;
using pgtest::PgTest;
using pgtest::ScopedEnv;
namespace ora = kup::ora;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int32_t In = ora::ParamInput, Out = ora::ParamOutput;
constexpr int32_t Txt = ora::TypeVarchar;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// A mark of this test run for pk_test.ecrire.
std::string Mark() {
  static int n = 0;
  return "marque-" + std::to_string(::getpid()) + "-" + std::to_string(++n);
}

struct PgFaults : PgTest {
  void TearDown() override { kup::oracallstop::Reset(); }
  bool ecrire(const std::string& mark, const char* before, const char* after) {
    return call("PK_TEST.ECRIRE", {{"m", In, Txt, mark}, {"a", In, Txt, before}, {"p", In, Txt, after}});
  }
};

TEST_F(PgFaults, TheTimeLimitOfACallIsTheSitesAlone) {
  struct Case {
    const char* what;
    std::string database;
    std::vector<std::pair<const char*, std::string>> env;
    const char* limit;
  };
  const std::vector<Case> cases = {
      {"nothing set: none", "korvane", {}, "0"},
      {"set in the database text", "dbname=korvane options='-c statement_timeout=1500'", {}, "1500ms"},
      {"set in the environment", "korvane", {{"PGOPTIONS", "-c statement_timeout=1200"}}, "1200ms"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnv env(c.env);
    connect(c.database);
    ASSERT_TRUE(call("PK_TEST.REGLAGES", {{"d", Out, Txt, Value::null()}, {"c", Out, Txt, Value::null()}}))
        << errorsText();
    EXPECT_EQ(s->vParameterValue("d"), Value(c.limit));
    // The server looks out for a client that died.
    EXPECT_EQ(s->vParameterValue("c"), Value("1s"));
  }
  // A call that reaches it: the server's cancellation, the session usable after.
  t.flash.clear();
  auto start = Clock::now();
  EXPECT_FALSE(call("PK_TEST.DORMIR", {{"n", In, Txt, "5"}}));
  EXPECT_LT(Since(start), 4.0);
  EXPECT_TRUE(reported("bExecuteSQL", "57014")) << errorsText();
  EXPECT_TRUE(call("PK_TEST.RIEN", {})) << errorsText();
}

std::atomic<int> gEarlierHandler{0};

TEST_F(PgFaults, TheEndOfTheInputOrASignalCancelsTheCallOnTheServer) {
  struct sigaction earlier {}, old {};
  earlier.sa_handler = [](int) { ++gEarlierHandler; };
  sigemptyset(&earlier.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR1, &earlier, &old), 0);
  struct Case {
    const char* what;
    bool input, requestsWaiting, stops;
  };
  const std::vector<Case> cases = {
      {"the end of the input", true, false, true},
      {"the end of the input, requests read before it still waiting", true, true, false},
      {"a signal", false, false, true},
  };
  connect();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    kup::oracallstop::Reset();
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    if (c.input) kup::oracallstop::WatchInput(input[0], [&c] { return c.requestsWaiting; });
    else kup::oracallstop::WatchSignals({SIGUSR1});
    std::thread later([&] {
      std::this_thread::sleep_for(300ms);
      if (c.input) ::close(input[1]);
      else ::kill(::getpid(), SIGUSR1);
    });
    std::string mark = Mark();
    t.flash.clear();
    auto start = Clock::now();
    bool ran = ecrire(mark, "1.5", "0");
    later.join();
    if (!c.input) ::close(input[1]);
    ::close(input[0]);
    if (!c.stops) {
      EXPECT_TRUE(ran) << errorsText();
      EXPECT_EQ(Marks(mark), 1);
      continue;
    }
    EXPECT_FALSE(ran);
    EXPECT_LT(Since(start), 1.2);
    EXPECT_TRUE(reported("bExecuteSQL", "57014")) << errorsText();
    // Cancelled on the server: the mark never comes.
    std::this_thread::sleep_until(start + 2s);
    EXPECT_EQ(Marks(mark), 0);
    // The program is ending: a later call is not even sent.
    t.flash.clear();
    EXPECT_FALSE(call("PK_TEST.RIEN", {}));
    EXPECT_TRUE(reported("bExecuteSQL", "57014")) << errorsText();
  }
  EXPECT_EQ(gEarlierHandler, 1);  // the signal still reached its handler
  ::sigaction(SIGUSR1, &old, nullptr);
}

TEST_F(PgFaults, ALostConnectionEndsTheCallOnTheServerOrLeavesItsOutcomeUnknown) {
  struct Case {
    const char* what;
    const char *before, *after;  // seconds around the commit
    int marks;
  };
  const std::vector<Case> cases = {
      {"lost before the commit: the server ends the orphaned call", "3", "0", 0},
      {"lost after the commit: the row is there once", "0", "2", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    pgtest::Relay network;
    connect(network.database());
    std::string mark = Mark();
    t.flash.clear();
    std::thread later([&] {
      std::this_thread::sleep_for(500ms);
      network.cut();
    });
    auto start = Clock::now();
    EXPECT_FALSE(ecrire(mark, c.before, c.after));
    later.join();
    EXPECT_LT(Since(start), 1.5);
    EXPECT_TRUE(reported("bExecuteSQL", "08006", "issue est inconnue")) << errorsText();
    std::this_thread::sleep_until(start + 4500ms);
    EXPECT_EQ(Marks(mark), c.marks);
    s.reset();
  }
}

TEST_F(PgFaults, OutValuesThatCannotMatchAreRefusedBeforeTheCall) {
  connect();
  for (int i = 0; i < 2; ++i) {  // the second time from what the session learnt
    std::string mark = Mark();
    t.flash.clear();
    EXPECT_FALSE(call("PK_TEST.ECRIRE", {{"m", In, Txt, mark}, {"a", In, Txt, "0"}, {"p", Out, Txt, Value::null()}}));
    EXPECT_TRUE(reported("bExecuteSQL", "07002", "PK_TEST.ECRIRE")) << errorsText();
    EXPECT_EQ(Marks(mark), 0);
  }
  // The site mends a procedure while the session lasts: its refusal is not kept.
  pgtest::RawConnection raw;
  ASSERT_TRUE(raw.ok());
  auto define = [&](const char* parameters) {
    raw.value("DROP PROCEDURE IF EXISTS pk_essai.corrigee");
    raw.value(std::string("CREATE PROCEDURE pk_essai.corrigee(") + parameters +
              ") LANGUAGE plpgsql AS $$ BEGIN INSERT INTO pk_test.journal VALUES (p_a); p_b := p_a; END $$");
  };
  const std::vector<Param> params = {{"a", In, Txt, "x"}, {"b", Out, Txt, Value::null()}};
  define("p_a text, p_b text");
  EXPECT_FALSE(call("PK_ESSAI.CORRIGEE", params));
  EXPECT_TRUE(reported("bExecuteSQL", "07002", "PK_ESSAI.CORRIGEE")) << errorsText();
  define("p_a text, OUT p_b text");
  t.flash.clear();
  EXPECT_TRUE(call("PK_ESSAI.CORRIGEE", params)) << errorsText();
  EXPECT_EQ(s->vParameterValue("b"), Value("x"));

  // Replaced again under the signature the session read: the call runs and
  // says so; the next one reads the signature again and is not sent.
  define("p_a text, p_b text");
  for (const std::string said : {"a été exécutée", "appel non envoyé"}) {
    std::string mark = Mark();
    t.flash.clear();
    EXPECT_FALSE(call("PK_ESSAI.CORRIGEE", {{"a", In, Txt, mark}, {"b", Out, Txt, Value::null()}}));
    EXPECT_TRUE(reported("bExecuteSQL", "07002", said)) << errorsText();
    EXPECT_EQ(Marks(mark), said == "a été exécutée" ? 1 : 0);
  }
}

}  // namespace
