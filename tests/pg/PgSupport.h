#pragma once
// The tests on a real PostgreSQL server. ctest starts a throw-away cluster
// (scripts/pg-fixture.sh, schema of sql/) and points PGHOST/PGPORT at it.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

// Sets environment variables for one case and puts the old values back.
struct ScopedEnv {
  std::vector<std::pair<std::string, std::optional<std::string>>> old;
  explicit ScopedEnv(const std::vector<std::pair<const char*, std::string>>& vars) {
    for (const auto& [k, v] : vars) {
      const char* o = std::getenv(k);
      old.emplace_back(k, o ? std::optional<std::string>(o) : std::nullopt);
      ::setenv(k, v.c_str(), 1);
    }
  }
  ~ScopedEnv() {
    for (const auto& [k, v] : old)
      if (v) ::setenv(k.c_str(), v->c_str(), 1);
      else ::unsetenv(k.c_str());
  }
};

// Stands between sessions and the cluster as a network would: relays the
// bytes both ways until cut(), which drops every connection at once (a
// network that fails: each side sees the other gone). Listens on a Unix
// socket in a folder of its own, or on 127.0.0.1.
class Relay {
 public:
  explicit Relay(bool tcp = false) {
    ::pipe2(wake_, O_CLOEXEC | O_NONBLOCK);
    if (tcp) {
      listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
      socklen_t len = sizeof a;
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
      port_ = ntohs(a.sin_port);
      host_ = "127.0.0.1";
    } else {
      char folder[] = "/tmp/kup-relay-XXXXXX";
      host_ = ::mkdtemp(folder);
      listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un a{};
      a.sun_family = AF_UNIX;
      std::strncpy(a.sun_path, (host_ + "/.s.PGSQL.5432").c_str(), sizeof a.sun_path - 1);
      ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ::listen(listener_, 8);
    thread_ = std::thread([this] { loop(); });
  }
  ~Relay() {
    stop_ = true;
    ::write(wake_[1], "s", 1);
    thread_.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    if (host_[0] == '/') {
      ::unlink((host_ + "/.s.PGSQL.5432").c_str());
      ::rmdir(host_.c_str());
    }
  }
  const std::string& host() const { return host_; }
  int port() const { return port_; }
  // The database text of a logon through the relay.
  std::string database() const { return "host=" + host_ + " port=" + std::to_string(port_) + " dbname=korvane"; }
  void cut() {
    cut_ = true;
    ::write(wake_[1], "c", 1);
  }

 private:
  static int toServer() {
    const char* dir = std::getenv("PGHOST");
    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, (std::string(dir ? dir : "") + "/.s.PGSQL.5432").c_str(), sizeof a.sun_path - 1);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(s);
      return -1;
    }
    return s;
  }
  void loop() {
    std::vector<std::pair<int, int>> pairs;
    auto drop = [&](size_t i) {
      ::close(pairs[i].first);
      ::close(pairs[i].second);
      pairs.erase(pairs.begin() + long(i));
    };
    while (!stop_) {
      std::vector<pollfd> set{{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      for (auto& [a, b] : pairs) {
        set.push_back({a, POLLIN, 0});
        set.push_back({b, POLLIN, 0});
      }
      if (::poll(set.data(), set.size(), -1) < 0) continue;
      if (set[1].revents) {
        char buf[16];
        while (::read(wake_[0], buf, sizeof buf) > 0) {
        }
        if (cut_.exchange(false))
          while (!pairs.empty()) drop(0);
        continue;
      }
      const size_t polled = pairs.size();
      if (set[0].revents) {
        int a = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        int b = a >= 0 ? toServer() : -1;
        if (b >= 0) pairs.emplace_back(a, b);
        else if (a >= 0) ::close(a);
      }
      for (size_t i = polled; i-- > 0;) {
        for (int side = 0; side < 2; ++side) {
          short ev = set[2 + 2 * i + side].revents;
          if (!ev || i >= pairs.size()) continue;
          int from = side ? pairs[i].second : pairs[i].first, to = side ? pairs[i].first : pairs[i].second;
          char buf[65536];
          ssize_t n = ::read(from, buf, sizeof buf);
          bool ok = n > 0;
          for (ssize_t off = 0; ok && off < n;) {
            ssize_t w = ::write(to, buf + off, size_t(n - off));
            ok = w > 0;
            off += w;
          }
          if (!ok) {
            drop(i);
            break;
          }
        }
      }
    }
    while (!pairs.empty()) drop(0);
  }

  int listener_ = -1, port_ = 5432, wake_[2] = {-1, -1};
  std::string host_;
  std::atomic<bool> stop_{false}, cut_{false};
  std::thread thread_;
};

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
  // How many times the slow test procedure wrote that mark.
  static int Marks(const std::string& mark) {
    RawConnection raw;
    return std::atoi(raw.value("select count(*) from pk_test.journal where marque = '" + mark + "'").c_str());
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
