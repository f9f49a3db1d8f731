#pragma once
// One merge variable of the V3 catalogue: the plain record a variable is
// built in, and the view through which the catalogue shows a stored one.
#include <cstdint>
#include <string>
#include <string_view>

namespace kup {

struct Variable_V3 {
  std::string nom;      // CHAMP, trimmed
  std::string Fmt;      // field format switch for the merged value, "" when none
  std::string Libelle;  // LIBELLE, trimmed
  std::string NomEX;    // V2 name the equivalences link to this variable, "" otherwise
  // 0 type absent or unknown, 1 VARCHAR2, 2 NUMBER without decimals,
  // 3 NUMBER with two decimals, 4 DATE.
  int16_t TypeFmt = 0;
};

// A variable as the catalogue holds it; the texts are views into the
// catalogue's texts, valid until the catalogue next changes.
struct VueVariable_V3 {
  std::string_view nom, Fmt, Libelle, NomEX;
  int16_t TypeFmt = 0;
};

}  // namespace kup
