// Start-up: the command line, the main window and the catalogue load.
#include <algorithm>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

namespace {

bool Blanc(char c) { return c == ' ' || c == '\t'; }

std::string SansGuillemets(std::string s) {
  s = Trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

}  // namespace

LigneCommande AnalyserLigneCommande(const std::string& commandLine) {
  static const char* kSwitches[] = {"-ARGS", "-SWIF", "-DEBUG", "-PERF"};
  std::string upper = commandLine;
  for (auto& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  struct Found {
    size_t pos;
    int which;
  };
  std::vector<Found> found;
  for (size_t i = 0; i < upper.size(); ++i) {
    if (upper[i] != '-' || (i > 0 && !Blanc(upper[i - 1]))) continue;
    for (int k = 0; k < 4; ++k) {
      std::string_view sw = kSwitches[k];
      if (upper.compare(i, sw.size(), sw) == 0 && (i + sw.size() == upper.size() || Blanc(upper[i + sw.size()]))) {
        found.push_back({i, k});
        break;
      }
    }
  }
  LigneCommande lc;
  for (size_t f = 0; f < found.size(); ++f) {
    size_t start = found[f].pos + std::string_view(kSwitches[found[f].which]).size();
    size_t end = f + 1 < found.size() ? found[f + 1].pos : commandLine.size();
    std::string text = commandLine.substr(start, end - start);
    switch (found[f].which) {
      case 0:
        if (lc.args.empty()) lc.args = SansGuillemets(text);
        break;
      case 1:
        if (lc.swif.empty()) lc.swif = SansGuillemets(text);
        break;
      case 2: lc.debug = true; break;
      case 3: lc.perf = true; break;
    }
  }
  return lc;
}

int Main(App& app, const std::string& commandLine, const std::string& exeName) {
  if (app.mainDone) return 0;
  app.mainDone = true;
  try {
    LigneCommande lc = AnalyserLigneCommande(commandLine);
    app.G_Args = lc.args;
    app.G_Swif = lc.swif;
    app.G_Debug = lc.debug;
    app.G_Perf = lc.perf;

    // The main window and its deferred-call timer.
    if (app.pf.windows && app.KUP_MDI.hWnd == 0) app.KUP_MDI.hWnd = app.pf.windows->registerWindow(app.KUP_MDI.Caption);
    app.KUP_MDI.Visible = true;
    if (app.pf.timer) {
      app.pf.timer->setEnabled(false);
      app.pf.timer->onTimer = [&app] { TimerAppelDiffere_Timer(app); };
    }
    if (app.pf.flash) {
      app.pf.flash->FlashVars = app.G_Args;
      std::string folder = app.pf.env ? app.pf.env->programFolder() : std::string();
      app.pf.flash->Movie = !app.G_Swif.empty() ? app.G_Swif : sJoindreChemin(folder, exeName + ".swf");
    }
    if (app.G_Debug) EcrireLog(app, "core", "Fenêtre de débogage ouverte");
    if (app.G_Perf) EcrireLog(app, "core", "Fenêtre de performance ouverte");

    if (app.hooks.sub_ChargerEquivalences) app.hooks.sub_ChargerEquivalences(app);
  } catch (const VbError& e) {
    TraiterErreur(app, "main", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "main", vberr::InternalError, e.what());
  }
  return 0;
}

}  // namespace kup
