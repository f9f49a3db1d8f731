#pragma once
// One bookmark of the V3 catalogue.
#include <string>

namespace kup {

struct Signet_V3 {
  std::string nom;  // the bookmark name, trimmed
};

}  // namespace kup
