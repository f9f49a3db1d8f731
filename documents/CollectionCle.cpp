#include "documents/CollectionCle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "vb/VbString.h"

namespace kup {

namespace {
bool asciiOnly(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Moves every filled slot into a table of the new size (a power of two); the
// hash kept in the slot's high half places it again without its key.
void Rehacher(CasesIndex& cases, size_t taille) {
  CasesIndex anciennes(taille);
  anciennes.swap(cases);
  const size_t masque = taille - 1;
  for (size_t k = 0; k < anciennes.size(); ++k) {
    const uint64_t c = anciennes[k];
    if (c == 0) continue;
    size_t i = static_cast<size_t>(c >> 32) & masque;
    while (cases[i] != 0) i = (i + 1) & masque;
    cases[i] = c;
  }
}

}  // namespace

std::string_view CleSansCasse(std::string_view key, std::string& buffer) {
  if (asciiOnly(key)) {
    buffer.assign(key);
    for (auto& c : buffer)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  } else {
    buffer = UCase(key);
  }
  return buffer;
}

std::string CleSansCasse(std::string_view key) {
  std::string b;
  CleSansCasse(key, b);
  return b;
}

// ---------------------------------------------------------------- CasesIndex

CasesIndex::CasesIndex(size_t n) : n_(n) {
  p_ = static_cast<uint64_t*>(std::calloc(n, sizeof(uint64_t)));
  if (!p_ && n) throw std::bad_alloc();
}

CasesIndex::~CasesIndex() { std::free(p_); }

// ---------------------------------------------------------------- IndexCles

uint64_t IndexCles::Hacher(std::string_view s) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ (s.size() * 0xFF51AFD7ED558CCDull);
  const char* p = s.data();
  size_t n = s.size();
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
    p += 8;
    n -= 8;
  }
  uint64_t w = 0;
  std::memcpy(&w, p, n);
  h = (h ^ w) * 0x94D049BB133111EBull;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 32;
  return h;
}

size_t IndexCles::Sonder(std::string_view cle, uint64_t h, bool& trouve) const {
  const uint64_t haut = h & 0xFFFFFFFF00000000ull;
  const size_t masque = cases_.size() - 1;
  size_t i = static_cast<size_t>(h >> 32) & masque;
  while (true) {
    const uint64_t c = cases_[i];
    if (c == 0) {
      trouve = false;
      return i;
    }
    if ((c & 0xFFFFFFFF00000000ull) == haut && Cle((c & 0xFFFFFFFFull) - 1) == cle) {
      trouve = true;
      return i;
    }
    i = (i + 1) & masque;
  }
}

size_t IndexCles::Trouver(std::string_view cle, uint64_t h) const {
  if (cases_.empty()) return npos;
  bool trouve;
  size_t i = Sonder(cle, h, trouve);
  return trouve ? static_cast<size_t>((cases_[i] & 0xFFFFFFFFull) - 1) : npos;
}

bool IndexCles::Inserer(std::string_view cle, uint64_t h) {
  if ((Count() + 1) * 2 > cases_.size()) Agrandir();
  bool trouve;
  size_t i = Sonder(cle, h, trouve);
  if (trouve) return false;
  texte_.append(cle);
  debuts_.push_back(texte_.size());
  cases_[i] = (h & 0xFFFFFFFF00000000ull) | static_cast<uint64_t>(Count());
  return true;
}

void IndexCles::Agrandir() { Reserver(Count() + 1); }

void IndexCles::Redimensionner(size_t taille) {
  Rehacher(cases_, taille);
}

void IndexCles::Reserver(size_t n) {
  if (n * 2 <= cases_.size()) return;
  // At most half full; doubling keeps the rehashes rare.
  size_t taille = cases_.empty() ? 8 : cases_.size() * 2;
  while (n * 2 > taille) taille *= 2;
  Redimensionner(taille);
}

void IndexCles::Vider() {
  cases_ = CasesIndex();
  texte_.clear();
  texte_.shrink_to_fit();
  debuts_.assign(1, 0);
  debuts_.shrink_to_fit();
}

