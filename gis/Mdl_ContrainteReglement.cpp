#include "gis/Mdl_ContrainteReglement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <unordered_map>
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
  imp.tailleLignes = 0;
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
  // One byte more than its size: the read that finds the end needs no
  // more room, unless the file grew meanwhile.
  std::string octets;
  octets.resize(static_cast<size_t>(st.st_size) + 1);
  size_t lu = 0;
  for (;;) {
    if (lu == octets.size()) octets.resize(lu + 65536);
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
// Also gives the size the host reports (0 when not known).
bool EstLien(App& app, const std::string& chemin, size_t& taille) {
  taille = 0;
  if (!dynamic_cast<const platform::RealFileSystem*>(&app.fs())) return false;
  struct stat st {};
  if (::lstat(app.fs().hostPath(chemin).c_str(), &st) != 0) return false;
  if (S_ISREG(st.st_mode)) taille = static_cast<size_t>(st.st_size);
  return S_ISLNK(st.st_mode);
}

constexpr uint64_t kUns = 0x0101010101010101ull, kHauts = 0x8080808080808080ull;
// The high bit of each byte of w that is zero, and of no other.
inline uint64_t OctetsNuls(uint64_t w) { return ~(((w & ~kHauts) + ~kHauts) | w) & kHauts; }

// The high bit of each of the eight bytes that a row does not take as it is:
// above 127, a field end, or what the call's XML writes otherwise (line
// ends among the controls).
inline uint64_t Speciaux(uint64_t w) {
  return (w & kHauts) | OctetsNuls(w ^ (kUns * '#')) | OctetsASCIIRetouchesXML(w);
}

constexpr const char* kAppel = "KUP_IntegrationContrainteReglement";

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
// Runs an opening of `chemin`; a failure is reported as the opening's and
// counts as not opened.
template <class F>
bool Ouverture(App& app, const std::string& chemin, F&& ouvrir) {
  try {
    return ouvrir();
  } catch (const VbError& e) {
    SignalerOuverture(app, chemin, e);
  } catch (const std::exception& e) {
    TraiterErreur(app, "FichierLireEcrire", vberr::InternalError, e.what());
  }
  return false;
}

bool OuvrirOctets(App& app, const std::string& chemin, std::string& octets) {
  return Ouverture(app, chemin, [&] {
    if (!app.fs().fileExists(chemin)) {
      if (app.pf.msgbox) app.pf.msgbox->show("Le fichier " + chemin + " n'existe pas", platform::mb::OKOnly, kTitre);
      return false;
    }
    octets = LireOctets(app, chemin);
    return true;
  });
}

// A few bytes written as one eight-byte store (the room for a line has
// eight bytes to spare), then counted for what they are.
struct Court {
  char octets[8] = {};
  size_t taille = 0;
  explicit Court(const std::string& t = {}) : taille(std::min<size_t>(t.size(), 8)) {
    std::memcpy(octets, t.data(), taille);
  }
};

// UTF-8 of each Windows-1252 byte above 127.
const std::array<Court, 128>& Cp1252Haut() {
  static const std::array<Court, 128> table = [] {
    std::array<Court, 128> t;
    for (int b = 0; b < 128; ++b) t[static_cast<size_t>(b)] = Court(FromCp1252(std::string(1, static_cast<char>(b + 128))));
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
  return Ouverture(app, chemin, [&] {
    app.fs().writeFile(chemin, "");
    fichier.ouvert = true;
    return true;
  });
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
  const size_t nbCles = imp.cles.size(), tailleLignes = imp.tailleLignes, nbLignes = imp.nbLignes;
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
    // fields are converted, and written as the call's XML carries them, as
    // they are appended.
    const std::string s240 = Sep240(), s241 = Sep241(), s242 = Sep242();
    std::string prefixe;
    AjouterTexteXML(prefixe, cle + (cinqParties ? s240 : s241) + def.Table + s240);
    const int nbChamps = def.NbChamps - 3;
    const auto& haut = Cp1252Haut();
    // Written through a pointer, into room made for each line's worst case.
    const char* c = octets.data();
    const size_t taille = octets.size();
    std::string& rangees = imp.lignes;
    char* o = rangees.data() + imp.tailleLignes;
    // Room for n more bytes: a megabyte more within what was reserved
    // (each byte of room is filled once before it is written), else the
    // text grows by half.
    auto place = [&](size_t n) {
      size_t ecrit = static_cast<size_t>(o - rangees.data());
      if (ecrit + n <= rangees.size()) return;
      size_t voulu = std::max(ecrit + n, rangees.size() + (size_t{1} << 20));
      if (voulu > rangees.capacity()) voulu = std::max(ecrit + n, rangees.size() + rangees.size() / 2);
      rangees.resize(voulu);
      o = rangees.data() + ecrit;
    };
    auto ecrire = [&o](const std::string& t) {
      std::memcpy(o, t.data(), t.size());
      o += t.size();
    };
    auto poser = [&o](const Court& t) {
      std::memcpy(o, t.octets, 8);
      o += t.taille;
    };
    const Court c241(s241), c242(s242);
    // Per line at most: a byte becomes five ("&"), the prefix and three
    // separators more, eight bytes more as runs go eight at a time.
    const size_t parLigne = prefixe.size() + 3 * s241.size() + s242.size() + 8;
    const char* const fin = c + taille;
    const char* q = c;
    auto finDeLigne = [&] { return q == fin || *q == '\r' || *q == '\n'; };
    while (q < fin) {
      // A line of blanks (or empty) gives no row; a line "EOF" ends the file.
      const char* p = q;
      while (p < fin && *p == ' ') ++p;
      if (p == fin || *p == '\r' || *p == '\n') {
        q = p;
      } else if (fin - q >= 3 && std::memcmp(q, "EOF", 3) == 0 && (fin - q == 3 || q[3] == '\r' || q[3] == '\n')) {
        break;
      } else {
        const char* nl = static_cast<const char*>(std::memchr(q, '\n', static_cast<size_t>(fin - q)));
        if (!nl) nl = fin;
        const char* cr = static_cast<const char*>(std::memchr(q, '\r', static_cast<size_t>(nl - q)));
        const char* finLigne = cr ? cr : nl;
        place(kTexteXMLMax * static_cast<size_t>(finLigne - q) + parLigne);
        if (imp.nbLignes++ > 0) poser(c242);
        ecrire(prefixe);
        int j = 0;  // the field being written
        if (nbChamps > 0) poser(c241);
        else q = finLigne;
        while (!finDeLigne()) {
          // Bytes that stay as they are go eight at a time, up to the next
          // one that does not.
          while (fin - q >= 8) {
            uint64_t w;
            std::memcpy(&w, q, 8);
            std::memcpy(o, &w, 8);
            uint64_t m = Speciaux(w);
            if (!m) {
              o += 8, q += 8;
              continue;
            }
            int k = __builtin_ctzll(m) >> 3;
            o += k, q += k;
            break;
          }
          if (q == fin) break;
          unsigned char b = static_cast<unsigned char>(*q);
          if (b == '\r' || b == '\n') break;
          ++q;
          if (b == '#') {
            if (finDeLigne()) break;
            if (++j == nbChamps) {
              // The fields beyond the definition's are ignored.
              q = finLigne;
              break;
            }
            poser(c241);
          } else if (b >= 0x80) {
            poser(haut[b - 128]);
          } else {
            o = EcrireTexteXML(o, std::string_view(q - 1, 1));
          }
        }
        // A line one field short still gets its last, empty, field.
        if (j == nbChamps - 2) poser(c241);
      }
      // CR LF, LF alone and CR alone all end a line.
      if (q < fin && *q == '\r') ++q;
      if (q < fin && *q == '\n') ++q;
    }
    imp.tailleLignes = static_cast<size_t>(o - rangees.data());
    complet = true;
  });
  if (!complet) {
    for (size_t i = nbCles; i < imp.cles.size(); ++i) imp.clesVues.erase(imp.cles[i]);
    imp.cles.resize(nbCles);
    imp.tailleLignes = tailleLignes;
    imp.nbLignes = nbLignes;
  }
  return complet;
}

