#pragma once
// The V3 catalogue: the merge variables and bookmarks that version-3
// templates may hold, read from "Var_Catalogue_V3.csv" and
// "SIG_Catalogue_V3.csv" in the program folder, with the field format
// switch of every variable. Problems go as rows into an ErreurTxt; a load
// never fails towards its caller.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "documents/CV3_Regroupement.h"
#include "documents/CollectionCle.h"
#include "documents/ErreurTxt.h"
#include "documents/Signet_V3.h"
#include "documents/Variable_V3.h"

namespace kup {

struct App;

// The fields of one line, pointing into the line.
using ChampsLigne = std::vector<std::string_view>;

// The catalogue's variables: keyed by CHAMP as written, compared without
// regard to case, in the order they were added; adding under a present key
// fails and keeps the first. Millions of them are loaded at start-up, so a
// variable is a few offsets into a pool of texts shared with the groups, and
// the index keeps no copy of the keys.
class CollectionVariables {
 public:
  static constexpr size_t npos = IndexRefs::npos;
  explicit CollectionVariables(std::shared_ptr<PoolTextes> pool) : pool_(std::move(pool)) {}

  Trouve<VueVariable_V3> Item(std::string_view cle) const {
    const size_t i = Indice(cle);
    return i == npos ? Trouve<VueVariable_V3>() : Trouve<VueVariable_V3>(At(i));
  }
  bool Contains(std::string_view cle) const { return Indice(cle) != npos; }
  // Position of the variable under cle, npos when absent.
  size_t Indice(std::string_view cle) const;
  size_t IndicePlie(std::string_view plie, uint64_t h) const {
    return index_.Trouver(plie, h, CleDe{this}, buffer_);
  }
  VueVariable_V3 At(size_t i) const;
  size_t Count() const { return vars_.size(); }
  bool empty() const { return vars_.empty(); }

  // Adds v under cle; false (nothing changed) when the key is present.
  bool Add(const Variable_V3& v, std::string_view cle);
  // For the loader: the key already folded and hashed, the name the
  // trimmed key, the format switch already in the pool. When added, refCle
  // is the offset of the key's text, for the groups to share.
  bool AddPlie(std::string_view cle, std::string_view plie, uint64_t h, std::string_view libelle, uint32_t refFmt,
               int16_t typeFmt, uint32_t& refCle);
  void Precharger(uint64_t h) const { index_.Precharger(h); }
  // The V2 name the equivalence load links to variable i (a name given
  // again is not stored again).
  void DefinirNomEX(size_t i, std::string_view nomEX) {
    if (pool_->Texte(vars_[i].nomEX) != nomEX) vars_[i].nomEX = pool_->Ajouter(nomEX);
  }

  // Empties the collection; the texts stay in the pool for those sharing it.
  void Clear();
  void reserve(size_t n) {
    vars_.reserve(n);
    index_.Reserver(n);
  }
  void Ajuster() { vars_.shrink_to_fit(); }
  PoolTextes& Pool() { return *pool_; }

 private:
  struct Enreg {
    uint32_t cle, nom, libelle, fmt, nomEX;  // offsets in the pool
    int16_t typeFmt;
  };
  struct CleDe {
    const CollectionVariables* c;
    std::string_view operator()(size_t i) const { return c->pool_->Texte(c->vars_[i].cle); }
  };
  void Reindexer();
  std::shared_ptr<PoolTextes> pool_;
  std::vector<Enreg> vars_;
  IndexRefs index_;
  mutable std::string buffer_, plie_;
};

// The catalogue's bookmarks, keyed by the name as written (same rules).
class CollectionSignets {
 public:
  explicit CollectionSignets(std::shared_ptr<PoolTextes> pool) : pool_(std::move(pool)) {}
  Trouve<VueSignet_V3> Item(std::string_view cle) const;
  bool Contains(std::string_view cle) const;
  VueSignet_V3 At(size_t i) const { return {pool_->Texte(signets_[i].nom)}; }
  size_t Count() const { return signets_.size(); }
  bool empty() const { return signets_.empty(); }
  bool Add(const Signet_V3& s, std::string_view cle) { return AddNom(s.nom, cle); }
  bool AddNom(std::string_view nom, std::string_view cle);
  void Clear();
  void Ajuster() { signets_.shrink_to_fit(); }

