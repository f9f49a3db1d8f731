#include "data/PgOraBackend.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include "core/Core.h"
#include "data/OraCallStop.h"
#include "vb/VbError.h"

namespace kup {

namespace {

constexpr int kDefaultConnectTimeout = 10;  // seconds, when nothing else says
// How often the server checks that its client is still there while a call
// runs, and the call's time limit as the site set it (none by default: a
// long merge is a sound one, and the caller waits for it).
constexpr const char* kSessionSettings =
    "SELECT pg_catalog.set_config('client_connection_check_interval', '1s', false)"
    " WHERE pg_catalog.current_setting('client_connection_check_interval', true) = '0';"
    "SELECT setting FROM pg_catalog.pg_settings WHERE name = 'statement_timeout'";
// The server ends a call at its limit; the client waits this much longer (and
// as long as the answer is still coming) before it cancels the call itself.
constexpr std::chrono::seconds kGrace(2);
// How long a cancel request may take to reach the server, and how long the
// server then has to answer before the connection is given up.
constexpr std::chrono::seconds kCancelBound(3);
constexpr std::chrono::seconds kCancelWait(5);

const char* const kStopping = "appel annulé : le programme s'arrête";
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

// A failed statement: the server's SQLSTATE and primary message. When the
// session ended during the call the result often holds only libpq's "server
// closed the connection", while the connection's message keeps the server's
// last word (57P01 for a session ended by an administrator): that word is
// the reason. With no word at all the connection was lost (08006): the call
// may have run and committed, its outcome is unknown.
[[noreturn]] void FailResult(PGconn* conn, PGresult* res) {
  const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string s, text;
  if (state && primary) {
    s = state;
    text = OneLine(primary);
  } else {
    std::string fromResult = res ? PQresultErrorMessage(res) : "";
    std::string fromConnection = PQerrorMessage(conn);
    if (!ServerReport(fromResult, s, text) && !ServerReport(fromConnection, s, text)) {
      std::string m = OneLine((fromResult.empty() ? fromConnection : fromResult).c_str());
      if (PQstatus(conn) == CONNECTION_BAD) {
        s = "08006";
        text = "connexion au serveur perdue pendant l'appel : son issue est inconnue, il a pu être exécuté (" + m + ")";
      } else {
        s = "XX000";
        text = m;
      }
    }
  }
  if (res) PQclear(res);
  Fail(s, text);
}

void Ignore(void*, const char*) {}

bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// "PK.PROC" of "begin PK.PROC(:a,:b); end;" (or "begin PROC; end;"); the
// name must be plain (CheckProcedureName).
std::string ProcedureOf(const std::string& block) {
  const std::string begin = "begin ", end = "; end;";
  if (block.size() < begin.size() + end.size() || block.compare(0, begin.size(), begin) != 0 ||
      block.compare(block.size() - end.size(), end.size(), end) != 0)
    Fail("42601", "bloc d'appel incorrect : " + block);
  std::string call = block.substr(begin.size(), block.size() - begin.size() - end.size());
  std::string name = call.substr(0, call.find('('));
  CheckProcedureName(name);
  return name;
}

std::string PercentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool IsKeywordChar(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }

// Where an unquoted value of a connection string ends as its writer meant
// it: at the next "keyword=" (after a blank, or an '&' in a query), not at
// the first blank or '&', which is where libpq ends it.
size_t ValueEnd(const std::string& text, size_t from) {
  for (size_t j = from; j < text.size(); ++j) {
    if (!std::isspace(static_cast<unsigned char>(text[j])) && text[j] != '&') continue;
    size_t k = j + 1;
    while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) ++k;
    size_t word = k;
    while (k < text.size() && IsKeywordChar(text[k])) ++k;
    if (k == word) continue;
    while (k < text.size() && std::isspace(static_cast<unsigned char>(text[k]))) ++k;
    if (k < text.size() && text[k] == '=') return j;
  }
  return text.size();
}

// The passwords a database text may hold, as written and as meant: in a
// URI's user part, and as the value of any "...password" keyword (key=value
// form or URI query). A password holding what ends it for libpq (a blank,
// '/', '@', '&') is read as pieces of other parts, which the server may
// echo (a database name, an option's value): each piece is a secret too.
std::vector<std::string> PasswordsIn(const std::string& text) {
  std::vector<std::string> raw;
  for (const char* scheme : {"postgresql://", "postgres://"}) {
    size_t start = std::strlen(scheme);
    if (text.compare(0, start, scheme) != 0) continue;
    // "user:password@": the password runs to the last '@', whatever it holds.
    size_t colon = text.find_first_of(":/?@", start);
    size_t at = text.rfind('@');
    if (colon != std::string::npos && text[colon] == ':' && at != std::string::npos && at > colon)
      raw.push_back(text.substr(colon + 1, at - colon - 1));
  }
  for (size_t at = text.find("password"); at != std::string::npos; at = text.find("password", at + 1)) {
    size_t i = at + 8;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || text[i] != '=') continue;
    ++i;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && text[i] == '\'') {
      std::string value;
      size_t j = i + 1;
      for (; j < text.size() && text[j] != '\''; ++j) {
        if (text[j] == '\\' && j + 1 < text.size()) ++j;
        value += text[j];
      }
      raw.push_back(value);
      raw.push_back(text.substr(i + 1, j - i - 1));
    } else {
      raw.push_back(text.substr(i, ValueEnd(text, i) - i));
    }
  }
  std::vector<std::string> out;
  auto addWithPieces = [&out](const std::string& secret) {
    out.push_back(secret);
    std::string piece;
    for (char c : secret + " ") {
      if (std::isspace(static_cast<unsigned char>(c)) || std::strchr("/@?&#:='\"%", c)) {
        if (!piece.empty()) out.push_back(piece);
        piece.clear();
      } else {
        piece += c;
      }
    }
  };
  for (const auto& r : raw) {
    addWithPieces(r);
    addWithPieces(PercentDecoded(r));
  }
  return out;
}

