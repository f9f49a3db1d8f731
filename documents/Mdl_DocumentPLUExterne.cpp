#include "documents/Mdl_DocumentPLUExterne.h"

#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_DocCommun.h"

namespace kup {

void KUP_ListeDocumentsReglement(App& app, Args& /*args*/) {
  static const char* kSource = "KUP_ListeDocumentsReglement";
  Pieger(app, kSource, [&] {
    const StrArray liste = sCommunListeFichier(app, app.G_RepFicReglement, "");
    RepondreListe(app, "KUP_ListeDocumentsReglement", liste);
  });
}

void RegisterMdl_DocumentPLUExterne(CommandTable& table) {
  table.add("KUP_ListeDocumentsReglement", KUP_ListeDocumentsReglement);
}

}  // namespace kup
