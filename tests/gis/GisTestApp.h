#pragma once
// An application on fakes with the in-memory DDE and the GIS hooks, plus
// helpers to configure the partner route.
#include <memory>
#include <string>
#include <vector>

#include "TestApp.h"
#include "core/Dispatcher.h"
#include "gis/DDE_Client.h"
#include "gis/DDE_KUP.h"
#include "gis/Gis.h"
#include "gis/GisState.h"
#include "platform/FakeDde.h"

struct GisTestApp : TestApp {
  kup::platform::FakeDdeSystem* dde = nullptr;
  kup::CommandTable table;

  GisTestApp() {
    auto d = std::make_unique<kup::platform::FakeDdeSystem>();
    dde = d.get();
    app.pf.dde = std::move(d);
    kup::InstallGisHooks(app);
    kup::RegisterGis(table);
  }

  void set(const std::string& section, const std::string& key, const std::string& value) {
    app.G_Parametres.set(section, key, value);
  }

  // The GIS "NEW" as most tests want it: window "Carte SIG", topic
  // "SIG|CARTO", 3 tenths, and a layout of its own (59-0350-   -A-00123).
  void configurerSig(const std::string& exe = {}) {
    set("DDE_NEW", "SIG_NOMAPPLI", "Carte SIG");
    set("DDE_NEW", "SIG_TOPIC", "SIG|CARTO");
    set("DDE_NEW", "SIG_NOMEXE", exe);
    set("DDE_NEW", "SIG_DELAI", "3");
    set("DDE_NEW", "SIG_REF_DPT", "XX");
    set("DDE_NEW", "SIG_REF_SEPDPTCOM", "-");
    set("DDE_NEW", "SIG_REF_COMMUNE", "XXX");
    set("DDE_NEW", "SIG_REF_SEPCOMPREF", "-");
    set("DDE_NEW", "SIG_REF_PREFIX", "XXX");
    set("DDE_NEW", "SIG_REF_SEPPREFSEC", "-");
    set("DDE_NEW", "SIG_REF_SECTION", "XX");
    set("DDE_NEW", "SIG_REF_SEPSECNUM", "-");
    set("DDE_NEW", "SIG_REF_NUMERO", "XXXXX");
  }

  // The partner route set up as KUP_Parametres does with MODE "2".
  void initialiser() {
    app.G_ModeDDE = "2";
    kup::DDE_Initialiser(app);
  }

  std::shared_ptr<kup::Str_DDESRV> partenaire(const std::string& nom) { return kup::Partenaire(app, nom); }

  // Runs a command through the table as the dispatcher would.
  void commande(const std::string& nom, kup::Args args) {
    auto* h = table.find(nom);
    ASSERT_NE(h, nullptr) << nom;
    (*h)(app, args);
  }

  std::vector<std::string> sentSig() const { return dde->sent("SIG|CARTO"); }

  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (auto& b : msgbox.boxes) out.push_back(b.prompt);
    return out;
  }

  // KUP_ErreurContainer calls that name the source.
  bool erreurSignalee(const std::string& source) const {
    for (auto& c : flash.calls)
      if (c.find("KUP_ErreurContainer") != std::string::npos && c.find("<string>" + source + "</string>") != std::string::npos)
        return true;
    return false;
  }
};