// True when the word at that place of the text stands whole, not inside a
// longer one (a short password is found inside many a word).
bool WholeAt(const std::string& text, size_t at, const std::string& word) {
  auto inWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || (c & 0x80); };
  size_t end = at + word.size();
  return (at == 0 || !inWord(text[at - 1]) || !inWord(word.front())) &&
         (end == text.size() || !inWord(text[end]) || !inWord(word.back()));
}

bool HoldsWord(const std::string& text, const std::string& word) {
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
    if (WholeAt(text, at, word)) return true;
  return false;
}

// The option a text of libpq's is about, when it names one of libpq's own
// keywords ("" when not): only such a name may be shown, never the rest,
// which echoes values.
std::string OptionNamed(const std::string& m) {
  static const std::vector<std::string> keywords = [] {
    std::vector<std::string> out;
    if (PQconninfoOption* opts = PQconndefaults()) {
      for (PQconninfoOption* o = opts; o->keyword; ++o) out.emplace_back(o->keyword);
      PQconninfoFree(opts);
    }
    return out;
  }();
  auto known = [](const std::string& k) { return std::find(keywords.begin(), keywords.end(), k) != keywords.end(); };
  size_t at = m.find("option \"");
  if (at != std::string::npos) {
    std::string k = m.substr(at + 8, m.find('"', at + 8) - at - 8);
    if (known(k)) return k;
  }
  for (const auto& k : keywords)
    if (m.find("invalid " + k + " value") != std::string::npos) return k;
  if (m.find("invalid port number") != std::string::npos) return "port";
  if (m.find("could not parse network address") != std::string::npos) return "hostaddr";
  if (m.find("could not match") != std::string::npos) return "host, hostaddr, port";
  return "";
}

