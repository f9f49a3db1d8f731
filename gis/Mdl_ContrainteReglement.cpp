#include "gis/Mdl_ContrainteReglement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <string_view>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "platform/RealFileSystem.h"

namespace kup {

namespace {

constexpr const char* kTitre = "Korvane";

template <class F>
bool Piege(App& app, const char* source, F&& corps) {
  try {
    corps();
    return true;
  } catch (const VbError& e) {
    TraiterErreur(app, source, e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, source, vberr::InternalError, e.what());
  }
  return false;
}

bool EstBlanche(const std::string& ligne) { return ligne.find_first_not_of(' ') == std::string::npos; }

// The folder must still be there for each walk: a folder that went away is
// an error of the walk, not an empty folder.
std::vector<std::string> ParcourirDossier(App& app, const std::string& dossier) {
  if (!app.fs().folderExists(dossier)) raise(vberr::PathNotFound, vbErrorText(vberr::PathNotFound));
  return app.fs().listFiles(dossier);
}

}  // namespace

void sub_InitDefinitionsImport(ImportContraintes& imp) {
  static const DefinitionImport kDefinitions[] = {
      {"KUPSERVUPBDI.txt", 9, "DOSSERVUP"},  {"KUPSERVABDI.txt", 9, "DOSSERVA"},
      {"KUPPREEMPBDI.txt", 10, "DOSPREEMP"}, {"KUPLOTISBDI.txt", 28, "DOSREGLT"},
      {"KUPDISPOBDI.txt", 13, "DOSDISURB"},  {"KUPZONEBDI.txt", 18, "DOSZON"},
      {"KUPOPEBDI.txt", 9, "DOSOPE"},        {"KUPSERVUPPARC.txt", 6, "DOSSERVUP"},
      {"KUPSERVAPARC.txt", 6, "DOSSERVA"},   {"KUPPREEMPARC.txt", 6, "DOSPREEMP"},
      {"KUPLOTISPARC.txt", 6, "DOSREGLT"},   {"KUPZONEPARC.txt", 7, "DOSZON"},
      {"KUPOPEPARC.txt", 6, "DOSOPE"},       {"KUPALIGNPARC.txt", 7, "DOSALIGN"},
  };
  imp.definitions = {};
  imp.nbDefinitions = 0;
  for (const auto& d : kDefinitions) imp.definitions[imp.nbDefinitions++] = d;
  imp.nomsSignales.clear();
  imp.cles.clear();
  imp.clesVues.clear();
  imp.lignes.clear();
  imp.nbLignes = 0;
}

std::string BackSlashDossier(App& app, const std::string& dossier) {
  std::string resultat = dossier;
  Piege(app, "BackSlashDossier", [&] {
    if (Right(dossier, 1) != "\\") resultat = dossier + "\\";
  });
  return resultat;
}

void DecomposeNomFichier(App& app, ImportContraintes& imp, const std::string& nomFichier) {
  imp.parties = {};
  Piege(app, "DecomposeNomFichier", [&] {
    auto parties = Split(nomFichier, "_");
    for (size_t i = 0; i < parties.size(); ++i) {
      if (i >= imp.parties.size()) {
        if (!imp.nomsSignales.insert(nomFichier).second) return;
        raise(vberr::SubscriptOutOfRange);
      }
      imp.parties[i] = parties[i];
    }
  });
}

bool DossierPasDejaTraite(App& app, ImportContraintes& imp, const std::string& cle) {
  bool nouveau = false;
  Piege(app, "DossierPasDejaTraite", [&] {
    if (imp.clesVues.insert(cle).second) {
      imp.cles.push_back(cle);
      nouveau = true;
    }
  });
  return nouveau;
}

namespace {

// With the host's file system, the file is read without following a link:
// a link dropped in the folder must not bring in a file from elsewhere.
std::string LireOctets(App& app, const std::string& chemin) {
  if (!dynamic_cast<const platform::RealFileSystem*>(&app.fs())) return app.fs().readFile(chemin);
  const std::string hote = app.fs().hostPath(chemin);
  int fd = ::open(hote.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP) raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " (" + chemin + ")");
    return app.fs().readFile(chemin);  // its own error numbers and texts
  }
  struct Fermer {
    int fd;
    ~Fermer() { ::close(fd); }
  } fermer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    raise(vberr::PathFileAccess, vbErrorText(vberr::PathFileAccess) + " (" + chemin + ")");
  std::string octets;
  octets.resize(static_cast<size_t>(st.st_size));
  size_t lu = 0;
  for (;;) {
    if (lu == octets.size()) octets.resize(lu + 65536);  // it grew meanwhile
    ssize_t n = ::read(fd, octets.data() + lu, octets.size() - lu);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return app.fs().readFile(chemin);
    if (n == 0) break;
    lu += static_cast<size_t>(n);
  }
  octets.resize(lu);
  return octets;
}

