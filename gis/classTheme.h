#pragma once
// One colour theme: a named group of parcels the GIS paints in one colour
// of its palette.
#include <cstdint>
#include <string>

namespace kup {

struct classTheme {
  std::string strNomTheme;   // also its key in G_ColThemes
  int32_t intIdCouleur = 0;  // palette index (row of the palette grid)
  int32_t intR = 0;
  int32_t intG = 0;
  int32_t intB = 0;
  bool blnVisible = false;
};

}  // namespace kup
