#pragma once
// The V3 catalogue: the merge variables and bookmarks that version-3
// templates may hold, read from "Var_Catalogue_V3.csv" and
// "SIG_Catalogue_V3.csv" in the program folder, with the field format
// switch of every variable. Problems go as rows into an ErreurTxt; a load
// never fails towards its caller.
#include <cstdint>
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

class Catal_V3 {
 public:
  CollectionCle<Variable_V3> CatV3;             // by CHAMP as written, upper-cased
  CollectionCle<Signet_V3> SIGV3;               // by the bookmark name as written, upper-cased
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
  template <class T>
  static bool ExisteDansCol(const CollectionCle<T>& coll, std::string_view nom) {
    return coll.Contains(nom);
  }

 private:
  // The group of that name, created when missing.
  CV3_Regroupement* Regroupement(CollectionCle<CV3_Regroupement>& collregroup, std::string_view nomregroup);
  // Column positions, -1 while not found.
  int32_t posChamp_ = -1, posEcran_ = -1, posCode_ = -1, posType_ = -1, posLg_ = -1, posUnite_ = -1,
          posDec_ = -1, posLibelle_ = -1;
  // Line counter. Wider than the original's 16 bits so that long files are
  // read to their end.
  long nbl_ = 0;
};

}  // namespace kup
