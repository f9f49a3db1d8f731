#include "documents/ErreurTxt.h"

#include "vb/VbString.h"

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
  // them, so there is always room for the row and its line end. The step is
  // taken once per row; only a row that would still not fit whole (longer
  // than one step) takes further steps, rather than being cut and leaving
  // ErrPos beyond the end of the text.
  if (errPos_ + n > capacite_) {
    longueur_ += 10000;
    capacite_ += 9998;
  }
  while (errPos_ + n + 1 > longueur_) {
    longueur_ += 10000;
    capacite_ += 9998;
  }
  // The row is written over the blanks, which the growth above made room for.
  ecrit_.append(liberr);
  ecrit_.append("\r\n");
  ecritCars_ += n + 2;
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
