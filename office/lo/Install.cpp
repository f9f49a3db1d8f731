// The LibreOffice twins behind the application's two office drivers.
#include "core/App.h"
#include "core/Core.h"
#include "office/ApCourrier.h"
#include "office/ApTableur.h"
#include "office/lo/LibreOffice.h"

namespace kup {

namespace {

// Drivers made before the settings arrive, and any made again later, get
// the twins; a factory someone else put there (tests) is left alone.
void PutTwins(App& app, const std::shared_ptr<lo::Office>& office) {
  auto& courrier = G_Courrier(app);
  if (!courrier.twinFactory) courrier.twinFactory = lo::LibreOfficeWordTwinFactory(office);
  auto& tableur = G_Tableur(app);
  if (!tableur.twinFactory) tableur.twinFactory = lo::LibreOfficeCalcTwinFactory(office);
}

}  // namespace

void InstallLibreOfficeTwins(App& app) {
  lo::OfficeOptions options = lo::OfficeOptions::FromEnvironment();
  App* a = &app;
  options.log = [a](const std::string& text) { EcrireLog(*a, "office", text); };
  auto office = std::make_shared<lo::Office>(std::move(options));
  PutTwins(app, office);

  auto previousType = app.hooks.setEditorType;
  app.hooks.setEditorType = [previousType, office](App& x, int type) {
    if (previousType) previousType(x, type);
    PutTwins(x, office);
  };
  // The office ends with the container: after the drivers let go of it.
  auto previousUnload = app.hooks.unload;
  app.hooks.unload = [previousUnload, office](App& x) {
    if (previousUnload) previousUnload(x);
    office->shutdown();
  };
}

}  // namespace kup
