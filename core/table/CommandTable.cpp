#include "core/table/CommandTable.h"

namespace kup {

// Each command module registers its own commands; see the Register*
// functions named below.
std::shared_ptr<CommandTable> BuildCommandTable() {
  auto t = std::make_shared<CommandTable>();
  return t;
}

}  // namespace kup
