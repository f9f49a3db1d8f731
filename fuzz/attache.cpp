// The attachment library's decoders on any text: compressed base64 (a zip
// archive), plain base64 to a file, and encrypted texts. Each returns 0 or
// 1, writes a zero-terminated text within the size it is given, and places
// a decoded file only in the folder it was given, under a plain name.
//
// Input: one byte of options (bit 0: the rest is raw archive bytes to be
// sent in base64, else it is the text itself; bits 1-6: buffer size), then
// the bytes.

// fuzz-lien: kup_core
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "FuzzOutils.h"
#include "tools/attachefichier/Chiffrement.h"

extern "C" {
int32_t Base64CompresseeVersFichier(const char* b64, const char* tempFolder, char* nameBuffer, int32_t size);
int32_t chaineBase64VersFichier(const char* b64, const char* targetPath, int32_t n);
int32_t decrypteChaineBase64(const char* b64, const char* key, char* out, int32_t size);
}

namespace {

std::vector<std::string> Contenu(const std::string& dossier) {
  std::vector<std::string> noms;
  if (DIR* d = opendir(dossier.c_str())) {
    while (auto* e = readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) noms.emplace_back(e->d_name);
    closedir(d);
  }
  return noms;
}

void Vider(const std::string& dossier) {
  for (auto& n : Contenu(dossier)) ::unlink((dossier + "/" + n).c_str());
}

struct Dossiers {
  std::string racine, temp;
  Dossiers() {
    char modele[] = "/tmp/kup-fuzz-attache-XXXXXX";
    racine = mkdtemp(modele);
    temp = racine + "/temp";
    ::mkdir(temp.c_str(), 0700);
  }
  ~Dossiers() {
    Vider(temp);
    ::rmdir(temp.c_str());
    Vider(racine);
    ::rmdir(racine.c_str());
  }
};

// A buffer of exactly the size announced, so that any write past it is seen.
void VerifierTampon(const char* tampon, int32_t taille) {
  KUP_FUZZ_VERIFIER(std::memchr(tampon, '\0', static_cast<size_t>(taille)) != nullptr, "tampon sans zéro final");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Dossiers d;
  if (size < 1) return 0;
  const bool archive = data[0] & 1;
  const int32_t taille = 1 + ((data[0] >> 1) & 63);
  std::string octets(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string texte = archive ? kup::attache::Base64Encode(octets) : octets;
  texte = texte.substr(0, texte.find('\0'));

  auto nom = std::make_unique<char[]>(static_cast<size_t>(taille));
  int32_t r = Base64CompresseeVersFichier(texte.c_str(), d.temp.c_str(), nom.get(), taille);
  KUP_FUZZ_VERIFIER(r == 0 || r == 1, "");
  VerifierTampon(nom.get(), taille);
  auto fichiers = Contenu(d.temp);
  KUP_FUZZ_VERIFIER(Contenu(d.racine).size() == 1, "fichier écrit hors du dossier donné");
  if (r == 1) {
    if (std::getenv("KUP_FUZZ_TRACE")) std::fprintf(stderr, "archive lue : %s\n", nom.get());
    std::string n = nom.get();
    KUP_FUZZ_VERIFIER(!n.empty() && n != "." && n != ".." && n.find_first_of("/\\") == std::string::npos, n);
    KUP_FUZZ_VERIFIER(fichiers.size() == 1, n);
  } else {
    KUP_FUZZ_VERIFIER(nom[0] == '\0', nom.get());
  }
  Vider(d.temp);

  const std::string cible = d.temp + "/sortie.bin";
  r = chaineBase64VersFichier(texte.c_str(), cible.c_str(), 255);
  KUP_FUZZ_VERIFIER(r == 0 || r == 1, "");
  if (r == 1) KUP_FUZZ_VERIFIER(Contenu(d.temp).size() == 1, texte);
  Vider(d.temp);

  auto clair = std::make_unique<char[]>(static_cast<size_t>(taille));
  r = decrypteChaineBase64(texte.c_str(), "cle", clair.get(), taille);
  KUP_FUZZ_VERIFIER(r == 0, "un texte pris au hasard ne se déchiffre pas");
  VerifierTampon(clair.get(), taille);
  KUP_FUZZ_VERIFIER(clair[0] == '\0', clair.get());
  return 0;
}
