#include "core/table/Mdl_Core.h"

#include "core/Core.h"

namespace kup {

void RegisterMdl_Core(CommandTable& table) {
  table.add("KUP_Parametres", KUP_Parametres);
  table.add("KUP_UtilisateurUnique", KUP_UtilisateurUnique);
  table.add("unload", unload);
}

}  // namespace kup
