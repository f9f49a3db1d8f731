// The server stops under a logged-on session (on a cluster of this test's
// own: the others share theirs). The next call tries one reconnection, then
// reports it once; once the server is back the call after logs on again.
#include "PgSupport.h"

using kup::Value;
using pgtest::Env;

namespace {

struct PgServerStopped : pgtest::PgTest {
  int fixture(const std::string& action) {
    return std::system(("bash " + std::string(KUP_PG_FIXTURE) + " " + action + " " + Env("PGHOST") + " >/dev/null").c_str());
  }
};

TEST_F(PgServerStopped, TheNextCallTriesOneReconnectionThenReports) {
  connect();
  ASSERT_EQ(fixture("stop"), 0);
  const std::vector<Param> echo = {
      {"a", kup::ora::ParamInput, kup::ora::TypeVarchar, "a"},
      {"b", kup::ora::ParamInputOutput, kup::ora::TypeClob, "b"},
      {"c", kup::ora::ParamOutput, kup::ora::TypeVarchar, Value::null()}};
  EXPECT_FALSE(call("PK_TEST.ECHO", echo));
  // One attempt, not one per parameter, and one error.
  EXPECT_TRUE(reported("bAddParameters", "08001")) << errorsText();
  EXPECT_EQ(errors().size(), 1u) << errorsText();

  ASSERT_EQ(fixture("start"), 0);
  t.flash.clear();
  EXPECT_TRUE(call("PK_TEST.ECHO", echo)) << errorsText();
  EXPECT_EQ(s->vParameterValue("b"), Value("b!"));
}

}  // namespace
