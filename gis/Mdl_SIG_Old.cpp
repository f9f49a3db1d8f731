#include "gis/Mdl_SIG_Old.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/GisState.h"
#include "gis/SIG_Modele.h"

namespace kup {

namespace {

constexpr const char* kSection = "DDE_OLD";
constexpr const char* kTitre = "Korvane";
constexpr const char* kMessageConfiguration =
    "Votre SIG n'est pas correctement configuré.\r\n"
    "Impossible de réaliser le cadrage.\r\n"
    "Merci de contacter votre administrateur.";

void Message(App& app, const std::string& texte) {
  if (app.pf.msgbox) app.pf.msgbox->show(texte, platform::mb::OKOnly, kTitre);
}

// The link text box; 91 while none has been set (no reading yet) or when
// it is no longer loaded.
platform::IDdeLink& Lien(App& app) {
  int index = SigOld(app).lien;
  auto& tab = app.KUP_MDI.Txt_DDE;
  auto it = tab.find(index);
  if (index < 0 || it == tab.end() || !it->second) raise(vberr::ObjectVariableNotSet);
  return *it->second;
}

// Opens the conversation on the topic unless one is already open.
void Ouvrir(App& app, const std::string& sujet) {
  auto& lien = Lien(app);
  if (lien.linkMode() == 0) {
    lien.setLinkTopic(sujet);
    lien.setLinkMode(2);
  }
}

bool EstChiffre(char c) { return c >= '0' && c <= '9'; }

// Byte length of the text up to its last character that is not a digit (0
// when there is none). UTF-8 continuation bytes are never digits, so this
// is also the end of that character.
size_t FinPartieNonNumerique(const std::string& s) {
  size_t p = s.size();
  while (p > 0 && EstChiffre(s[p - 1])) --p;
  return p;
}

// A run of digits written as a number at least `largeur` digits wide.
// Works on the digits themselves so that no length of number can overflow.
std::string NombreLargeur(const std::string& chiffres, size_t largeur) {
  size_t debut = chiffres.find_first_not_of('0');
  std::string n = debut == std::string::npos ? "0" : chiffres.substr(debut);
  if (n.size() < largeur) n.insert(0, largeur - n.size(), '0');
  return n;
}

// A whole number written at least `largeur` digits wide.
std::string EntierLargeur(int32_t v, size_t largeur) {
  bool negatif = v < 0;
  std::string n = std::to_string(negatif ? -static_cast<int64_t>(v) : static_cast<int64_t>(v));
  if (n.size() < largeur) n.insert(0, largeur - n.size(), '0');
  return negatif ? "-" + n : n;
}

size_t LargeurNumero(int32_t carNbNum) {
  switch (carNbNum) {
    case 0:
    case 1: return 1;
    case 2: return 2;
    case 3: return 3;
    default: return 4;
  }
}

// URL forms (MODE "4"): handed to the desktop opener with the verb "open";
// a failure of the opener is not the command's.
void OuvrirUrl(App& app, const std::string& url) {
  constexpr int kSwShowNormal = 1;
  try {
    if (app.pf.shell) app.pf.shell->execute(app.KUP_MDI.hWnd, "open", url, "", "", kSwShowNormal);
  } catch (...) {
  }
}

bool ModeUrl(App& app) { return app.G_ModeDDE == "4"; }

// Closes the conversation and, when the last command went through, brings
// the GIS window up.
void Terminer(App& app, int32_t resultat) {
  SIG_Deconnexion(app);
  if (resultat == 1) SIG_ActiverApplication(app);
}

std::string Argument(const Args& args, size_t i) { return CStr(Arg(args, i)); }

}  // namespace

EtatSigOld& SigOld(App& app) {
  auto& g = Gis(app);
  if (!g.sigOld) g.sigOld = std::make_shared<EtatSigOld>();
  return *g.sigOld;
}

// ------------------------------------------------------------------ settings and link

void SIG_Initialiser(App& app) {
  auto& s = SigOld(app);
  try {
    std::string v = Gen_LireParametreKUP(app, kSection, "SIGTYPE", "");
    if (!v.empty()) s.SIGTYPE = CLng(Value(v));
    s.SIGCNT = Gen_LireParametreKUP(app, kSection, "SIGCNT", "");
    s.SIGAPP = Gen_LireParametreKUP(app, kSection, "SIGAPP", "");
    s.SIGCMD = Gen_LireParametreKUP(app, kSection, "SIGCMD", "");
    s.SIGDEEInit = Gen_LireParametreKUP(app, kSection, "SIGDEEInit", "");
    s.SIGDDEFin = Gen_LireParametreKUP(app, kSection, "SIGDDEFin", "");
    s.SIGCMDA = Gen_LireParametreKUP(app, kSection, "SIGCMDA", "");
    s.SIGCREER = Gen_LireParametreKUP(app, kSection, "SIGCREER", "");
    s.SIGCADRERCOORD = Gen_LireParametreKUP(app, kSection, "SIGCADRERCOORD", "");
    s.SIGCADRERDOSS = Gen_LireParametreKUP(app, kSection, "SIGCADRERDOSS", "");
    s.CODEINSEE = Gen_LireParametreKUP(app, kSection, "CODEINSEE", "");
    s.lgCODEINSEE = static_cast<int32_t>(Len(s.CODEINSEE));
    s.CAR_NBNUM = CLng(Value(Gen_LireParametreKUP(app, kSection, "CAR_NBNUM", "4")));
    s.SIG_SEP = Gen_LireParametreKUP(app, kSection, "SIG_SEP", "");
    s.DDECONNECT = Gen_LireParametreKUP(app, kSection, "DDECONNECT", "");
    SIG_ControleLien(app, 0);
  } catch (const VbError& e) {
    TraiterErreur(app, "SIG_Initialis ", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "SIG_Initialis ", vberr::InternalError, e.what());
  }
}

void SIG_ControleLien(App& app, int index) {
  auto& tab = app.KUP_MDI.Txt_DDE;
  auto it = tab.find(index);
  if (it == tab.end() || !it->second) {
    if (!app.pf.dde) raise(vberr::ObjectVariableNotSet);
    tab[index] = app.pf.dde->createLink();
  }
  SigOld(app).lien = index;
}

int32_t SIG_Connection(App& app) {
  try {
    Ouvrir(app, SigOld(app).SIGCNT);
    return 1;
  } catch (const VbError& e) {
    TraiterErreur(app, "SIG_Connection", e.number(), kMessageConfiguration);
  } catch (const std::exception&) {
    TraiterErreur(app, "SIG_Connection", vberr::InternalError, kMessageConfiguration);
  }
  return 2;
}

int32_t DDE_ConnecterSujet(App& app, const std::string& sujet) {
  try {
    Ouvrir(app, sujet);
    return 1;
  } catch (const VbError& e) {
    Message(app, std::to_string(e.number()) + "   29 " + e.description());
  } catch (const std::exception& e) {
    Message(app, std::to_string(vberr::InternalError) + "   29 " + e.what());
  }
  return 2;
}

int32_t DDE_ExecuterCommande(App& app, const std::string& commande) {
  try {
    Lien(app).linkExecute(commande);
    return 1;
  } catch (const std::exception&) {
    Message(app, "Err commande DDE " + commande);
  }
  return 2;
}

int32_t SIG_Executer(App& app, const std::string& commande) {
  if (SigOld(app).SIGTYPE < 2) return 2;
  return DDE_ExecuterCommande(app, commande);
}

int32_t SIG_Deconnexion(App& app) {
  try {
    Lien(app).setLinkMode(0);
    return 1;
  } catch (const VbError& e) {
    Message(app, "ERR fin connexion DDE " + e.description());
  } catch (const std::exception& e) {
    Message(app, std::string("ERR fin connexion DDE ") + e.what());
  }
  return 2;
}

int32_t DDE_FinConnexion(App& app) { return SIG_Deconnexion(app); }

void SIG_ActiverApplication(App& app) {
  try {
    long h = lTrouverFenetre(app, SigOld(app).SIGAPP);
    if (h > 0) sub_AfficherFenetre(app, h);
  } catch (...) {
  }
}

// ------------------------------------------------------------------ templates and references

std::string sRemplacerParametre(const std::string& modele, const std::string& valeur) {
  size_t p = modele.find('?');
  if (p == std::string::npos) return modele;
  return modele.substr(0, p) + valeur + modele.substr(p + 1);
}

std::string sRefCadEDI2RefCadSimple(App& app, const std::string& ref) {
  try {
    if (ref.empty()) return {};
    return Trim(Mid(ref, 10, 6));
  } catch (const VbError& e) {
    TraiterErreur(app, "sRefCadEDI2RefCadSimple", e.number(), e.description());
  }
  return {};
}

std::string sRefCadFormaterSIG(App& app, const std::string& insee, const std::string& refSimple) {
  const auto& s = SigOld(app);
  size_t p = FinPartieNonNumerique(refSimple);
  std::string resultat;
  if (p >= 1) {
    long k = InStr(s.CODEINSEE, "_");
    bool commune = true;
    if (k > 0) {
      resultat = Mid(insee, k + 1);
    } else if (s.lgCODEINSEE >= 6) {
      resultat = EntierLargeur(CLng(Value(insee)), 6);
    } else if (s.lgCODEINSEE > 0) {
      resultat = Right(insee, s.lgCODEINSEE);
    } else {
      commune = false;
    }
    if (commune) resultat += s.SIG_SEP;
    resultat += refSimple.substr(0, p) + s.SIG_SEP;
  } else {
    resultat = insee;
  }
  if (p < refSimple.size()) resultat += NombreLargeur(refSimple.substr(p), LargeurNumero(s.CAR_NBNUM));
  return resultat;
}

std::string sRefCadFormaterKUP(const std::string& texte) {
  size_t p = FinPartieNonNumerique(texte);
  std::string resultat = texte.substr(0, p);
  if (p < texte.size()) resultat += NombreLargeur(texte.substr(p), 4);
  return resultat;
}

void sSupprimerSepSIG(App& app, std::string& texte) {
  const std::string& sepTexte = SigOld(app).SIG_SEP;
  if (sepTexte.empty()) return;
  // One character goes where the first occurrence starts, then the search
  // starts again, until no occurrence is left. Done in one pass (the text
  // comes from the GIS and may be long): the characters are read in order
  // and the kept ones hold no occurrence, so the next first occurrence ends
  // at the character just read, or, after a removal, crosses the place of
  // the removed character.
  const std::vector<uint32_t> sep = CodePoints(sepTexte);
  const size_t n = sep.size();
  std::vector<uint32_t> garde;
  garde.reserve(texte.size());
  auto occurrence = [&](size_t debut) {
    return std::equal(sep.begin(), sep.end(), garde.begin() + static_cast<std::ptrdiff_t>(debut));
  };
  for (uint32_t c : CodePoints(texte)) {
    garde.push_back(c);
    size_t depuis = garde.size() >= n ? garde.size() - n : 0;
    for (;;) {
      size_t trouve = garde.size();
      for (size_t d = depuis; d + n <= garde.size(); ++d)
        if (occurrence(d)) {
          trouve = d;
          break;
        }
      if (trouve == garde.size()) break;
      garde.erase(garde.begin() + static_cast<std::ptrdiff_t>(trouve));
      depuis = trouve >= n ? trouve - n : 0;
    }
  }
  texte = FromCodePoints(garde);
}

std::string sRefSIGParcelle(App& app, const std::string& ref) {
  std::string insee = SigOld(app).CODEINSEE.empty() ? std::string() : sRefCadEDI2CodeInsee(ref);
  return sRefCadFormaterSIG(app, insee, sRefCadEDI2RefCadSimple(app, ref));
}

// ------------------------------------------------------------------ map commands

void OLD_ParcelleUniqueCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  std::string ref = Argument(args, 0);
  auto& s = SigOld(app);
  if (ModeUrl(app)) {
    OuvrirUrl(app, Replace(s.SIGCMD, "#REFCAD#", sRefCadEDI2RefCadSimple(app, ref)));
    return;
  }
  if (SIG_Connection(app) != 1) return;
  int32_t r = SIG_Executer(app, sRemplacerParametre(s.SIGCMD, sRefSIGParcelle(app, ref)));
  Terminer(app, r);
}

