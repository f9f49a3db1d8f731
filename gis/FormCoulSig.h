#pragma once
// The colour-theme window: the parcels handed over by the Flex interface,
// the GIS palette and the themes with their parcels, in three grids, with
// the buttons that create, fill, frame, show, hide and delete themes on the
// GIS map. A window model: nothing is drawn, every control can be driven.
#include <cstdint>
#include <functional>
#include <string>

#include "core/App.h"
#include "vb/Value.h"
#include "gis/GrilleFlex.h"

namespace kup {

// System colours as the window uses them.
constexpr int32_t vbWhite = 0xFFFFFF;
constexpr int32_t vbWindowBackground = static_cast<int32_t>(0x80000005u);
constexpr int32_t vbWindowText = static_cast<int32_t>(0x80000008u);

struct Controle {
  std::string Caption;
  double Left = 0, Top = 0, Width = 0, Height = 0;
  bool Enabled = true;
  bool Visible = true;
};

struct Bouton : Controle {
  std::function<void()> Click;
};

struct ZoneTexte : Controle {
  int32_t BackColor = vbWindowBackground;
  int32_t ForeColor = vbWindowText;
  std::function<void()> Change;  // after each change of the text
  const std::string& Text() const { return text_; }
  void Text(const std::string& t) {
    if (t == text_) return;
    text_ = t;
    if (Change) Change();
  }

 private:
  std::string text_;
};

struct CaseACocher : Controle {
  int Value = 0;  // 0 clear, 1 ticked
};

class FormCoulSig {
 public:
  explicit FormCoulSig(App& app);
  FormCoulSig(const FormCoulSig&) = delete;
  FormCoulSig& operator=(const FormCoulSig&) = delete;

  // ---- public interface
  // Keeps a copy of the rows (reference "#" owner) for the next loading.
  Value setTabThematiqueZezora(const Args& lignes);
  // The window's error reporter: does nothing.
  Value ERR_ZEZORA(const std::string& texte);

  // ---- the window
  // Modeless showing: loads the window when it is not loaded.
  void Show();
  // Closing by the close box (or by "Retourner"): the main window comes back.
  void Unload();
  // The user resizes the window (twips).
  void Redimensionner(double largeur, double hauteur);
  bool Loaded() const { return loaded_; }
  bool Visible = false;
  std::string Caption = "Thématique propriétaires";
  double Left = 0, Top = 0, Width = 0, Height = 0;
  int WindowState = 0;
  // The window on screen, when there is one, follows the model: told after
  // each showing and each unloading.
  std::function<void()> Montree, Dechargee;
  // On screen: the width (twips) a button or the check box needs to show its
  // whole caption in the font in use. The loading widens the controls to it
  // and pushes their neighbours along; without a screen the design stays.
  std::function<double(const Controle&)> LargeurLegende;
  // The smallest window (twips) that shows every control whole, side by side:
  // the window on screen is never made smaller. The layout itself only
  // holds to the design's floor, as it always did.
  double LargeurMinimale() const;
  double HauteurMinimale() const;

  // ---- controls
  GrilleFlex msFlexParcelle, MSFlexCouleur, MSFlexTheme;
  ZoneTexte txtCoul, TxtNomCol, txtRefCad;
  Bouton CmdNouvCol, butToutes, Cmdaucune, butCadrer, butSupprimer, CmdSupCol, butCadrerParc, CmdAjouter, CmdSupp,
      CmdQuit;
  CaseACocher Check1;
  Controle Frame1, Frame2, Frame3;

  // ---- user gestures: what a click or a key press does, for the host's
  // headless window and for tests. A disabled or hidden control, or one of
  // a window that is not loaded, ignores them.
  void Appuyer(Bouton& bouton);
  void CliquerParcelle(long ligne);
  void CliquerCouleur(long ligne);
  void CliquerTheme(long ligne, long colonne);
  void SaisirNomTheme(const std::string& texte);
  void AppuyerCheck1();

  // ---- event handlers
  void Form_Load();
  void Form_Resize();
  void Form_Unload();
  void msFlexParcelle_Click();
  void MSFlexCouleur_Click();
  void MSFlexTheme_Click();
  void TxtNomCol_Change();
  void Check1_MouseDown();
  void Check1_MouseUp();
  void CmdNouvCol_Click();
  void CmdAjouter_Click();
  void CmdSupp_Click();
  void butSupprimer_Click();
  void CmdSupCol_Click();
  void butCadrer_Click();
  void butCadrerParc_Click();
  void butToutes_Click();
  void Cmdaucune_Click();
  void CmdQuit_Click();

  // ---- window procedures
  void sub_Disposer();
  void sub_RemplirGrilles();
  void sub_CadrerSurGrille(const std::string& nom);
  void sub_ViderGrille();
  void sub_AjouterLigneParcelle(const std::string& ref, const std::string& prop);
  void sub_DeselectionnerParcelles();
  long func_nbSel() const;
  std::string func_NouveauNomTheme(const std::string& nom, int32_t couleur) const;

  // The current colour (the palette entry chosen last).
  int32_t curR = 0, curG = 0, curB = 0;
  const Args& lignesRecues() const { return lignes_; }

 private:
  void Concevoir();
  void AjusterLegendes();
  void PeindrePalette();
  // Palette entry (component 1 red, 2 green, 3 blue); raises 9 out of range.
  int32_t Palette(long index, int composante) const;
  std::vector<long> ParcellesMarquees() const;
  // Showing (true) or hiding a theme, as the visibility box's press does.
  void BasculerVisibilite();
  template <class F>
  void Silencieux(const char* procedure, F&& corps);
  template <class F>
  void Signale(const char* procedure, F&& corps);

  App& app_;
  bool loaded_ = false;
  Args lignes_;
};

// The window object of this App, created (not loaded) when needed.
FormCoulSig& FormCoulSigObjet(App& app);

// The hand-over of ZezORA_ThematiqueProprietaire (MODE "2").
void InstallFormCoulSig(App& app);

}  // namespace kup
