// Stored-procedure calls through the session (ApOraSession on PgOraBackend)
// against the same calls made with bare libpq on the same server: a small
// call (three text parameters) and the 5 MB HTML merge as the report command
// binds it. Each session call is paired with a bare call made just before
// it, so that both see the same load of the machine; each reports its
// median and the ratio of the medians (target: at most 1.1).
//
// The benchmark starts a throw-away cluster of its own (scripts/pg-fixture.sh)
// and stops it at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <libpq-fe.h>

#include "Floor.h"
#include "core/App.h"
#include "data/ApOraSession.h"
#include "data/PgOraBackend.h"
#include "platform/FakePlatform.h"

namespace {

namespace ora = kup::ora;
const std::string kDir = "/tmp/kup-pg-bench";
const std::string kScript =
    (std::filesystem::path(__FILE__).parent_path().parent_path() / "scripts" / "pg-fixture.sh").string();

struct Bench {
  bool ok = false;
  std::unique_ptr<kup::App> app;
  std::shared_ptr<kup::ApOraSession> session;
  PGconn* bare = nullptr;
  std::string page;

  Bench() {
    if (std::system(("bash " + kScript + " start " + kDir + " >/dev/null").c_str()) != 0) return;
    ::setenv("PGHOST", kDir.c_str(), 1);
    ::setenv("PGPORT", "5432", 1);
    app = std::make_unique<kup::App>(kup::platform::MakeFakePlatform());
    session = std::make_shared<kup::ApOraSession>(*app, std::make_unique<kup::PgOraBackend>());
    try {
      session->logon("korvane", "kup_test", "kup_test_mdp");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "logon: %s\n", e.what());
      return;
    }
    bare = PQconnectdb("dbname=korvane user=kup_test password=kup_test_mdp client_encoding=UTF8");
    ok = PQstatus(bare) == CONNECTION_OK;
    while (page.size() < 5'000'000) page += "<tr><td>Dossier {LIST_IDENT}</td><td>extension de 20 m²</td></tr>\n";
  }
  ~Bench() {
    session.reset();
    PQfinish(bare);
    std::system(("bash " + kScript + " stop " + kDir + " >/dev/null 2>&1").c_str());
  }
};

Bench& Shared() {
  static Bench b;
  return b;
}

template <class F>
double Ms(F&& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// A bare CALL: the values by position, the out values read into strings.
bool BareCall(PGconn* c, const char* sql, std::vector<const char*> values, std::vector<std::string>& out) {
  PGresult* r = PQexecParams(c, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
  bool ok = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1;
  out.clear();
  for (int i = 0; ok && i < PQnfields(r); ++i) out.emplace_back(PQgetvalue(r, 0, i), PQgetlength(r, 0, i));
  PQclear(r);
  return ok;
}

void Report(benchmark::State& state, const std::vector<double>& session, const std::vector<double>& bare) {
  double m = kup::bench::Median(session), b = kup::bench::Median(bare);
  state.counters["session_median_ms"] = m;
  state.counters["libpq_median_ms"] = b;
  if (b > 0) state.counters["ratio"] = m / b;
}

void BM_SmallCall(benchmark::State& state) {
  Bench& b = Shared();
  if (!b.ok) return state.SkipWithError("no cluster");
  std::vector<double> ms, floor;
  std::vector<std::string> out;
  bool ok = true;
  for (auto _ : state) {
    floor.push_back(Ms([&] { ok &= BareCall(b.bare, "CALL PK_TEST.ECHO($1,$2,$3)", {"dossier", "12", nullptr}, out); }));
    ms.push_back(Ms([&] {
      auto& s = *b.session;
      ok &= s.bInitParameters("PK_TEST.ECHO");
      ok &= s.bAddParameters("a", ora::ParamInput, ora::TypeVarchar, kup::Value("dossier"), true);
      ok &= s.bAddParameters("b", ora::ParamInputOutput, ora::TypeVarchar, kup::Value("12"), true);
      ok &= s.bAddParameters("c", ora::ParamOutput, ora::TypeVarchar, kup::Value::null(), true);
      ok &= s.bExecuteSQL("PK_TEST.ECHO");
      ok &= s.vParameterValue("c").isString() && s.vParameterValue("b").isString();
    }));
    state.SetIterationTime(ms.back() / 1000);
  }
  if (!ok) state.SkipWithError("a call failed");
  Report(state, ms, floor);
}

void BM_Merge5MB(benchmark::State& state) {
  Bench& b = Shared();
  if (!b.ok) return state.SkipWithError("no cluster");
  std::vector<double> ms, floor;
  std::vector<std::string> out;
  bool ok = true;
  for (auto _ : state) {
    floor.push_back(Ms([&] {
      ok &= BareCall(b.bare, "CALL PK_RAP_HTML.FUSIONNERHTML($1,$2,$3,$4,$5)",
                     {b.page.c_str(), "PC 035 001 24 A0042", " ", nullptr, nullptr}, out);
      ok &= out.size() == 4 && out[1].size() > 5'000'000;
    }));
    ms.push_back(Ms([&] {
      auto& s = *b.session;
      bool r = s.bInitParameters("PK_RAP_HTML.FUSIONNERHTML");
      s.bAddParameters("fic_html", 3, 112, kup::Value(b.page), r);
      s.bAddParameters("LIST_IDENT", 1, 9, kup::Value("PC 035 001 24 A0042"), r);
      s.bAddParameters("fic_res", 3, 112, kup::Value(" "), r);
      s.bAddParameters("coderr", 2, 9, kup::Value::null(), r);
      s.bAddParameters("liberr", 2, 9, kup::Value::null(), r);
      ok &= s.bExecuteSQL("PK_RAP_HTML.FUSIONNERHTML");
      ok &= s.vParameterValue("fic_res").str().size() > 5'000'000;
    }));
    state.SetIterationTime(ms.back() / 1000);
  }
  if (!ok) state.SkipWithError("a call failed");
  Report(state, ms, floor);
}

}  // namespace

BENCHMARK(BM_SmallCall)->Unit(benchmark::kMicrosecond)->Iterations(3000)->UseManualTime();
BENCHMARK(BM_Merge5MB)->Unit(benchmark::kMillisecond)->Iterations(40)->UseManualTime();

BENCHMARK_MAIN();