void OLD_ParcelleMultipleCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  auto parcelles = Split(Argument(args, 0), ";");
  auto& s = SigOld(app);
  if (ModeUrl(app)) {
    std::string liste;
    for (const auto& p : parcelles) liste += sRefSIGParcelle(app, p) + ";";
    OuvrirUrl(app, Replace(s.SIGCMD, "#REFCAD#", liste));
    return;
  }
  if (SIG_Connection(app) != 1) return;
  int32_t r = SIG_Executer(app, s.SIGDEEInit);
  if (r == 1) {
    const bool liste = s.SIGTYPE == 4;
    std::string texte;
    for (const auto& p : parcelles) {
      std::string refSIG = sRefSIGParcelle(app, p);
      if (liste) {
        texte += " " + refSIG;
      } else if (!refSIG.empty()) {
        r = SIG_Executer(app, sRemplacerParametre(s.SIGCMDA, refSIG));
      }
    }
    if (liste) {
      r = SIG_Executer(app, sRemplacerParametre(s.SIGCMD, Trim(texte)));
    } else if (r == 1) {
      SIG_Executer(app, s.SIGDDEFin);
    }
  }
  Terminer(app, r);
}

void OLD_CoordonneesCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  auto items = Split(Argument(args, 0), ",");
  if (items.size() < 2) raise(vberr::SubscriptOutOfRange);
  const std::string& x = items[0];
  const std::string& y = items[1];
  auto& s = SigOld(app);
  if (ModeUrl(app)) {
    OuvrirUrl(app, Replace(s.SIGCADRERCOORD, "XY", x + "," + y));
    return;
  }
  if (SIG_Connection(app) != 1) return;
  int32_t r = SIG_Executer(app, sRemplacerParametre(s.SIGCADRERCOORD, s.SIGTYPE == 4 ? x + " " + y : x + "," + y));
  Terminer(app, r);
}

