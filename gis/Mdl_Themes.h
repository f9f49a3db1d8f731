#pragma once
// The colour themes kept in memory for the life of the process, their
// parcels, and the operations the colour-theme window runs on them. Nothing
// here is saved; the GIS keeps its own copy.
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "core/App.h"
#include "gis/classParcelleTheme.h"
#include "gis/classTheme.h"

namespace kup {

// A keyed collection in insertion order; keys compare without regard to
// case. Add raises 457 for a key already present (the first item stays),
// Item and Remove raise 5 for an absent key.
template <class T>
class CollectionCle {
 public:
  struct Element {
    std::string cle;
    std::shared_ptr<T> item;
  };
  void Add(std::shared_ptr<T> item, const std::string& cle);
  std::shared_ptr<T> Item(const std::string& cle) const;
  bool Contient(const std::string& cle) const { return index_.count(Plier(cle)) > 0; }
  void Remove(const std::string& cle);
  long Count() const { return static_cast<long>(elements_.size()); }
  const std::list<Element>& elements() const { return elements_; }
  // Removes the elements whose item satisfies the test, in order.
  template <class P>
  void RemoveIf(P test) {
    for (auto it = elements_.begin(); it != elements_.end();) {
      if (test(*it->item)) {
        index_.erase(Plier(it->cle));
        it = elements_.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  static std::string Plier(const std::string& cle);
  std::list<Element> elements_;
  std::unordered_map<std::string, typename std::list<Element>::iterator> index_;
};

using ColThemes = CollectionCle<classTheme>;
using ColParcellesTheme = CollectionCle<classParcelleTheme>;

struct EtatThemes {
  ColThemes G_ColThemes;
  ColParcellesTheme G_ColParcellesTheme;
};

// The collections of this App, created empty on first use.
EtatThemes& Themes(App& app);

// Windows colour of three components: red + 256 x green + 65536 x blue.
int32_t RGB(int32_t r, int32_t g, int32_t b);

bool func_ExisteTheme(App& app, const std::string& nom);
bool func_ExisteParcelleTheme(App& app, const std::string& codeCommune, const std::string& refCad,
                              const std::string& nomTheme);
// The four changes stop silently at a failing step.
void sub_ThemeCreerBD(App& app, const std::string& nom, int32_t idCouleur, int32_t r, int32_t g, int32_t b,
                      bool visible);
void sub_ThemeAjoutParcelle(App& app, const std::string& nomTheme, const std::string& refCad, const std::string& prop);
void sub_ThemeVisibleBD(App& app, const std::string& nom, bool visible);
void sub_ThemeSupprimerBd(App& app, const std::string& nom);
// The text colour readable on that background: each component 255 when it
// is 127 or less, 0 otherwise.
int32_t func_CouleurContraste(int32_t r, int32_t g, int32_t b);

}  // namespace kup
