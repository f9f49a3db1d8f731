#pragma once
// Template route of the GIS link: reference formatting shared with the
// partner route.
#include <string>

namespace kup {

// INSEE code of an application parcel reference: its characters 1 and 2
// followed by its characters 4 to 6; "" for an empty reference.
std::string sRefCadEDI2CodeInsee(const std::string& ref);

}  // namespace kup
