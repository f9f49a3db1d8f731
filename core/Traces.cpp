// The error routine and the debug and performance traces.
#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

namespace {

constexpr size_t kFenetreMax = 65535;  // characters kept by each log window

// Keeps the last kFenetreMax characters of a UTF-8 text.
void GarderFin(std::string& window) {
  if (window.size() <= kFenetreMax) return;  // bytes >= characters
  size_t n = Len(window);
  if (n <= kFenetreMax) return;
  size_t drop = n - kFenetreMax;
  size_t i = 0;
  while (drop > 0 && i < window.size()) {
    unsigned char c = static_cast<unsigned char>(window[i]);
    ++i;
    // Skip the continuation bytes of the character just passed.
    if (c >= 0xC0)
      while (i < window.size() && (static_cast<unsigned char>(window[i]) & 0xC0) == 0x80) ++i;
    --drop;
  }
  window.erase(0, i);
}

std::string LigneTrace(const std::string& name, const std::string& text, const Args& args) {
  std::string line = name + " : " + text;
  for (size_t i = 0; i < args.size(); ++i) {
    line += "\r\n\t(" + std::to_string(i) + ")=";
    line += args[i].isNull() ? std::string("Null") : CStr(args[i]);
  }
  return line;
}

void Tracer(App& app, std::string& window, const std::string& channel, const std::string& name,
            const std::string& text, const Args& args) {
  try {
    std::string line = LigneTrace(name, text, args);
    window += line;
    window += "\r\n";
    GarderFin(window);
    EcrireLog(app, channel, line);
  } catch (...) {
    // A trace never disturbs the traced work.
  }
}

}  // namespace

void EcrireLog(App& app, const std::string& channel, const std::string& text) {
  if (!app.pf.log) return;
  try {
    app.pf.log->write(channel, text);
  } catch (...) {
  }
}

void DebugKUP(App& app, const std::string& name, const std::string& text, const Args& args) {
  if (app.G_Debug) Tracer(app, app.debugWindow, "debug", name, text, args);
}

void PerfKUP(App& app, const std::string& name, const std::string& text, const Args& args) {
  if (app.G_Perf) Tracer(app, app.perfWindow, "perf", name, text, args);
}

void TraiterErreur(App& app, const std::string& source, int32_t number, const std::string& description) {
  EcrireLog(app, "core", "TraiterErreur : " + source + " : " + std::to_string(number) + " : " + description);
  try {
    if (number == vberr::UserFacing) {
      if (!app.pf.msgbox) raise(vberr::ObjectVariableNotSet);
      app.pf.msgbox->show(description, platform::mb::Critical, source);
      return;
    }
    if (number == vberr::Ignored) return;
    KUP_EnvoyerChaineVersFlex(app,
                              sInvokeXML("KUP_ErreurContainer", {source, std::to_string(number), description}));
  } catch (...) {
    try {
      if (app.pf.msgbox)
        app.pf.msgbox->show("Fonction : " + source + vbCrLf + "Erreur numéro : " + std::to_string(number) + vbCrLf +
                                "Libéllé : " + description,
                            platform::mb::Critical, "Korvane");
    } catch (...) {
      // Nowhere left to report it; the log line above stays.
    }
  }
}

}  // namespace kup
