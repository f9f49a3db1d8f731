#include "gis/FormCoulSig.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/GisState.h"
#include "gis/Mdl_Themes.h"
#include "gis/SIG_Partenaire.h"
#include "gis/SIG_Theme.h"

namespace kup {

namespace {

constexpr const char* kTitre = "Korvane";
constexpr const char* kSelectionZezora = "Sélection ZezORA";
constexpr const char* kPrefixeNom = "Thème n°";

// Parcel grid columns; theme grid columns.
constexpr long kMarque = 0, kRefParcelle = 1, kProprietaire = 2;
constexpr long kNomTheme = 0, kVisible = 1, kRefTheme = 2, kPropTheme = 3;

void Bouton_(Bouton& b, const char* legende, double left, double top, double width, std::function<void()> clic) {
  b = Bouton{};
  b.Caption = legende;
  b.Left = left;
  b.Top = top;
  b.Width = width;
  b.Height = 375;
  b.Click = std::move(clic);
}

void Cadre_(Controle& c, const char* legende, double left, double top, double width, double height) {
  c = Controle{};
  c.Caption = legende;
  c.Left = left;
  c.Top = top;
  c.Width = width;
  c.Height = height;
}

void Zone_(ZoneTexte& z, double left, double top, double width, std::function<void()> change) {
  z.Change = nullptr;
  z.Text("");
  z.Left = left;
  z.Top = top;
  z.Width = width;
  z.Height = 300;
  z.Enabled = true;
  z.Visible = true;
  z.BackColor = vbWindowBackground;
  z.ForeColor = vbWindowText;
  z.Change = std::move(change);
}

void Grille_(GrilleFlex& g, double left, double top, double width, double height) {
  g = GrilleFlex{};
  g.Left = left;
  g.Top = top;
  g.Width = width;
  g.Height = height;
}

}  // namespace

FormCoulSig::FormCoulSig(App& app) : app_(app) { Concevoir(); }

template <class F>
void FormCoulSig::Silencieux(const char* procedure, F&& corps) {
  try {
    corps();
  } catch (const std::exception&) {
    ERR_ZEZORA(std::string("FormCoulSIG - ") + procedure);
  }
}

// Handlers without a trap of their own: a failure is reported and the
// window stays usable.
template <class F>
void FormCoulSig::Signale(const char* procedure, F&& corps) {
  try {
    corps();
  } catch (const VbError& e) {
    TraiterErreur(app_, std::string("FormCoulSIG - ") + procedure, e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app_, std::string("FormCoulSIG - ") + procedure, vberr::InternalError, e.what());
  }
}

// The controls as the window's design has them.
void FormCoulSig::Concevoir() {
  Width = 10800;
  Height = 9600;
  WindowState = 0;
  Cadre_(Frame1, "", 20, 60, 10600, 4900);
  Grille_(msFlexParcelle, 60, 240, 8900, 3900);
  Grille_(MSFlexCouleur, 9060, 240, 1300, 3300);
  Zone_(txtCoul, 9060, 3600, 1300, nullptr);
  Bouton_(butToutes, "Toutes", 300, 4300, 900, [this] { butToutes_Click(); });
  Bouton_(Cmdaucune, "Aucune", 1400, 4300, 900, [this] { Cmdaucune_Click(); });
  Zone_(TxtNomCol, 2600, 4340, 3000, [this] { TxtNomCol_Change(); });
  Bouton_(CmdNouvCol, "Créer thème", 5800, 4300, 1500, [this] { CmdNouvCol_Click(); });

  Cadre_(Frame2, "Thèmes", 20, 5000, 10600, 3425);
  Grille_(MSFlexTheme, 60, 240, 10540, 2425);
  Bouton_(butSupprimer, "Supprimer thème", 300, 2725, 1600, [this] { butSupprimer_Click(); });
  Bouton_(butCadrer, "Cadrer thème", 2100, 2725, 1500, [this] { butCadrer_Click(); });
  Check1 = CaseACocher{};
  Check1.Caption = "Visible";
  Check1.Left = 3800;
  Check1.Top = 2725;
  Check1.Width = 1000;
  Check1.Height = 300;
  Bouton_(CmdSupCol, "Supprimer tous", 300, 3075, 1600, [this] { CmdSupCol_Click(); });
  // The two stacked buttons, 350 apart, leave a line between them.
  butSupprimer.Height = butCadrer.Height = CmdSupCol.Height = 330;

  Cadre_(Frame3, "", 4850, 2650, 5700, 750);
  Zone_(txtRefCad, 100, 300, 1300, nullptr);
  Bouton_(butCadrerParc, "Cadrer parcelle", 1450, 260, 1250, [this] { butCadrerParc_Click(); });
  Bouton_(CmdAjouter, "Ajouter parcelle(s)", 2750, 260, 1450, [this] { CmdAjouter_Click(); });
  Bouton_(CmdSupp, "Supprimer parcelle", 4250, 260, 1400, [this] { CmdSupp_Click(); });
  Bouton_(CmdQuit, "Retourner", 9000, 8725, 1500, [this] { CmdQuit_Click(); });
  // Nothing to add to before a theme is picked, nothing to remove before a
  // parcel is.
  CmdAjouter.Enabled = false;
  CmdSupp.Enabled = false;
  AjusterLegendes();
}

// The design's widths fit the captions in the small font of its time only.
// A control is widened to its caption and the controls on its right move
// along, keeping the design's gaps; what fits stays where the design has it.
void FormCoulSig::AjusterLegendes() {
  if (!LargeurLegende) return;
  for (Controle* c : {static_cast<Controle*>(&butToutes), static_cast<Controle*>(&Cmdaucune),
                      static_cast<Controle*>(&CmdNouvCol), static_cast<Controle*>(&butSupprimer),
                      static_cast<Controle*>(&butCadrer), static_cast<Controle*>(&CmdSupCol),
                      static_cast<Controle*>(&butCadrerParc), static_cast<Controle*>(&CmdAjouter),
                      static_cast<Controle*>(&CmdSupp), static_cast<Controle*>(&CmdQuit),
                      static_cast<Controle*>(&Check1)})
    c->Width = std::max(c->Width, std::ceil(LargeurLegende(*c)));
  auto suivre = [](Controle& c, const Controle& gauche, double ecart) {
    c.Left = std::max(c.Left, gauche.Left + gauche.Width + ecart);
  };
  suivre(Cmdaucune, butToutes, 200);
  suivre(TxtNomCol, Cmdaucune, 300);
  suivre(CmdNouvCol, TxtNomCol, 200);
  suivre(butCadrer, butSupprimer, 200);
  suivre(Check1, butCadrer, 200);
  suivre(Frame3, Check1, 50);
  suivre(butCadrerParc, txtRefCad, 50);
  suivre(CmdAjouter, butCadrerParc, 50);
  suivre(CmdSupp, CmdAjouter, 50);
  Frame3.Width = std::max(Frame3.Width, CmdSupp.Left + CmdSupp.Width + 50);
}

double FormCoulSig::LargeurMinimale() const {
  // Each frame holds its widest row; the window adds the frames' margins.
  const double cadre1 = std::max(CmdNouvCol.Left + CmdNouvCol.Width + 100, 2000 + MSFlexCouleur.Width + 200);
  const double cadre2 = std::max({Frame3.Left + Frame3.Width, CmdSupCol.Left + CmdSupCol.Width}) + 50;
  return std::max({4335.0, cadre1 + 200, cadre2 + 200, CmdQuit.Left + CmdQuit.Width + 100});
}

double FormCoulSig::HauteurMinimale() const {
  // The design's floor leaves the theme grid a few rows above its buttons.
  return 9075;
}

// ------------------------------------------------------------------ public interface

Value FormCoulSig::setTabThematiqueZezora(const Args& lignes) {
  lignes_ = lignes;
  return {};
}

Value FormCoulSig::ERR_ZEZORA(const std::string&) { return {}; }

void FormCoulSig::Show() {
  if (!loaded_) {
    loaded_ = true;
    Form_Load();
  }
  Visible = true;
  if (Montree) Montree();
}

void FormCoulSig::Unload() {
  if (!loaded_) return;
  Form_Unload();
}

void FormCoulSig::Redimensionner(double largeur, double hauteur) {
  Width = largeur;
  Height = hauteur;
  Form_Resize();
}

// ------------------------------------------------------------------ gestures

void FormCoulSig::Appuyer(Bouton& bouton) {
  if (!loaded_ || !bouton.Enabled || !bouton.Visible || !bouton.Click) return;
  bouton.Click();
}

void FormCoulSig::CliquerParcelle(long ligne) {
  auto& g = msFlexParcelle;
  if (!loaded_ || ligne < g.FixedRows || ligne >= g.Rows() || !g.LigneVisible(ligne)) return;
  g.Row(ligne);
  msFlexParcelle_Click();
}

void FormCoulSig::CliquerCouleur(long ligne) {
  auto& g = MSFlexCouleur;
  if (!loaded_ || ligne < 0 || ligne >= g.Rows()) return;
  g.Row(ligne);
  g.Col(0);
  MSFlexCouleur_Click();
}

void FormCoulSig::CliquerTheme(long ligne, long colonne) {
  auto& g = MSFlexTheme;
  if (!loaded_ || ligne < g.FixedRows || ligne >= g.Rows() || colonne < 0 || colonne >= g.Cols() ||
      !g.LigneVisible(ligne))
    return;
  g.Row(ligne);
  g.Col(colonne);
  MSFlexTheme_Click();
}

void FormCoulSig::SaisirNomTheme(const std::string& texte) {
  if (!loaded_ || !TxtNomCol.Enabled) return;
  TxtNomCol.Text(texte);
}

void FormCoulSig::AppuyerCheck1() {
  if (!loaded_ || !Check1.Enabled) return;
  Check1_MouseDown();
  Check1_MouseUp();
  // The box's own toggle at the end of the click.
  Check1.Value = Check1.Value == 0 ? 1 : 0;
}

// ------------------------------------------------------------------ loading, layout, closing

void FormCoulSig::Form_Load() {
  Signale("Form_Load", [&] {
    Concevoir();
    auto& p = msFlexParcelle;
    p.Cols(3);
    p.Rows(2);
    p.FixedRows = 1;
    p.RowHeight(1, 1);
    p.TextMatrix(0, kRefParcelle, "Réf. cad.");
    p.TextMatrix(0, kProprietaire, "Propriétaire parcelle");
    p.ColWidth(kMarque, 200);
    p.ColWidth(kRefParcelle, 800);
    p.ColWidth(kProprietaire, 5000);

    auto& t = MSFlexTheme;
    t.Cols(4);
    t.Rows(1);
    t.FixedRows = 1;
    t.TextMatrix(0, kNomTheme, "Nom thème");
    t.TextMatrix(0, kVisible, "Visible");
    t.TextMatrix(0, kRefTheme, "Réf. cad.");
    t.TextMatrix(0, kPropTheme, "Propriétaire parcelle");
    t.ColWidth(kNomTheme, 2000);
    t.ColWidth(kVisible, 550);
    t.ColWidth(kRefTheme, 800);
    t.ColWidth(kPropTheme, 5000);
    t.MergeCells = true;
    t.MergeCol(kNomTheme, true);
    t.MergeCol(kVisible, true);
    t.MergeCol(kRefTheme, false);
    t.MergeCol(kPropTheme, false);

    PeindrePalette();

    sub_ViderGrille();
    p.Visible = false;
    for (const auto& v : lignes_) {
      // Rows that are not text of the form reference "#" owner are skipped.
      if (v.isNull() || v.isEmpty()) continue;
      auto parties = Split(CStr(v), "#");
      if (parties.size() != 2) continue;
      sub_AjouterLigneParcelle(parties[0].empty() ? " " : parties[0], parties[1].empty() ? " " : parties[1]);
    }
    p.Visible = true;

    sub_RemplirGrilles();
    // The placeholder row stays on row 1 whatever the owners hold.
    if (p.Rows() > 3) p.Trier(2, p.Rows() - 1, kProprietaire);
    sub_Disposer();
  });
}

void FormCoulSig::PeindrePalette() {
  auto& c = MSFlexCouleur;
  const auto& tab = Gis(app_).G_TabCouleurs;
  long n = std::max<long>(0, std::min<long>(Gis(app_).G_NbCouleurs, static_cast<long>(tab.size())));
  c.Cols(1);
  c.FixedRows = 0;
  c.FixedCols = 0;
  c.ColWidth(0, 1000);
  c.Rows(n);
  for (long i = 0; i < n; ++i) {
    int32_t r = Palette(i, 1), g = Palette(i, 2), b = Palette(i, 3);
    // A cell colour of 0 would show the grid's standard colour: black is 1.
    c.CellBackColor(i, 0, r == 0 && g == 0 && b == 0 ? 1 : RGB(r, g, b));
  }
}

void FormCoulSig::sub_Disposer() {
  if (WindowState == 1) return;
  if (Width == 2400 && Height == 360) return;
  if (Width < 4335) Width = 4335;
  if (Height < 9075) Height = 9075;
  Frame1.Left = 20;
  Frame1.Width = Width - 200;
  Frame2.Left = 20;
  Frame2.Width = Width - 200;
  msFlexParcelle.Left = 60;
  msFlexParcelle.Width = Frame1.Width - MSFlexCouleur.Width - 200;
  MSFlexCouleur.Left = msFlexParcelle.Width + 100;
  txtCoul.Left = MSFlexCouleur.Left;
  butToutes.Left = 300;
  Cmdaucune.Left = butToutes.Left + butToutes.Width + 200;
  MSFlexTheme.Left = 60;
  MSFlexTheme.Width = Frame1.Width - 60;
  Frame2.Height = Height - 5300 - CmdQuit.Height - 500;
  MSFlexTheme.Height = Frame2.Height - 1000;
  butSupprimer.Top = MSFlexTheme.Height + 300;
  butCadrer.Top = butSupprimer.Top;
  Check1.Top = butSupprimer.Top;
  CmdSupCol.Top = butSupprimer.Top + 350;
  CmdQuit.Top = Height - 500 - CmdQuit.Height;
  // The parcel buttons stay on the row of the theme buttons, under the grid
  // whatever its height, and the frame holds its lowest button whole.
  Frame3.Top = MSFlexTheme.Top + MSFlexTheme.Height + 30;
  Frame2.Height = std::max({Frame2.Height, CmdSupCol.Top + CmdSupCol.Height + 60, Frame3.Top + Frame3.Height + 60});
}

void FormCoulSig::Form_Resize() {
  Signale("Form_Resize", [&] { sub_Disposer(); });
}

void FormCoulSig::Form_Unload() {
  loaded_ = false;
  Visible = false;
  app_.KUP_MDI.Visible = true;
  if (Dechargee) Dechargee();
}

// ------------------------------------------------------------------ grids

void FormCoulSig::sub_ViderGrille() {
  auto& p = msFlexParcelle;
  p.Rows(2);
  for (long c = 0; c < p.Cols(); ++c) p.TextMatrix(1, c, "");
}

void FormCoulSig::sub_AjouterLigneParcelle(const std::string& ref, const std::string& prop) {
  auto& p = msFlexParcelle;
  p.Visible = false;
  p.AddItem();
  p.BackColor = vbWhite;
  p.TextMatrix(p.Rows() - 1, kRefParcelle, ref);
  p.TextMatrix(p.Rows() - 1, kProprietaire, prop);
}

void FormCoulSig::sub_RemplirGrilles() {
  auto& t = MSFlexTheme;
  t.Visible = false;
  t.Rows(1);
  t.BackColor = vbWhite;
  auto& etat = Themes(app_);
  for (const auto& e : etat.G_ColThemes.elements()) {
    const classTheme& theme = *e.item;
    t.AddItem();
    long cle = t.Rows() - 1;
    t.RowHeight(cle, 0);
    t.TextMatrix(cle, kVisible, theme.strNomTheme);
    const int32_t fond = RGB(theme.intR, theme.intG, theme.intB);
    const int32_t texte = func_CouleurContraste(theme.intR, theme.intG, theme.intB);
    const std::string visible = CStr(Value(theme.blnVisible));
    for (const auto& pe : etat.G_ColParcellesTheme.elements()) {
      const classParcelleTheme& parcelle = *pe.item;
      if (parcelle.strNomTheme != theme.strNomTheme) continue;
      t.AddItem({theme.strNomTheme, visible, parcelle.strRefCad, parcelle.strProp});
      long r = t.Rows() - 1;
      for (long c = 0; c < t.Cols(); ++c) {
        t.CellBackColor(r, c, fond);
        t.CellForeColor(r, c, texte);
      }
    }
  }
  t.Visible = true;
}

void FormCoulSig::sub_CadrerSurGrille(const std::string& nom) {
  Silencieux("sub_CadrerSurGrille", [&] {
    auto& t = MSFlexTheme;
    for (long r = 1; r < t.Rows(); ++r) {
      if (t.TextMatrix(r, kVisible) == nom) {
        t.Row(r);
        t.TopRow(r);
        return;
      }
    }
  });
}

void FormCoulSig::sub_DeselectionnerParcelles() {
  auto& p = msFlexParcelle;
  for (long r = 1; r < p.Rows(); ++r) {
    p.TextMatrix(r, kMarque, "");
    p.CellBackColor(r, kMarque, vbWindowBackground);
  }
}

long FormCoulSig::func_nbSel() const {
  long n = 0;
  for (long r = 2; r < msFlexParcelle.Rows(); ++r)
    if (msFlexParcelle.TextMatrix(r, kMarque) == "?") ++n;
  return n;
}

std::vector<long> FormCoulSig::ParcellesMarquees() const {
  std::vector<long> lignes;
  for (long r = 2; r < msFlexParcelle.Rows(); ++r)
    if (msFlexParcelle.TextMatrix(r, kMarque) == "?") lignes.push_back(r);
  return lignes;
}

std::string FormCoulSig::func_NouveauNomTheme(const std::string& nom, int32_t) const {
  if (!nom.empty()) return nom;
  double n = 0;
  const auto& t = MSFlexTheme;
  for (long r = 0; r < t.Rows(); ++r) {
    const std::string& texte = t.TextMatrix(r, kNomTheme);
    if (kup::Left(texte, 8) != kPrefixeNom) continue;
    double v;
    try {
      v = CDbl(Value(Mid(texte, 9)));
    } catch (const VbError&) {
      continue;  // not numeric
    }
    v = RoundHalfEven(v);
    // A number past the whole-number range names no theme of ours.
    if (v > n && v < 2147483647.0) n = v;
  }
  return kPrefixeNom + NumberText(n + 1);
}

int32_t FormCoulSig::Palette(long index, int composante) const {
  const auto& tab = Gis(app_).G_TabCouleurs;
  if (index < 0 || index >= static_cast<long>(tab.size()) || composante < 0 || composante > 3)
    raise(vberr::SubscriptOutOfRange);
  return tab[static_cast<size_t>(index)][static_cast<size_t>(composante)];
}

// ------------------------------------------------------------------ clicks in the grids

void FormCoulSig::msFlexParcelle_Click() {
  Signale("msFlexParcelle_Click", [&] {
    auto& p = msFlexParcelle;
    long r = p.Row();
    p.Col(kMarque);
    if (p.TextMatrix(r, kMarque) == "?") {
      p.CellBackColor(r, kMarque, vbWhite);
      p.TextMatrix(r, kMarque, "");
      if (func_nbSel() == 0) {
        CmdAjouter.Enabled = false;
        CmdNouvCol.Enabled = true;
      }
    } else if (!txtCoul.Text().empty()) {
      p.CellBackColor(r, kMarque, txtCoul.BackColor);
      p.TextMatrix(r, kMarque, "?");
      if (func_ExisteTheme(app_, TxtNomCol.Text())) {
        CmdAjouter.Enabled = true;
        CmdNouvCol.Enabled = false;
      }
    }
  });
}

void FormCoulSig::MSFlexCouleur_Click() {
  Signale("MSFlexCouleur_Click", [&] {
    auto& c = MSFlexCouleur;
    if (c.Rows() < 1) return;
    long r = c.Row();
    int32_t rouge = Palette(r, 1), vert = Palette(r, 2), bleu = Palette(r, 3);
    txtCoul.BackColor = c.CellBackColor(r, 0);
    txtCoul.Text(std::to_string(rouge) + "." + std::to_string(vert) + "." + std::to_string(bleu));
    curR = rouge;
    curG = vert;
    curB = bleu;
    txtCoul.ForeColor = func_CouleurContraste(curR, curG, curB);
    sub_DeselectionnerParcelles();
    TxtNomCol.Text("");
    txtRefCad.Text("");
    CmdAjouter.Enabled = false;
    CmdNouvCol.Enabled = true;
    CmdSupp.Enabled = false;
  });
}

void FormCoulSig::MSFlexTheme_Click() {
  Signale("MSFlexTheme_Click", [&] {
    auto& t = MSFlexTheme;
    long r = t.Row();
    if (r <= 1) return;
    long colonne = t.Col();
    txtRefCad.Text("");
    CmdSupp.Enabled = false;
    TxtNomCol.Text(t.TextMatrix(r, kNomTheme));

    auto theme = Themes(app_).G_ColThemes.Item(TxtNomCol.Text());
    txtCoul.BackColor = RGB(theme->intR, theme->intG, theme->intB);
    MSFlexCouleur.Row(theme->intIdCouleur);
    MSFlexCouleur.TopRow(theme->intIdCouleur);
    curR = Palette(theme->intIdCouleur, 1);
    curG = Palette(theme->intIdCouleur, 2);
    curB = Palette(theme->intIdCouleur, 3);
    txtCoul.ForeColor = func_CouleurContraste(curR, curG, curB);
    txtCoul.Text(std::to_string(curR) + "," + std::to_string(curG) + "," + std::to_string(curB));

    Check1.Value = t.TextMatrix(r, kVisible) == "Vrai" ? 1 : 0;
    if (colonne == kRefTheme || colonne == kPropTheme) {
      txtRefCad.Text(t.TextMatrix(r, kRefTheme));
      CmdSupp.Enabled = true;
    } else if (colonne == kVisible) {
      BasculerVisibilite();
    }
  });
}

// ------------------------------------------------------------------ name box and visibility box

void FormCoulSig::TxtNomCol_Change() {
  Signale("TxtNomCol_Change", [&] {
    txtRefCad.Text("");
    CmdSupp.Enabled = false;
    if (TxtNomCol.Text() == kSelectionZezora) {
      CmdNouvCol.Enabled = false;
      butSupprimer.Enabled = false;
    } else {
      CmdNouvCol.Enabled = true;
      butCadrer.Enabled = true;
      butCadrerParc.Enabled = true;
      butSupprimer.Enabled = true;
    }
  });
}

void FormCoulSig::BasculerVisibilite() {
  Silencieux("Check1_MouseDown", [&] {
    const std::string nom = TxtNomCol.Text();
    if (nom.empty()) {
      if (app_.pf.msgbox) app_.pf.msgbox->show("Vous devez sélectionner un thème", platform::mb::OKOnly, kTitre);
      return;
    }
    const bool afficher = Check1.Value == 0;
    if (afficher) {
      SIG_AfficherTheme(app_, Args{nom, "0"});
      sub_ThemeVisibleBD(app_, nom, true);
      Check1.Value = 1;
    } else {
      SIG_MasquerTheme(app_, Args{nom});
      sub_ThemeVisibleBD(app_, nom, false);
      Check1.Value = 0;
    }
    sub_RemplirGrilles();
    sub_CadrerSurGrille(nom);
    TxtNomCol.ForeColor = vbWindowText;
    if (!afficher) CmdSupp.Enabled = false;
  });
}

void FormCoulSig::Check1_MouseDown() { BasculerVisibilite(); }

void FormCoulSig::Check1_MouseUp() { Check1.Value = Check1.Value == 0 ? 1 : 0; }

// ------------------------------------------------------------------ buttons

void FormCoulSig::CmdNouvCol_Click() {
  Silencieux("CmdNouvCol_Click", [&] {
    auto marquees = ParcellesMarquees();
    if (marquees.empty()) {
      if (app_.pf.msgbox)
        app_.pf.msgbox->show("Vous devez sélectionner au moins une parcelle", platform::mb::OKOnly, kTitre);
      return;
    }
    TxtNomCol.Text(func_NouveauNomTheme(TxtNomCol.Text(), txtCoul.BackColor));
    const std::string nom = TxtNomCol.Text();
    long ligne = MSFlexCouleur.Row();
    sub_ThemeCreerBD(app_, nom, ligne, Palette(ligne, 1), Palette(ligne, 2), Palette(ligne, 3), true);
    SIG_CreerCollection(app_, Args{nom, Value(ligne), "0"});
    SIG_ParcelleInitialiser(app_);
    for (long r : marquees) {
      const std::string ref = msFlexParcelle.TextMatrix(r, kRefParcelle);
      sub_ThemeAjoutParcelle(app_, nom, ref, msFlexParcelle.TextMatrix(r, kProprietaire));
      SIG_ParcelleAjouter(app_, Args{ref});
    }
    SIG_ParcelleCadrer(app_);

    sub_DeselectionnerParcelles();
    sub_RemplirGrilles();
    sub_CadrerSurGrille(nom);
    CmdSupp.Enabled = false;
    Check1.Value = 1;
  });
}

void FormCoulSig::CmdAjouter_Click() {
  Silencieux("CmdAjouter_Click", [&] {
    const std::string nom = TxtNomCol.Text();
    long ligne = MSFlexCouleur.Row();
    sub_ThemeCreerBD(app_, nom, ligne, Palette(ligne, 1), Palette(ligne, 2), Palette(ligne, 3), true);
    SIG_CreerCollection(app_, Args{nom, Value(ligne), "0"});
    sub_ThemeVisibleBD(app_, nom, true);
    SIG_ParcelleInitialiser(app_);
    for (long r : ParcellesMarquees()) {
      const std::string ref = msFlexParcelle.TextMatrix(r, kRefParcelle);
      sub_ThemeAjoutParcelle(app_, nom, ref, msFlexParcelle.TextMatrix(r, kProprietaire));
      SIG_ParcelleAjouter(app_, Args{ref});
    }
    // The theme's parcels as the grid still shows them (before this action).
    for (long r = 1; r < MSFlexTheme.Rows(); ++r)
      if (MSFlexTheme.TextMatrix(r, kNomTheme) == nom) SIG_ParcelleAjouter(app_, Args{MSFlexTheme.TextMatrix(r, kRefTheme)});
    SIG_ParcelleCadrer(app_);

    sub_DeselectionnerParcelles();
    sub_RemplirGrilles();
    sub_CadrerSurGrille(nom);
    Check1.Value = 1;
    CmdSupp.Enabled = false;
    CmdAjouter.Enabled = false;
    CmdNouvCol.Enabled = true;
  });
}

void FormCoulSig::CmdSupp_Click() {
  Signale("CmdSupp_Click", [&] {
    const std::string nom = TxtNomCol.Text();
    const std::string retiree = txtRefCad.Text();
    long ligne = MSFlexCouleur.Row();
    sub_ThemeSupprimerBd(app_, nom);
    sub_ThemeCreerBD(app_, nom, ligne, Palette(ligne, 1), Palette(ligne, 2), Palette(ligne, 3), true);
    SIG_CreerCollection(app_, Args{nom, Value(ligne), "0"});
    SIG_ParcelleInitialiser(app_);
    for (long r = 1; r < MSFlexTheme.Rows(); ++r) {
      if (MSFlexTheme.TextMatrix(r, kNomTheme) != nom || MSFlexTheme.TextMatrix(r, kRefTheme) == retiree) continue;
      const std::string ref = MSFlexTheme.TextMatrix(r, kRefTheme);
      sub_ThemeAjoutParcelle(app_, nom, ref, MSFlexTheme.TextMatrix(r, kPropTheme));
      SIG_ParcelleAjouter(app_, Args{ref});
    }
    SIG_ParcelleCadrer(app_);

    sub_RemplirGrilles();
    sub_CadrerSurGrille(nom);
    txtRefCad.Text("");
    CmdSupp.Enabled = false;
    CmdAjouter.Enabled = false;
    CmdNouvCol.Enabled = true;
    Check1.Value = 1;
  });
}

void FormCoulSig::butSupprimer_Click() {
  Silencieux("butSupprimer_Click", [&] {
    const std::string nom = TxtNomCol.Text();
    if (nom.empty()) return;
    SIG_SupprimerTheme(app_, Args{nom});
    sub_ThemeSupprimerBd(app_, nom);

    TxtNomCol.Text("");
    txtRefCad.Text("");
    CmdSupp.Enabled = false;
    TxtNomCol.ForeColor = vbWindowText;
    sub_RemplirGrilles();
  });
}

void FormCoulSig::CmdSupCol_Click() {
  Signale("CmdSupCol_Click", [&] {
    SIG_SupprimerTheme(app_, Args{""});
    TxtNomCol.Text("");
    txtRefCad.Text("");
    CmdSupp.Enabled = false;
    TxtNomCol.ForeColor = vbWindowText;
    sub_RemplirGrilles();
  });
}

void FormCoulSig::butCadrer_Click() {
  Silencieux("butCadrer_Click", [&] {
    const std::string nom = TxtNomCol.Text();
    if (nom.empty()) {
      if (app_.pf.msgbox) app_.pf.msgbox->show("Vous devez sélectionner un thème", platform::mb::OKOnly, kTitre);
      return;
    }
    SIG_AfficherTheme(app_, Args{nom, "1"});
    sub_ThemeVisibleBD(app_, nom, true);

    sub_RemplirGrilles();
    sub_CadrerSurGrille(nom);
    Check1.Value = 1;
    CmdSupp.Enabled = false;
    TxtNomCol.ForeColor = vbWindowText;
  });
}

void FormCoulSig::butCadrerParc_Click() {
  Silencieux("butCadrerParc_Click", [&] {
    Args a{txtRefCad.Text()};
    SIG_ParcelleUniqueCadrer(app_, a);
  });
}

void FormCoulSig::butToutes_Click() {
  Silencieux("butToutes_Click", [&] {
    auto& p = msFlexParcelle;
    for (long r = 1; r < p.Rows(); ++r) {
      p.TextMatrix(r, kMarque, "?");
      p.CellBackColor(r, kMarque, RGB(curR, curG, curB));
    }
    if (func_ExisteTheme(app_, TxtNomCol.Text())) {
      CmdAjouter.Enabled = true;
      CmdNouvCol.Enabled = false;
    }
  });
}

void FormCoulSig::Cmdaucune_Click() {
  Silencieux("Cmdaucune_Click", [&] {
    sub_DeselectionnerParcelles();
    CmdAjouter.Enabled = false;
    CmdNouvCol.Enabled = true;
  });
}

void FormCoulSig::CmdQuit_Click() {
  Signale("CmdQuit_Click", [&] {
    Unload();
    app_.KUP_MDI.Maximise();
  });
}

// ------------------------------------------------------------------ object and hooks

FormCoulSig& FormCoulSigObjet(App& app) {
  if (!app.FormCoulSigWindow) {
    app.FormCoulSigWindow = std::make_shared<FormCoulSig>(app);
    if (app.hooks.configureFormCoulSig) app.hooks.configureFormCoulSig(app, *app.FormCoulSigWindow);
  }
  return *app.FormCoulSigWindow;
}

void InstallFormCoulSig(App& app) {
  Gis(app).setTabThematiqueZezora = [](App& a, Args& lignes) { FormCoulSigObjet(a).setTabThematiqueZezora(lignes); };
}

}  // namespace kup
