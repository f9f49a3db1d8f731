#include "documents/Catal_V3.h"

#include <cmath>
#include <string>
#include <unordered_map>

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

// The pool offset of the trimmed name: the key's own text when it has no
// blanks around it.
uint32_t refNom(PoolTextes& pool, std::string_view cle, uint32_t refCle, std::string_view nom) {
  return nom == cle ? refCle : pool.Ajouter(nom);
}

// The few distinct format switches of a file, each stored once.
class Formats {
 public:
  uint32_t Ref(PoolTextes& pool, const std::string& fmt) {
    for (auto& [f, r] : courts_)
      if (f == fmt) return r;
    if (courts_.size() < 16) return courts_.emplace_back(fmt, pool.Ajouter(fmt)).second;
    auto [it, nouveau] = autres_.try_emplace(fmt, 0);
    if (nouveau) it->second = pool.Ajouter(fmt);
    return it->second;
  }

 private:
  std::vector<std::pair<std::string, uint32_t>> courts_;
  std::unordered_map<std::string, uint32_t> autres_;
};

}  // namespace

// Lines of one screen or code usually follow each other: the group of the
// previous line is taken again when its value is written the same.
CV3_Regroupement* Catal_V3::DernierGroupe::Trouver(Catal_V3& cat, CollectionCle<CV3_Regroupement>& coll,
                                                   std::string_view valeur) {
  if (!groupe_ || valeur != valeur_) {
    groupe_ = cat.Regroupement(coll, valeur);
    valeur_.assign(valeur);
  }
  return groupe_;
}

// ---------------------------------------------------------------- CollectionVariables

size_t CollectionVariables::Indice(std::string_view cle) const {
  if (vars_.empty()) return npos;
  CleSansCasse(cle, plie_);
  return IndicePlie(plie_, IndexCles::Hacher(plie_));
}

VueVariable_V3 CollectionVariables::At(size_t i) const {
  const Enreg& e = vars_[i];
  return {pool_->Texte(e.nom), pool_->Texte(e.fmt), pool_->Texte(e.libelle), pool_->Texte(e.nomEX), e.typeFmt};
}

bool CollectionVariables::AddPlie(std::string_view cle, std::string_view plie, uint64_t h, std::string_view libelle,
                                  uint32_t refFmt, int16_t typeFmt, uint32_t& refCle) {
  if (index_.TrouverOuInserer(plie, h, CleDe{this}, buffer_, vars_.size()) != npos) return false;
  try {
    Enreg e{};
    e.cle = pool_->Ajouter(cle);
    e.nom = refNom(*pool_, cle, e.cle, SansBlancs(cle));
    e.libelle = pool_->Ajouter(libelle);
    e.fmt = refFmt;
    e.typeFmt = typeFmt;
    vars_.push_back(e);
    refCle = e.cle;
  } catch (...) {
    Reindexer();  // the index must not name the entry that was not stored
    throw;
  }
  return true;
}

bool CollectionVariables::Add(const Variable_V3& v, std::string_view cle) {
  const std::string_view plie = CleSansCasse(cle, plie_);  // the comparisons fold into buffer_
  const uint64_t h = IndexCles::Hacher(plie);
  if (index_.TrouverOuInserer(plie, h, CleDe{this}, buffer_, vars_.size()) != npos) return false;
  try {
    Enreg e{};
    e.cle = pool_->Ajouter(cle);
    e.nom = refNom(*pool_, cle, e.cle, v.nom);
    e.libelle = pool_->Ajouter(v.Libelle);
    e.fmt = pool_->Ajouter(v.Fmt);
    e.nomEX = pool_->Ajouter(v.NomEX);
    e.typeFmt = v.TypeFmt;
    vars_.push_back(e);
  } catch (...) {
    Reindexer();
    throw;
  }
  return true;
}

void CollectionVariables::Clear() {
  vars_.clear();
  vars_.shrink_to_fit();
  index_.Vider();
}

void CollectionVariables::Reindexer() {
  index_.Vider();
  std::string plie;
  for (size_t i = 0; i < vars_.size(); ++i) {
    CleSansCasse(CleDe{this}(i), plie);
    index_.TrouverOuInserer(plie, IndexCles::Hacher(plie), CleDe{this}, buffer_, i);
  }
}

// ---------------------------------------------------------------- CollectionSignets

size_t CollectionSignets::Indice(std::string_view cle) const {
  if (signets_.empty()) return IndexRefs::npos;
  CleSansCasse(cle, plie_);
  return index_.Trouver(plie_, IndexCles::Hacher(plie_), CleDe{this}, buffer_);
}

Trouve<VueSignet_V3> CollectionSignets::Item(std::string_view cle) const {
  const size_t i = Indice(cle);
  return i == IndexRefs::npos ? Trouve<VueSignet_V3>() : Trouve<VueSignet_V3>(At(i));
}

bool CollectionSignets::Contains(std::string_view cle) const { return Indice(cle) != IndexRefs::npos; }

