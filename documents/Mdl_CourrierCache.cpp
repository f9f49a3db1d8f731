#include "documents/Mdl_CourrierCache.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <vector>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_DocCommun.h"
#include "platform/PathText.h"

namespace kup {

namespace {

// Text of an argument where a missing or null one simply counts as empty.
std::string sArgTexte(const Args& args, size_t i) {
  if (i >= args.size()) return {};
  try {
    return StrOrEmpty(args[i]);
  } catch (...) {
    return {};
  }
}

bool bEstSeparateur(char c) { return c == '\\' || c == '/'; }

// The cache builds paths from names the UI sends: a file name must be a bare
// name and a sub-folder must stay below the cache root.
bool bNomFichierAdmis(const std::string& name) {
  if (name.empty() || name.find("..") != std::string::npos) return false;
  for (unsigned char c : name)
    if (bEstSeparateur(static_cast<char>(c)) || c == ':' || c < 0x20) return false;
  return true;
}

bool bSousDossierAdmis(const std::string& folder) {
  if (folder.find("..") != std::string::npos) return false;
  if (!folder.empty() && bEstSeparateur(folder[0])) return false;
  for (unsigned char c : folder)
    if (c == ':' || c < 0x20) return false;
  return true;
}

// The library takes names in Windows-1252: a character it cannot carry would
// become "?", and two such names would be one file.
bool bEcrivible1252(const std::string& texte) { return FromCp1252(ToCp1252(texte)) == texte; }

// The cache root is trusted where it truly lies (the program folder of a
// packaged install is often a link, and env_prod may be one); a level of the
// sub-folder may be a link too, but only to a place inside that root. ""
// when the root is not there.
std::string sRacineResolue(App& app) { return app.fs().resolvedPath(sRacineCache(app)); }

bool bSous(const std::string& chemin, const std::string& racine) {
  const auto c = platform::PathText::Parse(chemin), r = platform::PathText::Parse(racine);
  if (c.kind != r.kind || c.drive != r.drive || c.server != r.server || c.share != r.share) return false;
  return c.parts.size() >= r.parts.size() && std::equal(r.parts.begin(), r.parts.end(), c.parts.begin());
}

// Checks the levels of the sub-folder that are there: a level that leads
// outside the root (or nowhere, a broken link) is refused with its path.
// Levels still missing are not looked at: nothing has been made there yet.
std::string sNiveauHorsRacine(App& app, const std::string& racineResolue, const std::string& sousDossier) {
  auto& fs = app.fs();
  std::string chemin = sRacineCache(app);
  size_t debut = 0;
  while (debut <= sousDossier.size()) {
    size_t fin = sousDossier.find_first_of("\\/", debut);
    if (fin == std::string::npos) fin = sousDossier.size();
    if (fin > debut) {
      chemin += "\\" + sousDossier.substr(debut, fin - debut);
      const std::string lieu = fs.resolvedPath(chemin);
      if (lieu.empty()) return fs.isLink(chemin) ? chemin : std::string();
      if (!bSous(lieu, racineResolue)) return chemin;
    }
    debut = fin + 1;
  }
  return {};
}

void ExigerDansLaRacine(App& app, const std::string& racineResolue, const std::string& sousDossier) {
  const std::string hors = sNiveauHorsRacine(app, racineResolue, sousDossier);
  if (!hors.empty())
    raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " : " + hors + " est un lien hors du cache");
}

// A free name beside the cached file, hidden from the folder's listings.
std::string sNomProvisoire(App& app, const std::string& dossier, const std::string& nom) {
  if (!app.pf.random) raise(vberr::ObjectVariableNotSet);
  for (int i = 0; i < 100; ++i) {
    const double n = RoundHalfEven(1000000.0 * app.pf.random->rnd() + 1.0);
    const std::string provisoire = "." + nom + "." + NumberText(n);
    const std::string chemin = dossier + "\\" + provisoire;
    if (!app.fs().fileExists(chemin) && !app.fs().folderExists(chemin) && !app.fs().isLink(chemin))
      return provisoire;
  }
  raise(vberr::FileAlreadyExists, vbErrorText(vberr::FileAlreadyExists) + " : " + dossier);
}

std::string sDossierCache(App& app, const std::string& sousDossier) {
  return sRacineCache(app) + "\\" + sousDossier;
}

// MkDir: creates one level only; the parent must exist.
void CreerDossier(App& app, const std::string& path) {
  auto& fs = app.fs();
  if (fs.folderExists(path)) raise(vberr::PathFileAccess);
  std::string p = path;
  while (!p.empty() && bEstSeparateur(p.back())) p.pop_back();
  auto pos = p.find_last_of("\\/");
  if (pos != std::string::npos && pos > 0 && !fs.folderExists(p.substr(0, pos))) raise(vberr::PathNotFound);
  fs.createFolder(p);
}

int iJoursDuMois(int annee, int mois) {
  static const int jours[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (mois == 2) {
    bool bissextile = (annee % 4 == 0 && annee % 100 != 0) || annee % 400 == 0;
    return bissextile ? 29 : 28;
  }
  return jours[mois - 1];
}

// Splits a text into runs of digits separated by any of the given characters;
// false when anything else appears or a run is empty.
bool bDecouperNombres(const std::string& text, const std::string& separators, std::vector<int>& out,
                      std::vector<size_t>& widths) {
  out.clear();
  widths.clear();
  std::string courant;
  auto fin = [&]() {
    if (courant.empty() || courant.size() > 4) return false;
    out.push_back(std::stoi(courant));
    widths.push_back(courant.size());
    courant.clear();
    return true;
  };
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      courant += c;
    } else if (separators.find(c) != std::string::npos) {
      if (!fin()) return false;
    } else {
      return false;
    }
  }
  return fin();
}

}  // namespace

