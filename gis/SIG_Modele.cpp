#include "gis/SIG_Modele.h"

#include "vb/VbString.h"

namespace kup {

std::string sRefCadEDI2CodeInsee(const std::string& ref) {
  if (ref.empty()) return {};
  return Mid(ref, 1, 2) + Mid(ref, 4, 3);
}

}  // namespace kup
