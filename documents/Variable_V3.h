#pragma once
// One merge variable of the V3 catalogue.
#include <cstdint>
#include <string>

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

}  // namespace kup