 private:
  size_t Indice(std::string_view cle) const;
  struct Enreg {
    uint32_t cle, nom;
  };
  struct CleDe {
    const CollectionSignets* c;
    std::string_view operator()(size_t i) const { return c->pool_->Texte(c->signets_[i].cle); }
  };
  void Reindexer();
  std::shared_ptr<PoolTextes> pool_;
  std::vector<Enreg> signets_;
  IndexRefs index_;
  mutable std::string buffer_, plie_;
};

class Catal_V3 {
  // The texts of the variables, bookmarks and groups, shared by the four
  // collections. A second load adds to it: the groups keep the names of the
  // first.
  std::shared_ptr<PoolTextes> textes_ = std::make_shared<PoolTextes>();

 public:
  CollectionVariables CatV3{textes_};           // by CHAMP as written, upper-cased
  CollectionSignets SIGV3{textes_};             // by the bookmark name as written, upper-cased
  CollectionCle<CV3_Regroupement> V3_Ecran;     // one group per ECRAN value
  CollectionCle<CV3_Regroupement> V3_CodeDossier;  // one group per CODE value

  // Both files: ficcat is the full path of the variable file; the bookmark
  // file is "SIG_" and the variable file's name from its fifth character on,
  // in the same folder. Returns clserr's ErrCode after both.
  int16_t ChargerCatalogue_v3(App& app, const std::string& ficcat, ErreurTxt& clserr);
  int16_t ChargerVariableCatalogue_v3(App& app, const std::string& ficcat, ErreurTxt& clserr);
  int16_t ChargerSignetCatalogue_v3(App& app, const std::string& ficcat, ErreurTxt& clserr);

  // Finds the columns in the header fields: -1 when the check added a row,
  // otherwise the highest position among CHAMP, ECRAN, CODE and LIBELLE.
  int32_t ExtraireEntete(const ChampsLigne& tb, ErreurTxt& clserr);
  // The format switch of one variable line; sets varcou.TypeFmt.
  std::string TraiterFormat(Variable_V3& varcou, const ChampsLigne& tb, long nbl, ErreurTxt& clserr);

  int AjouterRegroupement(CollectionCle<CV3_Regroupement>& collregroup, std::string_view nomregroup);
  int AjouterVariable(Variable_V3 vcou, std::string_view cle, ErreurTxt& clserr);
  int AjouterSignet(Signet_V3 vcou, std::string_view cle, ErreurTxt& clserr);

  bool Existe(std::string_view nom) const { return CatV3.Contains(nom); }
  bool ExisteSignet(std::string_view nom) const { return SIGV3.Contains(nom); }
  template <class Coll>
  static bool ExisteDansCol(const Coll& coll, std::string_view nom) {
    return coll.Contains(nom);
  }

 private:
  // The group of that name, created when missing.
  CV3_Regroupement* Regroupement(CollectionCle<CV3_Regroupement>& collregroup, std::string_view nomregroup);
  // Gives back the room reserved beyond what a load stored.
  void Ajuster();
  class DernierGroupe {
   public:
    CV3_Regroupement* Trouver(Catal_V3& cat, CollectionCle<CV3_Regroupement>& coll, std::string_view valeur);

   private:
    CV3_Regroupement* groupe_ = nullptr;
    std::string valeur_;
  };
  // Column positions, -1 while not found.
  int32_t posChamp_ = -1, posEcran_ = -1, posCode_ = -1, posType_ = -1, posLg_ = -1, posUnite_ = -1,
          posDec_ = -1, posLibelle_ = -1;
  // Line counter. Wider than the original's 16 bits so that long files are
  // read to their end.
  long nbl_ = 0;
};

}  // namespace kup
