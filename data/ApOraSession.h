#pragma once
// The Oracle session: one per application (app.G_OraSession), set by the
// command Connexion and unset while the user is not connected. One stored
// procedure is called at a time: bInitParameters, bAddParameters for each
// parameter, bExecuteSQL, then vParameterValue for the results.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/Dispatcher.h"
#include "vb/Value.h"
#include "data/OraBackend.h"

namespace kup {

class ApOraSession {
 public:
  ApOraSession(App& app, std::unique_ptr<IOraBackend> backend);
  ~ApOraSession();  // frees the temporary LOBs and logs off
  ApOraSession(const ApOraSession&) = delete;
  ApOraSession& operator=(const ApOraSession&) = delete;

  // Opens the session; raises VbError (server code, message) when refused.
  void logon(const std::string& database, const std::string& user, const std::string& password);
  bool connected() const { return connected_; }

  // Forgets the previous call's parameters, frees its temporary CLOBs and
  // remembers the procedure name. False (reported under "bInitParameters")
  // when freeing fails.
  bool bInitParameters(const std::string& procedure);
  // Adds a named parameter (direction ora::ParamInput/Output/InputOutput,
  // server type ora::TypeVarchar or ora::TypeClob). With reconnectionTest a
  // lost connection gets one reconnection attempt per call: once it has
  // failed, the following parameters of the same call do not try again, and
  // what then fails for want of the connection is not reported a second time.
  // False (reported under "bAddParameters") when the parameter cannot be added.
  bool bAddParameters(const std::string& name, int32_t direction, int32_t serverType, const Value& value,
                      bool reconnectionTest);
  // Runs "begin " & procedure & "(:p1,:p2,...)" & "; end;" (no parentheses
  // without parameters). After a parameter was refused the call is not sent
  // and the result is false. A name that is not plain (CheckProcedureName) is
  // refused with 42602 before anything is sent. A call without parameters
  // gets the one reconnection attempt here. A database failure is reported
  // under "bExecuteSQL" and the result is false.
  bool bExecuteSQL(const std::string& procedure);
  // The parameter's value after the call: a CLOB read whole as text, a null
  // value Null. Raises VbError for a name that was not bound.
  Value vParameterValue(const std::string& name);

  // The block text of the last bExecuteSQL, for traces and tests.
  const std::string& lastBlock() const { return lastBlock_; }
  const std::string& procedure() const { return procedure_; }
  const std::vector<OraParameter>& parameters() const { return params_; }
  IOraBackend& backend() { return *backend_; }

 private:
  OraParameter* find(const std::string& name);
  void freeLobs();
  void reconnectOnce();
  void report(const std::string& source, int32_t number, const std::string& description);

  App& app_;
  std::unique_ptr<IOraBackend> backend_;
  bool connected_ = false;
  std::string procedure_;
  std::string lastBlock_;
  std::vector<OraParameter> params_;
  std::vector<int64_t> temporaryLobs_;
  // Since the last bInitParameters.
  bool refused_ = false;
  bool reconnectionTried_ = false, reconnectionFailed_ = false, reconnectionReported_ = false;
};

// ---- the logon commands (module Mdl_Connexion)
// Connexion (user, password): replaces any session by a new one logged on to
// app.G_ChaineSQL through the factory's backend; answers "Connexion", "", ""
// or "Connexion", "-1" and the message. Without a factory (or a factory
// that makes no backend) it answers "-1" and a message saying so.
void Connexion(App& app, Args& args, const OraBackendFactory& factory);
// KUP_ChaineSQL (database name): keeps it in app.G_ChaineSQL; answers
// "KUP_ChaineSQL", "", "".
void KUP_ChaineSQL(App& app, Args& args);
// Registers Connexion (with DefaultOraBackendFactory(), or the given factory) and KUP_ChaineSQL.
void RegisterMdl_Connexion(CommandTable& table);
void RegisterMdl_Connexion(CommandTable& table, OraBackendFactory factory);

}  // namespace kup
