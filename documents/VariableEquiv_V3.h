#pragma once
// One V2-to-V3 variable equivalence for one dossier code.
#include <string>

namespace kup {

struct VariableEquiv_V3 {
  std::string nom;       // V2 name, trimmed
  std::string NomEquiv;  // V3 names separated by blanks, trimmed
  std::string Mode;      // trimmed, lower-cased ("c" is handled apart by the word processor driver)
  std::string Code;      // the dossier code of this entry, trimmed
};

}  // namespace kup
