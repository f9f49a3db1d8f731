#include "host/Mode.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <dlfcn.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLibraryInfo>

namespace kup::host {

namespace {

// Qt draws on Wayland only with its Wayland module (a package of its own);
// without it, it would abort.
bool QtWaylandModule() {
  QDir d(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
  return !d.entryList({"libqwayland*.so"}, QDir::Files).isEmpty();
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

int ConnectUnix(const std::string& path, bool abstract) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  size_t off = abstract ? 1 : 0;
  if (path.size() + off >= sizeof(a.sun_path)) {
    ::close(fd);
    return -1;
  }
  std::memcpy(a.sun_path + off, path.data(), path.size());
  socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + off + path.size() + (abstract ? 0 : 1));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int ConnectTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0) return -1;
  int fd = -1;
  for (addrinfo* p = res; p; p = p->ai_next) {
    fd = ::socket(p->ai_family, p->ai_socktype | SOCK_CLOEXEC, p->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, p->ai_addr, p->ai_addrlen) == 0) break;
    ::close(fd);
    fd = -1;
  }
  ::freeaddrinfo(res);
  return fd;
}

void* g_probe = nullptr;
void (*g_disconnect)(void*) = nullptr;

// libxcb is loaded when asked for: it is there wherever Qt can draw on X
// (its X platform is built on it), and a build for headless machines needs
// nothing of it.
bool X11Accepts(const std::string& display, std::string* why) {
  using Connect = void* (*)(const char*, int*);
  using HasError = int (*)(void*);
  using Disconnect = void (*)(void*);
  void* lib = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  auto connect = lib ? reinterpret_cast<Connect>(::dlsym(lib, "xcb_connect")) : nullptr;
  auto hasError = lib ? reinterpret_cast<HasError>(::dlsym(lib, "xcb_connection_has_error")) : nullptr;
  auto disconnect = lib ? reinterpret_cast<Disconnect>(::dlsym(lib, "xcb_disconnect")) : nullptr;
  if (!connect || !hasError || !disconnect) {
    if (why) *why = "bibliothèque libxcb introuvable : Qt ne peut pas se connecter au serveur X de DISPLAY \"" + display + "\"";
    return false;
  }
  int screen = 0;
  void* c = connect(display.c_str(), &screen);
  const int error = c ? hasError(c) : 1;
  if (error == 0) {
    // Held until Qt has connected: a server whose last client leaves
    // starts afresh (Xvfb does), and would refuse Qt meanwhile.
    ReleaseX11Probe();
    g_probe = c;
    g_disconnect = disconnect;
    return true;
  }
  if (c) disconnect(c);
  if (why) {
    const char* xa = std::getenv("XAUTHORITY");
    std::string auth = xa && *xa ? std::string("XAUTHORITY=") + xa : std::string("XAUTHORITY non défini, ~/.Xauthority");
    if (error == 1)
      *why = "le serveur X de DISPLAY \"" + display + "\" refuse la connexion (autorisation refusée ? " + auth + ")";
    else
      *why = "connexion au serveur X de DISPLAY \"" + display + "\" impossible (erreur xcb " + std::to_string(error) + ")";
  }
  return false;
}

}  // namespace

void ReleaseX11Probe() {
  if (g_probe && g_disconnect) g_disconnect(g_probe);
  g_probe = nullptr;
}