void OLD_NomDossierCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  std::string nom = Argument(args, 0);
  auto& s = SigOld(app);
  if (ModeUrl(app)) {
    OuvrirUrl(app, Replace(s.SIGCADRERDOSS, "#DOSSIER#", nom));
    return;
  }
  if (SIG_Connection(app) != 1) return;
  int32_t r = SIG_Executer(app, sRemplacerParametre(s.SIGCADRERDOSS, nom));
  Terminer(app, r);
}

void OLD_ImplanterDossier(App& app, Args& args) {
  auto& s = SigOld(app);
  if (args.size() >= 2) {
    std::string dossier = Argument(args, 1);
    std::string parcelles = Argument(args, 0);
    if (SIG_Connection(app) != 1) return;
    std::string texte;
    for (const auto& p : Split(parcelles, ";")) texte += "," + sRefSIGParcelle(app, p);
    texte = Replace(dossier + "," + texte, ",,", ",");
    Terminer(app, SIG_Executer(app, sRemplacerParametre(s.SIGCREER, texte)));
  } else if (args.size() == 1) {
    if (SIG_Connection(app) != 1) return;
    Terminer(app, SIG_Executer(app, sRemplacerParametre(s.SIGCREER, "")));
  }
}

void OLD_ZezORAParcelleMultipleCadrer(App& app, Args& args) {
  if (args.size() != 1) return;
  auto parcelles = Split(Argument(args, 0), ";");
  if (DDE_ConnecterSujet(app, SigOld(app).DDECONNECT) != 1) return;
  int32_t r = DDE_ExecuterCommande(app, "DDE_CadrerMulParcelleInit");
  if (r == 1) {
    for (const auto& p : parcelles) {
      std::string refSIG = sRefSIGParcelle(app, p);
      if (!refSIG.empty()) r = DDE_ExecuterCommande(app, sRemplacerParametre("DDE_CadrerMulParcelleAjout(?)", refSIG));
    }
    if (r == 1) r = DDE_ExecuterCommande(app, "DDE_CadrerMulParcelleFin");
  }
  DDE_FinConnexion(app);
  if (r == 1) SIG_ActiverApplication(app);
}

