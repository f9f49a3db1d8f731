#include "documents/Mdl_EquivalencePilote.h"

#include "documents/Catal_V3.h"
#include "documents/Equivalence_V3.h"
#include "documents/ErreurTxt.h"
#include "documents/Mdl_Equivalence.h"
#include "office/ApCourrier.h"

namespace kup {

static EquivalenceLookups MakeLookups(App& app) {
  EquivalenceLookups lk;
  lk.sNomVariableV3 = [](std::string& name, const std::string& code, Equivalence_V3& eq) {
    return sNomVariableV3(name, code, &eq);
  };
  lk.vNomsEquivalence = [](const std::string& key, Equivalence_V3& eq) {
    auto v = vNomsEquivalence(key, &eq);
    return std::vector<std::string>(v.begin(), v.end());
  };
  lk.sModeEquivalence = [](const std::string& key, Equivalence_V3& eq) { return sModeEquivalence(key, &eq); };
  lk.sFormatEquivalence = [](const std::string& name, Catal_V3& cat) { return sFormatEquivalence(name, &cat); };
  lk.appFormatV3 = [](Equivalence_V3& eq) { return static_cast<int>(eq.AppFormatV3()); };
  lk.existeVariable = [](const std::string& name, Catal_V3& cat) { return cat.Existe(name); };
  lk.signetEquivalent = [](const std::string& name, Equivalence_V3& eq) -> std::string {
    const SignetEquiv_V3* s = eq.SigEquiv.Item(name);
    return s ? s->NomEquiv : std::string();
  };
  // A bookmark already named as in the loaded catalogue needs no equivalence.
  lk.existeSignetV3 = [&app](const std::string& name, Equivalence_V3&) {
    return app.G_Catalogue && app.G_Catalogue->ExisteSignet(name);
  };
  lk.erreurChargement = [](ErreurTxt& errors, const std::string& row) { errors.ErreurChargement(row); };
  return lk;
}

void InstallEquivalenceLookups(App& app) {
  auto previous = app.hooks.configureCourrier;
  app.hooks.configureCourrier = [previous](App& a, ApCourrier& c) {
    if (previous) previous(a, c);
    c.equivalenceLookups = MakeLookups(a);
  };
}

}  // namespace kup
