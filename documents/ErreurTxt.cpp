#include "documents/ErreurTxt.h"

#include <algorithm>

#include "core/VbString.h"

namespace kup {

std::string ErreurTxt::ErrLib() const {
  std::string s;
  s.reserve(ecrit_.size() + static_cast<size_t>(longueur_ - ecritCars_));
  s = ecrit_;
  s.append(static_cast<size_t>(longueur_ - ecritCars_), ' ');
  return s;
}

int ErreurTxt::ErreurChargement(std::string_view liberr) {
  errCode_ = 1;
  const long n = static_cast<long>(Len(liberr));
  // The text grows by 10000 blanks while the capacity only counts 9998 of
  // them, so there is always room for the row and its line end. A row
  // longer than one step grows it as many times as it needs rather than
  // being cut.
  while (errPos_ + n > capacite_) {
    longueur_ += 10000;
    capacite_ += 9998;
  }
  // Whatever lies between the written part and ErrPos is blanks.
  const long debut = std::min(errPos_ - 1, longueur_);
  if (ecritCars_ < debut) {
    ecrit_.append(static_cast<size_t>(debut - ecritCars_), ' ');
    ecritCars_ = debut;
  }
  // The row is written over the blanks, never lengthening the text.
  const long place = longueur_ - ecritCars_;
  if (n + 2 <= place) {
    ecrit_.append(liberr);
    ecrit_.append("\r\n");
    ecritCars_ += n + 2;
  } else if (place > 0) {
    std::string ligne(liberr);
    ligne += "\r\n";
    ecrit_ += Left(ligne, place);
    ecritCars_ += place;
  }
  errPos_ += n + 2;
  ++nbErr_;
  return 0;
}

std::vector<std::string> ErreurTxt::Lignes() const {
  std::vector<std::string> out;
  std::string_view s = ecrit_;
  size_t b = 0;
  while (b < s.size()) {
    size_t p = s.find("\r\n", b);
    if (p == std::string_view::npos) {
      out.emplace_back(s.substr(b));
      break;
    }
    out.emplace_back(s.substr(b, p - b));
    b = p + 2;
  }
  return out;
}

}  // namespace kup
