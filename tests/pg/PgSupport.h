#pragma once
// The tests on a real PostgreSQL server. ctest starts a throw-away cluster
// (scripts/pg-fixture.sh, schema of sql/) and points PGHOST/PGPORT at it.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include "TestApp.h"
#include "core/Core.h"
#include "data/ApOraSession.h"
#include "data/PgOraBackend.h"
#include "tools/bridge_client/Session.h"

namespace pgtest {

inline const char* kUser = "kup_test";
inline const char* kPassword = "kup_test_mdp";

inline std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// A bare libpq connection as the test user, for what the container must not
// do itself (ending a session from outside).
struct RawConnection {
  PGconn* c = nullptr;
  RawConnection() {
    std::string info = "dbname=korvane user=" + std::string(kUser) + " password=" + kPassword;
    c = PQconnectdb(info.c_str());
  }
  ~RawConnection() { PQfinish(c); }
  bool ok() const { return PQstatus(c) == CONNECTION_OK; }
  // The first value of the first row ("" for none or a failure).
  std::string value(const std::string& sql) {
    PGresult* r = PQexec(c, sql.c_str());
    std::string v = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
    PQclear(r);
    return v;
  }
};

// An application over fakes whose session is a real one.
struct PgTest : ::testing::Test {
  TestApp t;
  std::shared_ptr<kup::ApOraSession> s;

  void SetUp() override {
    ASSERT_FALSE(Env("PGHOST").empty()) << "no cluster: run through ctest, or set PGHOST after "
                                           "scripts/pg-fixture.sh start";
  }
  void connect(const std::string& database = "korvane") {
    s = std::make_shared<kup::ApOraSession>(t.app, std::make_unique<kup::PgOraBackend>());
    s->logon(database, kUser, kPassword);
  }
  kup::PgOraBackend& backend() { return static_cast<kup::PgOraBackend&>(s->backend()); }

  struct Param {
    std::string name;
    int32_t direction, type;
    kup::Value value;
  };
  // One whole call as the callers make it; false when a step failed.
  bool call(const std::string& procedure, const std::vector<Param>& params, bool reconnection = true) {
    bool ok = s->bInitParameters(procedure);
    for (const auto& p : params) ok = s->bAddParameters(p.name, p.direction, p.type, p.value, reconnection) && ok;
    return s->bExecuteSQL(procedure) && ok;
  }

  // The errors sent to the interface: [source, number, description] each.
  std::vector<std::vector<std::string>> errors() const {
    std::vector<std::vector<std::string>> out;
    for (const auto& c : t.flash.calls) {
      auto d = kup::bridgeclient::DecodeCall(c);
      if (d.ok && d.name == "KUP_ErreurContainer") out.push_back(d.values);
    }
    return out;
  }
  // True when an error of that source and SQLSTATE was reported, its text
  // "STATE: ..." holding the fragment.
  bool reported(const std::string& source, const std::string& state, const std::string& fragment = {}) const {
    for (const auto& e : errors())
      if (e.size() == 3 && e[0] == source && e[1] == std::to_string(kup::SqlStateNumber(state)) &&
          e[2].rfind(state + ": ", 0) == 0 && e[2].find(fragment) != std::string::npos)
        return true;
    return false;
  }
  std::string errorsText() const {
    std::string out;
    for (const auto& e : errors()) {
      for (const auto& v : e) out += v + " | ";
      out += "\n";
    }
    return out;
  }
};

}  // namespace pgtest
