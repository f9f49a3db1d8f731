#include "gis/DDE_Client.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <string_view>
#include <optional>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

GisState& Gis(App& app) {
  if (!app.gis) app.gis = std::make_shared<GisState>();
  return *app.gis;
}

void MsgBoxCritique(App& app, const std::string& texte) {
  if (app.pf.msgbox) app.pf.msgbox->show(texte, platform::mb::Critical | platform::mb::OKOnly, "Erreur lien DDE");
}

// ------------------------------------------------------------------ link controls

void AssurerTxtDDE0(App& app) {
  auto& tab = app.KUP_MDI.Txt_DDE;
  if (app.pf.dde && (!tab.count(0) || !tab[0])) tab[0] = app.pf.dde->createLink();
}

platform::IDdeLink& ChargerTxtDDE(App& app, int index) {
  auto& tab = app.KUP_MDI.Txt_DDE;
  if (!app.pf.dde) raise(vberr::ObjectVariableNotSet);
  if (tab.count(index)) raise(360, "Objet déjà chargé");
  auto& slot = tab[index];
  slot = app.pf.dde->createLink();
  return *slot;
}

void DechargerTxtDDE(App& app, int index) {
  auto& tab = app.KUP_MDI.Txt_DDE;
  if (index == 0) raise(362, "Impossible de décharger les contrôles créés au moment de la création");
  auto it = tab.find(index);
  if (it == tab.end()) raise(340, "L'élément de groupe de contrôles '" + std::to_string(index) + "' n'existe pas");
  tab.erase(it);
}

// ------------------------------------------------------------------ partners

std::shared_ptr<ColPartenaires> ColClientsDDE(App& app) {
  auto& g = Gis(app);
  if (!g.G_ColClientsDDE) g.G_ColClientsDDE = std::make_shared<ColPartenaires>();
  return g.G_ColClientsDDE;
}

std::shared_ptr<Str_DDESRV> Partenaire(App& app, const std::string& nom) {
  auto& g = Gis(app);
  if (!g.G_ColPartenaires) raise(vberr::ObjectVariableNotSet);
  return g.G_ColPartenaires->Item(nom);
}

void DDE_ClientCreer(App& app, const std::string& nom, const std::string& appli, const std::string& exe,
                     const std::string& topic, int controle, int32_t timeout, const std::string& dpt,
                     const std::string& sepDptCom, const std::string& commune, const std::string& sepComPref,
                     const std::string& prefixe, const std::string& sepPrefSec, const std::string& section,
                     const std::string& sepSecNum, const std::string& numero) {
  auto p = std::make_shared<Str_DDESRV>();
  p->DDEAppli(appli);
  p->DDEExe(exe);
  p->DDEctl(controle);
  p->DDETopic(topic);
  auto& ctl = p->Controle(app);
  ctl.setLinkTopic(topic);
  p->DDETimeOut(timeout);
  ctl.setLinkMode(0);
  p->DDEDpt(dpt);
  p->DDESepDptCom(sepDptCom);
  p->DDECommune(commune);
  p->DDESepComPref(sepComPref);
  p->DDEPrefixe(prefixe);
  p->DDESepPrefSec(sepPrefSec);
  p->DDESection(section);
  p->DDESepSecNum(sepSecNum);
  p->DDENumero(numero);
  p->DDEAppelEnCours(false);
  ColClientsDDE(app)->Add(p, nom);
}