// A symbolic link in the folder (to a file or to anything else) is not one
// of the GIS's files.
bool EstLien(App& app, const std::string& chemin) {
  if (!dynamic_cast<const platform::RealFileSystem*>(&app.fs())) return false;
  struct stat st {};
  return ::lstat(app.fs().hostPath(chemin).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

void SignalerOuverture(App& app, const std::string& chemin, const VbError& e) {
  if (e.number() == vberr::PermissionDenied)
    TraiterErreur(app, "FichierLireEcrire", e.number(), "Permission refusée pour ouvrir le fichier " + chemin);
  else if (e.number() == vberr::PathNotFound)
    TraiterErreur(app, "FichierLireEcrire", e.number(), "Erreur sur le répertoire ou le nom du fichier : " + chemin);
  else
    TraiterErreur(app, "FichierLireEcrire", e.number(), e.description());
}

// Opens for reading as FichierLireEcrire does (same messages), the bytes
// left in Windows-1252.
bool OuvrirOctets(App& app, const std::string& chemin, std::string& octets) {
  try {
    if (!app.fs().fileExists(chemin)) {
      if (app.pf.msgbox) app.pf.msgbox->show("Le fichier " + chemin + " n'existe pas", platform::mb::OKOnly, kTitre);
      return false;
    }
    octets = LireOctets(app, chemin);
    return true;
  } catch (const VbError& e) {
    SignalerOuverture(app, chemin, e);
  } catch (const std::exception& e) {
    TraiterErreur(app, "FichierLireEcrire", vberr::InternalError, e.what());
  }
  return false;
}

// UTF-8 of each Windows-1252 byte above 127.
const std::array<std::string, 128>& Cp1252Haut() {
  static const std::array<std::string, 128> table = [] {
    std::array<std::string, 128> t;
    for (int b = 0; b < 128; ++b) t[static_cast<size_t>(b)] = FromCp1252(std::string(1, static_cast<char>(b + 128)));
    return t;
  }();
  return table;
}

}  // namespace

bool FichierLireEcrire(App& app, const std::string& chemin, FichierTexte& fichier, bool lecture, bool) {
  fichier = FichierTexte{};
  if (lecture) {
    std::string octets;
    if (!OuvrirOctets(app, chemin, octets)) return false;
    fichier.contenu = FromCp1252(octets);
    fichier.ouvert = true;
    return true;
  }
  try {
    app.fs().writeFile(chemin, "");
    fichier.ouvert = true;
    return true;
  } catch (const VbError& e) {
    SignalerOuverture(app, chemin, e);
  } catch (const std::exception& e) {
    TraiterErreur(app, "FichierLireEcrire", vberr::InternalError, e.what());
  }
  return false;
}

bool sLireLigneSuivante(FichierTexte& fichier, std::string& ligne) {
  const std::string& c = fichier.contenu;
  size_t& pos = fichier.position;
  while (pos < c.size()) {
    size_t fin = c.find_first_of("\r\n", pos);
    if (fin == std::string::npos) fin = c.size();
    ligne.assign(c, pos, fin - pos);
    // CR LF, LF alone and CR alone all end a line.
    pos = fin;
    if (pos < c.size() && c[pos] == '\r') ++pos;
    if (pos < c.size() && c[pos] == '\n') ++pos;
    if (EstBlanche(ligne)) continue;
    return ligne != "EOF";
  }
  ligne = "EOF";
  return false;
}

void LireMotSuivant(App& app, std::string& ligne, std::string& mot, const std::string& separateur, int indice,
                    long& position) {
  Piege(app, "LireMotSuivant", [&] {
    if (indice != 0) raise(vberr::InvalidCall);
    size_t p = separateur.empty() ? std::string::npos : ligne.find(separateur);
    if (p == std::string::npos) {
      mot = std::move(ligne);
      ligne.clear();
    } else {
      mot.assign(ligne, 0, p);
      ligne.erase(0, p + separateur.size());
    }
    position = 0;
  });
}

bool Traitement_Import(App& app, ImportContraintes& imp, const DefinitionImport& def) {
  bool complet = false;
  // The file stays in the folder when it is not read to its end: a key sent
  // without the rows would tell the interface the dossier has none, and rows
  // sent now would come again with the next import.
  const size_t nbCles = imp.cles.size(), tailleLignes = imp.lignes.size(), nbLignes = imp.nbLignes;
  Piege(app, "Traitement_Import", [&] {
    const auto& p = imp.parties;
    const bool cinqParties = !p[5].empty();
    std::string cle = p[0] + " " + p[1] + " " + p[2] + " " + p[3];
    if (cinqParties) cle += " " + p[4];
    DossierPasDejaTraite(app, imp, cle);

    std::string octets;
    if (!OuvrirOctets(app, imp.dossier + imp.fichier, octets)) return;

    // The lines and fields as sLireLigneSuivante and LireMotSuivant read
    // them, taken straight from the file's bytes (the separators, blanks and
    // line ends are the same bytes in Windows-1252 and UTF-8); only the
    // fields are converted, as they are appended.
    const std::string s240 = Sep240(), s241 = Sep241(), s242 = Sep242();
    const std::string prefixe = cle + (cinqParties ? s240 : s241) + def.Table + s240;
    const int nbChamps = def.NbChamps - 3;
    const auto& haut = Cp1252Haut();
    // Written through a pointer into room sized for the worst case (a
    // byte becomes at most three, a line at most its prefix and three
    // separators more), then cut to what was written.
    const char* c = octets.data();
    const size_t taille = octets.size();
    size_t finsDeLigne = 1;
    for (size_t i = 0; i < taille; ++i) finsDeLigne += (c[i] == '\n') | (c[i] == '\r');
    std::string& rangees = imp.lignes;
    const size_t avant = rangees.size();
    const size_t place = 3 * taille + finsDeLigne * (prefixe.size() + 3 * s241.size() + s242.size());
    if (rangees.capacity() < avant + place) rangees.reserve(std::max(avant + place, 2 * rangees.capacity()));
    rangees.resize(avant + place);
    char* o = rangees.data() + avant;
    auto ecrire = [&o](const std::string& t) {
      std::memcpy(o, t.data(), t.size());
      o += t.size();
    };
    size_t pos = 0;
    while (pos < taille) {
      const char* nl = static_cast<const char*>(std::memchr(c + pos, '\n', taille - pos));
      size_t fin = nl ? static_cast<size_t>(nl - c) : taille;
      const char* cr = static_cast<const char*>(std::memchr(c + pos, '\r', fin - pos));
      if (cr) fin = static_cast<size_t>(cr - c);
      const size_t debut = pos;
      // CR LF, LF alone and CR alone all end a line.
      pos = fin;
      if (pos < taille && c[pos] == '\r') ++pos;
      if (pos < taille && c[pos] == '\n') ++pos;
      std::string_view ligne(c + debut, fin - debut);
      if (ligne.find_first_not_of(' ') == std::string_view::npos) continue;
      if (ligne == "EOF") break;
      if (imp.nbLignes++ > 0) ecrire(s242);
      ecrire(prefixe);
      size_t curseur = 0;
      for (int j = 0; j < nbChamps; ++j) {
        const char* d = static_cast<const char*>(std::memchr(ligne.data() + curseur, '#', ligne.size() - curseur));
        size_t finMot = d ? static_cast<size_t>(d - ligne.data()) : ligne.size();
        ecrire(s241);
        for (size_t k = curseur; k < finMot; ++k) {
          unsigned char b = static_cast<unsigned char>(ligne[k]);
          if (b < 0x80) *o++ = static_cast<char>(b);
          else ecrire(haut[b - 128]);
        }
        curseur = d ? finMot + 1 : ligne.size();
        if (curseur >= ligne.size()) {
          // A line one field short still gets its last, empty, field.
          if (j == nbChamps - 2) ecrire(s241);
          break;
        }
      }
    }
    rangees.resize(static_cast<size_t>(o - rangees.data()));
    complet = true;
  });
  if (!complet) {
    for (size_t i = nbCles; i < imp.cles.size(); ++i) imp.clesVues.erase(imp.cles[i]);
    imp.cles.resize(nbCles);
    imp.lignes.resize(tailleLignes);
    imp.nbLignes = nbLignes;
  }
  return complet;
}

void IntegrationReglementDDE(App& app, const std::string& dossierRecu) {
  ImportContraintes imp;
  // The files whose rows are in the lists: deleted only once the call that
  // carries those rows has reached the Flex interface.
  std::vector<std::string> importes;
  bool envoye = Piege(app, "IntegrationReglementDDE", [&] {
    sub_InitDefinitionsImport(imp);
    imp.dossier = BackSlashDossier(app, dossierRecu);
    for (size_t d = 0; d < imp.nbDefinitions; ++d) {
      const auto& def = imp.definitions[d];
      for (const auto& nom : ParcourirDossier(app, imp.dossier)) {
        // A host name holding a separator would name another file once
        // joined to the folder: never one of ours.
        if (nom.find_first_of("\\/") != std::string::npos) continue;
        if (EstLien(app, imp.dossier + nom)) continue;
        DecomposeNomFichier(app, imp, nom);
        const std::string& correspondance = imp.parties[5].empty() ? imp.parties[4] : imp.parties[5];
        if (!EqualsNoCase(correspondance, def.NomFichier)) continue;
        imp.fichier = nom;
        if (Traitement_Import(app, imp, def)) importes.push_back(imp.dossier + nom);
      }
    }
    StrArray valeurs;
    valeurs.reserve(4);
    valeurs.push_back(Join(imp.cles, Sep242()));
    valeurs.push_back(std::move(imp.lignes));
    valeurs.emplace_back();
    valeurs.emplace_back();
    KUP_EnvoyerChaineVersFlex(app, sInvokeXML("KUP_IntegrationContrainteReglement", valeurs));
  });
  if (!envoye) return;
  for (const auto& chemin : importes) Piege(app, "IntegrationReglementDDE", [&] { app.fs().removeFile(chemin); });
}

}  // namespace kup
