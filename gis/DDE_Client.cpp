#include "gis/DDE_Client.h"

#include <fmt/format.h>

#include <cmath>
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

// A whole number written with at least `chiffres` digits; nullopt when the
// value is not a finite number.
std::optional<std::string> ecrireEntier(double v, int chiffres) {
  if (!std::isfinite(v)) return std::nullopt;
  v = RoundHalfEven(v);
  bool negatif = v < 0;
  std::string d = v == 0 ? std::string() : fmt::format("{:.0f}", std::fabs(v));
  if (static_cast<int>(d.size()) < chiffres) d.insert(0, static_cast<size_t>(chiffres) - d.size(), '0');
  return negatif ? "-" + d : d;
}

using U32 = std::u32string;

U32 u32(const std::string& s) {
  auto cps = CodePoints(s);
  return U32(cps.begin(), cps.end());
}

std::string utf8(const U32& s) { return FromCodePoints(std::vector<uint32_t>(s.begin(), s.end())); }

// The reference being walked, with VB's Mid and InStr over its characters.
struct Reference {
  U32 r;
  long len() const { return static_cast<long>(r.size()); }
  // Mid(r, debut, n); nullopt where VB would fail (n < 0, debut < 1).
  std::optional<U32> mid(long debut, long n) const {
    if (debut < 1 || n < 0) return std::nullopt;
    if (debut > len()) return U32();
    return r.substr(static_cast<size_t>(debut - 1), static_cast<size_t>(n));
  }
  U32 reste(long debut) const { return debut >= 1 && debut <= len() ? r.substr(static_cast<size_t>(debut - 1)) : U32(); }
  char32_t car(long pos) const { return pos >= 1 && pos <= len() ? r[static_cast<size_t>(pos - 1)] : U'\0'; }
  // InStr(debut, r, s): position or 0 (s is never empty here).
  long instr(long debut, const U32& s) const {
    if (debut < 1) debut = 1;
    if (debut > len()) return 0;
    auto k = r.find(s, static_cast<size_t>(debut - 1));
    return k == U32::npos ? 0 : static_cast<long>(k) + 1;
  }
};

bool chiffre(char32_t c) { return c >= U'0' && c <= U'9'; }

// A component shorter than the target's mask goes through sFormatNum.
U32 completer(const U32& composant, size_t largeurCible) {
  if (composant.size() < largeurCible) return u32(sFormatNum(utf8(composant), static_cast<int32_t>(largeurCible)));
  return composant;
}

}  // namespace

std::string sFormatNum(const std::string& texte, int32_t largeur) {
  auto chiffres = chiffresMin(largeur);
  if (!chiffres) return texte;
  auto s = ecrireEntier(Val(texte), *chiffres);
  return s ? *s : texte;
}