std::shared_ptr<ColPartenaires> DDE_ClientsCharger(App& app) {
  auto& g = Gis(app);
  AssurerTxtDDE0(app);
  // Every control of the previous load goes, not only one per partner left
  // in the collection: a load that failed halfway (a control loaded, its
  // partner never added) would otherwise block every later load on 360.
  std::vector<int> anciens;
  for (auto& [i, _] : app.KUP_MDI.Txt_DDE)
    if (i > 0) anciens.push_back(i);
  for (int i : anciens) DechargerTxtDDE(app, i);
  g.G_ColClientsDDE.reset();
  // The published collection is this one: the old partners, whose controls
  // just went, must not stay reachable if this load fails.
  if (g.G_ColPartenaires) g.G_ColPartenaires = ColClientsDDE(app);

  auto& c = g.ddeClient;
  Gen_LireParametreKUP(app, "DDE_CLIENT", "NOMAPPLI", c.NOMAPPLI, "Korvane");
  Gen_LireParametreKUP(app, "DDE_NEW", "KUP_TOPIC", c.KUP_TOPIC, "ZEDERA");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "NOMEXE", c.NOMEXE, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "DELAI", c.DELAI, "200");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_DPT", c.REF_DPT, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_COMMUNE", c.REF_COMMUNE, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_PREFIX", c.REF_PREFIX, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_SECTION", c.REF_SECTION, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_NUMERO", c.REF_NUMERO, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_SEPDPTCOM", c.REF_SEPDPTCOM, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_SEPPREFSEC", c.REF_SEPPREFSEC, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_SEPSECNUM", c.REF_SEPSECNUM, "");
  Gen_LireParametreKUP(app, "DDE_CLIENT", "REF_SEPCOMPREF", c.REF_SEPCOMPREF, "");

  // The configured partners; the item after the last ";" is not one.
  const std::string liste = "NEW;";
  auto noms = Split(liste, ";");
  for (size_t i = 0; i + 1 < noms.size(); ++i) {
    const std::string& nom = noms[i];
    const std::string section = "DDE_" + nom;
    std::string appli, topic, exe, delai, dpt, commune, prefixe, sect, numero, sepDptCom, sepPrefSec, sepSecNum,
        sepComPref;
    Gen_LireParametreKUP(app, section, "SIG_NOMAPPLI", appli, "");
    Gen_LireParametreKUP(app, section, "SIG_TOPIC", topic, "");
    Gen_LireParametreKUP(app, section, "SIG_NOMEXE", exe, "");
    Gen_LireParametreKUP(app, section, "SIG_DELAI", delai, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_DPT", dpt, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_COMMUNE", commune, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_PREFIX", prefixe, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_SECTION", sect, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_NUMERO", numero, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_SEPDPTCOM", sepDptCom, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_SEPPREFSEC", sepPrefSec, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_SEPSECNUM", sepSecNum, "");
    Gen_LireParametreKUP(app, section, "SIG_REF_SEPCOMPREF", sepComPref, "");
    int controle = static_cast<int>(i) + 1;
    ChargerTxtDDE(app, controle);
    int32_t timeout = CLng(Value(Val(delai)));
    DDE_ClientCreer(app, nom, appli, exe, topic, controle, timeout, dpt, sepDptCom, commune, sepComPref, prefixe,
                    sepPrefSec, sect, sepSecNum, numero);
  }
  return ColClientsDDE(app);
}

// ------------------------------------------------------------------ reference conversion