std::string sRacineCache(App& app) { return app.env().programFolder() + "\\env_prod"; }

int32_t lTailleFichier(App& app, const std::string& path) {
  int64_t size = app.fs().fileSize(path);
  if (size < 0) return -1;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(size) & 0xFFFFFFFFu));
}

std::string sDateFichier(App& app, const std::string& path) {
  std::time_t t = app.fs().modifiedTime(path);
  std::tm local{};
  localtime_r(&t, &local);
  return platform::FormatGeneralDate(app.pf.regional, local);
}

bool bLireDateRegionale(const platform::RegionalProfile& profile, const std::string& text, std::tm& t) {
  std::string s = Trim(text);
  if (s.empty()) return false;
  std::string partieDate = s, partieHeure;
  auto blanc = s.find(' ');
  if (blanc != std::string::npos) {
    partieDate = s.substr(0, blanc);
    partieHeure = Trim(s.substr(blanc + 1));
  }

  // Order of day, month and year as the short date pattern gives them.
  std::string ordre;
  for (char c : profile.shortDate) {
    char k = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if ((k == 'd' || k == 'm' || k == 'y') && ordre.find(k) == std::string::npos) ordre += k;
  }
  if (ordre.size() != 3) ordre = "dmy";

  std::vector<int> n;
  std::vector<size_t> w;
  if (!bDecouperNombres(partieDate, profile.dateSeparator + "/-.", n, w) || n.size() != 3) return false;
  int jour = 0, mois = 0, annee = 0;
  for (size_t i = 0; i < 3; ++i) {
    if (ordre[i] == 'd') jour = n[i];
    if (ordre[i] == 'm') mois = n[i];
    if (ordre[i] == 'y') {
      annee = n[i];
      if (w[i] <= 2) annee += annee < 30 ? 2000 : 1900;
    }
  }
  if (annee < 100 || annee > 9999 || mois < 1 || mois > 12 || jour < 1 || jour > iJoursDuMois(annee, mois))
    return false;

  int heure = 0, minute = 0, seconde = 0;
  if (!partieHeure.empty()) {
    // A 12-hour long time carries its AM/PM designator before or after the
    // digits (the picture's "tt" or "t"); the date text must read back.
    int apresMidi = -1;
    std::string chiffres = partieHeure;
    for (const char* marque : {"AM", "PM", "A", "P"}) {
      const std::string m = marque;
      std::string u = UCase(chiffres);
      if (u.size() > m.size() && u.compare(u.size() - m.size(), m.size(), m) == 0) {
        chiffres = Trim(chiffres.substr(0, chiffres.size() - m.size()));
      } else if (u.size() > m.size() && u.compare(0, m.size(), m) == 0) {
        chiffres = Trim(chiffres.substr(m.size()));
      } else {
        continue;
      }
      apresMidi = m[0] == 'P' ? 1 : 0;
      break;
    }
    if (!bDecouperNombres(chiffres, profile.timeSeparator + ":", n, w) || n.size() < 2 || n.size() > 3)
      return false;
    heure = n[0];
    minute = n[1];
    seconde = n.size() == 3 ? n[2] : 0;
    if (apresMidi >= 0) {
      if (heure < 1 || heure > 12) return false;
      if (heure == 12) heure = 0;
      if (apresMidi == 1) heure += 12;
    }
    if (heure > 23 || minute > 59 || seconde > 59) return false;
  }

  t = std::tm{};
  t.tm_year = annee - 1900;
  t.tm_mon = mois - 1;
  t.tm_mday = jour;
  t.tm_hour = heure;
  t.tm_min = minute;
  t.tm_sec = seconde;
  t.tm_isdst = -1;
  return true;
}

