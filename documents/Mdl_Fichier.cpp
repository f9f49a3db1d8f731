#include "documents/Mdl_Fichier.h"

#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "documents/Mdl_DocCommun.h"
#include "office/ApCourrier.h"

namespace kup {

namespace {

// Runs one step; a failure skips it and the caller carries on.
template <class F>
void EtapeSansErreur(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

}  // namespace

void FichierOuvrir(App& app, const std::string& path, int16_t mode) {
  constexpr int kSwShowNormal = 1;
  if (mode == kOuvrirEditeur) {
    EtapeSansErreur([&] { G_Courrier(app).OpenEditor(); });
    EtapeSansErreur([&] { G_Courrier(app).OpenDocument(path); });
    EtapeSansErreur([&] { G_Courrier(app).MaximizeEditor(); });
    return;
  }
  const char* verb = mode == kOuvrirImprimer ? "print" : "open";
  EtapeSansErreur([&] {
    if (app.pf.shell) app.pf.shell->execute(app.KUP_MDI.hWnd, verb, path, "", "", kSwShowNormal);
  });
}

void KUP_OuvrirCourrier(App& app, Args& args) {
  static const char* kSource = "KUP_OuvrirCourrier";
  Pieger(app, kSource, [&] {
    if (args.empty() || StrOrEmpty(args[0]).empty()) return;
    StrArray reply{"KUP_OuvrirCourrier", CStr(args[0]), "", ""};
    int16_t mode = kOuvrirShell;
    if (args.size() >= 4) mode = CInt(args[3]);
    FichierOuvrir(app, CStr(args[0]), mode);
    RenvoyerReponse(app, reply);
  }, vberr::InvalidCall);
}

void RegisterMdl_Fichier(CommandTable& table) {
  table.add("KUP_OuvrirCourrier", KUP_OuvrirCourrier);
  table.add("appelAide", KUP_OuvrirCourrier);
}

}  // namespace kup