namespace {

// The masks of sFormatNum by width: the least number of digits written
// (0 for "#", which writes nothing for zero).
std::optional<int> chiffresMin(long largeur) {
  switch (largeur) {
    case 0:
    case 1: return 0;
    case 2: return 2;
    case 3: return 3;
    case 4: return 4;
    case 5: return 5;
    default: return std::nullopt;
  }
}

// Appends a whole number written with at least `chiffres` digits; false
// (nothing appended) when the value is not a finite number.
template <class C>
bool ajouterEntier(double v, int chiffres, std::basic_string<C>& out) {
  if (!std::isfinite(v)) return false;
  v = RoundHalfEven(v);
  const bool negatif = v < 0;
  char tampon[24];
  std::string_view d;
  std::string grand;
  if (v == 0) {
    d = {};
  } else if (std::fabs(v) < 1e18) {
    // Exact as an integer: the same digits as the fixed-point writing.
    auto [fin, ec] = std::to_chars(tampon, tampon + sizeof tampon, static_cast<uint64_t>(std::fabs(v)));
    d = std::string_view(tampon, static_cast<size_t>(fin - tampon));
  } else {
    grand = fmt::format("{:.0f}", std::fabs(v));
    d = grand;
  }
  if (negatif) out.push_back(C('-'));
  if (static_cast<int>(d.size()) < chiffres) out.append(static_cast<size_t>(chiffres) - d.size(), C('0'));
  for (char c : d) out.push_back(static_cast<C>(c));
  return true;
}

using U32 = std::u32string;

U32 u32(std::string_view s) {
  auto cps = CodePoints(s);
  return U32(cps.begin(), cps.end());
}

std::string utf8(std::u32string_view s) { return FromCodePoints(std::vector<uint32_t>(s.begin(), s.end())); }

// The numeric value of a component as VB's Val reads it. A run of plain
// digits, the usual number of a reference, is read on the spot; up to 15
// digits a double holds it exactly, as Val's own reading would.
double valeur(std::string_view s) {
  if (!s.empty() && s.size() <= 15) {
    uint64_t n = 0;
    bool chiffres = true;
    for (char c : s) {
      if (c < '0' || c > '9') {
        chiffres = false;
        break;
      }
      n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    if (chiffres) return static_cast<double>(n);
  }
  return Val(s);
}
double valeur(std::u32string_view s) { return Val(utf8(s)); }

template <class C>
bool egal(std::basic_string_view<C> a, std::string_view ascii) {
  if (a.size() != ascii.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != static_cast<C>(ascii[i])) return false;
  return true;
}

// The reference being walked, with VB's Mid and InStr over its characters:
// bytes when every text of the conversion is ASCII, code points otherwise.
template <class C>
struct Reference {
  using V = std::basic_string_view<C>;
  V r;
  long len() const { return static_cast<long>(r.size()); }
  // Mid(r, debut, n); false where VB would fail (n < 0, debut < 1).
  bool mid(long debut, long n, V& out) const {
    if (debut < 1 || n < 0) return false;
    out = debut > len() ? V() : r.substr(static_cast<size_t>(debut - 1), static_cast<size_t>(n));
    return true;
  }
  V reste(long debut) const { return debut >= 1 && debut <= len() ? r.substr(static_cast<size_t>(debut - 1)) : V(); }
  C car(long pos) const { return pos >= 1 && pos <= len() ? r[static_cast<size_t>(pos - 1)] : C(0); }
  // InStr(debut, r, s): position or 0 (s is never empty here).
  long instr(long debut, V s) const {
    if (debut < 1) debut = 1;
    if (debut > len()) return 0;
    auto k = r.find(s, static_cast<size_t>(debut - 1));
    return k == V::npos ? 0 : static_cast<long>(k) + 1;
  }
};

template <class C>
bool chiffre(C c) {
  return c >= C('0') && c <= C('9');
}

// The nine fields of a layout, read once.
template <class C>
struct Gabarit {
  std::basic_string_view<C> dpt, sepDpt, com, sepCom, pre, sepPre, sec, sepSec, num;
};

// Appends a component, through sFormatNum when shorter than the target's mask.
template <class C>
void completer(std::basic_string_view<C> composant, size_t largeurCible, std::basic_string<C>& res) {
  if (composant.size() < largeurCible) {
    auto chiffres = chiffresMin(static_cast<long>(largeurCible));
    if (chiffres && ajouterEntier(valeur(composant), *chiffres, res)) return;
  }
  res.append(composant);
}

// Where a separator the layout names is missing from the reference, a
// component cannot be taken: that step is passed over and the walk goes on
// (the original's resume-next), so a malformed reference still yields some
// text and never an error.
template <class C>
void convertir(const Gabarit<C>& t, const Gabarit<C>& s, std::basic_string_view<C> ref, std::basic_string<C>& res) {
  using V = std::basic_string_view<C>;
  const Reference<C> R{ref};
  long p = 1;
  V m;

  // 1. Department.
  const bool sepDptFixe = s.sepDpt.find(C('X')) != V::npos;
  const long lsDpt = static_cast<long>(s.dpt.size());
  if (t.dpt.empty()) {
    if (!s.dpt.empty()) {
      if (s.sepDpt.empty()) p += lsDpt;
      else if (sepDptFixe) p += lsDpt + static_cast<long>(s.sepDpt.size());
      else p = R.instr(p, s.sepDpt) + 1;
    }
  } else if (!s.dpt.empty()) {
    V comp;
    if (s.sepDpt.empty()) {
      if (R.mid(p, lsDpt, m)) comp = m;
      p += lsDpt;
    } else {
      long fin = sepDptFixe ? lsDpt + static_cast<long>(s.sepDpt.size()) : R.instr(lsDpt + 1, s.sepDpt);
      if (R.mid(p, fin - p, m)) comp = m;
      p = fin + 1;
    }
    completer(comp, t.dpt.size(), res);
  } else {
    res.append(t.dpt);
  }

  // 2. Department separator: a fixed-width source separator travels as is
  // (the direction character of the application's reference).
  if (!t.sepDpt.empty()) {
    if (sepDptFixe) {
      if (R.mid(lsDpt + 1, static_cast<long>(t.sepDpt.size()), m)) res.append(m);
    } else {
      res.append(t.sepDpt);
    }
  }

  // 3. Commune.
  if (t.com.empty()) {
    if (!s.com.empty()) {
      if (s.sepCom.empty()) p += static_cast<long>(s.com.size());
      else p = R.instr(p, s.sepCom) + 1;
    }
  } else if (!s.com.empty()) {
    V comp;
    if (s.sepCom.empty()) {
      if (R.mid(p, static_cast<long>(s.com.size()), m)) comp = m;
      p += static_cast<long>(s.com.size());
    } else {
      long fin = R.instr(p, s.sepCom);
      if (R.mid(p, fin - p, m)) comp = m;
      p = fin + 1;
    }
    completer(comp, t.com.size(), res);
  } else {
    res.append(t.com);
  }

  // 4. Commune separator.
  res.append(t.sepCom);

  // 5. Prefix.
  if (s.pre.empty()) {
    res.append(t.pre);
  } else {
    static constexpr C kBlancs[] = {C(' '), C(' '), C(' ')}, kZeros[] = {C('0'), C('0'), C('0')};
    V comp;
    if (s.sepPre.empty()) {
      if (R.mid(p, static_cast<long>(t.pre.size()), m)) comp = m;
      p += static_cast<long>(s.pre.size());
    } else if (egal(s.pre, "XXX") && egal(s.sepPre, " ")) {
      // An optional prefix: present only in a long enough reference with a blank.
      if (R.r.find(C(' ')) != V::npos && R.len() >= 11) {
        long fin = R.instr(p, s.sepPre);
        if (R.mid(p, fin - p, m)) comp = m;
        p = fin + 1;
      } else if (egal(t.pre, "BBB")) {
        comp = V(kBlancs, 3);
      } else if (egal(t.pre, "000")) {
        comp = V(kZeros, 3);
      }
    } else {
      long fin = R.instr(p, s.sepPre);
      if (R.mid(p, fin - p, m)) comp = m;
      p = fin + 1;
    }
    completer(comp, t.pre.size(), res);
  }

  // 6. Prefix separator.
  res.append(t.sepPre);

  // 7. Section: never padded by number; a one-letter section takes the
  // target's filler.
  if (!s.sepSec.empty()) {
    long fin = R.instr(p, s.sepSec);
    if (R.mid(p, fin - p, m)) res.append(m);
    p = fin + 1;
  } else {
    if (R.car(p) == C(' ')) p += 1;
    if (chiffre(R.car(p)) || !chiffre(R.car(p + 1))) {
      if (R.mid(p, 2, m)) res.append(m);
      p += 2;
    } else {
      if (egal(t.sec, "BB")) res.push_back(C(' '));
      else if (egal(t.sec, "00")) res.push_back(C('0'));
      if (R.mid(p, 1, m)) res.append(m);
      p += 1;
    }
  }

  // 8. Section separator.
  res.append(t.sepSec);

  // 9. Number: the rest as a whole number, or as it stands for a target
  // number mask wider than five.
  const V reste = R.reste(p);
  auto chiffres = chiffresMin(static_cast<long>(t.num.size()));
  if (!chiffres || !ajouterEntier(valeur(reste), *chiffres, res)) res.append(reste);
}

bool ascii(std::string_view s) {
  unsigned char o = 0;
  for (char c : s) o |= static_cast<unsigned char>(c);
  return o < 0x80;
}

// A layout's fields as they stand.
Gabarit<char> champs(const Str_DDESRV& l) {
  return {l.DDEDpt(),     l.DDESepDptCom(),  l.DDECommune(),   l.DDESepComPref(), l.DDEPrefixe(),
          l.DDESepPrefSec(), l.DDESection(), l.DDESepSecNum(), l.DDENumero()};
}

bool ascii(const Gabarit<char>& g) {
  return ascii(g.dpt) && ascii(g.sepDpt) && ascii(g.com) && ascii(g.sepCom) && ascii(g.pre) && ascii(g.sepPre) &&
         ascii(g.sec) && ascii(g.sepSec) && ascii(g.num);
}

}  // namespace

std::string sFormatNum(const std::string& texte, int32_t largeur) {
  auto chiffres = chiffresMin(largeur);
  if (!chiffres) return texte;
  std::string s;
  return ajouterEntier(Val(texte), *chiffres, s) ? s : texte;
}

std::string sRefCadConvertir(const Str_DDESRV& cible, const Str_DDESRV& source, const std::string& ref) {
  const Gabarit<char> t = champs(cible), s = champs(source);
  if (ascii(ref) && ascii(t) && ascii(s)) {
    // One character per byte: the walk runs on the texts themselves and the
    // result is the only allocation.
    std::string res;
    res.reserve(ref.size() + t.dpt.size() + t.sepDpt.size() + t.com.size() + t.sepCom.size() + t.pre.size() +
                t.sepPre.size() + t.sec.size() + t.sepSec.size() + t.num.size() + 8);
    convertir<char>(t, s, ref, res);
    return res;
  }
  // Some text holds other characters: the walk counts them as VB does.
  U32 c[20];
  const std::string_view* champsT[] = {&t.dpt, &t.sepDpt, &t.com, &t.sepCom, &t.pre, &t.sepPre, &t.sec, &t.sepSec, &t.num,
                                       &s.dpt, &s.sepDpt, &s.com, &s.sepCom, &s.pre, &s.sepPre, &s.sec, &s.sepSec, &s.num};
  for (size_t i = 0; i < 18; ++i) c[i] = u32(*champsT[i]);
  c[18] = u32(ref);
  const Gabarit<char32_t> tu{c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]};
  const Gabarit<char32_t> su{c[9], c[10], c[11], c[12], c[13], c[14], c[15], c[16], c[17]};
  convertir<char32_t>(tu, su, c[18], c[19]);
  return utf8(c[19]);
}

}  // namespace kup
