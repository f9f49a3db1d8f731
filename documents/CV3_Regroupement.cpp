#include "documents/CV3_Regroupement.h"

namespace kup {

int CV3_Regroupement::AjouterVariable(std::string_view champ) {
  CFV3.Add(champ);
  return 0;
}

}  // namespace kup
