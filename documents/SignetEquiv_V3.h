#pragma once
// One V2-to-V3 bookmark equivalence.
#include <string>

namespace kup {

struct SignetEquiv_V3 {
  std::string nom;       // V2 bookmark name, trimmed
  std::string NomEquiv;  // the V3 bookmark name, trimmed
};

}  // namespace kup