namespace {

// What a name of the folder is, found at its first walk: the same name is
// met again at each definition's walk.
struct NomConnu {
  int definition = -1;  // the definition it matches, -1 for none
  size_t taille = 0;    // its size when listed (0 when not known)
  std::string cle;      // its dossier key
};

std::string TeteAppel(const std::vector<std::string>& cles) {
  std::string tete = std::string("<invoke name=\"") + kAppel + "\" returntype=\"xml\"><arguments><string>";
  for (size_t i = 0; i < cles.size(); ++i) {
    if (i) tete += Sep242();
    AjouterTexteXML(tete, cles[i]);
  }
  return tete + "</string><string>";
}

}  // namespace

void IntegrationReglementDDE(App& app, const std::string& dossierRecu) {
  ImportContraintes imp;
  // The files whose rows are in the lists: deleted only once the call that
  // carries those rows has reached the Flex interface.
  std::vector<std::string> importes;
  bool envoye = Piege(app, "IntegrationReglementDDE", [&] {
    sub_InitDefinitionsImport(imp);
    imp.dossier = BackSlashDossier(app, dossierRecu);
    std::unordered_map<std::string, NomConnu> connus;
    auto connaitre = [&](const std::string& nom) -> const NomConnu& {
      auto [it, nouveau] = connus.try_emplace(nom);
      if (!nouveau) return it->second;
      NomConnu& n = it->second;
      // A host name holding a separator would name another file once
      // joined to the folder: never one of ours.
      if (nom.find_first_of("\\/") != std::string::npos) return n;
      if (EstLien(app, imp.dossier + nom, n.taille)) return n;
      DecomposeNomFichier(app, imp, nom);
      const auto& p = imp.parties;
      const std::string& correspondance = p[5].empty() ? p[4] : p[5];
      for (size_t d = 0; d < imp.nbDefinitions; ++d)
        if (EqualsNoCase(correspondance, imp.definitions[d].NomFichier)) {
          n.definition = static_cast<int>(d);
          n.cle = p[0] + " " + p[1] + " " + p[2] + " " + p[3];
          if (!p[5].empty()) n.cle += " " + p[4];
          break;
        }
      return n;
    };
    // The call is written in one text: the rows go after room left for the
    // keys that the files of the first walk will give, all read.
    std::vector<std::string> liste = ParcourirDossier(app, imp.dossier);
    size_t total = 0;
    std::vector<std::string> prevues;
    std::unordered_set<std::string> vues;
    for (size_t d = 0; d < imp.nbDefinitions; ++d)
      for (const auto& nom : liste) {
        const NomConnu& n = connaitre(nom);
        if (n.definition != static_cast<int>(d)) continue;
        total += n.taille;
        if (vues.insert(n.cle).second) prevues.push_back(n.cle);
      }
    const size_t tetePrevue = TeteAppel(prevues).size();
    imp.lignes.reserve(tetePrevue + 2 * total + 65536);
    imp.lignes.resize(tetePrevue);
    imp.tailleLignes = tetePrevue;
    const std::string queue = "</string><string></string><string></string></arguments></invoke>";
    for (size_t d = 0; d < imp.nbDefinitions; ++d) {
      const auto& def = imp.definitions[d];
      if (d > 0) liste = ParcourirDossier(app, imp.dossier);
      for (const auto& nom : liste) {
        if (connaitre(nom).definition != static_cast<int>(d)) continue;
        DecomposeNomFichier(app, imp, nom);
        imp.fichier = nom;
        if (Traitement_Import(app, imp, def)) importes.push_back(imp.dossier + nom);
      }
    }
    imp.lignes.resize(imp.tailleLignes);
    // A file not read, or a folder that changed meanwhile: other keys, and
    // the rows move to make room for them.
    std::string tete = TeteAppel(imp.cles);
    if (tete.size() == tetePrevue) std::memcpy(imp.lignes.data(), tete.data(), tete.size());
    else imp.lignes.replace(0, tetePrevue, tete);
    imp.lignes += queue;
    KUP_EnvoyerChaineVersFlex(app, imp.lignes);
  });
  if (!envoye) return;
  for (const auto& chemin : importes) Piege(app, "IntegrationReglementDDE", [&] { app.fs().removeFile(chemin); });
}

}  // namespace kup
