// The command dispatcher, the deferred-call timer and the busy indicator.
#include "core/Dispatcher.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

namespace {

// Outside text kept on one log line: a line break in it would start
// a line of its own, which could pass for one of ours.
std::string SurUneLigne(const std::string& s) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (c >= 0x20 && c != 0x7F) {
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The start of a request for the log. A request that speaks of a logon
// carries a password, which may be what broke it (an unescaped "<"): it is
// shown up to the command's name only.
std::string Apercu(const std::string& s) {
  for (std::string secret : {"connexion", "kup_utilisateurunique"}) {
    auto at = std::search(s.begin(), s.end(), secret.begin(), secret.end(), [](char a, char b) {
      return std::tolower(static_cast<unsigned char>(a)) == b;
    });
    if (at != s.end()) {
      size_t end = std::min<size_t>(static_cast<size_t>(at - s.begin()) + secret.size(), 200);
      return SurUneLigne(SanitizeUtf8(s.substr(0, end))) + "... (suite non journalisée, " + std::to_string(s.size()) +
             " caractères)";
    }
  }
  std::string p = SurUneLigne(SanitizeUtf8(s.substr(0, 200)));
  if (s.size() > 200) p += "...";
  return p;
}

void ArmerMinuterie(App& app) {
  auto& timer = *app.pf.timer;
  if (!timer.onTimer) timer.onTimer = [&app] { TimerAppelDiffere_Timer(app); };
}

}  // namespace

void CommandTable::add(const std::string& name, Handler h) { handlers[UCase(name)] = std::move(h); }

void CommandTable::addDeferred(const std::string& name, int intervalMs, Handler h) {
  deferred[UCase(name)] = intervalMs;
  add(name, std::move(h));
}

const Handler* CommandTable::find(const std::string& name) const { return findKey(UCase(name)); }

const Handler* CommandTable::findKey(const std::string& key) const {
  auto it = handlers.find(key);
  return it == handlers.end() ? nullptr : &it->second;
}

void sGetFlashXML(App& app, const std::string& request, bool deferred) {
  app.G_SepNiveau1 = Sep242();
  app.G_SepNiveau2 = Sep241();
  app.G_SepNiveau3 = Sep240();

  std::string invokeName;
  Args args;
  if (!ParseFlexRequest(request, invokeName, args)) {
    EcrireLog(app, "core", "sGetFlashXML : requête illisible, ignorée : " + Apercu(request));
    return;
  }
  if (args.empty() || !(args[0].isString() || args[0].isNumber())) {
    EcrireLog(app, "core", "sGetFlashXML : requête sans nom de commande, ignorée : " + Apercu(request));
    return;
  }
  std::string command = CStr(args[0]);
  std::string key = UCase(command);
  if (!app.commands) {
    EcrireLog(app, "core", "sGetFlashXML : aucune table de commandes, " + Apercu(command) + " ignorée");
    return;
  }

  if (!deferred) {
    auto d = app.commands->deferred.find(key);
    if (d != app.commands->deferred.end() && app.pf.timer) {
      if (!app.G_AppelDiffere.empty())
        EcrireLog(app, "core", "sGetFlashXML : appel différé remplacé par " + command);
      app.G_AppelDiffere = request;
      ArmerMinuterie(app);
      app.pf.timer->setInterval(d->second);
      app.pf.timer->setEnabled(true);
      return;
    }
  }

  const Handler* handler = app.commands->findKey(key);
  if (!handler) {
    EcrireLog(app, "core", "sGetFlashXML : commande inconnue : " + Apercu(command));
    return;
  }

  // The handler sees the values after the name; a request with the name
  // alone keeps it as its single element.
  if (args.size() > 1) args.erase(args.begin());

  auto debut = std::chrono::steady_clock::now();
  try {
    (*handler)(app, args);
  } catch (const VbError& e) {
    TraiterErreur(app, "sGetFlashXML", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "sGetFlashXML", vberr::InternalError, e.what());
  } catch (...) {
    TraiterErreur(app, "sGetFlashXML", vberr::InternalError, vbErrorText(vberr::InternalError));
  }
  if (app.G_Perf) {
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - debut).count();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f ms", ms);
    PerfKUP(app, command, std::string("Temps d'exécution : ") + buf);
  }
}

void FlashCall(App& app, const std::string& request) {
  AfficherBusy(app);
  sGetFlashXML(app, request, false);
  MasquerBusy(app);
}

void TimerAppelDiffere_Timer(App& app) {
  if (app.pf.timer) app.pf.timer->setEnabled(false);
  std::string request;
  request.swap(app.G_AppelDiffere);
  if (request.empty()) return;
  AfficherBusy(app);
  sGetFlashXML(app, request, true);
  MasquerBusy(app);
}

// ---------------------------------------------------------------- attachment library

void* pEntreeAttacheFichier(App& app, const std::string& entry) {
  if (!app.pf.libraries) return nullptr;
  if (app.hAttacheFichier == 0) {
    long h = 0;
    try {
      std::string folder = app.pf.env ? app.pf.env->programFolder() : std::string();
      if (!folder.empty()) h = app.pf.libraries->load(sJoindreChemin(folder, "AttacheFichier.dll"));
      if (h == 0) h = app.pf.libraries->load("AttacheFichier.dll");
    } catch (...) {
      h = 0;
    }
    app.hAttacheFichier = h != 0 ? h : -1;
  }
  if (app.hAttacheFichier < 0) return nullptr;
  try {
    return app.pf.libraries->symbol(app.hAttacheFichier, entry);
  } catch (...) {
    return nullptr;
  }
}

namespace {
void AppelBusy(App& app, bool show) {
  const char* entry = show ? "AfficherBusy" : "MasquerBusy";
  if (app.busyHandle == 0 || app.busyHandle != app.hAttacheFichier) {
    app.busyShow = pEntreeAttacheFichier(app, "AfficherBusy");
    app.busyHide = pEntreeAttacheFichier(app, "MasquerBusy");
    app.busyHandle = app.hAttacheFichier;
  }
  void* p = show ? app.busyShow : app.busyHide;
  if (!p) {
    if (!app.busyUnavailableLogged) {
      app.busyUnavailableLogged = true;
      EcrireLog(app, "core",
                std::string("Indicateur d'activité indisponible : ") + entry + " absent de AttacheFichier.dll");
    }
    return;
  }
  reinterpret_cast<int32_t (*)()>(p)();
}
}  // namespace

void AfficherBusy(App& app) { AppelBusy(app, true); }
void MasquerBusy(App& app) { AppelBusy(app, false); }

}  // namespace kup
