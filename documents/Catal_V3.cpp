#include "documents/Catal_V3.h"

#include <cmath>
#include <string>

#include "core/App.h"
#include "vb/Value.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/LecteurTexte.h"
#include "documents/Mdl_Equivalence.h"

namespace kup {

namespace {

std::string texteLigne(long n) { return std::to_string(n); }

// LG and DEC: the whole part (rounded down) of the number written, 0 when
// there is none. Files hold plain whole numbers, read without a detour.
double nombreOuZero(std::string_view s) {
  std::string_view t = SansBlancs(s);
  if (!t.empty() && t.size() <= 9) {
    long v = 0;
    bool chiffres = true;
    for (char c : t) {
      if (c < '0' || c > '9') {
        chiffres = false;
        break;
      }
      v = v * 10 + (c - '0');
    }
    if (chiffres) return static_cast<double>(v);
  }
  try {
    // A number too large for a Double (1E999) is an overflow, not a length.
    double d = std::floor(CDbl(Value(std::string(s))));
    return std::isfinite(d) ? d : 0;
  } catch (const VbError&) {
    return 0;
  }
}

}  // namespace

int16_t Catal_V3::ChargerCatalogue_v3(App& app, const std::string& ficcat, ErreurTxt& clserr) {
  ChargerVariableCatalogue_v3(app, ficcat, clserr);
  const std::string ficsig = sRepertoireChemin(ficcat) + "\\SIG_" + Mid(sNomFichierChemin(ficcat), 5);
  ChargerSignetCatalogue_v3(app, ficsig, clserr);
  return static_cast<int16_t>(clserr.ErrCode());
}

int32_t Catal_V3::ExtraireEntete(const ChampsLigne& tb, ErreurTxt& clserr) {
  posChamp_ = posEcran_ = posCode_ = posType_ = posLg_ = posUnite_ = posDec_ = posLibelle_ = -1;
  int32_t last = 0;
  std::string nom;
  for (size_t i = 0; i < tb.size(); ++i) {
    CleSansCasse(SansBlancs(tb[i]), nom);
    const auto pos = static_cast<int32_t>(i);
    if (nom == "CHAMP") posChamp_ = last = pos;
    else if (nom == "ECRAN") posEcran_ = last = pos;
    else if (nom == "CODE") posCode_ = last = pos;
    else if (nom == "LIBELLE") posLibelle_ = last = pos;
    else if (nom == "TYPE") posType_ = pos;
    else if (nom == "LG") posLg_ = pos;
    else if (nom == "UNITE") posUnite_ = pos;
    else if (nom == "DEC") posDec_ = pos;
  }
  // Only the rows of this check count: rows an earlier load left in the
  // same collector must not reject a sound header.
  const long avant = clserr.NbErr();
  const std::pair<int32_t, const char*> colonnes[] = {
      {posChamp_, "CHAMP"}, {posLibelle_, "LIBELLE"}, {posEcran_, "ECRAN"}, {posCode_, "CODE"},
      {posType_, "TYPE"},   {posLg_, "LG"},           {posUnite_, "UNITE"}, {posDec_, "DEC"}};
  for (auto& [pos, libelle] : colonnes)
    if (pos == -1) clserr.ErreurChargement(std::string("1;;") + libelle + " ne figure pas dans l'entete");
  return clserr.NbErr() != avant ? -1 : last;
}

std::string Catal_V3::TraiterFormat(Variable_V3& varcou, const ChampsLigne& tb, long nbl, ErreurTxt& clserr) {
  if (posType_ < 0 || static_cast<size_t>(posType_) >= tb.size()) return {};
  std::string_view type = SansBlancs(tb[static_cast<size_t>(posType_)]);
  if (type.empty()) return {};
  std::string t;
  CleSansCasse(type, t);
  auto champ = [&](int32_t pos) -> std::string_view {
    return pos >= 0 && static_cast<size_t>(pos) < tb.size() ? tb[static_cast<size_t>(pos)] : std::string_view();
  };
  if (t == "NUMBER") {
    const double lg = nombreOuZero(champ(posLg_));
    const double dec = nombreOuZero(champ(posDec_));
    const std::string_view unite = SansBlancs(champ(posUnite_));
    std::string f;
    if (lg > 3) {
      f = "\\# \"##0";
      if (dec > 0) {
        f += ",00";
        varcou.TypeFmt = 3;
      } else {
        varcou.TypeFmt = 2;
      }
      if (!unite.empty()) {
        f += ' ';
        f += unite;
      }
      f += '"';
    } else {
      if (!unite.empty()) {
        f = "\\f \" ";
        f += unite;
        f += '"';
      }
      varcou.TypeFmt = 2;
    }
    return f;
  }
  if (t == "VARCHAR2") {
    varcou.TypeFmt = 1;
    return {};
  }
  if (t == "DATE") {
    varcou.TypeFmt = 4;
    return "\\@ \"dd/MM/yyyy\"";
  }
  varcou.TypeFmt = 0;
  std::string ligne = texteLigne(nbl);
  ligne += ';';
  ligne += champ(posChamp_);
  ligne += ";type inconnu ";
  ligne += t;
  clserr.ErreurChargement(ligne);
  return {};
}

int Catal_V3::AjouterRegroupement(CollectionCle<CV3_Regroupement>& collregroup, std::string_view nomregroup) {
  Regroupement(collregroup, nomregroup);
  return 0;
}

CV3_Regroupement* Catal_V3::Regroupement(CollectionCle<CV3_Regroupement>& collregroup, std::string_view nomregroup) {
  if (CV3_Regroupement* g = collregroup.Item(nomregroup)) return g;
  CV3_Regroupement g;
  g.nom = std::string(nomregroup);
  collregroup.Add(std::move(g), nomregroup);
  return collregroup.Item(nomregroup);
}

int Catal_V3::AjouterVariable(Variable_V3 vcou, std::string_view cle, ErreurTxt&) {
  CatV3.Add(std::move(vcou), cle);  // a name already present keeps its first variable
  return 0;
}

int Catal_V3::AjouterSignet(Signet_V3 vcou, std::string_view cle, ErreurTxt&) {
  SIGV3.Add(std::move(vcou), cle);
  return 0;
}

int16_t Catal_V3::ChargerVariableCatalogue_v3(App& app, const std::string& ficcat, ErreurTxt& clserr) {
  CatV3.Clear();
  nbl_ = 1;
  try {
    LecteurTexte fichier = LecteurTexte::Ouvrir(app, ficcat);
    CatV3.reserve(fichier.LignesEstimees());
    std::string_view ligne;
    ChampsLigne tb;
    if (!fichier.LireLigne(ligne)) raise(62, "Lecture au-delà de la fin du fichier");
    DecouperChamps(ligne, ';', tb);
    const int32_t last = ExtraireEntete(tb, clserr);
    if (last < 0) return static_cast<int16_t>(clserr.ErrCode());
    const auto iChamp = static_cast<size_t>(posChamp_), iLibelle = static_cast<size_t>(posLibelle_),
               iEcran = static_cast<size_t>(posEcran_), iCode = static_cast<size_t>(posCode_);
    std::string rangee, cleChamp;
    while (fichier.LireLigne(ligne)) {
      ++nbl_;
      DecouperChamps(ligne, ';', tb);
      if (tb.size() < static_cast<size_t>(last) + 1 || tb[iChamp].empty()) {
        rangee = texteLigne(nbl_);
        rangee += ";;erreur description variable";
        clserr.ErreurChargement(rangee);
        continue;
      }
      const std::string_view champ = tb[iChamp];
      // The name goes into three collections: fold and hash it once, and
      // have its three slots fetched while the variable is built.
      CleSansCasse(champ, cleChamp);
      const uint64_t h = IndexCles::Hacher(cleChamp);
      CV3_Regroupement* ecran = Regroupement(V3_Ecran, tb[iEcran]);
      CV3_Regroupement* code = Regroupement(V3_CodeDossier, tb[iCode]);
      CatV3.Precharger(h);
      ecran->CFV3.Precharger(h);
      code->CFV3.Precharger(h);
      Variable_V3 v;
      v.nom = SansBlancs(champ);
      v.Libelle = SansBlancs(tb[iLibelle]);
      v.Fmt = TraiterFormat(v, tb, nbl_, clserr);
      // A name already present keeps its first variable; the duplicate
      // still joins the groups of its own line.
      CatV3.AddPlie(std::move(v), cleChamp, h);
      ecran->CFV3.AddPlie(champ, cleChamp, h);
      code->CFV3.AddPlie(champ, cleChamp, h);
    }
  } catch (const std::exception& e) {
    clserr.ErreurChargement(texteLigne(nbl_) + ";;" + DescriptionEchec(e));
  }
  return static_cast<int16_t>(clserr.ErrCode());
}

int16_t Catal_V3::ChargerSignetCatalogue_v3(App& app, const std::string& ficcat, ErreurTxt& clserr) {
  SIGV3.Clear();
  nbl_ = 0;  // the header is not counted here
  try {
    LecteurTexte fichier = LecteurTexte::Ouvrir(app, ficcat);
    std::string_view ligne;
    ChampsLigne tb;
    if (!fichier.LireLigne(ligne)) raise(62, "Lecture au-delà de la fin du fichier");
    std::string rangee;
    while (fichier.LireLigne(ligne)) {
      ++nbl_;
      DecouperChamps(ligne, ';', tb);
      if (tb.empty() || tb[0].empty()) {
        rangee = texteLigne(nbl_);
        rangee += ";;erreur description signet";
        clserr.ErreurChargement(rangee);
        continue;
      }
      Signet_V3 s;
      s.nom = SansBlancs(tb[0]);
      AjouterSignet(std::move(s), tb[0], clserr);
    }
  } catch (const std::exception& e) {
    clserr.ErreurChargement(texteLigne(nbl_) + ";;" + DescriptionEchec(e));
  }
  return static_cast<int16_t>(clserr.ErrCode());
}

}  // namespace kup
