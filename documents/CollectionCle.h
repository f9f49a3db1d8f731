#pragma once
// Keyed collections with the behaviour the catalogue code relies on: items
// kept in the order they were added, keys compared without regard to case,
// and adding under a key already present fails and keeps the first item.
// Items live at stable addresses until Clear, so a pointer returned by Item
// may be kept and changed through (the objects are shared references in the
// program's model).
//
// The catalogue holds up to millions of names loaded at start-up, so the
// index is a flat open-addressing table over one block of key text rather
// than a node per key.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kup {

// The form under which a key is compared: upper-cased (ASCII fast path).
std::string CleSansCasse(std::string_view key);
// Same, into a buffer the caller reuses; returns a view of the buffer.
std::string_view CleSansCasse(std::string_view key, std::string& buffer);

// The slot array of an index: zeroed memory (calloc, so that a large table
// costs no clearing pass).
class CasesIndex {
 public:
  CasesIndex() = default;
  explicit CasesIndex(size_t n);
  ~CasesIndex();
  CasesIndex(CasesIndex&& o) noexcept : p_(std::exchange(o.p_, nullptr)), n_(std::exchange(o.n_, 0)) {}
  CasesIndex& operator=(CasesIndex&& o) noexcept {
    swap(o);
    return *this;
  }
  CasesIndex(const CasesIndex&) = delete;
  CasesIndex& operator=(const CasesIndex&) = delete;
  void swap(CasesIndex& o) noexcept {
    std::swap(p_, o.p_);
    std::swap(n_, o.n_);
  }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  uint64_t& operator[](size_t i) { return p_[i]; }
  const uint64_t& operator[](size_t i) const { return p_[i]; }

 private:
  uint64_t* p_ = nullptr;
  size_t n_ = 0;
};

// Folded keys -> insertion index.
class IndexCles {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);
  static uint64_t Hacher(std::string_view cle);
  // Index of the key (already folded), npos when absent.
  size_t Trouver(std::string_view cle) const { return Trouver(cle, Hacher(cle)); }
  size_t Trouver(std::string_view cle, uint64_t h) const;
  // Adds the key (already folded) with the next index; false when present.
  bool Inserer(std::string_view cle) { return Inserer(cle, Hacher(cle)); }
  bool Inserer(std::string_view cle, uint64_t h);
  // Asks the processor for the slot of a key about to be added or looked
  // up, so that loading one name into several collections waits once.
  void Precharger(uint64_t h) const {
    if (!cases_.empty()) __builtin_prefetch(&cases_[static_cast<size_t>(h >> 32) & (cases_.size() - 1)]);
  }
  size_t Count() const { return debuts_.size() - 1; }
  void Vider();
  void Reserver(size_t n);
  std::string_view Cle(size_t i) const { return std::string_view(texte_).substr(debuts_[i], debuts_[i + 1] - debuts_[i]); }

 private:
  size_t Sonder(std::string_view cle, uint64_t h, bool& trouve) const;
  void Agrandir();
  void Redimensionner(size_t taille);

  // One slot per entry: upper 32 bits the key's hash, lower 32 bits its
  // index + 1; 0 marks an empty slot.
  CasesIndex cases_;
  std::string texte_;                   // every key, one after the other
  std::vector<size_t> debuts_{0};       // key i is texte_[debuts_[i], debuts_[i + 1])
};

// Items in blocks of doubling size: stable addresses, few allocations, and
// no waste for the many small collections.
template <class T>
class BlocsStables {
 public:
  T& operator[](size_t i) {
    auto [b, o] = place(i);
    return blocs_[b][o];
  }
  const T& operator[](size_t i) const {
    auto [b, o] = place(i);
    return blocs_[b][o];
  }
  template <class U>
  void push_back(U&& v) {
    auto [b, o] = place(n_);
    if (b == blocs_.size()) blocs_.push_back(std::make_unique<T[]>(kPremier << b));
    blocs_[b][o] = std::forward<U>(v);
    ++n_;
  }
  size_t size() const { return n_; }
  void clear() {
    blocs_.clear();
    n_ = 0;
  }

 private:
  static constexpr size_t kPremier = 4;
  static std::pair<size_t, size_t> place(size_t i) {
    const size_t q = i / kPremier + 1;
    const size_t b = static_cast<size_t>(std::bit_width(q)) - 1;
    return {b, i - kPremier * ((size_t{1} << b) - 1)};
  }
  std::vector<std::unique_ptr<T[]>> blocs_;
  size_t n_ = 0;
};

