#include "gis/SIG_Partenaire.h"

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/DDE_Client.h"
#include "gis/GisState.h"
#include "gis/SIG_Modele.h"

namespace kup {

namespace {

// A reference of the application's layout in the partner's layout.
std::string Convertir(App& app, const std::string& partenaire, const std::string& ref) {
  return sRefCadConvertir(*Partenaire(app, partenaire), *Partenaire(app, "KUPV3"), ref);
}

int32_t Envoyer(App& app, const std::string& partenaire, const std::string& cmd, bool timeout, bool activation) {
  auto p = Partenaire(app, partenaire);
  return p->DDESRV_Executer(app, cmd, timeout, activation);
}

}  // namespace

void ZezORA_ParcelleMultipleCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  Envoyer(app, "ZEZORA", "ZezORA_ParcelleInitialiser", true, false);
  for (const auto& ref : Split(CStr(args[0]), ";")) {
    std::string insee = sRefCadEDI2CodeInsee(ref);
    std::string conv = Convertir(app, "ZEZORA", ref);
    if (Envoyer(app, "ZEZORA", "ZezORA_ParcelleAjouter(" + insee + "#" + Trim(conv) + ")", true, false) == 0) return;
  }
  Envoyer(app, "ZEZORA", "ZezORA_ParcelleRechercher", false, true);
}

void SIG_NomDossierCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  Envoyer(app, "NEW", "SIG_NomDossierCadrer(" + CStr(args[0]) + ")", false, true);
}

void SIG_ImplanterDossier(App& app, Args& args) {
  std::vector<std::string> convertis;
  for (const auto& ref : Split(CStr(Arg(args, 8)), ";")) convertis.push_back(Convertir(app, "NEW", ref));
  std::string cmd = "DDE_ImplenterDossier(";
  for (size_t i = 1; i <= 7; ++i) cmd += CStr(Arg(args, i)) + ";";
  cmd += Join(convertis, ",") + ")";
  Envoyer(app, "NEW", cmd, false, true);
}

void SIG_CoordonneesCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  Envoyer(app, "NEW", "SIG_CoordonneesCadrer(" + CStr(args[0]) + ")", false, true);
}

void SIG_ParcelleUniqueCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  std::string conv = Convertir(app, "NEW", CStr(args[0]));
  Envoyer(app, "NEW", "SIG_ParcelleUniqueCadrer(" + Trim(conv) + ")", false, true);
}

void SIG_FusionCartoParcelle(App& app, Args& args) {
  if (args.size() < 6) return;
  try {
    std::vector<std::string> convertis;
    for (const auto& ref : Split(CStr(args[5]), ";")) convertis.push_back(Convertir(app, "NEW", ref));
    std::string parcelles = Join(convertis, ";");
    auto cartes = Split(CStr(args[0]), ";");
    auto l2 = Split(CStr(args[2]), ";");
    auto l3 = Split(CStr(args[3]), ";");
    auto l4 = Split(CStr(args[4]), ";");
    auto item = [](const std::vector<std::string>& l, size_t i) -> const std::string& {
      if (i >= l.size()) raise(vberr::SubscriptOutOfRange);
      return l[i];
    };
    for (size_t i = 0; i < cartes.size(); ++i) {
      std::string cmd = "SIG_FusionCartoParcelle(" + cartes[i] + ";" + item(l2, i) + ";" + item(l3, i) + ";" +
                        item(l4, i) + "|" + parcelles + ")";
      Envoyer(app, "NEW", cmd, true, false);
    }
    StrArray reponse{"SIG_FusionCartoParcelle"};
    for (size_t i = 0; i <= 5; ++i) reponse.push_back(CStr(args[i]));
    reponse.emplace_back();
    reponse.emplace_back();
    RenvoyerReponse(app, reponse);
  } catch (const VbError& e) {
    TraiterErreur(app, "SIG_FusionCartoParcelle", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "SIG_FusionCartoParcelle", vberr::InternalError, e.what());
  }
}

void SIG_ParcelleMultipleCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  if (Envoyer(app, "NEW", "SIG_ParcelleInitialiser", true, false) == 0) return;
  for (const auto& ref : Split(CStr(args[0]), ";")) {
    std::string conv = Convertir(app, "NEW", ref);
    std::string texte = Trim(sRefCadEDI2CodeInsee(ref) + "#" + conv);
    if (Envoyer(app, "NEW", "SIG_ParcelleAjouter(" + texte + ")", true, false) == 0) return;
  }
  Envoyer(app, "NEW", "SIG_ParcelleCadrer", false, true);
}

// ------------------------------------------------------------------ routing

namespace {

using Route = void (*)(App&, Args&);

// The partner route when MODE is "2", else the template route's handler of
// the same command (nothing while that route has none). An error of either
// goes on to the dispatcher, and then no answer is given.
Handler Aiguiller(const std::string& commande, Route partenaire, bool reponseDefaut) {
  return [commande, partenaire, reponseDefaut](App& app, Args& args) {
    if (app.G_ModeDDE == "2") {
      partenaire(app, args);
    } else {
      auto& route = Gis(app).routeModele;
      auto it = route.find(UCase(commande));
      if (it != route.end() && it->second) it->second(app, args);
    }
    if (reponseDefaut) RenvoyerValeurFlexDefaut(app, args);
  };
}

}  // namespace

void RegisterSIG_Partenaire(CommandTable& table) {
  table.add("SIG_ParcelleMultipleCadrer",
            Aiguiller("SIG_ParcelleMultipleCadrer", &SIG_ParcelleMultipleCadrer, true));
  table.add("SIG_ParcelleUniqueCadrer", Aiguiller("SIG_ParcelleUniqueCadrer", &SIG_ParcelleUniqueCadrer, true));
  table.add("SIG_CoordonneesCadrer", Aiguiller("SIG_CoordonneesCadrer", &SIG_CoordonneesCadrer, true));
  table.add("SIG_NomDossierCadrer", Aiguiller("SIG_NomDossierCadrer", &SIG_NomDossierCadrer, true));
  table.add("SIG_ImplanterDossier", Aiguiller("SIG_ImplanterDossier", &SIG_ImplanterDossier, true));
  table.add("ZezORA_ParcelleMultipleCadrer",
            Aiguiller("ZezORA_ParcelleMultipleCadrer", &ZezORA_ParcelleMultipleCadrer, false));
  table.add("SIG_FusionCarto", &SIG_FusionCartoParcelle);
  table.add("SIG_FusionCartoParcelle", &SIG_FusionCartoParcelle);
}

}  // namespace kup
