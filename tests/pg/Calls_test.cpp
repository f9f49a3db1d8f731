// Stored-procedure calls through the session on a real server: values both
// ways, the server's conversions, every failure with its SQLSTATE, the
// lost connection and its one reconnection.
#include <chrono>
#include <thread>

#include "PgSupport.h"

using kup::Value;
using pgtest::PgTest;
using PgCalls = PgTest;
namespace ora = kup::ora;

namespace {

constexpr int32_t In = ora::ParamInput, Out = ora::ParamOutput, InOut = ora::ParamInputOutput;
constexpr int32_t Txt = ora::TypeVarchar, Clob = ora::TypeClob;

const std::string k5Mo = [] {
  std::string s;
  while (s.size() < 5'000'000) s += "<p>Dossier PC 035 001 24 A0042 : extension de 20 m², accord.</p>\n";
  return s;
}();

struct CallCase {
  const char* what;
  const char* procedure;
  std::vector<PgTest::Param> params;
  std::vector<std::pair<std::string, Value>> expected;  // values read after the call
};

TEST_F(PgCalls, ValuesTravelBothWaysAsTheCallersExpect) {
  const Value null = Value::null();
  std::string page = "<p>{LIST_IDENT} par {UTILISATEUR}</p>";
  const std::vector<CallCase> cases = {
      {"in, in-out and out text",
       "PK_TEST.ECHO",
       {{"a", In, Txt, "é à ü"}, {"b", InOut, Txt, "b"}, {"c", Out, Txt, null}},
       {{"b", "b!"}, {"c", "é à ü"}}},
      {"5 MB both ways as CLOB",
       "PK_TEST.ECHO",
       {{"a", In, Clob, k5Mo}, {"b", InOut, Clob, k5Mo}, {"c", Out, Clob, null}},
       {{"b", k5Mo + "!"}, {"c", k5Mo}}},
      {"null stays null, \"\" goes as null",
       "PK_TEST.ECHO",
       {{"a", In, Txt, ""}, {"b", InOut, Clob, null}, {"c", Out, Txt, null}},
       {{"b", null}, {"c", null}}},
      {"an empty out text reads as Null",
       "pk_test.nuls",
       {{"x", In, Txt, ""}, {"n", Out, Txt, null}, {"v", Out, Txt, null}, {"l", Out, Txt, null}},
       {{"n", null}, {"v", null}, {"l", null}}},
      {"numbers converted by the server",
       "PK_TEST.SOMME",
       {{"a", In, Txt, "21"}, {"b", In, Txt, " 2.5 "}, {"s", Out, Txt, null}},
       {{"s", "23.5"}}},
      {"a large out text",
       "PK_TEST.GRAND",
       {{"n", In, Txt, "3000000"}, {"t", Out, Clob, null}},
       {{"t", [] {
           std::string s;
           for (int i = 0; i < 2999999; ++i) s += "é";
           return s + "Z";
         }()}}},
      {"the HTML merge as the report command binds it",
       "PK_RAP_HTML.FUSIONNERHTML",
       {{"fic_html", InOut, Clob, page},
        {"LIST_IDENT", In, Txt, "12<13 x' onmouseover=\"a"},
        {"fic_res", InOut, Clob, " "},
        {"coderr", Out, Txt, null},
        {"liberr", Out, Txt, null}},
       {{"fic_res", "<p>12&lt;13 x&#39; onmouseover=&quot;a par kup_test</p>"}, {"fic_html", page}, {"coderr", null}}},
  };
  connect();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(call(c.procedure, c.params)) << errorsText();
    for (const auto& [name, value] : c.expected) {
      Value got = s->vParameterValue(name);
      EXPECT_TRUE(got == value) << name << ": " << (got.isNull() ? "Null" : kup::CStr(got).substr(0, 80));
    }
  }
  EXPECT_TRUE(errors().empty()) << errorsText();
}

struct FailureCase {
  const char* what;
  const char* procedure;
  std::vector<PgTest::Param> params;
  const char* source;
  const char* state;
  const char* fragment;
};

