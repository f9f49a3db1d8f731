#pragma once
// The database behind the Oracle session: a real SQL server, or a fake for
// tests. The session binds named parameters and runs one anonymous block per
// stored-procedure call.
//
// Failures raise kup::VbError with the server's error code as the number and
// its message as the description.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vb/Value.h"

namespace kup {

struct App;

// Parameter directions and server types, as the callers number them.
namespace ora {
constexpr int32_t ParamInput = 1;
constexpr int32_t ParamOutput = 2;
constexpr int32_t ParamInputOutput = 3;
constexpr int32_t TypeVarchar = 9;
constexpr int32_t TypeClob = 112;
}  // namespace ora

struct OraParameter {
  std::string name;
  int32_t direction = ora::ParamInput;
  int32_t serverType = ora::TypeVarchar;
  // Text parameters: the bound value before the call, the value after it
  // (Null for a null value). CLOB parameters keep their content in the LOB.
  Value value = Value::null();
  // CLOB parameters: the LOB (a temporary LOB holding the bound text, or the
  // LOB the call returned); 0 for a null CLOB.
  int64_t lob = 0;
};

class IOraBackend {
 public:
  virtual ~IOraBackend() = default;
  // Opens the session on the database as that user and runs the logon.
  virtual void logon(const std::string& database, const std::string& user, const std::string& password) = 0;
  virtual void logoff() = 0;
  // False once the connection to the server has been lost.
  virtual bool isConnected() = 0;
  // One new attempt with the credentials of the logon; raises when it fails.
  virtual void reconnect() = 0;
  virtual int64_t createTemporaryClob(const std::string& text) = 0;
  virtual void freeTemporaryLob(int64_t lob) = 0;
  // The whole CLOB as text.
  virtual std::string readClob(int64_t lob) = 0;
  // Runs the block with the parameters bound by name; fills the out values.
  virtual void execute(const std::string& block, std::vector<OraParameter>& parameters) = 0;
};

// The VB error number of a SQLSTATE: its five characters read as a number in
// base 36 (digits 0-9, then A-Z for 10-35). "P0001" gives 41990401, "28P01"
// 3764881. Every error class is "01" or above, so the number is at least 46656:
// never 440 nor -404, which the error routine treats apart. Anything that is
// not a five-character SQLSTATE counts as XX000 (internal error).
int32_t SqlStateNumber(const std::string& sqlstate);

// Raises VbError(42602) unless the name is a plain procedure name the server
// reads as written: identifiers (a letter or "_", then letters, digits, "_"
// or "$") joined by single dots, each at most 63 bytes (the server would
// silently cut a longer one, and run whatever the shorter name names).
void CheckProcedureName(const std::string& name);

// Makes the backend of a new session; nullptr when this build has none.
using OraBackendFactory = std::function<std::unique_ptr<IOraBackend>(App&)>;

// The backend factory of this build: PostgreSQL through libpq (PgOraBackend.h).
OraBackendFactory DefaultOraBackendFactory();

}  // namespace kup
