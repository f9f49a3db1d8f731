#pragma once
// The partner route to a GIS "SIG|CARTO", the receiver and the colour-theme
// window installed, the main window shown: what the theme tests start from.
#include <array>
#include <string>
#include <vector>

#include "GisTestApp.h"
#include "core/Core.h"
#include "vb/VbString.h"
#include "gis/FormCoulSig.h"
#include "gis/Mdl_DDE_Reception.h"
#include "gis/Mdl_Themes.h"

struct FenetreTheme : GisTestApp {
  FenetreTheme() {
    configurerSig();
    initialiser();
    dde->addServer("SIG|CARTO");
    kup::InstallReceptionHooks(app);
    app.KUP_MDI.hWnd = windows.registerWindow("Korvane");
    app.KUP_MDI.Visible = true;
  }

  kup::FormCoulSig& f() { return kup::FormCoulSigObjet(app); }

  // What the GIS sends after "SIG_DemanderCouleur()".
  void palette(const std::vector<std::array<int, 3>>& couleurs) {
    dde->deliver("dde_ajoutcouleurinit(" + std::to_string(couleurs.size()) + ")");
    for (size_t i = 0; i < couleurs.size(); ++i)
      dde->deliver("dde_ajoutcouleur(" + std::to_string(i) + "," + std::to_string(couleurs[i][0]) + "," +
                   std::to_string(couleurs[i][1]) + "," + std::to_string(couleurs[i][2]) + ")");
    dde->deliver("dde_ajoutcouleurfin()");
  }

  // The hand-over of the Flex interface, then the palette: the window opens.
  void ouvrir(const std::vector<std::string>& lignes,
              const std::vector<std::array<int, 3>>& couleurs = {{255, 0, 0}, {0, 128, 255}, {0, 0, 0}, {10, 20, 30},
                                                                 {200, 200, 0}}) {
    commande("ZezORA_ThematiqueProprietaire", kup::Args(lignes.begin(), lignes.end()));
    palette(couleurs);
  }

  // The GIS strings from now on.
  void oublier() { dde->executes.clear(); }

  // Row of the parcel grid holding that reference (-1 when none).
  long ligneParcelle(const std::string& ref) {
    auto& g = f().msFlexParcelle;
    for (long r = 2; r < g.Rows(); ++r)
      if (g.TextMatrix(r, 1) == ref) return r;
    return -1;
  }
  // Row of the theme grid for that theme and reference (-1 when none).
  long ligneTheme(const std::string& theme, const std::string& ref) {
    auto& g = f().MSFlexTheme;
    for (long r = 1; r < g.Rows(); ++r)
      if (g.TextMatrix(r, 0) == theme && g.TextMatrix(r, 2) == ref) return r;
    return -1;
  }
  void marquer(const std::vector<std::string>& refs) {
    for (auto& r : refs) f().CliquerParcelle(ligneParcelle(r));
  }
  // A theme made by hand: a colour of the palette, the parcels marked, a name, "Créer thème".
  void creerTheme(const std::string& nom, long couleur, const std::vector<std::string>& refs) {
    f().CliquerCouleur(couleur);
    marquer(refs);
    f().SaisirNomTheme(nom);
    f().Appuyer(f().CmdNouvCol);
  }
};
