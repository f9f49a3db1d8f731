#include "gis/SIG_Theme.h"

#include <functional>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/DDE_Client.h"
#include "gis/GisState.h"

namespace kup {

namespace {

// Runs one operation, reporting its failure under the operation's name.
void Piege(App& app, const char* nom, const std::function<void()>& corps) {
  try {
    corps();
  } catch (const VbError& e) {
    TraiterErreur(app, nom, e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, nom, vberr::InternalError, e.what());
  }
}

void EnvoyerSIG(App& app, const std::string& cmd) {
  auto p = Partenaire(app, "NEW");
  p->DDESRV_Executer(app, cmd, false, true);
}

std::string A(const Args& a, size_t i) { return CStr(Arg(a, i)); }

}  // namespace

void SIG_DemanderCouleur(App& app) {
  Piege(app, "SIG_DemanderCouleur", [&] { EnvoyerSIG(app, "SIG_DemanderCouleur()"); });
}

void SIG_CreerCollection(App& app, const Args& a) {
  Piege(app, "SIG_CreerCollection",
        [&] { EnvoyerSIG(app, "DDE_CreerTheme(" + A(a, 0) + "," + A(a, 1) + "," + A(a, 2) + ")"); });
}

void SIG_ParcelleInitialiser(App& app) {
  Piege(app, "SIG_ParcelleInitialiser", [&] { EnvoyerSIG(app, "SIG_ParcelleInitialiser()"); });
}

void SIG_ParcelleAjouter(App& app, const Args& a) {
  Piege(app, "SIG_ParcelleAjouter", [&] {
    if (a.size() != 1) return;
    std::string conv = sRefCadConvertir(*Partenaire(app, "NEW"), *Partenaire(app, "KUPV3"), A(a, 0));
    EnvoyerSIG(app, "SIG_ParcelleAjouter(" + Trim(conv) + ")");
  });
}

void SIG_ParcelleCadrer(App& app) {
  Piege(app, "SIG_ParcelleCadrer", [&] { EnvoyerSIG(app, "SIG_ParcelleCadrer()"); });
}

void SIG_SupprimerTheme(App& app, const Args& a) {
  Piege(app, "SIG_SupprimerTheme", [&] { EnvoyerSIG(app, "DDE_SupprimerTheme(" + A(a, 0) + ")"); });
}

void SIG_AfficherTheme(App& app, const Args& a) {
  Piege(app, "SIG_AfficherTheme", [&] { EnvoyerSIG(app, "DDE_AfficherTheme(" + A(a, 0) + "," + A(a, 1) + ")"); });
}

void SIG_MasquerTheme(App& app, const Args& a) {
  Piege(app, "SIG_MasquerTheme", [&] { EnvoyerSIG(app, "DDE_MasquerTheme(" + A(a, 0) + ")"); });
}

void ZezORA_ThematiqueProprietaire(App& app, Args& args) {
  if (app.G_ModeDDE == "2") {
    auto& g = Gis(app);
    if (g.setTabThematiqueZezora) g.setTabThematiqueZezora(app, args);
    SIG_DemanderCouleur(app);
  }
  RenvoyerValeurFlexDefaut(app, args);
}

void RegisterSIG_Theme(CommandTable& table) { table.add("ZezORA_ThematiqueProprietaire", &ZezORA_ThematiqueProprietaire); }

}  // namespace kup
