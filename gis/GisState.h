#pragma once
// State of the GIS link kept for the life of the process (App::gis).
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "core/Dispatcher.h"
#include "gis/Str_DDESRV.h"

namespace kup {

// The DDE application name under which partners reach the main window:
// they send to "Korvane|" + its topic (setting KUP_TOPIC of DDE_NEW).
inline constexpr const char* kApplicationDDE = "Korvane";

// Section DDE_CLIENT (and KUP_TOPIC of DDE_NEW) as the last partner load read it.
struct ParametresClientDDE {
  std::string NOMAPPLI, KUP_TOPIC, NOMEXE, DELAI;
  std::string REF_DPT, REF_COMMUNE, REF_PREFIX, REF_SECTION, REF_NUMERO;
  std::string REF_SEPDPTCOM, REF_SEPPREFSEC, REF_SEPSECNUM, REF_SEPCOMPREF;
};

struct EtatSigOld;  // template route settings and link text box (Mdl_SIG_Old)
struct EtatThemes;  // colour themes and their parcels (Mdl_Themes)

struct GisState {
  // The partner collection of DDE_Client; null until first used (then
  // created empty). G_ColPartenaires is the same collection once the link
  // initialisation has published it.
  std::shared_ptr<ColPartenaires> G_ColClientsDDE;
  std::shared_ptr<ColPartenaires> G_ColPartenaires;
  ParametresClientDDE ddeClient;

  // How long a partner program started by DDESRV_Connecter is given to open
  // its DDE topic, in milliseconds.
  int delaiDemarrageMs = 10000;

  // Template route: handlers keyed by upper-cased command name, for the map
  // commands when MODE is not "2". A command without an entry does nothing.
  std::map<std::string, Handler> routeModele;

  // The colour-theme window's setTabThematiqueZezora (creating the window
  // object when needed, without showing it); nothing while unset.
  std::function<void(App&, Args&)> setTabThematiqueZezora;

  // The GIS palette the DDE receiver fills and the colour-theme window
  // reads: G_TabCouleurs[colour][component], component 1 red, 2 green,
  // 3 blue (0 unused), colours 0 to G_NbCouleurs - 1.
  std::vector<std::array<int32_t, 4>> G_TabCouleurs;
  int32_t G_NbCouleurs = 0;
  bool G_CouleursRecues = false;
  // Module state of the template route and of the colour themes, created on
  // first use by their modules.
  std::shared_ptr<EtatSigOld> sigOld;
  std::shared_ptr<EtatThemes> themes;
};

// The App's GIS state, created on first use.
GisState& Gis(App& app);

}  // namespace kup
