#pragma once
// One bookmark of the V3 catalogue.
#include <string>
#include <string_view>

namespace kup {

struct Signet_V3 {
  std::string nom;  // the bookmark name, trimmed
};

// A bookmark as the catalogue holds it (a view into its texts, valid until
// the catalogue next changes).
struct VueSignet_V3 {
  std::string_view nom;
};

}  // namespace kup
