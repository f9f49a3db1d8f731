// AttacheLigneCommande: attaches one file to a dossier, started by the
// container without waiting. Its parameter text is
//
//   identifier,file path,value,value,value,attachment envelope
//
// with exactly five commas (the container turns the commas of the values
// into ";"). The container quotes the whole text as one argument, so that
// blanks in a row and double quotes arrive as they were built; a text given
// in several arguments (typed by hand) is joined again with one blank. The file is copied into the dossier's
// sub-folder of the first storage folder of the envelope that exists (the
// layout of tools/attachefichier/Stockage.h), under its own name, or with
// " (2)", " (3)"... before the extension when that name is taken: nothing
// already attached is replaced. Only the rights "Ecriture" may attach.
//
// Exit status: 0 attached, 2 unreadable parameter text, 3 insufficient
// rights, 4 no such file, 5 no storage folder, 6 copy failed. Every outcome
// is one line on the error output.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/attachefichier/Stockage.h"

namespace fs = std::filesystem;

namespace {

int Fin(int code, const std::string& message) {
  std::fprintf(stderr, "AttacheLigneCommande: %s\n", message.c_str());
  return code;
}

bool Dossier(const std::string& hote) {
  struct stat st{};
  return ::stat(hote.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FichierNormal(const std::string& hote) {
  struct stat st{};
  return ::stat(hote.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The text cut at its first five commas: six fields, or none.
std::vector<std::string> Champs(const std::string& texte) {
  std::vector<std::string> out;
  size_t debut = 0;
  for (int i = 0; i < 5; ++i) {
    const size_t virgule = texte.find(',', debut);
    if (virgule == std::string::npos) return {};
    out.push_back(texte.substr(debut, virgule - debut));
    debut = virgule + 1;
  }
  out.push_back(texte.substr(debut));
  return out;
}

// Copies without ever replacing a file: the first free name wins.
bool CopierSansEcraser(const fs::path& source, const fs::path& dossier, fs::path& cible) {
  const std::string tronc = source.stem().string(), ext = source.extension().string();
  for (int n = 1; n < 10000; ++n) {
    cible = dossier / (n == 1 ? source.filename().string() : tronc + " (" + std::to_string(n) + ")" + ext);
    std::error_code ec;
    if (fs::copy_file(source, cible, fs::copy_options::none, ec)) return true;
    if (ec != std::errc::file_exists) return false;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string texte = argc == 2 ? std::string(argv[1]) : std::string();
  if (argc > 2)
    for (int i = 1; i < argc; ++i) texte += (i > 1 ? " " : "") + std::string(argv[i]);
  const auto champs = Champs(texte);
  if (champs.empty()) return Fin(2, "texte de paramètres illisible (identifiant,fichier,v1,v2,v3,enveloppe attendus)");

  const auto enveloppe = kup::attache::LireEnveloppe(champs[5]);
  if (!enveloppe) return Fin(2, "enveloppe sans identifiant de dossier");
  const std::string nomDossier = kup::attache::NomDossierPieces(enveloppe->identifiant);
  if (nomDossier.empty()) return Fin(2, "identifiant de dossier inutilisable : \"" + enveloppe->identifiant + "\"");
  if (enveloppe->habilitation != "Ecriture")
    return Fin(3, "habilitation insuffisante (" + enveloppe->habilitation + ") pour " + enveloppe->identifiant);

  const std::string source = kup::attache::CheminHoteUtf8(champs[1]);
  if (champs[1].empty() || !FichierNormal(source)) return Fin(4, "fichier introuvable : " + champs[1]);

  for (const auto& rep : enveloppe->repertoires) {
    if (!Dossier(kup::attache::CheminHoteUtf8(rep))) continue;
    const fs::path dossier = kup::attache::CheminHoteUtf8(kup::attache::DossierPieces(rep, nomDossier));
    std::error_code ec;
    fs::create_directory(dossier, ec);
    if (!Dossier(dossier.string())) return Fin(6, "dossier de stockage impossible à créer : " + dossier.string());
    fs::path cible;
    if (!CopierSansEcraser(source, dossier, cible)) return Fin(6, "copie impossible de " + champs[1]);
    return Fin(0, champs[1] + " attaché au dossier " + enveloppe->identifiant + " : " + cible.string());
  }
  return Fin(5, "aucun répertoire de stockage disponible pour " + enveloppe->identifiant);
}
