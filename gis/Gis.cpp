#include "gis/Gis.h"

#include "gis/DDE_Client.h"
#include "gis/DDE_KUP.h"
#include "gis/SIG_Partenaire.h"
#include "gis/SIG_Thematique.h"
#include "gis/SIG_Theme.h"

namespace kup {

void RegisterGis(CommandTable& table) {
  RegisterSIG_Partenaire(table);
  RegisterSIG_Theme(table);
  RegisterSIG_Thematique(table);
}

void InstallGisHooks(App& app) {
  Gis(app);
  AssurerTxtDDE0(app);
  app.hooks.DDE_Initialiser = [](App& a) { DDE_Initialiser(a); };
}

}  // namespace kup
