#pragma once
// The V2-to-V3 equivalences of merge variables and bookmarks, read from
// "Var_Equiv_V2_V3.csv" and "SIG_Equiv_V2_V3.csv" in the program folder and
// checked against the V3 catalogue while they are read.
#include <cstdint>
#include <string>
#include <string_view>

#include "documents/Catal_V3.h"
#include "documents/CollectionCle.h"
#include "documents/ErreurTxt.h"
#include "documents/SignetEquiv_V3.h"
#include "documents/VariableEquiv_V3.h"

namespace kup {

struct App;

class Equivalence_V3 {
 public:
  CollectionCle<VariableEquiv_V3> VarEquiv;  // by V2 name as written & "_" & code
  CollectionCle<SignetEquiv_V3> SigEquiv;    // by V2 bookmark name as written

  // Read by the word processor driver; nothing here sets it.
  int16_t AppFormatV3() const { return appFormatV3_; }
  void AppFormatV3(int16_t v) { appFormatV3_ = v; }

  // Both files (ficequiv: the variable file; the bookmark file is derived
  // from it as for the catalogue). Returns the bookmark pass's result, or 0
  // when the catalogue has no variable or no bookmark and nothing is read.
  int16_t ChargerEquivalence_v3(App& app, const std::string& ficequiv, Catal_V3& cv3, ErreurTxt& clserr);
  // 1 when a line was rejected, 0 otherwise.
  int16_t ChargerVariableEquivalence_v3(App& app, const std::string& ficequiv, Catal_V3& cv3, ErreurTxt& clserr);
  int16_t ChargerSignetEquivalence_v3(App& app, const std::string& ficequiv, Catal_V3& cv3, ErreurTxt& clserr);

  // Add under cle; a key already present is reported as a duplicate row and
  // the first entry stays. Return 0.
  int AjouterEquivalence(VariableEquiv_V3 vcou, std::string_view cle, ErreurTxt& clserr);
  int AjouterSignetEquivalence(SignetEquiv_V3 vcou, std::string_view cle, ErreurTxt& clserr);

 private:
  int16_t appFormatV3_ = 0;
  // Line counter of both passes. Wider than the original's 16 bits so that
  // long files are read to their end.
  long nbl_ = 0;
};

}  // namespace kup