// What a logon is told when no server spoke. libpq's text is about the
// connection text or its options and echoes what it could not read, pieces
// of a password included: it is never passed on, a fixed text says what
// failed.
std::string ConnectionFailure(const std::string& m, bool atStart) {
  std::string option = OptionNamed(m);
  if (!option.empty())
    return "valeur incorrecte de l'option de connexion " + option +
           " (chaîne de connexion KUP_ChaineSQL, service ou variable d'environnement)";
  static const std::pair<const char*, const char*> known[] = {
      {"certificate", "certificat du serveur refusé ou introuvable (options sslmode, sslrootcert)"},
      {"channel binding", "liaison de canal refusée (option channel_binding)"},
      {"SSL", "connexion chiffrée impossible (option sslmode)"},
      {"GSSAPI", "connexion chiffrée impossible (option gssencmode)"},
      {"could not translate host name", "nom du serveur inconnu (option host)"},
      {"Connection refused", "aucun serveur ne répond à l'adresse indiquée (options host, hostaddr, port)"},
      {"No such file or directory", "aucun serveur ne répond à l'adresse indiquée (options host, port)"},
      {"service file", "fichier des services de connexion illisible (pg_service.conf)"},
      {"definition of service", "service de connexion introuvable (option service, pg_service.conf)"},
  };
  for (const auto& [fragment, text] : known)
    if (m.find(fragment) != std::string::npos) return text;
  return atStart ? "chaîne de connexion (KUP_ChaineSQL) illisible"
                 : "connexion au serveur de base de données impossible";
}

// False when libpq, given that text, would take the user's name for the
// database's: a connection string or an address without a database, a
// service or PGDATABASE/PGSERVICE to give one. A text libpq cannot read is
// left to it, which says why.
bool NamesADatabase(const std::string& text) {
  if (text.find('=') == std::string::npos && text.rfind("postgresql://", 0) != 0 && text.rfind("postgres://", 0) != 0)
    return true;  // a database name
  for (const char* env : {"PGDATABASE", "PGSERVICE"})
    if (const char* v = std::getenv(env); v && *v) return true;
  char* error = nullptr;
  PQconninfoOption* opts = PQconninfoParse(text.c_str(), &error);
  if (error) PQfreemem(error);
  if (!opts) return true;
  bool named = false;
  for (PQconninfoOption* o = opts; o->keyword; ++o)
    if ((std::strcmp(o->keyword, "dbname") == 0 || std::strcmp(o->keyword, "service") == 0) && o->val && *o->val)
      named = true;
  PQconninfoFree(opts);
  return named;
}

// Asks the server to cancel what the connection runs. PQcancel opens a
// connection of its own and blocks until the server has the request (over a
// network that does not answer, for minutes): it runs apart, waited for a
// bounded time.
void CancelOnServer(PGconn* c) {
  PGcancel* cancel = PQgetCancel(c);
  if (!cancel) return;
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  std::thread([cancel, done] {
    char error[256];
    PQcancel(cancel, error, sizeof error);
    PQfreeCancel(cancel);
    done->set_value();
  }).detach();
  finished.wait_for(kCancelBound);
}

// A parameter's direction, of its letter in the catalogue's modes.
std::string Direction(char mode) {
  return mode == 'i' ? "en entrée" : mode == 'o' ? "en sortie" : "en entrée et sortie";
}

std::string Seconds(std::chrono::milliseconds ms) {
  long long s = (ms.count() + 999) / 1000;
  return std::to_string(s) + " s";
}

}  // namespace

OraBackendFactory DefaultOraBackendFactory() {
  return [](App& app) -> std::unique_ptr<IOraBackend> {
    auto backend = std::make_unique<PgOraBackend>();
    backend->onWarning = [&app](const std::string& text) { EcrireLog(app, "data", text); };
    return backend;
  };
}

PgOraBackend::~PgOraBackend() { close(); }

void PgOraBackend::close() {
  if (conn_) PQfinish(conn_);
  conn_ = nullptr;
}