template <class T>
class CollectionCle {
 public:
  // Adds item under key; false (and nothing changed, item included) when
  // the key is present.
  template <class U>
  bool Add(U&& item, std::string_view key) {
    if (!index_.Inserer(CleSansCasse(key, buffer_))) return false;
    items_.push_back(std::forward<U>(item));
    return true;
  }

  // The same with the key already folded (CleSansCasse) and hashed
  // (IndexCles::Hacher), for loaders that store one name in several places.
  template <class U>
  bool AddPlie(U&& item, std::string_view plie, uint64_t h) {
    if (!index_.Inserer(plie, h)) return false;
    items_.push_back(std::forward<U>(item));
    return true;
  }
  void Precharger(uint64_t h) const { index_.Precharger(h); }

  // The item under key, nullptr when absent.
  T* Item(std::string_view key) {
    size_t i = index_.Trouver(CleSansCasse(key, buffer_));
    return i == IndexCles::npos ? nullptr : &items_[i];
  }
  const T* Item(std::string_view key) const {
    size_t i = index_.Trouver(CleSansCasse(key, buffer_));
    return i == IndexCles::npos ? nullptr : &items_[i];
  }
  bool Contains(std::string_view key) const { return index_.Trouver(CleSansCasse(key, buffer_)) != IndexCles::npos; }

  size_t Count() const { return items_.size(); }
  bool empty() const { return items_.size() == 0; }
  // Item by insertion position, from 0.
  T& At(size_t i) { return items_[i]; }
  const T& At(size_t i) const { return items_[i]; }
  void Clear() {
    items_.clear();
    index_.Vider();
  }
  void reserve(size_t n) { index_.Reserver(n); }

 private:
  BlocsStables<T> items_;
  IndexCles index_;
  // Scratch space for folding keys (the program runs on one thread).
  mutable std::string buffer_;
};

// Texts one after the other in one block, each known by its offset (4
// bytes where a std::string costs 32 and an allocation): its length, 7 bits
// a byte, then its bytes. Offset 0 is the empty text. Texts are only added:
// an offset stays valid as long as the pool, a view only until the next
// addition (the block may move).
class PoolTextes {
 public:
  PoolTextes();
  ~PoolTextes();
  PoolTextes(const PoolTextes&) = delete;
  PoolTextes& operator=(const PoolTextes&) = delete;
  // The offset of a copy of t; 0 for an empty text. Raises std::bad_alloc
  // when the pool would pass 4 GB.
  uint32_t Ajouter(std::string_view t);
  std::string_view Texte(uint32_t ref) const {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(p_) + ref;
    size_t n = *p & 0x7F;
    for (int d = 7; *p & 0x80; d += 7) n |= static_cast<size_t>(*++p & 0x7F) << d;
    return std::string_view(reinterpret_cast<const char*>(p + 1), n);
  }
  // Room for n more bytes of texts (lengths included) without moving.
  void Reserver(size_t n);
  // Gives back the room reserved beyond the last text.
  void Ajuster();

 private:
  char* p_ = nullptr;
  size_t n_ = 0, cap_ = 0;
};

// True when brut, compared without regard to case, is the folded key plie.
bool MemeCle(std::string_view plie, std::string_view brut, std::string& tampon);

// Open-addressing index of entries whose key texts the caller keeps: only
// the hash and the entry's position are stored, and a candidate's key is
// folded again when its hash matches. Entries are numbered from 0.
class IndexRefs {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  // The entry whose key (given by cle(i), as written) folds to plie.
  template <class Cle>
  size_t Trouver(std::string_view plie, uint64_t h, const Cle& cle, std::string& tampon) const {
    if (cases_.empty()) return npos;
    const uint64_t haut = h & 0xFFFFFFFF00000000ull;
    const size_t masque = cases_.size() - 1;
    for (size_t i = static_cast<size_t>(h >> 32) & masque;; i = (i + 1) & masque) {
      const uint64_t c = cases_[i];
      if (c == 0) return npos;
      const size_t e = static_cast<size_t>(c & 0xFFFFFFFFull) - 1;
      if ((c & 0xFFFFFFFF00000000ull) == haut && MemeCle(plie, cle(e), tampon)) return e;
    }
  }
  // The existing entry, or npos after recording entry `nouvelle` under plie.
  template <class Cle>
  size_t TrouverOuInserer(std::string_view plie, uint64_t h, const Cle& cle, std::string& tampon, size_t nouvelle) {
    if ((n_ + 1) * 4 > cases_.size() * 3) Reserver(n_ + 1);
    const uint64_t haut = h & 0xFFFFFFFF00000000ull;
    const size_t masque = cases_.size() - 1;
    for (size_t i = static_cast<size_t>(h >> 32) & masque;; i = (i + 1) & masque) {
      const uint64_t c = cases_[i];
      if (c == 0) {
        cases_[i] = haut | static_cast<uint64_t>(nouvelle + 1);
        ++n_;
        return npos;
      }
      const size_t e = static_cast<size_t>(c & 0xFFFFFFFFull) - 1;
      if ((c & 0xFFFFFFFF00000000ull) == haut && MemeCle(plie, cle(e), tampon)) return e;
    }
  }
  void Precharger(uint64_t h) const {
    if (!cases_.empty()) __builtin_prefetch(&cases_[static_cast<size_t>(h >> 32) & (cases_.size() - 1)]);
  }
  // Room for n entries without growing (at most three quarters full).
  void Reserver(size_t n);
  void Vider() {
    cases_ = CasesIndex();
    n_ = 0;
  }