bool CollectionSignets::AddNom(std::string_view nom, std::string_view cle) {
  const std::string_view plie = CleSansCasse(cle, plie_);
  if (index_.TrouverOuInserer(plie, IndexCles::Hacher(plie), CleDe{this}, buffer_, signets_.size()) !=
      IndexRefs::npos)
    return false;
  try {
    Enreg e{};
    e.cle = pool_->Ajouter(cle);
    e.nom = refNom(*pool_, cle, e.cle, nom);
    signets_.push_back(e);
  } catch (...) {
    Reindexer();
    throw;
  }
  return true;
}

void CollectionSignets::Clear() {
  signets_.clear();
  signets_.shrink_to_fit();
  index_.Vider();
}

void CollectionSignets::Reindexer() {
  index_.Vider();
  std::string plie;
  for (size_t i = 0; i < signets_.size(); ++i) {
    CleSansCasse(CleDe{this}(i), plie);
    index_.TrouverOuInserer(plie, IndexCles::Hacher(plie), CleDe{this}, buffer_, i);
  }
}

// ---------------------------------------------------------------- Catal_V3

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

void Catal_V3::Ajuster() {
  CatV3.Ajuster();
  SIGV3.Ajuster();
  for (auto* groupes : {&V3_Ecran, &V3_CodeDossier})
    for (size_t i = 0; i < groupes->Count(); ++i) groupes->At(i).CFV3.Ajuster();
  textes_->Ajuster();
}

int Catal_V3::AjouterRegroupement(CollectionCle<CV3_Regroupement>& collregroup, std::string_view nomregroup) {
  Regroupement(collregroup, nomregroup);
  return 0;
}

CV3_Regroupement* Catal_V3::Regroupement(CollectionCle<CV3_Regroupement>& collregroup, std::string_view nomregroup) {
  if (CV3_Regroupement* g = collregroup.Item(nomregroup)) return g;
  CV3_Regroupement g;
  g.nom = std::string(nomregroup);
  g.CFV3.Partager(textes_);
  collregroup.Add(std::move(g), nomregroup);
  return collregroup.Item(nomregroup);
}

int Catal_V3::AjouterVariable(Variable_V3 vcou, std::string_view cle, ErreurTxt&) {
  CatV3.Add(vcou, cle);  // a name already present keeps its first variable
  return 0;
}

int Catal_V3::AjouterSignet(Signet_V3 vcou, std::string_view cle, ErreurTxt&) {
  SIGV3.Add(vcou, cle);
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
    // The groups met before this load are searched whole by AddNouveau.
    for (auto* groupes : {&V3_Ecran, &V3_CodeDossier})
      for (size_t i = 0; i < groupes->Count(); ++i) groupes->At(i).CFV3.Indexer();
    textes_->Reserver(fichier.Taille());
    Formats formats;
    DernierGroupe dernierEcran, dernierCode;
    Variable_V3 v;
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
      // The name is folded and hashed once for the catalogue and its groups.
      CleSansCasse(champ, cleChamp);
      const uint64_t h = IndexCles::Hacher(cleChamp);
      CatV3.Precharger(h);
      CV3_Regroupement* ecran = dernierEcran.Trouver(*this, V3_Ecran, tb[iEcran]);
      CV3_Regroupement* code = dernierCode.Trouver(*this, V3_CodeDossier, tb[iCode]);
      v.TypeFmt = 0;
      const std::string fmt = TraiterFormat(v, tb, nbl_, clserr);
      const uint32_t refFmt = fmt.empty() ? 0 : formats.Ref(*textes_, fmt);
      uint32_t refChamp = 0;
      if (CatV3.AddPlie(champ, cleChamp, h, SansBlancs(tb[iLibelle]), refFmt, v.TypeFmt, refChamp)) {
        // New to this load: no line before it put it into a group.
        ecran->CFV3.AddNouveau(cleChamp, h, refChamp);
        code->CFV3.AddNouveau(cleChamp, h, refChamp);
        continue;
      }
      // A name already present keeps its first variable; the duplicate
      // still joins the groups of its own line, under its own text.
      bool aRef = false;
      auto ref = [&](PoolTextes& p) {
        if (!aRef) {
          refChamp = p.Ajouter(champ);
          aRef = true;
        }
        return refChamp;
      };
      ecran->CFV3.AddRef(cleChamp, h, ref);
      code->CFV3.AddRef(cleChamp, h, ref);
    }
    Ajuster();
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
    textes_->Reserver(fichier.Taille());
    while (fichier.LireLigne(ligne)) {
      ++nbl_;
      DecouperChamps(ligne, ';', tb);
      if (tb.empty() || tb[0].empty()) {
        rangee = texteLigne(nbl_);
        rangee += ";;erreur description signet";
        clserr.ErreurChargement(rangee);
        continue;
      }
      SIGV3.AddNom(SansBlancs(tb[0]), tb[0]);  // a duplicate is ignored
    }
    Ajuster();
  } catch (const std::exception& e) {
    clserr.ErreurChargement(texteLigne(nbl_) + ";;" + DescriptionEchec(e));
  }
  return static_cast<int16_t>(clserr.ErrCode());
}

}  // namespace kup