int PgOraBackend::serverProcess() const { return conn_ ? PQbackendPID(conn_) : 0; }

std::string PgOraBackend::scrub(std::string text) const {
  std::vector<std::string> secrets = secrets_;
  std::sort(secrets.begin(), secrets.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const auto& secret : secrets) {
    if (secret.empty()) continue;
    for (size_t at = text.find(secret); at != std::string::npos;) {
      // Hiding a word inside another would tell what it is. A short one is
      // hidden only as a whole value the server quotes: as a word it would
      // hide words of the text.
      size_t end = at + secret.size();
      bool hide = secret.size() >= 3 ? WholeAt(text, at, secret)
                                     : at > 0 && text[at - 1] == '"' && end < text.size() && text[end] == '"';
      if (hide) text.replace(at, secret.size(), "***");
      at = text.find(secret, at + (hide ? 3 : 1));
    }
  }
  return text;
}

void PgOraBackend::failLogon(const std::string& sqlstate, const std::string& text) { Fail(sqlstate, scrub(text)); }

PgOraBackend::Clock::time_point PgOraBackend::callDeadline() const {
  // Without a limit of the site's the call waits for its answer; the host's
  // stop and the server's check of its client still end it.
  if (limitMs_ <= 0) return Clock::time_point::max();
  return Clock::now() + std::chrono::milliseconds(limitMs_) + kGrace;
}