 private:
  CasesIndex cases_;
  size_t n_ = 0;
};

// Found by a lookup: a view of the item, or nothing (compares equal to
// nullptr). The view holds into its collection's texts: read it before the
// collection changes.
template <class Vue>
class Trouve {
 public:
  Trouve() = default;
  explicit Trouve(Vue v) : v_(v), ok_(true) {}
  const Vue* operator->() const { return &v_; }
  const Vue& operator*() const { return v_; }
  explicit operator bool() const { return ok_; }
  friend bool operator==(const Trouve& t, std::nullptr_t) { return !t.ok_; }

 private:
  Vue v_{};
  bool ok_ = false;
};

// A collection of names, each stored under itself, their texts in a pool
// that may be shared with the collections the same names come from.
//
// A loader that knows a name is new to it (AddNouveau) appends it without
// indexing it: the index catches up with such names only when a lookup or
// an ordinary addition needs it, so a load that meets no duplicate never
// builds the index of its groups at all.
class CollectionNoms {
 public:
  // Adds the name; false (nothing changed) when present in any case.
  bool Add(std::string_view nom);
  bool AddPlie(std::string_view nom, std::string_view plie, uint64_t h) {
    return AddRef(plie, h, [&](PoolTextes& p) { return p.Ajouter(nom); });
  }
  // The same with the name's text already in the pool: ref(pool) gives its
  // offset, called only when the name is added.
  template <class Ref>
  bool AddRef(std::string_view plie, uint64_t h, const Ref& ref) {
    PoolTextes& p = pool();
    Indexer();
    if (index_.TrouverOuInserer(plie, h, CleDe{this}, buffer_, refs_.size()) != IndexRefs::npos) return false;
    try {
      refs_.push_back(ref(p));
    } catch (...) {
      Reindexer();  // the index must not name the entry that was not stored
      throw;
    }
    indexes_ = refs_.size();
    return true;
  }
  // Adds a name (its text at offset ref in the shared pool) that the caller
  // knows is none of the names added since the index was last brought up
  // to date (Indexer): only the indexed ones are searched.
  bool AddNouveau(std::string_view plie, uint64_t h, uint32_t ref) {
    if (indexes_ != 0 && index_.Trouver(plie, h, CleDe{this}, buffer_) != IndexRefs::npos) return false;
    refs_.push_back(ref);
    return true;
  }
  bool Contains(std::string_view nom) const;
  size_t Count() const { return refs_.size(); }
  // The name added at position i (from 0), as it was written.
  std::string_view At(size_t i) const { return pool_->Texte(refs_[i]); }
  void Clear();
  // Takes its texts from (and adds them to) that pool; only while empty.
  void Partager(std::shared_ptr<PoolTextes> pool) { pool_ = std::move(pool); }
  // Indexes the names appended by AddNouveau.
  void Indexer() const;
  // Gives back the room reserved beyond the last name.
  void Ajuster() { refs_.shrink_to_fit(); }

 private:
  struct CleDe {
    const CollectionNoms* c;
    std::string_view operator()(size_t i) const { return c->At(i); }
  };
  PoolTextes& pool() {
    if (!pool_) pool_ = std::make_shared<PoolTextes>();
    return *pool_;
  }
  void Reindexer();
  std::shared_ptr<PoolTextes> pool_;
  std::vector<uint32_t> refs_;
  // The index covers refs_[0, indexes_).
  mutable IndexRefs index_;
  mutable size_t indexes_ = 0;
  mutable std::string buffer_;
};

}  // namespace kup
