#include "core/table/CommandTable.h"
#include "core/table/Mdl_Core.h"
#include "documents/Mdl_Equivalence.h"
#include "documents/Mdl_EquivalencePilote.h"
#include "documents/AttacheFichier.h"
#include "office/ApCourrier.h"
#include "data/ApOraSession.h"
#include "documents/Mdl_Courrier.h"
#include "documents/Mdl_CourrierCache.h"
#include "documents/Mdl_Fichier.h"
#include "documents/Mdl_Html.h"
#include "documents/Mdl_DocumentPLUExterne.h"
#include "documents/Mdl_MSS.h"
#include "documents/Mdl_TaxeExterne.h"
#include "documents/Mdl_RequeteurExterne.h"
#include "documents/Mdl_GrilleExterne.h"
#include "documents/Mdl_ArreteExterne.h"
#include "documents/Mdl_BibleExterne.h"
#include "gis/Gis.h"
#include "gis/Mdl_DDE_Reception.h"
#ifdef KUP_WITH_LIBREOFFICE
#include "office/lo/LibreOffice.h"
#endif

// Each command module registers its own commands (Register<Module>) and the
// hooks the core calls; add one line per module below.

namespace kup {

std::shared_ptr<CommandTable> BuildCommandTable() {
  auto t = std::make_shared<CommandTable>();
  RegisterMdl_Core(*t);
  RegisterMdl_Courrier(*t);
  RegisterMdl_CourrierCache(*t);
  RegisterMdl_Fichier(*t);
  RegisterMdl_Html(*t);
  RegisterAttacheFichier(*t);
  RegisterMdl_DocumentPLUExterne(*t);
  RegisterMdl_MSS(*t);
  RegisterMdl_TaxeExterne(*t);
  RegisterMdl_RequeteurExterne(*t);
  RegisterMdl_GrilleExterne(*t);
  RegisterMdl_ArreteExterne(*t);
  RegisterMdl_BibleExterne(*t);
  RegisterMdl_Connexion(*t);
  RegisterGis(*t);
  return t;
}

void InstallModules(App& app) {
  app.commands = BuildCommandTable();
  InstallMdl_EquivalenceHooks(app);
  InstallAttacheFichierHooks(app);
  InstallOfficeHooks(app);
  InstallEquivalenceLookups(app);
  InstallGisHooks(app);
  InstallReceptionHooks(app);
#ifdef KUP_WITH_LIBREOFFICE
  InstallLibreOfficeTwins(app);  // after the office hooks, which it extends
#endif
}

}  // namespace kup