PgOraBackend::Wait PgOraBackend::pump(PGconn* c, Clock::time_point deadline, Clock::duration idle, bool watchStop) {
  oracallstop::Watch stop;
  pollfd set[1 + oracallstop::Watch::kMax];
  auto last = Clock::now();
  bool sending = true;
  for (;;) {
    if (PQstatus(c) == CONNECTION_BAD) return Wait::Done;
    if (sending) {
      int flushed = PQflush(c);
      if (flushed < 0) return Wait::Done;
      sending = flushed == 1;
    }
    if (!sending && !PQisBusy(c)) return Wait::Done;
    if (watchStop && oracallstop::Stopped()) return Wait::Stopped;
    // Past the deadline an answer still arriving is not cut.
    auto now = Clock::now();
    auto until = std::max(deadline, last + idle);
    if (now >= until) return Wait::TimedOut;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
    set[0] = pollfd{PQsocket(c), static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
    int n = 1 + (watchStop ? stop.fill(set + 1) : 0);
    int r = ::poll(set, n, static_cast<int>(std::min<long long>(ms, INT_MAX)));
    if (r < 0) {
      if (errno == EINTR) continue;
      return Wait::Done;
    }
    if (r == 0) continue;
    if (n > 1 && stop.check(set + 1)) return Wait::Stopped;
    if (set[0].revents) {
      last = Clock::now();
      if ((set[0].revents & ~POLLOUT) && !PQconsumeInput(c)) return Wait::Done;
    }
  }
}

PGresult* PgOraBackend::run(PGconn* c, const std::string& sql, const std::vector<const char*>* values,
                            Clock::time_point deadline, Clock::duration idle, const std::string& late) {
  if (oracallstop::Stopped()) Fail("57014", kStopping);
  int sent = values ? PQsendQueryParams(c, sql.c_str(), static_cast<int>(values->size()), nullptr, values->data(),
                                        nullptr, nullptr, 0)
                    : PQsendQuery(c, sql.c_str());
  // Nothing the server could run has left: the outcome is known.
  if (!sent) {
    std::string state = PQstatus(c) == CONNECTION_BAD ? "08006" : "08003";
    Fail(state, "appel non envoyé, la connexion au serveur est perdue (" + OneLine(PQerrorMessage(c)) + ")");
  }
  Wait ended = Wait::Done;
  // Waits until the next result can be read without blocking; a call that
  // outlasts its time or is stopped is cancelled, and given up when the
  // server does not even answer that.
  auto settle = [&] {
    Wait w = pump(c, deadline, idle, ended == Wait::Done);
    if (w == Wait::Done) return;
    if (ended == Wait::Done) {
      ended = w;
      CancelOnServer(c);
    }
    if (pump(c, Clock::now() + kCancelWait, Clock::duration::zero(), false) == Wait::Done) return;
    bool own = c == conn_;
    std::string text = (ended == Wait::Stopped ? std::string(kStopping) : late) +
                       " ; le serveur ne répond plus : connexion fermée, l'issue de l'appel est inconnue";
    if (own) close();
    Fail("57014", text);
  };
  PGresult* kept = nullptr;
  bool failed = false;
  for (;;) {
    settle();
    PGresult* r = PQgetResult(c);
    if (!r) break;
    ExecStatusType st = PQresultStatus(r);
    bool ok = st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK || st == PGRES_EMPTY_QUERY;
    if (failed) {
      PQclear(r);
      continue;
    }
    if (kept) PQclear(kept);
    kept = r;
    if (!ok) failed = true;
  }
  if (!failed && kept) return kept;
  if (ended != Wait::Done) {
    const char* state = kept ? PQresultErrorField(kept, PG_DIAG_SQLSTATE) : nullptr;
    if (!kept || (state && std::strcmp(state, "57014") == 0)) {
      const char* primary = kept ? PQresultErrorField(kept, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
      std::string text = ended == Wait::Stopped ? std::string(kStopping) : late;
      if (primary) text += " (" + OneLine(primary) + ")";
      if (kept) PQclear(kept);
      Fail("57014", text);
    }
  }
  FailResult(c, kept);
}

void PgOraBackend::warnIfUnverified(PGconn* c) {
  // The socket the logon went through says where the password went; the
  // text may name a socket folder and still have libpq dial an address.
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(PQsocket(c), reinterpret_cast<sockaddr*>(&peer), &length) != 0) return;
  if (peer.ss_family == AF_UNIX) return;
  std::string mode;
  if (PQconninfoOption* opts = PQconninfo(c)) {
    for (PQconninfoOption* o = opts; o->keyword; ++o)
      if (std::strcmp(o->keyword, "sslmode") == 0 && o->val) mode = o->val;
    PQconninfoFree(opts);
  }
  if (PQsslInUse(c) && mode == "verify-full") return;
  // The address as the connection holds it, never a value of the text.
  char address[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (peer.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&peer);
    ::inet_ntop(AF_INET, &in->sin_addr, address, sizeof address);
    port = ntohs(in->sin_port);
  } else if (peer.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&peer);
    ::inet_ntop(AF_INET6, &in->sin6_addr, address, sizeof address);
    port = ntohs(in->sin6_port);
  }
  if (onWarning)
    onWarning("Connexion à la base de données sur " + std::string(address) + " port " + std::to_string(port) +
              " par le réseau sans certificat vérifié du serveur (sslmode=" + (mode.empty() ? "?" : mode) +
              ") : le mot de passe peut être remis à un autre serveur et les échanges lus ; le poste doit "
              "utiliser sslmode=verify-full et channel_binding=require");
}