// ---------------------------------------------------------------- PoolTextes

PoolTextes::PoolTextes() { Ajouter({}); }

PoolTextes::~PoolTextes() { std::free(p_); }

uint32_t PoolTextes::Ajouter(std::string_view t) {
  if (t.empty() && n_ != 0) return 0;
  const size_t besoin = n_ + t.size() + 10;
  if (besoin > 0xFFFFFFFFull) throw std::bad_alloc();
  if (besoin > cap_) {
    size_t cap = std::max<size_t>({besoin, cap_ * 2, 4096});
    if (cap > 0xFFFFFFFFull + 10) cap = besoin;
    void* p = std::realloc(p_, cap);
    if (!p) throw std::bad_alloc();
    p_ = static_cast<char*>(p);
    cap_ = cap;
  }
  const auto ref = static_cast<uint32_t>(n_);
  size_t n = t.size();
  unsigned char* q = reinterpret_cast<unsigned char*>(p_) + n_;
  while (n >= 0x80) {
    *q++ = static_cast<unsigned char>(n | 0x80);
    n >>= 7;
  }
  *q++ = static_cast<unsigned char>(n);
  if (!t.empty()) std::memcpy(q, t.data(), t.size());
  n_ = static_cast<size_t>(q - reinterpret_cast<unsigned char*>(p_)) + t.size();
  return ref;
}

void PoolTextes::Reserver(size_t n) {
  const size_t cap = n_ + n;
  if (cap <= cap_ || cap > 0xFFFFFFFFull + 10) return;
  if (void* p = std::realloc(p_, cap)) {
    p_ = static_cast<char*>(p);
    cap_ = cap;
  }
}

void PoolTextes::Ajuster() {
  if (n_ == cap_ || n_ == 0) return;
  if (void* p = std::realloc(p_, n_)) {
    p_ = static_cast<char*>(p);
    cap_ = n_;
  }
}

// ---------------------------------------------------------------- MemeCle

bool MemeCle(std::string_view plie, std::string_view brut, std::string& tampon) {
  if (asciiOnly(brut)) {
    if (brut.size() != plie.size()) return false;
    for (size_t i = 0; i < brut.size(); ++i) {
      char c = brut[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (c != plie[i]) return false;
    }
    return true;
  }
  return CleSansCasse(brut, tampon) == plie;
}

// ---------------------------------------------------------------- IndexRefs

void IndexRefs::Reserver(size_t n) {
  if (n * 4 <= cases_.size() * 3) return;
  size_t taille = cases_.empty() ? 8 : cases_.size() * 2;
  while (n * 4 > taille * 3) taille *= 2;
  Rehacher(cases_, taille);
}

// ---------------------------------------------------------------- CollectionNoms

bool CollectionNoms::Add(std::string_view nom) {
  std::string plie;
  CleSansCasse(nom, plie);
  return AddPlie(nom, plie, IndexCles::Hacher(plie));
}

bool CollectionNoms::Contains(std::string_view nom) const {
  if (refs_.empty()) return false;
  Indexer();
  std::string plie;
  CleSansCasse(nom, plie);
  return index_.Trouver(plie, IndexCles::Hacher(plie), CleDe{this}, buffer_) != IndexRefs::npos;
}

void CollectionNoms::Indexer() const {
  if (indexes_ == refs_.size()) return;
  index_.Reserver(refs_.size());
  std::string plie;
  for (size_t i = indexes_; i < refs_.size(); ++i) {
    CleSansCasse(At(i), plie);
    index_.TrouverOuInserer(plie, IndexCles::Hacher(plie), CleDe{this}, buffer_, i);
  }
  indexes_ = refs_.size();
}

void CollectionNoms::Clear() {
  refs_.clear();
  refs_.shrink_to_fit();
  index_.Vider();
  indexes_ = 0;
}

void CollectionNoms::Reindexer() {
  index_.Vider();
  indexes_ = 0;
  Indexer();
}

}  // namespace kup
