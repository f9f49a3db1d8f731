#include "documents/Mdl_Equivalence.h"

#include <memory>

#include "vb/VbString.h"
#include "documents/Catal_V3.h"
#include "documents/Equivalence_V3.h"
#include "documents/ErreurTxt.h"

namespace kup {

namespace {

size_t dernierSeparateur(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i)
    if (path[i - 1] == '\\' || path[i - 1] == '/') return i - 1;
  return std::string_view::npos;
}

std::string dansDossierProgramme(App& app, const char* nom) {
  std::string dossier = app.env().programFolder();
  if (dossier.empty() || (dossier.back() != '\\' && dossier.back() != '/')) dossier += '\\';
  return dossier + nom;
}

}  // namespace

std::string sRepertoireChemin(std::string_view path) {
  size_t p = dernierSeparateur(path);
  return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p));
}

std::string sNomFichierChemin(std::string_view path) {
  size_t p = dernierSeparateur(path);
  return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

void sub_ChargerEquivalences(App& app) {
  app.G_ErrEquivalence = std::make_shared<ErreurTxt>();
  if (!app.G_ErrCatalogue) app.G_ErrCatalogue = std::make_shared<ErreurTxt>();
  if (!app.G_Catalogue) app.G_Catalogue = std::make_shared<Catal_V3>();
  if (!app.G_Equivalence) app.G_Equivalence = std::make_shared<Equivalence_V3>();
  app.G_ResCatalogue =
      app.G_Catalogue->ChargerCatalogue_v3(app, dansDossierProgramme(app, "Var_Catalogue_V3.csv"), *app.G_ErrCatalogue);
  app.G_ResEquivalence = app.G_Equivalence->ChargerEquivalence_v3(
      app, dansDossierProgramme(app, "Var_Equiv_V2_V3.csv"), *app.G_Catalogue, *app.G_ErrEquivalence);
}

void InstallMdl_EquivalenceHooks(App& app) { app.hooks.sub_ChargerEquivalences = sub_ChargerEquivalences; }

std::string sNomVariableV3(std::string& name, const std::string& code, const Equivalence_V3* equivalences) {
  if (!equivalences) return {};
  if (const VariableEquiv_V3* e = equivalences->VarEquiv.Item(name + "_" + code)) {
    name = e->nom;
    return name + "_" + code;
  }
  if (const VariableEquiv_V3* e = equivalences->VarEquiv.Item(name + "_AA")) {
    name = e->nom;
    return name + "_AA";
  }
  return {};
}

StrArray vNomsEquivalence(const std::string& key, const Equivalence_V3* equivalences) {
  if (!equivalences) return {};
  const VariableEquiv_V3* e = equivalences->VarEquiv.Item(key);
  if (!e) return {};
  return Split(e->NomEquiv, " ");
}

std::string sModeEquivalence(const std::string& key, const Equivalence_V3* equivalences) {
  if (!equivalences) return {};
  const VariableEquiv_V3* e = equivalences->VarEquiv.Item(key);
  return e ? e->Mode : std::string();
}

std::string sFormatEquivalence(const std::string& name, const Catal_V3* catalogue) {
  if (!catalogue) return {};
  const auto v = catalogue->CatV3.Item(name);  // any case
  return v ? std::string(v->Fmt) : std::string();
}

}  // namespace kup
