#pragma once
// A scriptable database for tests. The database state (users, procedures,
// LOBs, the calls made) lives in a FakeOraDatabase that the test keeps; each
// session gets a FakeOraBackend on it through FakeOraFactory.
//
//   auto db = std::make_shared<kup::FakeOraDatabase>();
//   db->addProcedure("PK_RAP_HTML.FUSIONNERHTML", [](kup::FakeOraCall& c) {
//     c.out("fic_res", "<html>" + kup::CStr(c.in("fic_html")) + "</html>");
//   });
//   kup::Connexion(app, args, kup::FakeOraFactory(db));
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "data/OraBackend.h"

namespace kup {

struct FakeOraDatabase;

// One stored-procedure call as a script sees it.
class FakeOraCall {
 public:
  FakeOraCall(FakeOraDatabase& db, std::string procedure, std::vector<OraParameter>& parameters)
      : db_(db), procedure_(std::move(procedure)), params_(parameters) {}
  const std::string& procedure() const { return procedure_; }
  // The bound value: a CLOB's text, Null for a null value; raises 5 for an unknown name.
  Value in(const std::string& name) const;
  // Sets an out value (a CLOB gets that text, Null makes it null).
  void out(const std::string& name, const Value& value);
  // Fails the call as the server would.
  [[noreturn]] void fail(int32_t code, const std::string& message);

 private:
  OraParameter& param(const std::string& name) const;
  FakeOraDatabase& db_;
  std::string procedure_;
  std::vector<OraParameter>& params_;
};

struct FakeOraDatabase {
  using Procedure = std::function<void(FakeOraCall&)>;
  // Procedures by name, compared without regard to case.
  void addProcedure(const std::string& name, Procedure p);

  // Logon: any user is accepted unless onLogon raises (or refuse() was called).
  std::function<void(const std::string& database, const std::string& user, const std::string& password)> onLogon;
  void refuse(int32_t code, const std::string& message);

  // What happened.
  struct Executed {
    std::string block;
    std::string procedure;
    std::vector<OraParameter> parameters;  // as bound, before the call
    std::map<std::string, Value> inValues;  // name -> bound value (CLOB text included)
  };
  std::vector<Executed> executed;
  int logons = 0, logoffs = 0, reconnects = 0;
  std::string database, user, password;  // of the last logon

  // Connection state; dropConnection() simulates a lost connection.
  bool connected = false;
  bool reconnectFails = false;
  void dropConnection() { connected = false; }

  // LOBs: content by handle; temporary ones until freed.
  std::map<int64_t, std::string> lobs;
  std::set<int64_t> temporary;
  int64_t nextLob = 1;
  size_t liveTemporaryLobs() const { return temporary.size(); }

  std::map<std::string, Procedure> procedures;  // upper-cased names
};

class FakeOraBackend : public IOraBackend {
 public:
  explicit FakeOraBackend(std::shared_ptr<FakeOraDatabase> db) : db_(std::move(db)) {}
  void logon(const std::string& database, const std::string& user, const std::string& password) override;
  void logoff() override;
  bool isConnected() override;
  void reconnect() override;
  int64_t createTemporaryClob(const std::string& text) override;
  void freeTemporaryLob(int64_t lob) override;
  std::string readClob(int64_t lob) override;
  void execute(const std::string& block, std::vector<OraParameter>& parameters) override;

 private:
  std::shared_ptr<FakeOraDatabase> db_;
};

OraBackendFactory FakeOraFactory(std::shared_ptr<FakeOraDatabase> db);

}  // namespace kup
