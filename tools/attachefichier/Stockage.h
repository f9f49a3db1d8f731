#pragma once
// Where the attachments of a dossier are kept, shared by the attachment
// library (counting) and its command-line companion (attaching), so that
// both agree on every folder.
//
// Storage layout: each storage folder of the envelope (<Repertoire>) holds
// one sub-folder per dossier, named after the dossier identifier of the
// envelope (<Identifiant>) with the characters a Windows file name cannot
// hold (\ / : * ? " < > | and control characters) replaced by "_" and the
// surrounding blanks removed. The dossier's attachments are the normal
// files of those sub-folders (hidden files not counted), in every storage
// folder; new attachments go to the first storage folder that exists.
// Attachments are stored as they are: the envelope's compression,
// encryption and size settings are not applied by these stand-ins.
//
// The envelope is read by its elements' text only, which keeps it readable
// when it arrives on a command line whose double quotes were taken out by
// the argument splitting.
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PathText.h"

namespace kup::attache {

struct Enveloppe {
  std::string identifiant;
  std::string habilitation;             // "Rien", "Lecture" or "Ecriture"
  std::vector<std::string> repertoires;  // Windows path texts, as given
};

inline std::string DeXml(std::string_view s) {
  static const struct {
    std::string_view entite, car;
  } kEntites[] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  std::string out;
  for (size_t i = 0; i < s.size();) {
    bool remplace = false;
    if (s[i] == '&') {
      for (auto& e : kEntites)
        if (s.substr(i, e.entite.size()) == e.entite) {
          out += e.car;
          i += e.entite.size();
          remplace = true;
          break;
        }
    }
    if (!remplace) out += s[i++];
  }
  return out;
}

// The texts of every <balise>...</balise> of the envelope, in order.
inline std::vector<std::string> Elements(std::string_view xml, const std::string& balise) {
  std::vector<std::string> out;
  const std::string ouvre = "<" + balise + ">", ferme = "</" + balise + ">";
  size_t pos = 0;
  while ((pos = xml.find(ouvre, pos)) != std::string_view::npos) {
    pos += ouvre.size();
    const size_t fin = xml.find(ferme, pos);
    if (fin == std::string_view::npos) break;
    out.push_back(DeXml(xml.substr(pos, fin - pos)));
    pos = fin + ferme.size();
  }
  return out;
}

// The envelope (UTF-8 text), or nothing when it names no dossier.
inline std::optional<Enveloppe> LireEnveloppe(std::string_view xml) {
  const auto ids = Elements(xml, "Identifiant");
  if (ids.size() != 1) return std::nullopt;
  Enveloppe e;
  e.identifiant = ids[0];
  const auto hab = Elements(xml, "Habilitation");
  if (!hab.empty()) e.habilitation = hab[0];
  e.repertoires = Elements(xml, "Repertoire");
  return e;
}

// The dossier's sub-folder name, "" when the identifier leaves none.
inline std::string NomDossierPieces(const std::string& identifiant) {
  std::string nom;
  for (unsigned char c : identifiant) {
    const bool interdit = c < 0x20 || c == 0x7F || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) !=
                                                         std::string_view::npos;
    nom += interdit ? '_' : static_cast<char>(c);
  }
  const size_t debut = nom.find_first_not_of(' ');
  if (debut == std::string::npos) return {};
  nom = nom.substr(debut, nom.find_last_not_of(' ') - debut + 1);
  if (nom == "." || nom == "..") return {};
  return nom;
}

// The Windows path text of a storage folder's sub-folder for the dossier.
inline std::string DossierPieces(const std::string& repertoire, const std::string& nomDossier) {
  if (!repertoire.empty() && platform::IsPathSeparator(repertoire.back())) return repertoire + nomDossier;
  return repertoire + "\\" + nomDossier;
}

// The container's drive configuration, from the same environment variables
// and with the same defaults as its file system.
inline platform::DriveMap CarteDesLecteurs() {
  auto env = [](const char* nom) {
    const char* v = std::getenv(nom);
    return v ? std::string(v) : std::string();
  };
  std::string home = env("HOME");
  if (home.empty()) home = "/tmp";
  platform::DriveMap map;
  map.drives = platform::DriveMap::ParseDrives(env("KUP_DRIVES"));
  map.driveRoot = env("KUP_DRIVE_ROOT");
  if (map.driveRoot.empty()) map.driveRoot = home + "/.korvane/drives";
  map.uncRoot = env("KUP_UNC_ROOT");
  if (map.uncRoot.empty()) map.uncRoot = home + "/.korvane/unc";
  return map;
}

// Host path of a Windows path text (UTF-8).
inline std::string CheminHoteUtf8(const std::string& chemin) {
  return CarteDesLecteurs().foundHostPath(platform::PathText::Parse(chemin));
}

}  // namespace kup::attache
