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
// it. The whole logon, the logon check PK_CONNEXION.VERIFIER included, keeps
// the connect time-out. No password reaches an error text: libpq's texts
// about the connection text or its options are never passed on (a fixed
// text names the option), and the server's texts, which hold no password
// of the logon's own, hide whatever piece of one the database text made
// the server read as a name or a value.
//
// A call waits for its answer. Its time limit is the site's, when it sets
// one: the server's statement_timeout (options=-c statement_timeout=... in
// the database text or the service entry, PGOPTIONS, or the role's
// settings). The server cancels the call itself (57014); should it not
// answer, the client cancels it, and closes the connection when even that
// gets no answer. The
// server checks every second that the client is still there, so that the
// call of a client that died ends. While a call waits, the host's stop
// (OraCallStop.h) cancels it.
//
// Every failure raises VbError(SqlStateNumber(state), state + ": " + the
// server's text); failures found on this side use a standard SQLSTATE too
// (08001 no server or no database text, 08003 not connected, 08006 the
// connection lost during a call, whose outcome is then unknown, 28000 empty
// credentials, 22021 a NUL byte, 42602 a name that is not plain, 07002 out
// values that do not match, 57014 a call cancelled).
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "data/OraBackend.h"

struct pg_conn;
struct pg_result;

namespace kup {


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
  // The time limit of a call, in milliseconds, as the server holds it (0:
  // none).
  int callLimitMs() const { return limitMs_; }

  // Warnings for the log (a logon over the network without a verified
  // certificate).
  std::function<void(const std::string&)> onWarning;

 private:
  enum class Wait { Done, TimedOut, Stopped };
  using Clock = std::chrono::steady_clock;

  void open();
  void close();
  void freeReturnedLobs();
  Clock::time_point callDeadline() const;
  Wait pump(pg_conn* c, Clock::time_point deadline, Clock::duration idle, bool watchStop);
  pg_result* run(pg_conn* c, const std::string& sql, const std::vector<const char*>* values,
                 Clock::time_point deadline, Clock::duration idle, const std::string& late);
  [[noreturn]] void failLogon(const std::string& sqlstate, const std::string& text);
  std::string scrub(std::string text) const;
  // The directions of the procedure's parameters, a letter each ('i' in,
  // 'o' out, 'b' both), when the catalogue names a single procedure taking
  // that many; "" when it cannot tell.
  std::string signatureOf(const std::string& procedure, size_t parameters);
  void warnIfUnverified(pg_conn* c);

  pg_conn* conn_ = nullptr;
  std::string database_, user_, password_;
  bool loggedOn_ = false;
  std::vector<std::string> secrets_;  // never shown: the passwords of the logon
  int limitMs_ = 0;
  std::map<std::string, std::string> signatures_;  // "procedure/parameters" -> signatureOf
  std::map<int64_t, std::string> lobs_;
  std::vector<int64_t> returned_;  // LOBs the last call returned
  int64_t nextLob_ = 1;
};

}  // namespace kup
