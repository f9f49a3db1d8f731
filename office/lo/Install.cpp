// The LibreOffice twins behind the application's two office drivers.
#include "core/App.h"
#include "core/Core.h"
#include "core/Dispatcher.h"
#include "office/ApCourrier.h"
#include "office/ApTableur.h"
#include "office/lo/LibreOffice.h"

namespace kup {

void InstallLibreOfficeTwins(App& app) {
  lo::OfficeOptions options = lo::OfficeOptions::FromEnvironment();
  App* a = &app;
  options.log = [a](const std::string& text) { EcrireLog(*a, "office", text); };
  options.trace = [a](const std::string& text) { DebugKUP(*a, "LibreOffice", text); };
  options.askDiscard = [a](const std::string& question) {
    return a->pf.msgbox &&
           a->pf.msgbox->show(question, platform::mb::YesNo | platform::mb::Exclamation | platform::mb::DefaultButton2,
                              "Korvane") == platform::mb::Yes;
  };
  // While the office waits on its person, the busy indicator would stand
  // over its dialog: it stands aside, as for the program's own dialogs.
  options.personWaits = [a](bool on) {
    if (on) MasquerBusy(*a);
    a->waitingForPerson += on ? 1 : -1;
  };
  options.meanwhile = [a] {
    if (a->waitingForPerson > 0 && a->turnLoop) a->turnLoop();
  };
  auto office = std::make_shared<lo::Office>(std::move(options));

  // Each driver gets the twins when it is made (first use, and again after
  // a release); a factory a test puts there afterwards takes their place.
  auto previousCourrier = app.hooks.configureCourrier;
  app.hooks.configureCourrier = [previousCourrier, office](App& x, ApCourrier& c) {
    if (previousCourrier) previousCourrier(x, c);
    if (!c.twinFactory) c.twinFactory = lo::LibreOfficeWordTwinFactory(office);
  };
  auto previousTableur = app.hooks.configureTableur;
  app.hooks.configureTableur = [previousTableur, office](App& x, ApTableur& t) {
    if (previousTableur) previousTableur(x, t);
    if (!t.twinFactory) t.twinFactory = lo::LibreOfficeCalcTwinFactory(office);
  };
  // Drivers made before this (without a factory) get them too.
  if (app.G_Courrier) app.hooks.configureCourrier(app, *app.G_Courrier);
  if (app.G_Tableur) app.hooks.configureTableur(app, *app.G_Tableur);
  // Between two requests, the office that has served its number of
  // documents is ended (the next document starts a fresh one).
  if (app.commands)
    for (auto& entry : app.commands->handlers)
      entry.second = [inner = std::move(entry.second), office](App& x, Args& args) {
        inner(x, args);
        office->recycleIfDue();
      };
  // The office ends with the container: after the drivers let go of it.
  auto previousUnload = app.hooks.unload;
  app.hooks.unload = [previousUnload, office](App& x) {
    if (previousUnload) previousUnload(x);
    office->shutdown();
  };
}

}  // namespace kup
