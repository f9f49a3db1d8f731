#pragma once
// A group of catalogue variables sharing one screen (ECRAN) or one dossier
// code (CODE) value.
#include <string>
#include <string_view>

#include "documents/CollectionCle.h"

namespace kup {

class CV3_Regroupement {
 public:
  std::string nom;                   // the ECRAN or CODE value
  CollectionNoms CFV3;  // CHAMP values, each under itself

  // Adds champ under itself; an existing key is left as it is. Returns 0.
  int AjouterVariable(std::string_view champ);
  bool Existe(std::string_view champ) const { return CFV3.Contains(champ); }
};

}  // namespace kup