bool bFixerDateFichier(App& app, const std::string& path, const std::string& dateText) {
  if (!app.fs().fileExists(path)) return false;
  std::tm local{};
  if (!bLireDateRegionale(app.pf.regional, dateText, local)) return false;
  // The date is a local time; the file system keeps UTC.
  std::time_t t = std::mktime(&local);
  try {
    app.fs().setModifiedTime(path, t);
  } catch (const VbError&) {
    return false;
  }
  return true;
}

void KUP_CourrierCacheComparer(App& app, Args& args) {
  StrArray reply(9);
  reply[0] = "KUP_CourrierCacheComparer";
  for (size_t i = 0; i < 4; ++i) reply[i + 1] = sArgTexte(args, i);

  const std::string& nom = reply[1];
  const std::string& sousDossier = reply[2];
  // A name or sub-folder that would lead outside the cache is never current.
  if (bNomFichierAdmis(nom) && bSousDossierAdmis(sousDossier)) {
    std::string fichier = sDossierCache(app, sousDossier) + "\\" + nom;
    bool present = false;
    try {
      const std::string racine = sRacineResolue(app);
      present = !racine.empty() && sNiveauHorsRacine(app, racine, sousDossier).empty() && app.fs().fileExists(fichier);
    } catch (...) {
    }
    if (present) {
      int32_t taille = -1;
      std::string date;
      try {
        taille = lTailleFichier(app, fichier);
      } catch (...) {
        taille = -1;
      }
      try {
        date = sDateFichier(app, fichier);
      } catch (...) {
        date.clear();
      }
      bool tailleEgale = false;
      try {
        if (args.size() > 2) tailleEgale = CDbl(args[2]) == static_cast<double>(taille);
      } catch (...) {
        tailleEgale = false;
      }
      if (tailleEgale && !date.empty() && reply[4] == date) reply[5] = sDossierCache(app, sousDossier);
    }
  }

  try {
    RenvoyerReponse(app, reply);
  } catch (...) {
  }
}

void KUP_CourrierCacher(App& app, Args& args) {
  static const char* kSource = "KUP_CourrierCacher";
  Pieger(app, kSource, [&] {
    std::string nom = CStr(Arg(args, 0));
    std::string sousDossier = CStr(Arg(args, 1));
    if (!bNomFichierAdmis(nom) || !bEcrivible1252(nom))
      raise(vberr::BadFileName, vbErrorText(vberr::BadFileName) + " : " + nom);
    if (!bSousDossierAdmis(sousDossier) || !bEcrivible1252(sousDossier))
      raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " : " + sousDossier);

    std::string dossier = sDossierCache(app, sousDossier);
    try {
      CreerDossier(app, sRacineCache(app));
    } catch (...) {
    }
    const std::string racine = sRacineResolue(app);
    if (racine.empty()) raise(vberr::PathNotFound, vbErrorText(vberr::PathNotFound) + " : " + sRacineCache(app));
    // Looked at before anything is made below the root, and again once the
    // folder is there.
    ExigerDansLaRacine(app, racine, sousDossier);
    try {
      CreerDossier(app, dossier);
    } catch (...) {
    }

    std::string contenu = CStr(Arg(args, 2));
    std::string date = CStr(Arg(args, 3));
    // A sub-folder of several levels is not created; the write then fails
    // and is reported below.
    std::string parent = dossier;
    while (!parent.empty() && bEstSeparateur(parent.back())) parent.pop_back();
    if (!app.fs().folderExists(parent)) raise(vberr::PathNotFound);
    ExigerDansLaRacine(app, racine, sousDossier);

    // Written beside, then put in the place of the older copy in one step: a
    // write that fails (a full disk) leaves the older copy as it was.
    const std::string path = dossier + "\\" + nom;
    const std::string nomProvisoire = sNomProvisoire(app, dossier, nom);
    const std::string provisoire = dossier + "\\" + nomProvisoire;
    auto effacerProvisoire = [&] {
      try {
        if (app.fs().fileExists(provisoire)) app.fs().removeFile(provisoire);
      } catch (...) {
      }
    };
    try {
      sCommunB64VersFichier2(app, nomProvisoire, dossier, contenu);
      app.fs().replaceFile(provisoire, path);
    } catch (const VbError& e) {
      effacerProvisoire();
      // Told under the cached file's name, not the one it was written under.
      raise(e.number(), Replace(e.description(), provisoire, path));
    } catch (...) {
      effacerProvisoire();
      throw;
    }
    bFixerDateFichier(app, path, date);
    RenvoyerReponse(app, {"KUP_CourrierCacher", nom, dossier, path, "", ""});
  }, vberr::PathFileAccess);
}

void RegisterMdl_CourrierCache(CommandTable& table) {
  table.add("KUP_CourrierCacheComparer", KUP_CourrierCacheComparer);
  table.add("KUP_CourrierCacher", KUP_CourrierCacher);
}

}  // namespace kup
