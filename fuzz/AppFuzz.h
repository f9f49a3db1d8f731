#pragma once
// An application on fakes with the program's whole command table and module
// hooks (for the targets linked to kup_table).
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FuzzOutils.h"
#include "core/table/CommandTable.h"
#include "platform/FakeDde.h"

namespace kup::fuzz {

// TestApp with the whole command table and the module hooks, and an
// in-memory DDE (partners answer once declared with addServer).
struct AppFuzz : TestApp {
  kup::platform::FakeDdeSystem* dde = nullptr;
  AppFuzz() {
    auto d = std::make_unique<kup::platform::FakeDdeSystem>();
    dde = d.get();
    app.pf.dde = std::move(d);
    kup::InstallModules(app);
  }
};

// One settings record as the interface sends it: nine fields joined by
// U+00F0, section in field 4, key in 5, value in 8.
inline std::string Enregistrement(const std::string& section, const std::string& cle, const std::string& valeur) {
  std::vector<std::string> champs{"1", "", "", "", section, cle, "", "", valeur};
  return kup::Join(champs, kup::Sep240());
}

inline std::string Parametres(const std::vector<std::pair<std::string, std::pair<std::string, std::string>>>& r) {
  std::vector<std::string> recs;
  for (auto& [section, kv] : r) recs.push_back(Enregistrement(section, kv.first, kv.second));
  return kup::Join(recs, kup::Sep241());
}

// Settings the targets start from: the partner route (MODE 2) with a GIS
// partner, the template route (MODE 1) and its URL variant (MODE 4).
inline std::string ParametresTypes(int mode) {
  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> r = {
      {"EDITION", {"REP_MODELE", "C:\\Modeles"}},
      {"EDITION", {"REP_FICREGLEMENT", "C:\\Reglement"}},
      {"EDITION", {"REP_COURRIERATTENTE", "C:\\Attente"}},
      {"EDITION", {"TYPE_EDITEUR", "1"}},
      {"ATTACHE_FICHIER", {"REP_STOCKAGE", "C:\\Stockage"}},
      {"ATTACHE_FICHIER", {"ACTIF", "0"}},
  };
  if (mode == 2) {
    r.push_back({"DDE", {"MODE", "2"}});
    for (auto& [k, v] : std::vector<std::pair<std::string, std::string>>{
             {"SIG_NOMAPPLI", "Carte SIG"}, {"SIG_TOPIC", "SIG|CARTO"}, {"SIG_DELAI", "3"},
             {"SIG_REF_DPT", "XX"}, {"SIG_REF_SEPDPTCOM", "-"}, {"SIG_REF_COMMUNE", "XXX"},
             {"SIG_REF_SEPCOMPREF", "-"}, {"SIG_REF_PREFIX", "XXX"}, {"SIG_REF_SEPPREFSEC", "-"},
             {"SIG_REF_SECTION", "XX"}, {"SIG_REF_SEPSECNUM", "-"}, {"SIG_REF_NUMERO", "XXXXX"}})
      r.push_back({"DDE_NEW", {k, v}});
    r.push_back({"DDE_NEW", {"KUP_TOPIC", "ZEDERA"}});
  } else {
    r.push_back({"DDE", {"MODE", std::to_string(mode)}});
    for (auto& [k, v] : std::vector<std::pair<std::string, std::string>>{
             {"SIGTYPE", "2"}, {"SIGCNT", "CARTO|SIG"}, {"SIGAPP", "Carto"}, {"SIGCMD", "Cadrer(?)"},
             {"SIGDEEInit", "Init"}, {"SIGDDEFin", "Fin"}, {"SIGCMDA", "Ajout(?)"}, {"SIGCREER", "Creer(?)"},
             {"SIGCADRERCOORD", "XYCadrer(?)"}, {"SIGCADRERDOSS", "Dossier(?)"}, {"CODEINSEE", "XXXXX"},
             {"SIG_SEP", "-"}, {"DDECONNECT", "ZEZ|VUE"}, {"CAR_NBNUM", "4"}})
      r.push_back({"DDE_OLD", {k, v}});
  }
  return Parametres(r);
}

}  // namespace kup::fuzz
