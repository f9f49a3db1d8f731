#include "documents/LecteurTexte.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <new>

#include "core/App.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

namespace {
bool asciiOnly(const char* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w & 0x8080808080808080ull) return false;
  }
  for (; i < n; ++i)
    if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
  return true;
}
// The UTF-8 of each byte from 0x80 up, taken once from the conversion of
// the boundary, so that a line is converted into a reused buffer.
struct TableCp1252 {
  std::string utf8[128];
  TableCp1252() {
    for (int b = 0; b < 128; ++b) utf8[b] = FromCp1252(std::string(1, static_cast<char>(0x80 + b)));
  }
};

void versUtf8(const char* p, size_t n, std::string& out) {
  static const TableCp1252 table;
  out.clear();
  const char* fin = p + n;
  while (p < fin) {
    const char* q = p;
    while (q < fin && static_cast<unsigned char>(*q) < 0x80) ++q;
    out.append(p, static_cast<size_t>(q - p));
    if (q == fin) break;
    out += table.utf8[static_cast<unsigned char>(*q) - 0x80];
    p = q + 1;
  }
}

}  // namespace

LecteurTexte LecteurTexte::Ouvrir(App& app, const std::string& path) { return LecteurTexte(app.fs().readFile(path)); }

size_t LecteurTexte::LignesEstimees() const {
  size_t n = 0;
  const char* p = octets_.data();
  const char* fin = p + octets_.size();
  while (p < fin && (p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(fin - p))))) {
    ++n;
    ++p;
  }
  return n;
}

bool LecteurTexte::LireLigne(std::string_view& ligne) {
  const size_t n = octets_.size();
  if (pos_ >= n) return false;
  const char* base = octets_.data();
  const size_t debut = pos_;
  // The line ends at the first CR or LF. The next LF is remembered so that
  // a file of CR-only lines is not scanned to its end for every line.
  if (prochainLf_ == std::string::npos || prochainLf_ < debut) {
    const void* lf = std::memchr(base + debut, '\n', n - debut);
    prochainLf_ = lf ? static_cast<size_t>(static_cast<const char*>(lf) - base) : n;
  }
  const void* cr = std::memchr(base + debut, '\r', prochainLf_ - debut);
  const size_t fin = cr ? static_cast<size_t>(static_cast<const char*>(cr) - base) : prochainLf_;
  pos_ = fin;
  if (pos_ < n) {
    if (base[pos_] == '\r' && pos_ + 1 < n && base[pos_ + 1] == '\n') pos_ += 2;
    else pos_ += 1;
  }
  if (asciiOnly(base + debut, fin - debut)) {
    ligne = std::string_view(base + debut, fin - debut);
  } else {
    versUtf8(base + debut, fin - debut, tampon_);
    ligne = tampon_;
  }
  return true;
}

void DecouperChamps(std::string_view texte, char separateur, std::vector<std::string_view>& champs) {
  champs.clear();
  if (texte.empty()) return;
  size_t b = 0;
  while (true) {
    size_t p = texte.find(separateur, b);
    if (p == std::string_view::npos) {
      champs.push_back(texte.substr(b));
      return;
    }
    champs.push_back(texte.substr(b, p - b));
    b = p + 1;
  }
}

std::string DescriptionEchec(const std::exception& e) {
  if (auto* vb = dynamic_cast<const VbError*>(&e)) return vb->description();
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "Mémoire insuffisante";
  return e.what();
}

std::string_view SansBlancs(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

}  // namespace kup