void DDE_SelDossierParcelle(App& app, const std::string& refSIG) {
  try {
    StrArray valeurs{sRefCadFormaterKUP(refSIG)};
    KUP_EnvoyerChaineVersFlex(app, sInvokeXML("KUP_ListeDossierParParcelleAjouter", valeurs));
  } catch (const VbError& e) {
    TraiterErreur(app, "DDE_SelDossierParcelle", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "DDE_SelDossierParcelle", vberr::InternalError, e.what());
  }
}

void InstallSigOld(App& app) {
  app.hooks.SIG_Initialiser = [](App& a) { SIG_Initialiser(a); };
  auto& route = Gis(app).routeModele;
  route[UCase("SIG_ParcelleUniqueCadrer")] = &OLD_ParcelleUniqueCadrer;
  route[UCase("SIG_ParcelleMultipleCadrer")] = &OLD_ParcelleMultipleCadrer;
  route[UCase("SIG_CoordonneesCadrer")] = &OLD_CoordonneesCadrer;
  route[UCase("SIG_NomDossierCadrer")] = &OLD_NomDossierCadrer;
  route[UCase("SIG_ImplanterDossier")] = &OLD_ImplanterDossier;
  route[UCase("ZezORA_ParcelleMultipleCadrer")] = &OLD_ZezORAParcelleMultipleCadrer;
}

}  // namespace kup
