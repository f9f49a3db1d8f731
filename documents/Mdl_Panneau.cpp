#include "documents/Mdl_Panneau.h"

#include <cstdio>
#include <cstdlib>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

namespace {

// One coordinate of the position setting; a part that is missing or no
// whole number a window can take leaves the coordinate as it was.
void LireCoordonnee(const StrArray& parties, size_t i, int32_t& coordonnee) {
  if (i >= parties.size()) return;
  try {
    coordonnee = CLng(Value(parties[i]));
  } catch (const VbError&) {
  }
}

// A window measure as the text of a single-precision number.
std::string TexteSimple(double valeur) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(static_cast<float>(valeur)));
  return NumberText(std::strtod(buf, nullptr));
}

}  // namespace

PlacePanneau PlaceDuPanneau(App& app, int32_t& gaucheSauvee, int32_t& hautSauve) {
  const MainWindow& w = app.KUP_MDI;
  gaucheSauvee = CLng(Value(w.Left));
  hautSauve = CLng(Value(w.Top));
  PlacePanneau place{gaucheSauvee, hautSauve};
  std::string position = Gen_LireParametreKUP(app, "EDITION", "POSITION_FENETRE_ARRETE", "");
  if (!position.empty()) {
    StrArray parties = Split(Replace(Replace(position, "(", ""), ")", ""), ",");
    LireCoordonnee(parties, 0, place.gauche);
    LireCoordonnee(parties, 1, place.haut);
  }
  return place;
}

void FigerPanneau(MainWindow& w, const PlacePanneau& place) {
  w.WindowState = 0;
  w.BorderStyle = 3;
  w.Left = place.gauche;
  w.Top = place.haut;
}

void DimensionnerPanneau(MainWindow& w, const Args& args) {
  double hauteur = CDbl(Arg(args, 1)) * TwipsPerPixelY;
  double largeur = CDbl(Arg(args, 0)) * TwipsPerPixelX;
  w.SetOuterSize(largeur, hauteur);
}

void RepondrePlacement(App& app, const std::string& nom, bool simplePrecision) {
  const MainWindow& w = app.KUP_MDI;
  auto texte = [&](double v) { return simplePrecision ? TexteSimple(v) : NumberText(v); };
  RenvoyerReponse(app, {nom, texte(w.ScaleWidth), texte(w.ScaleHeight), "", ""});
}

}  // namespace kup
