#pragma once
// The session's database: a PostgreSQL server through libpq.
//
// A package is a schema and a stored procedure a PROCEDURE: the block
// "begin PK.PROC(:a,:b); end;" runs as CALL PK.PROC($1,$2), the values bound
// by position in the order the parameters were added, their types left to
// the server (which converts text to numbers). Out parameters are passed as
// NULL; the row CALL returns holds the in-out and out values in the order
// they were added. A CLOB is text; its LOBs are handles inside this object.
// The callers were written for a server on which an empty text is null: ""
// is bound as NULL and an empty out value reads as Null. Every call commits
// on its own.
//
// Logon: the database text is a database name (the server then comes from
// PGHOST/PGPORT), "service=NAME" (an entry of pg_service.conf) or a whole
// connection string; the user and password given always win over any inside
// it. Then the logon check PK_CONNEXION.VERIFIER runs.
//
// Every failure raises VbError(SqlStateNumber(state), state + ": " + the
// server's text); failures found on this side use a standard SQLSTATE too
// (08001 no server, 08003 not connected, 28000 empty credentials, 22021 a NUL
// byte, 42602 a name that is not an identifier, 07002 out values that do not
// match).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "data/OraBackend.h"

struct pg_conn;

namespace kup {

// The VB error number of a SQLSTATE: its five characters read as a number in
// base 36 (digits 0-9, then A-Z for 10-35). "P0001" gives 41990401, "28P01"
// 3764881. Every error class is "01" or above, so the number is at least 46656:
// never 440 nor -404, which the error routine treats apart. Anything that is
// not a five-character SQLSTATE counts as XX000 (internal error).
int32_t SqlStateNumber(const std::string& sqlstate);

class PgOraBackend : public IOraBackend {
 public:
  PgOraBackend() = default;
  ~PgOraBackend() override;
  PgOraBackend(const PgOraBackend&) = delete;
  PgOraBackend& operator=(const PgOraBackend&) = delete;

  void logon(const std::string& database, const std::string& user, const std::string& password) override;
  void logoff() override;
  bool isConnected() override;
  void reconnect() override;
  int64_t createTemporaryClob(const std::string& text) override;
  void freeTemporaryLob(int64_t lob) override;
  std::string readClob(int64_t lob) override;
  void execute(const std::string& block, std::vector<OraParameter>& parameters) override;

  // The server process of the session (0 when not connected), for traces.
  int serverProcess() const;

 private:
  void open();
  void close();
  void freeReturnedLobs();

  pg_conn* conn_ = nullptr;
  std::string database_, user_, password_;
  bool loggedOn_ = false;
  std::map<int64_t, std::string> lobs_;
  std::vector<int64_t> returned_;  // LOBs the last call returned
  int64_t nextLob_ = 1;
};

}  // namespace kup
