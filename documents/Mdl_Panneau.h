#pragma once
// The main window as a small fixed panel above the office program while a
// decree, a text library or a tax document is worked on: where the panel
// goes, the size a request asks for, and the placement reply. The three
// editing layouts share the panel position setting.
#include <cstdint>
#include <string>

#include "core/App.h"
#include "vb/Value.h"

namespace kup {

struct PlacePanneau {
  int32_t gauche = 0, haut = 0;  // twips
};

// Saves where the main window stands, each edge to the nearest whole twip,
// into gaucheSauvee and hautSauve, and answers where the panel goes: the
// setting EDITION / POSITION_FENETRE_ARRETE, "(x,y)" in twips with the
// parentheses optional, read part by part; a part that is missing or no
// whole number keeps the saved coordinate.
PlacePanneau PlaceDuPanneau(App& app, int32_t& gaucheSauvee, int32_t& hautSauve);

// Makes the main window a fixed panel at `place`: normal state, fixed
// dialog border.
void FigerPanneau(MainWindow& w, const PlacePanneau& place);

// Gives the main window the outer size a request's (width, height) in
// pixels asks for. Both are read, the height first, before the window
// changes: a value that is no number raises 13 and a negative size 380,
// and the window stays as it was.
void DimensionnerPanneau(MainWindow& w, const Args& args);

// The placement reply: the command name, the main window's inner width and
// height in twips, "", "". With `simplePrecision` the sizes are written as
// single-precision numbers.
void RepondrePlacement(App& app, const std::string& nom, bool simplePrecision = false);

}  // namespace kup