bool X11DisplayAnswers(const std::string& display, int timeoutMs, std::string* why) {
  auto fail = [&](const std::string& w) {
    if (why) *why = w;
    return false;
  };
  size_t colon = display.rfind(':');
  if (colon == std::string::npos || colon + 1 >= display.size()) return fail("DISPLAY \"" + display + "\" illisible");
  std::string host = display.substr(0, colon);
  std::string rest = display.substr(colon + 1);
  int number = std::atoi(rest.c_str());
  if (rest.empty() || rest[0] < '0' || rest[0] > '9') return fail("DISPLAY \"" + display + "\" illisible");
  int fd = -1;
  if (host.empty() || host == "unix") {
    const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
    fd = ConnectUnix(path, false);
    if (fd < 0) fd = ConnectUnix(path, true);
  } else {
    fd = ConnectTcp(host, 6000 + number);
  }
  if (fd < 0) return fail("aucun serveur X n'écoute pour DISPLAY \"" + display + "\"");
  // The connection set-up without credentials: any answer (accepted,
  // refused or asking for authentication) is a server that is there.
  const unsigned char setup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  bool ok = ::send(fd, setup, sizeof setup, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof setup);
  if (ok) {
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
      r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    unsigned char status = 0xff;
    ok = r == 1 && ::recv(fd, &status, 1, 0) == 1 && status <= 2;
  }
  ::close(fd);
  if (!ok) return fail("le serveur X de DISPLAY \"" + display + "\" ne répond pas");
  // A server that is there may still refuse us (a wrong XAUTHORITY): Qt
  // would abort then. Connected through the library Qt uses, in the same
  // way, credentials included.
  return X11Accepts(display, why);
}

bool WaylandDisplayAnswers(const std::string& display, const std::string& runtimeDir, std::string* why) {
  std::string path = display;
  if (path.empty()) path = "wayland-0";
  if (path.front() != '/') {
    if (runtimeDir.empty()) {
      if (why) *why = "XDG_RUNTIME_DIR absent pour WAYLAND_DISPLAY \"" + display + "\"";
      return false;
    }
    path = runtimeDir + "/" + path;
  }
  int fd = ConnectUnix(path, false);
  if (fd < 0) {
    if (why) *why = "aucun serveur Wayland n'écoute sur " + path;
    return false;
  }
  ::close(fd);
  return true;
}

ModeChoice ChooseMode(int& argc, char** argv) {
  ModeChoice c;
  int forced = 0;  // 1 desktop, -1 headless
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--desktop") {
      forced = 1;
    } else if (a == "--headless") {
      forced = -1;
    } else {
      argv[out++] = argv[i];
    }
  }
  argc = out;
  argv[argc] = nullptr;
  if (forced < 0) {
    c.notes.push_back("mode sans écran (--headless)");
    return c;
  }

  bool shown = false;
  const std::string platform = Env("QT_QPA_PLATFORM");
  if (platform == "offscreen" || platform == "minimal") {
    // Windows drawn in memory only (tests): no display to ask.
    shown = true;
  } else {
    const std::string x = Env("DISPLAY"), w = Env("WAYLAND_DISPLAY");
    std::string why;
    if (!x.empty()) {
      if (X11DisplayAnswers(x, 2000, &why)) {
        shown = true;
        if (platform.empty()) ::setenv("QT_QPA_PLATFORM", "xcb", 1);
      } else {
        c.notes.push_back(why);
      }
    }
    if (!shown && !w.empty()) {
      if (!WaylandDisplayAnswers(w, Env("XDG_RUNTIME_DIR"), &why)) {
        c.notes.push_back(why);
      } else if (!QtWaylandModule()) {
        c.notes.push_back("WAYLAND_DISPLAY \"" + w + "\" répond, mais le module Wayland de Qt (qt6-wayland) manque");
      } else {
        shown = true;
        if (platform.empty()) ::setenv("QT_QPA_PLATFORM", "wayland", 1);
      }
    }
    if (x.empty() && w.empty()) c.notes.push_back("ni DISPLAY ni WAYLAND_DISPLAY");
  }
  if (shown) {
    c.mode = Mode::Desktop;
    c.notes.push_back(forced ? "mode bureau (--desktop)" : "mode bureau");
  } else if (forced > 0) {
    c.impossible = true;
    c.notes.push_back("mode bureau demandé (--desktop) sans écran qui réponde");
  } else {
    c.notes.push_back("mode sans écran");
  }
  return c;
}

}  // namespace kup::host