TEST_F(PgCalls, FailuresCarryTheSqlstateAndTheServerText) {
  const std::vector<FailureCase> cases = {
      {"a procedure that raises",
       "PK_TEST.LEVER",
       {{"c", In, Txt, "KUP01"}, {"m", In, Txt, "dossier verrouillé"}},
       "bExecuteSQL", "KUP01", "dossier verrouillé"},
      {"a procedure that does not exist", "PK_TEST.ABSENTE", {}, "bExecuteSQL", "42883", "pk_test.absente"},
      {"text the server cannot make a number", "PK_TEST.SOMME",
       {{"a", In, Txt, "vingt"}, {"b", In, Txt, "1"}, {"s", Out, Txt, Value::null()}},
       "bExecuteSQL", "22P02", "vingt"},
      // libpq would cut the text at the NUL byte and the call would succeed.
      {"a NUL byte in a text", "PK_TEST.ECHO",
       {{"a", In, Txt, std::string("ab\0cd", 5)}, {"b", InOut, Txt, "x"}, {"c", Out, Txt, Value::null()}},
       "bExecuteSQL", "22021", ""},
      {"a NUL byte in a CLOB", "PK_TEST.ECHO",
       {{"a", In, Clob, std::string("ab\0cd", 5)}, {"b", InOut, Txt, "x"}, {"c", Out, Txt, Value::null()}},
       "bAddParameters", "22021", ""},
      {"out values that do not match the parameters", "PK_TEST.ECHO",
       {{"a", In, Txt, "a"}, {"b", InOut, Txt, "b"}, {"c", In, Txt, "c"}},
       "bExecuteSQL", "07002", "PK_TEST.ECHO"},
      {"directions at other places than the procedure's", "PK_TEST.ECHO",
       {{"a", InOut, Txt, "a"}, {"b", In, Txt, "b"}, {"c", Out, Txt, Value::null()}},
       "bExecuteSQL", "07002", "paramètre 1 (a)"},
      {"a name the server would not read as one", "PK_TEST.EC#HO", {}, "bExecuteSQL", "42602", "EC#HO"},
      {"a name that is not plain at all", "PK_TEST.RIEN; SELECT 1", {}, "bExecuteSQL", "42602", "RIEN; SELECT 1"},
      // The server would cut it to 63 bytes and run whatever that names.
      {"a name over 63 bytes", "PK_TEST.RIEN_AU_NOM_BIEN_PLUS_LONG_QUE_LES_SOIXANTE_TROIS_OCTETS_PERMIS_ICI", {},
       "bExecuteSQL", "42602", "63"},
  };
  connect();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    t.flash.clear();
    EXPECT_FALSE(call(c.procedure, c.params, false));
    EXPECT_TRUE(reported(c.source, c.state, c.fragment)) << errorsText();
    // The session stays usable after each failure.
    EXPECT_TRUE(call("PK_TEST.SESSION", {{"p", Out, Txt, Value::null()}}, false)) << errorsText();
  }
}

// Waits until the server has ended that process.
bool Gone(pgtest::RawConnection& raw, const std::string& pid) {
  for (int i = 0; i < 500; ++i) {
    if (raw.value("select count(*) from pg_stat_activity where pid = " + pid) == "0") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(PgCalls, ALostConnectionIsSeenAndReopenedOncePerCall) {
  connect();
  pgtest::RawConnection raw;
  ASSERT_TRUE(raw.ok()) << PQerrorMessage(raw.c);
  auto pid = [&] {
    EXPECT_TRUE(call("PK_TEST.SESSION", {{"p", Out, Txt, Value::null()}}, false)) << errorsText();
    return kup::CStr(s->vParameterValue("p"));
  };

  // Ended from outside while idle: the next call sees it before binding and
  // logs on again.
  std::string first = pid();
  ASSERT_EQ(raw.value("select pg_terminate_backend(" + first + ")"), "t");
  ASSERT_TRUE(Gone(raw, first));
  EXPECT_FALSE(backend().isConnected());
  // Without the reconnection test the failure is reported.
  EXPECT_FALSE(call("PK_TEST.SESSION", {{"p", Out, Txt, Value::null()}}, false));
  EXPECT_TRUE(reported("bExecuteSQL", "57P01") || reported("bExecuteSQL", "08006") ||
              reported("bExecuteSQL", "08003"))
      << errorsText();
  t.flash.clear();
  ASSERT_TRUE(call("PK_TEST.ECHO", {{"a", In, Txt, "a"}, {"b", InOut, Txt, "b"}, {"c", Out, Txt, Value::null()}}));
  EXPECT_EQ(s->vParameterValue("c"), Value("a"));
  EXPECT_TRUE(errors().empty()) << errorsText();
  EXPECT_NE(pid(), first);

  // Ended during the call: the call reports the server's own word; the
  // next call reconnects, one without parameters as well.
  EXPECT_FALSE(call("PK_TEST.INTERROMPRE", {}));
  EXPECT_TRUE(reported("bExecuteSQL", "57P01", "terminating connection")) << errorsText();
  t.flash.clear();
  EXPECT_TRUE(call("PK_TEST.ECHO", {{"a", In, Txt, "z"}, {"b", InOut, Txt, "b"}, {"c", Out, Txt, Value::null()}}));
  EXPECT_EQ(s->vParameterValue("c"), Value("z"));
  EXPECT_TRUE(errors().empty()) << errorsText();
  std::string last = pid();
  ASSERT_EQ(raw.value("select pg_terminate_backend(" + last + ")"), "t");
  ASSERT_TRUE(Gone(raw, last));
  EXPECT_TRUE(call("PK_TEST.RIEN", {})) << errorsText();
  EXPECT_TRUE(errors().empty()) << errorsText();
}

// A long text holding a NUL byte is refused: its call is not sent, since
// values go by position, and the next call starts afresh.
TEST_F(PgCalls, ARefusedParameterStopsItsCallAndOnlyIt) {
  connect();
  const std::string nul("al\0ice", 6), mark = "virement-" + std::to_string(::getpid());
  auto virement = [&](const Value& de) {
    return call("PK_TEST.VIREMENT", {{"de", In, Clob, de}, {"vers", In, Txt, mark},
                                     {"r", Out, Txt, Value::null()}, {"montant", In, Txt, "10"}});
  };
  EXPECT_FALSE(virement(nul));
  EXPECT_TRUE(reported("bAddParameters", "22021") && errors().size() == 1) << errorsText();
  EXPECT_TRUE(virement("alice")) << errorsText();
  EXPECT_EQ(Marks("alice>" + mark + ":10"), 1);
  EXPECT_EQ(Marks(mark + ">-:0"), 0);
}

}  // namespace
