#include "gis/Mdl_Themes.h"

#include <exception>

#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/GisState.h"

namespace kup {

template <class T>
std::string CollectionCle<T>::Plier(const std::string& cle) {
  return UCase(cle);
}

template <class T>
void CollectionCle<T>::Add(std::shared_ptr<T> item, const std::string& cle) {
  std::string k = Plier(cle);
  if (index_.count(k)) raise(457, "Cette clé est déjà associée à un élément de cette collection");
  elements_.push_back({cle, std::move(item)});
  index_.emplace(std::move(k), std::prev(elements_.end()));
}

template <class T>
std::shared_ptr<T> CollectionCle<T>::Item(const std::string& cle) const {
  auto it = index_.find(Plier(cle));
  if (it == index_.end()) raise(vberr::InvalidCall);
  return it->second->item;
}

template <class T>
void CollectionCle<T>::Remove(const std::string& cle) {
  auto it = index_.find(Plier(cle));
  if (it == index_.end()) raise(vberr::InvalidCall);
  elements_.erase(it->second);
  index_.erase(it);
}

template class CollectionCle<classTheme>;
template class CollectionCle<classParcelleTheme>;

namespace {

// The window's error reporter is given the failure and does nothing with
// it: these changes stop where they failed and keep what was done.
template <class F>
void Silencieux(F&& corps) {
  try {
    corps();
  } catch (const std::exception&) {
  }
}

std::string CleParcelle(const std::string& commune, const std::string& ref, const std::string& theme) {
  return commune + "_" + ref + "_" + theme;
}

}  // namespace

EtatThemes& Themes(App& app) {
  auto& g = Gis(app);
  if (!g.themes) g.themes = std::make_shared<EtatThemes>();
  return *g.themes;
}

int32_t RGB(int32_t r, int32_t g, int32_t b) {
  return static_cast<int32_t>(static_cast<int64_t>(r) + 256LL * g + 65536LL * b);
}

bool func_ExisteTheme(App& app, const std::string& nom) { return Themes(app).G_ColThemes.Contient(nom); }

bool func_ExisteParcelleTheme(App& app, const std::string& codeCommune, const std::string& refCad,
                              const std::string& nomTheme) {
  return Themes(app).G_ColParcellesTheme.Contient(CleParcelle(codeCommune, refCad, nomTheme));
}

void sub_ThemeCreerBD(App& app, const std::string& nom, int32_t idCouleur, int32_t r, int32_t g, int32_t b,
                      bool visible) {
  Silencieux([&] {
    if (func_ExisteTheme(app, nom)) return;
    auto t = std::make_shared<classTheme>(classTheme{nom, idCouleur, r, g, b, visible});
    Themes(app).G_ColThemes.Add(t, nom);
  });
}

void sub_ThemeAjoutParcelle(App& app, const std::string& nomTheme, const std::string& refCad, const std::string& prop) {
  Silencieux([&] {
    if (func_ExisteParcelleTheme(app, "", refCad, nomTheme)) return;
    auto p = std::make_shared<classParcelleTheme>(classParcelleTheme{"", refCad, prop, nomTheme});
    Themes(app).G_ColParcellesTheme.Add(p, CleParcelle("", refCad, nomTheme));
  });
}

void sub_ThemeVisibleBD(App& app, const std::string& nom, bool visible) {
  Silencieux([&] {
    for (const auto& e : Themes(app).G_ColThemes.elements()) {
      if (e.item->strNomTheme == nom) {
        e.item->blnVisible = visible;
        return;
      }
    }
  });
}

void sub_ThemeSupprimerBd(App& app, const std::string& nom) {
  Silencieux([&] {
    auto& t = Themes(app);
    if (t.G_ColThemes.Count() == 0) return;
    // The theme goes by its key, which ignores case: its parcels go the same
    // way, or they would stay behind and come back into a later theme of
    // that name.
    const std::string cle = UCase(nom);
    t.G_ColParcellesTheme.RemoveIf([&](const classParcelleTheme& p) { return UCase(p.strNomTheme) == cle; });
    t.G_ColThemes.Remove(nom);
  });
}

int32_t func_CouleurContraste(int32_t r, int32_t g, int32_t b) {
  auto c = [](int32_t v) { return v <= 127 ? 255 : 0; };
  return RGB(c(r), c(g), c(b));
}

}  // namespace kup