std::string sRefCadConvertir(const Str_DDESRV& cible, const Str_DDESRV& source, const std::string& ref) {
  // Where a separator the layout names is missing from the reference, a
  // component cannot be taken: that step is passed over and the walk goes
  // on (the original's resume-next), so a malformed reference still yields
  // some text and never an error.
  Reference R{u32(ref)};
  U32 res;
  long p = 1;

  // 1. Department.
  const U32 tDpt = u32(cible.DDEDpt()), sDpt = u32(source.DDEDpt());
  const U32 sSepDpt = u32(source.DDESepDptCom()), tSepDpt = u32(cible.DDESepDptCom());
  const bool sepDptFixe = sSepDpt.find(U'X') != U32::npos;
  const long lsDpt = static_cast<long>(sDpt.size());
  if (tDpt.empty()) {
    if (!sDpt.empty()) {
      if (sSepDpt.empty()) p += lsDpt;
      else if (sepDptFixe) p += lsDpt + static_cast<long>(sSepDpt.size());
      else p = R.instr(p, sSepDpt) + 1;
    }
  } else if (!sDpt.empty()) {
    U32 comp;
    if (sSepDpt.empty()) {
      if (auto m = R.mid(p, lsDpt)) comp = *m;
      p += lsDpt;
    } else {
      long fin = sepDptFixe ? lsDpt + static_cast<long>(sSepDpt.size()) : R.instr(lsDpt + 1, sSepDpt);
      if (auto m = R.mid(p, fin - p)) comp = *m;
      p = fin + 1;
    }
    res = completer(comp, tDpt.size());
  } else {
    res = tDpt;
  }

  // 2. Department separator: a fixed-width source separator travels as is
  // (the direction character of the application's reference).
  if (!tSepDpt.empty()) {
    if (sepDptFixe) {
      if (auto m = R.mid(lsDpt + 1, static_cast<long>(tSepDpt.size()))) res += *m;
    } else {
      res += tSepDpt;
    }
  }

  // 3. Commune.
  const U32 tCom = u32(cible.DDECommune()), sCom = u32(source.DDECommune());
  const U32 sSepCom = u32(source.DDESepComPref());
  if (tCom.empty()) {
    if (!sCom.empty()) {
      if (sSepCom.empty()) p += static_cast<long>(sCom.size());
      else p = R.instr(p, sSepCom) + 1;
    }
  } else if (!sCom.empty()) {
    U32 comp;
    if (sSepCom.empty()) {
      if (auto m = R.mid(p, static_cast<long>(sCom.size()))) comp = *m;
      p += static_cast<long>(sCom.size());
    } else {
      long fin = R.instr(p, sSepCom);
      if (auto m = R.mid(p, fin - p)) comp = *m;
      p = fin + 1;
    }
    res += completer(comp, tCom.size());
  } else {
    res += tCom;
  }

  // 4. Commune separator.
  res += u32(cible.DDESepComPref());

  // 5. Prefix.
  const U32 tPre = u32(cible.DDEPrefixe()), sPre = u32(source.DDEPrefixe());
  const U32 sSepPre = u32(source.DDESepPrefSec());
  if (sPre.empty()) {
    res += tPre;
  } else {
    U32 comp;
    if (sSepPre.empty()) {
      if (auto m = R.mid(p, static_cast<long>(tPre.size()))) comp = *m;
      p += static_cast<long>(sPre.size());
    } else if (sPre == U"XXX" && sSepPre == U" ") {
      // An optional prefix: present only in a long enough reference with a blank.
      if (R.r.find(U' ') != U32::npos && R.len() >= 11) {
        long fin = R.instr(p, sSepPre);
        if (auto m = R.mid(p, fin - p)) comp = *m;
        p = fin + 1;
      } else if (tPre == U"BBB") {
        comp = U"   ";
      } else if (tPre == U"000") {
        comp = U"000";
      }
    } else {
      long fin = R.instr(p, sSepPre);
      if (auto m = R.mid(p, fin - p)) comp = *m;
      p = fin + 1;
    }
    res += completer(comp, tPre.size());
  }

  // 6. Prefix separator.
  res += u32(cible.DDESepPrefSec());

  // 7. Section: never padded by number; a one-letter section takes the
  // target's filler.
  const U32 tSec = u32(cible.DDESection());
  const U32 sSepSec = u32(source.DDESepSecNum());
  if (!sSepSec.empty()) {
    long fin = R.instr(p, sSepSec);
    if (auto m = R.mid(p, fin - p)) res += *m;
    p = fin + 1;
  } else {
    if (R.car(p) == U' ') p += 1;
    if (chiffre(R.car(p))) {
      res += *R.mid(p, 2);
      p += 2;
    } else if (!chiffre(R.car(p + 1))) {
      res += *R.mid(p, 2);
      p += 2;
    } else {
      U32 lettre = *R.mid(p, 1);
      if (tSec == U"BB") res += U" " + lettre;
      else if (tSec == U"00") res += U"0" + lettre;
      else res += lettre;
      p += 1;
    }
  }

  // 8. Section separator.
  res += u32(cible.DDESepSecNum());

  // 9. Number: the rest as a whole number, or as it stands for a target
  // number mask wider than five.
  const U32 reste = R.reste(p);
  auto chiffres = chiffresMin(static_cast<long>(u32(cible.DDENumero()).size()));
  std::optional<std::string> nombre;
  if (chiffres) nombre = ecrireEntier(Val(utf8(reste)), *chiffres);
  if (nombre) res += u32(*nombre);
  else res += reste;

  return utf8(res);
}

}  // namespace kup
