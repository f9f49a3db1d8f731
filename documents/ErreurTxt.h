#pragma once
// The error collector of the catalogue and equivalence loads: one text row
// per problem, kept in one growing text (ErrLib) in the form the word
// processor driver and the decree code read it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kup {

class ErreurTxt {
 public:
  // The rows, each followed by CR LF, from position 1; blanks follow the
  // last row. A new collector holds one blank.
  std::string ErrLib() const;
  // 0 until the first row is added, then 1.
  long ErrCode() const { return errCode_; }
  // 1-based character position at which the next row will be written.
  long ErrPos() const { return errPos_; }
  // Number of rows added.
  long NbErr() const { return nbErr_; }

  // Appends one row; returns 0.
  int ErreurChargement(std::string_view liberr);

  // The rows added so far, without their line ends (for readers and tests).
  std::vector<std::string> Lignes() const;

 private:
  // ErrLib is kept as the written characters followed by a count of
  // blanks, so that growing it does not copy it.
  std::string ecrit_;      // the first ecritCars_ characters of ErrLib (UTF-8)
  long ecritCars_ = 0;
  long longueur_ = 1;      // Len(ErrLib)
  long errCode_ = 0;
  long errPos_ = 1;
  long nbErr_ = 0;
  long capacite_ = 1;
};

}  // namespace kup
