#pragma once
// Catalogue and equivalence files as the program finds them on disk.
#include <initializer_list>
#include <string>

#include "vb/VbString.h"

namespace kup::test {

// The lines (UTF-8 here) as Windows-1252 text, each ended by CR LF.
inline std::string Lignes8Bits(std::initializer_list<std::string> lignes) {
  std::string s;
  for (const auto& l : lignes) s += l + "\r\n";
  return ToCp1252(s);
}

}  // namespace kup::test