void PgOraBackend::open() {
  close();
  signatures_.clear();
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

  // The connect time-out bounds the whole logon, its check included: libpq
  // leaves it to the caller of the non-blocking connect. 0 (wait for ever)
  // is not honoured.
  int seconds = kDefaultConnectTimeout;
  if (PQconninfoOption* opts = PQconninfo(c)) {
    for (PQconninfoOption* o = opts; o->keyword; ++o)
      if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val && std::atoi(o->val) > 0)
        seconds = std::max(2, std::atoi(o->val));
    PQconninfoFree(opts);
  }
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  std::string late = "pas de réponse du serveur en " + std::to_string(seconds) + " s";
  // Failed at once: an option libpq could not take, or a socket not there.
  const bool atStart = PQstatus(c) == CONNECTION_BAD;
  PostgresPollingStatusType st = atStart ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
  oracallstop::Watch stop;
  while (st != PGRES_POLLING_OK && st != PGRES_POLLING_FAILED) {
    if (oracallstop::Stopped()) {
      PQfinish(c);
      Fail("57014", "connexion abandonnée : le programme s'arrête");
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd set[1 + oracallstop::Watch::kMax];
    set[0] = pollfd{PQsocket(c), static_cast<short>(st == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    int n = 1 + stop.fill(set + 1);
    int r = left.count() > 0 ? ::poll(set, n, static_cast<int>(left.count())) : 0;
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      PQfinish(c);
      Fail("08001", late);
    }
    if (stop.check(set + 1) || set[0].revents == 0) continue;
    st = PQconnectPoll(c);
  }
  if (st == PGRES_POLLING_FAILED) {
    std::string message = PQerrorMessage(c);
    PQfinish(c);
    std::string state, text;
    if (!atStart && ServerReport(message, state, text)) failLogon(state, text);
    Fail("08001", ConnectionFailure(message, atStart));
  }
  PQsetnonblocking(c, 1);
  try {
    PGresult* res = run(c, kSessionSettings, nullptr, deadline, Clock::duration::zero(), late);
    int limit = PQntuples(res) == 1 ? std::atoi(PQgetvalue(res, 0, 0)) : 0;
    PQclear(res);
    limitMs_ = std::max(limit, 0);
    res = run(c, "CALL PK_CONNEXION.VERIFIER()", nullptr, deadline, Clock::duration::zero(),
              late + " (vérification de connexion)");
    PQclear(res);
  } catch (const VbError& e) {
    PQfinish(c);
    raise(e.number(), scrub(e.description()));
  }
  warnIfUnverified(c);
  conn_ = c;
}

void PgOraBackend::logon(const std::string& database, const std::string& user, const std::string& password) {
  if (database.find_first_not_of(" \t\r\n") == std::string::npos)
    Fail("08001", "aucune base de données n'est indiquée (KUP_ChaineSQL vide) : connexion refusée");
  if (!NamesADatabase(database))
    Fail("08001", "aucune base de données n'est indiquée dans la chaîne de connexion (KUP_ChaineSQL) : connexion refusée");
  if (user.empty() || password.empty())
    Fail("28000", "le nom d'utilisateur et le mot de passe sont obligatoires");
  if (HasNul(database) || HasNul(user) || HasNul(password))
    Fail("22021", "caractère nul refusé dans la chaîne de connexion");
  database_ = database;
  user_ = user;
  password_ = password;
  // The logon's password travels apart from the database text, and the
  // server never writes it in a message: it is hidden only where the text
  // holds it too (hiding it everywhere would garble the texts, and tell
  // what it is).
  secrets_ = PasswordsIn(database);
  // The text as the server may echo it: unescaped, or decoded.
  std::string unescaped = database;
  unescaped.erase(std::remove(unescaped.begin(), unescaped.end(), '\\'), unescaped.end());
  for (const std::string& read : {database, unescaped, PercentDecoded(database)})
    if (HoldsWord(read, password)) {
      secrets_.push_back(password);
      break;
    }
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
  try {
    PGresult* res = run(conn_, "", nullptr, Clock::now() + kGrace, Clock::duration::zero(), "pas de réponse du serveur");
    PQclear(res);
  } catch (const VbError&) {
    return false;
  }
  return conn_ && PQstatus(conn_) == CONNECTION_OK;
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

std::string PgOraBackend::signatureOf(const std::string& procedure, size_t parameters) {
  std::string key = procedure + "/" + std::to_string(parameters);
  auto it = signatures_.find(key);
  if (it != signatures_.end()) return it->second;
  // Only a single procedure of that name taking exactly these parameters
  // says for sure what the call will return.
  std::vector<const char*> values{procedure.c_str()};
  PGresult* res = nullptr;
  try {
    res = run(conn_,
              "SELECT coalesce(pg_catalog.array_length(p.proallargtypes, 1), p.pronargs), p.proargmodes::text"
              " FROM pg_catalog.pg_proc p"
              " WHERE p.oid = pg_catalog.to_regproc($1) AND p.prokind = 'p'",
              &values, callDeadline(), kGrace,
              "délai dépassé (" + Seconds(std::chrono::milliseconds(limitMs_)) + ")");
  } catch (const VbError&) {
    if (oracallstop::Stopped() || !conn_ || PQstatus(conn_) != CONNECTION_OK) throw;
    return {};  // a name the catalogue cannot resolve: the call says why
  }
  std::string modes;
  if (PQntuples(res) == 1 && static_cast<size_t>(std::atoi(PQgetvalue(res, 0, 0))) == parameters) {
    // No modes at all: every parameter is an input. A variadic one is an
    // input too.
    if (PQgetisnull(res, 0, 1)) modes.assign(parameters, 'i');
    else
      for (const char* m = PQgetvalue(res, 0, 1); *m; ++m)
        if (std::isalpha(static_cast<unsigned char>(*m))) modes += *m == 'o' || *m == 'b' ? *m : 'i';
    if (modes.size() != parameters) modes.clear();
  }
  PQclear(res);
  signatures_[key] = modes;
  return modes;
}

void PgOraBackend::execute(const std::string& block, std::vector<OraParameter>& parameters) {
  std::string procedure = ProcedureOf(block);
  // The values the previous call returned are no longer reachable.
  freeReturnedLobs();
  if (oracallstop::Stopped()) Fail("57014", kStopping);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) Fail("08003", "non connecté au serveur de base de données");

  std::string sql = "CALL " + procedure + "(";
  std::vector<const char*> values;
  values.reserve(parameters.size());
  size_t outs = 0;
  std::string bound;  // one letter a parameter, as the catalogue writes modes
  for (size_t i = 0; i < parameters.size(); ++i) {
    const OraParameter& p = parameters[i];
    sql += (i ? ",$" : "$") + std::to_string(i + 1);
    if (p.direction != ora::ParamInput) ++outs;
    bound += p.direction == ora::ParamInput ? 'i' : p.direction == ora::ParamOutput ? 'o' : 'b';
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

  // A call whose out values cannot match would run, commit, and only then
  // be reported as failed; one whose directions differ only in their places
  // would hand a parameter another one's out value. Where the catalogue
  // says so, it is not sent.
  const std::string key = procedure + "/" + std::to_string(parameters.size());
  std::string declared = signatureOf(procedure, parameters.size());
  if (!declared.empty() && declared != bound) {
    // Not kept: the site may mend the procedure while the session lasts.
    signatures_.erase(key);
    size_t at = std::mismatch(declared.begin(), declared.end(), bound.begin()).first - declared.begin();
    Fail("07002", procedure + " : le paramètre " + std::to_string(at + 1) + " (" + parameters[at].name + ") est " +
                      Direction(declared[at]) + " pour la procédure, " + Direction(bound[at]) +
                      " pour l'appel : appel non envoyé");
  }

  PGresult* res = run(conn_, sql, &values, callDeadline(), kGrace,
                      "délai de l'appel dépassé (" + Seconds(std::chrono::milliseconds(limitMs_)) + ")");
  int fields = PQresultStatus(res) == PGRES_TUPLES_OK ? PQnfields(res) : 0;
  if (static_cast<size_t>(fields) != outs || (outs > 0 && PQntuples(res) != 1)) {
    PQclear(res);
    // The procedure changed since its signature was read: the next call
    // reads it again.
    signatures_.erase(key);
    Fail("07002", procedure + " a été exécutée, son travail est fait, mais ses valeurs de sortie n'ont pu être lues : " +
                      "elle en rend " + std::to_string(fields) + ", " + std::to_string(outs) + " attendue(s)");
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
