#include "data/PgOraBackend.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <libpq-fe.h>
#include <poll.h>

#include "vb/VbError.h"

namespace kup {

namespace {

constexpr int kDefaultConnectTimeout = 10;  // seconds, when nothing else says

[[noreturn]] void Fail(const std::string& sqlstate, const std::string& text) {
  raise(SqlStateNumber(sqlstate), sqlstate + ": " + text);
}

bool IsSqlState(const std::string& s) {
  if (s.size() != 5) return false;
  for (char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'))) return false;
  return true;
}

// libpq's text on one line: its line breaks and tabs become single blanks.
std::string OneLine(const char* text) {
  std::string out;
  for (const char* p = text ? text : ""; *p; ++p) {
    char c = (*p == '\n' || *p == '\t' || *p == '\r') ? ' ' : *p;
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// A report of the server inside libpq's text: with verbose errors it reads
// "...: FATAL:  28P01: password authentication failed ...". False when the
// text holds none (the client could not reach a server, or lost it).
bool ServerReport(const std::string& m, std::string& state, std::string& text) {
  for (const char* severity : {"FATAL:  ", "ERROR:  "}) {
    size_t at = m.find(severity);
    if (at == std::string::npos) continue;
    std::string rest = m.substr(at + std::strlen(severity));
    if (rest.size() > 7 && IsSqlState(rest.substr(0, 5)) && rest.compare(5, 2, ": ") == 0) {
      state = rest.substr(0, 5);
      text = OneLine(rest.substr(7, rest.find('\n') - 7).c_str());
      return true;
    }
  }
  return false;
}

[[noreturn]] void FailLogon(const std::string& message) {
  std::string state, text;
  if (ServerReport(message, state, text)) Fail(state, text);
  Fail("08001", OneLine(message.c_str()));
}

// A failed statement: the server's SQLSTATE and primary message. When the
// session ended during the call, libpq keeps the server's last word in its
// text; with no word at all the connection was lost (08006).
[[noreturn]] void FailResult(PGconn* conn, PGresult* res) {
  const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string s, text;
  if (state && primary) {
    s = state;
    text = OneLine(primary);
  } else {
    std::string m = res && *PQresultErrorMessage(res) ? PQresultErrorMessage(res) : PQerrorMessage(conn);
    if (!ServerReport(m, s, text)) {
      s = PQstatus(conn) == CONNECTION_BAD ? "08006" : "XX000";
      text = OneLine(m.c_str());
    }
  }
  if (res) PQclear(res);
  Fail(s, text);
}

void Ignore(void*, const char*) {}

bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// "PK.PROC" of "begin PK.PROC(:a,:b); end;" (or "begin PROC; end;"); each
// part must be an identifier the server reads without quotes.
std::string ProcedureOf(const std::string& block) {
  const std::string begin = "begin ", end = "; end;";
  if (block.size() < begin.size() + end.size() || block.compare(0, begin.size(), begin) != 0 ||
      block.compare(block.size() - end.size(), end.size(), end) != 0)
    Fail("42601", "bloc d'appel incorrect : " + block);
  std::string call = block.substr(begin.size(), block.size() - begin.size() - end.size());
  std::string name = call.substr(0, call.find('('));
  bool start = true;
  for (unsigned char c : name) {
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool digit = (c >= '0' && c <= '9') || c == '$';
    if (c == '.' && !start) {
      start = true;
      continue;
    }
    if (start ? !letter : !(letter || digit)) Fail("42602", "nom de procédure incorrect : " + name);
    start = false;
  }
  if (start) Fail("42602", "nom de procédure incorrect : " + name);
  return name;
}

}  // namespace

int32_t SqlStateNumber(const std::string& sqlstate) {
  std::string s = IsSqlState(sqlstate) && sqlstate.compare(0, 2, "00") != 0 ? sqlstate : "XX000";
  int32_t n = 0;
  for (char c : s) n = n * 36 + (c <= '9' ? c - '0' : c - 'A' + 10);
  return n;
}

OraBackendFactory DefaultOraBackendFactory() {
  return [](App&) -> std::unique_ptr<IOraBackend> { return std::make_unique<PgOraBackend>(); };
}

PgOraBackend::~PgOraBackend() { close(); }

void PgOraBackend::close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

int PgOraBackend::serverProcess() const { return conn_ ? PQbackendPID(conn_) : 0; }

void PgOraBackend::open() {
  close();
  // Defaults first, so that the site's connection string (expanded from
  // dbname) may change them; the credentials and the encoding come after it
  // and always win. An empty value would let libpq fall back on PGUSER,
  // PGPASSWORD or ~/.pgpass: logon() has refused those.
  const char* envTimeout = std::getenv("PGCONNECT_TIMEOUT");
  std::string timeout = envTimeout && *envTimeout ? std::string() : std::to_string(kDefaultConnectTimeout);
  const char* keys[] = {"connect_timeout", "keepalives_idle", "keepalives_interval", "keepalives_count", "dbname",
                        "user",            "password",        "client_encoding",     nullptr};
  const char* values[] = {timeout.c_str(), "60", "10", "3", database_.c_str(), user_.c_str(), password_.c_str(),
                          "UTF8", nullptr};
  PGconn* c = PQconnectStartParams(keys, values, 1);
  if (!c) Fail("08001", "mémoire insuffisante pour ouvrir la connexion");
  // Without verbose errors the server's report of a refused logon loses its SQLSTATE.
  PQsetErrorVerbosity(c, PQERRORS_VERBOSE);
  PQsetNoticeProcessor(c, Ignore, nullptr);

  // The connect time-out bounds the whole logon: libpq leaves it to the
  // caller of the non-blocking connect. 0 (wait for ever) is not honoured.
  int seconds = kDefaultConnectTimeout;
  if (PQconninfoOption* opts = PQconninfo(c)) {
    for (PQconninfoOption* o = opts; o->keyword; ++o)
      if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val && std::atoi(o->val) > 0)
        seconds = std::max(2, std::atoi(o->val));
    PQconninfoFree(opts);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  PostgresPollingStatusType st = PQstatus(c) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
  while (st != PGRES_POLLING_OK && st != PGRES_POLLING_FAILED) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{PQsocket(c), static_cast<short>(st == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    int r = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      PQfinish(c);
      Fail("08001", "pas de réponse du serveur en " + std::to_string(seconds) + " s");
    }
    st = PQconnectPoll(c);
  }
  if (st == PGRES_POLLING_FAILED) {
    std::string message = PQerrorMessage(c);
    PQfinish(c);
    FailLogon(message);
  }
  PGresult* res = PQexec(c, "CALL PK_CONNEXION.VERIFIER()");
  if (PQresultStatus(res) != PGRES_COMMAND_OK) {
    try {
      FailResult(c, res);
    } catch (...) {
      PQfinish(c);
      throw;
    }
  }
  PQclear(res);
  conn_ = c;
}

void PgOraBackend::logon(const std::string& database, const std::string& user, const std::string& password) {
  if (user.empty() || password.empty())
    Fail("28000", "le nom d'utilisateur et le mot de passe sont obligatoires");
  if (HasNul(database) || HasNul(user) || HasNul(password))
    Fail("22021", "caractère nul refusé dans la chaîne de connexion");
  database_ = database;
  user_ = user;
  password_ = password;
  loggedOn_ = false;
  open();
  loggedOn_ = true;
}

void PgOraBackend::logoff() {
  close();
  loggedOn_ = false;
  freeReturnedLobs();
}

bool PgOraBackend::isConnected() {
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) return false;
  // libpq learns of a lost connection only when it reads. Between calls the
  // server has nothing to say: a socket that is readable, or hung up, is the
  // sign to look closer.
  pollfd p{PQsocket(conn_), POLLIN | POLLRDHUP, 0};
  int r = ::poll(&p, 1, 0);
  if (r < 0) return errno == EINTR;
  if (r == 0) return true;
  if (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) return false;
  // Something came unasked: a notice, or the server's farewell before it
  // hangs up. Only a round trip (an empty statement) tells them apart.
  PGresult* res = PQexec(conn_, "");
  bool alive = PQresultStatus(res) == PGRES_EMPTY_QUERY;
  PQclear(res);
  return alive && PQstatus(conn_) == CONNECTION_OK;
}

void PgOraBackend::reconnect() {
  if (!loggedOn_) Fail("08003", "aucune session ouverte à rétablir");
  open();
}

int64_t PgOraBackend::createTemporaryClob(const std::string& text) {
  if (HasNul(text)) Fail("22021", "caractère nul refusé dans un texte long");
  int64_t lob = nextLob_++;
  lobs_.emplace(lob, text);
  return lob;
}

void PgOraBackend::freeTemporaryLob(int64_t lob) { lobs_.erase(lob); }

std::string PgOraBackend::readClob(int64_t lob) {
  auto it = lobs_.find(lob);
  if (it == lobs_.end()) Fail("22000", "texte long inexistant");
  return it->second;
}

void PgOraBackend::freeReturnedLobs() {
  for (int64_t lob : returned_) lobs_.erase(lob);
  returned_.clear();
}

void PgOraBackend::execute(const std::string& block, std::vector<OraParameter>& parameters) {
  std::string procedure = ProcedureOf(block);
  // The values the previous call returned are no longer reachable.
  freeReturnedLobs();
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) Fail("08003", "non connecté au serveur de base de données");

  std::string sql = "CALL " + procedure + "(";
  std::vector<const char*> values;
  values.reserve(parameters.size());
  size_t outs = 0;
  for (size_t i = 0; i < parameters.size(); ++i) {
    const OraParameter& p = parameters[i];
    sql += (i ? ",$" : "$") + std::to_string(i + 1);
    if (p.direction != ora::ParamInput) ++outs;
    const std::string* text = nullptr;
    if (p.direction == ora::ParamOutput) {
    } else if (p.serverType == ora::TypeClob) {
      auto it = p.lob ? lobs_.find(p.lob) : lobs_.end();
      if (p.lob && it == lobs_.end()) Fail("22000", "texte long inexistant (paramètre " + p.name + ")");
      if (it != lobs_.end()) text = &it->second;
    } else if (p.value.isString()) {
      text = &p.value.str();
    }
    if (text && HasNul(*text)) Fail("22021", "caractère nul refusé (paramètre " + p.name + ")");
    values.push_back(text && !text->empty() ? text->c_str() : nullptr);
  }
  sql += ")";

  PGresult* res = PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr,
                               nullptr, 0);
  ExecStatusType st = PQresultStatus(res);
  if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) FailResult(conn_, res);
  int fields = st == PGRES_TUPLES_OK ? PQnfields(res) : 0;
  if (static_cast<size_t>(fields) != outs || (outs > 0 && PQntuples(res) != 1)) {
    PQclear(res);
    Fail("07002", procedure + " rend " + std::to_string(fields) + " valeur(s) de sortie, " + std::to_string(outs) +
                      " attendue(s)");
  }
  int column = 0;
  for (OraParameter& p : parameters) {
    if (p.direction == ora::ParamInput) continue;
    bool none = PQgetisnull(res, 0, column) || PQgetlength(res, 0, column) == 0;
    if (p.serverType == ora::TypeClob) {
      p.lob = 0;
      if (!none) {
        p.lob = nextLob_++;
        lobs_.emplace(p.lob, std::string(PQgetvalue(res, 0, column), PQgetlength(res, 0, column)));
        returned_.push_back(p.lob);
      }
    } else {
      p.value = none ? Value::null() : Value(std::string(PQgetvalue(res, 0, column), PQgetlength(res, 0, column)));
    }
    ++column;
  }
  PQclear(res);
}

}  // namespace kup
