#include "gis/DDE_KUP.h"

#include "vb/VbError.h"
#include "gis/DDE_Client.h"
#include "gis/GisState.h"

namespace kup {

void DDE_Initialiser(App& app) {
  auto& g = Gis(app);
  g.G_ColPartenaires = DDE_ClientsCharger(app);

  // The application's own reference layouts: partners never connected.
  auto& tab = app.KUP_MDI.Txt_DDE;
  int controle = static_cast<int>(tab.size());
  ChargerTxtDDE(app, controle);
  DDE_ClientCreer(app, "KUPV3", "Korvane", "", "", controle, 0, "XX", "X", "XXX", "", "   ", "", "BB", "", "XXXX");

  const auto& c = g.ddeClient;
  controle = static_cast<int>(tab.size());
  ChargerTxtDDE(app, controle);
  DDE_ClientCreer(app, "DODI2", "Korvane", "", "", controle, 0, "XX", c.REF_SEPDPTCOM, "XXX", "#", c.REF_PREFIX,
                  c.REF_SEPPREFSEC, c.REF_SECTION, c.REF_SEPSECNUM, c.REF_NUMERO);

  // The main window becomes a DDE source on its topic; its properties
  // change only once the platform has taken the new topic.
  if (!app.pf.dde) raise(vberr::ObjectVariableNotSet);
  app.pf.dde->setSource(kApplicationDDE, c.KUP_TOPIC, 1);
  app.KUP_MDI.LinkTopic = c.KUP_TOPIC;
  app.KUP_MDI.LinkMode = 1;
}

}  // namespace kup
