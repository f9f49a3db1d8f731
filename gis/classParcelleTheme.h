#pragma once
// One parcel in one colour theme.
#include <string>

namespace kup {

struct classParcelleTheme {
  std::string strCodeCommune;  // always empty
  std::string strRefCad;       // as the Flex interface handed it over
  std::string strProp;         // owner text
  std::string strNomTheme;
};

}  // namespace kup
