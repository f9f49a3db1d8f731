// The attachment library: the entries the container loads by name from the
// program folder. Every text crosses this boundary as a zero-terminated
// Windows-1252 string holding a Windows path text or base64; every entry
// returns 1 on success and 0 on failure, and never writes past the size it is
// given. The two decoders name the cause of a file they could not write, so
// that the caller reports it as the system would: 2 the disk is full, 3 the
// permission is refused (a name another user holds in a shared folder
// included), 4 the folder is missing.
//
// Compressed base64 = standard base64 (one line, padded) of a zip archive
// holding one deflated entry named after the file.
#include "tools/attachefichier/Fenetres.h"
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "vb/VbString.h"
#include "platform/PathText.h"
#include "tools/attachefichier/Chiffrement.h"

#define KUP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using kup::attache::Base64Decode;
using kup::attache::Base64Encode;

// Deflate level of the archives: documents travel often and are small, so
// speed wins over the last few percent of size.
constexpr zip_uint32_t kNiveauCompression = 1;
constexpr size_t kTailleBloc = 3 * 256 * 1024;  // a multiple of 3: base64 blocks join cleanly

std::string Env(const char* nom) {
  const char* v = std::getenv(nom);
  return v ? std::string(v) : std::string();
}

// The container's drive configuration, read from the same environment
// variables and with the same defaults as its file system.
kup::platform::DriveMap CarteDesLecteurs() {
  std::string home = Env("HOME");
  if (home.empty()) home = "/tmp";
  kup::platform::DriveMap map;
  map.drives = kup::platform::DriveMap::ParseDrives(Env("KUP_DRIVES"));
  map.driveRoot = Env("KUP_DRIVE_ROOT");
  if (map.driveRoot.empty()) map.driveRoot = home + "/.korvane/drives";
  map.uncRoot = Env("KUP_UNC_ROOT");
  if (map.uncRoot.empty()) map.uncRoot = home + "/.korvane/unc";
  return map;
}

// The same drive mapping as the container's file system, names read as it reads them.
std::string CheminHote(const std::string& cheminCp1252) {
  using kup::platform::DriveMap;
  using kup::platform::PathText;
  return CarteDesLecteurs().foundHostPath(PathText::Parse(kup::FromCp1252(cheminCp1252)));
}

std::string Joindre(const std::string& dossier, const std::string& nom) {
  if (!dossier.empty() && kup::platform::IsPathSeparator(dossier.back())) return dossier + nom;
  return dossier + "\\" + nom;
}

// A name where a bare file name is expected: no separator, not "." or "..".
bool NomSimple(const std::string& nom) {
  if (nom.empty() || nom == "." || nom == "..") return false;
  for (char c : nom)
    if (kup::platform::IsPathSeparator(c) || c == '\0') return false;
  return true;
}

struct Fichier {
  std::FILE* f = nullptr;
  ~Fichier() {
    if (f) std::fclose(f);
  }
  bool fermer() {
    const bool ok = std::fclose(f) == 0;
    f = nullptr;
    return ok;
  }
};

// What became of a write; the values are the decoders' results.
enum class Ecriture : int32_t { Echouee = 0, Faite = 1, DisquePlein = 2, Refusee = 3, DossierAbsent = 4 };

Ecriture SelonErrno(int erreur) {
  switch (erreur) {
    case ENOSPC:
    case EDQUOT: return Ecriture::DisquePlein;
    case EACCES:
    case EPERM:
    case EROFS: return Ecriture::Refusee;
    case ENOENT:
    case ENOTDIR: return Ecriture::DossierAbsent;
    default: return Ecriture::Echouee;
  }
}

Ecriture EcrireFichier(const std::string& hote, const std::string& octets) {
  Fichier out{std::fopen(hote.c_str(), "wb")};
  if (!out.f) return SelonErrno(errno);
  bool ok = std::fwrite(octets.data(), 1, octets.size(), out.f) == octets.size();
  ok = out.fermer() && ok;
  if (ok) return Ecriture::Faite;
  const int erreur = errno;
  std::remove(hote.c_str());
  return SelonErrno(erreur);
}

std::string DossierDe(const std::string& hote) {
  const size_t coupe = hote.find_last_of('/');
  if (coupe == std::string::npos) return ".";
  return coupe == 0 ? "/" : hote.substr(0, coupe);
}

std::string NomDe(const std::string& hote) {
  const size_t coupe = hote.find_last_of('/');
  return coupe == std::string::npos ? hote : hote.substr(coupe + 1);
}

// The temporary folder is often shared: a file meant for it is written
// under a private name of its own (created new, 0600), then put in place of
// the target in one step. A link planted under the target's name is
// replaced, never followed, and in a folder that protects its entries (the
// sticky /tmp) another user's file of that name is refused.
template <class Ecrire>
Ecriture EcrireEnPlace(const std::string& cible, Ecrire&& ecrire) {
  std::string provisoire = DossierDe(cible) + "/.kup-XXXXXX";
  const int fd = ::mkostemp(provisoire.data(), O_CLOEXEC);
  if (fd < 0) return SelonErrno(errno);
  Fichier out{::fdopen(fd, "wb")};
  if (!out.f) {
    ::close(fd);
    ::unlink(provisoire.c_str());
    return Ecriture::Echouee;
  }
  bool ok = ecrire(out.f);
  // Only a failed write says why; a text that would not decompress is no
  // fault of the disk, whatever errno holds then.
  int erreur = !ok && std::ferror(out.f) ? errno : 0;
  if (!out.fermer() && ok) {
    ok = false;
    erreur = errno;
  }
  if (ok) erreur = ::rename(provisoire.c_str(), cible.c_str()) == 0 ? 0 : errno;
  if (ok && erreur == 0) return Ecriture::Faite;
  ::unlink(provisoire.c_str());
  return SelonErrno(erreur);
}

bool FichierNormal(const std::string& hote) {
  struct stat st{};
  return ::stat(hote.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Base64 of a file, written block by block to another file.
bool FichierVersBase64(const std::string& source, const std::string& cible) {
  Fichier in{std::fopen(source.c_str(), "rb")};
  if (!in.f) return false;
  const Ecriture e = EcrireEnPlace(cible, [&](std::FILE* out) {
    std::string bloc(kTailleBloc, '\0');
    for (;;) {
      const size_t lu = std::fread(bloc.data(), 1, bloc.size(), in.f);
      if (lu > 0) {
        const std::string b64 = Base64Encode(std::string_view(bloc.data(), lu));
        if (std::fwrite(b64.data(), 1, b64.size(), out) != b64.size()) return false;
      }
      if (lu < bloc.size()) return !std::ferror(in.f);
    }
  });
  return e == Ecriture::Faite;
}

void ViderTampon(char* tampon, int32_t taille) {
  if (tampon && taille > 0) tampon[0] = '\0';
}

// Copies a text and its zero byte when both fit in the buffer.
bool CopierTampon(const std::string& texte, char* tampon, int32_t taille) {
  if (!tampon || taille <= 0 || texte.size() >= static_cast<size_t>(taille)) return false;
  std::memcpy(tampon, texte.data(), texte.size());
  tampon[texte.size()] = '\0';
  return true;
}

// Shown and hidden around every request: the environment is read once.
bool TraceBusy() {
  static const bool trace = std::getenv("KUP_BUSY_TRACE") != nullptr;
  return trace;
}

}  // namespace

KUP_EXPORT int32_t AfficherBusy() {
  if (TraceBusy()) std::fputs("AttacheFichier: AfficherBusy\n", stderr);
  try {
    if (kup::attache::FenetresPossibles()) kup::attache::MontrerOccupe();
  } catch (...) {
  }
  return 1;
}

KUP_EXPORT int32_t MasquerBusy() {
  if (TraceBusy()) std::fputs("AttacheFichier: MasquerBusy\n", stderr);
  try {
    if (kup::attache::FenetresPossibles()) kup::attache::CacherOccupe();
  } catch (...) {
  }
  return 1;
}

KUP_EXPORT int32_t SorviDLL() {
  try {
    Base64Encode({});  // initialises the cipher library once
    return 1;
  } catch (...) {
    return 0;
  }
}

// Compresses srcFolder\fileName into tempFolder\fileName.zip (left there
// for the caller to delete) and writes the archive's base64 to outPath.
KUP_EXPORT int32_t FichierVersBase64Compressee(const char* srcFolder, const char* fileName, const char* tempFolder,
                                               const char* outPath) {
  try {
    if (!srcFolder || !fileName || !tempFolder || !outPath) return 0;
    const std::string nom = fileName;
    if (!NomSimple(nom)) return 0;
    const std::string source = CheminHote(Joindre(srcFolder, nom));
    if (!FichierNormal(source)) return 0;
    const std::string archive = CheminHote(Joindre(tempFolder, nom + ".zip"));
    const std::string sortie = CheminHote(outPath);

    // The archive holds the document: it is made in a folder of our own,
    // private, and only then put under its name in the temporary folder.
    std::string prive = DossierDe(archive) + "/.kup-XXXXXX";
    if (!::mkdtemp(prive.data())) return 0;
    const std::string enCours = prive + "/" + NomDe(archive);
    struct Menage {
      const std::string& dossier;
      const std::string& fichier;
      ~Menage() {
        std::remove(fichier.c_str());
        ::rmdir(dossier.c_str());
      }
    } menage{prive, enCours};

    int err = 0;
    zip_t* za = zip_open(enCours.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!za) return 0;
    zip_source_t* src = zip_source_file(za, source.c_str(), 0, -1);
    const std::string nomUtf8 = kup::FromCp1252(nom);
    zip_int64_t idx = src ? zip_file_add(za, nomUtf8.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) : -1;
    if (idx < 0) {
      if (src) zip_source_free(src);
      zip_discard(za);
      return 0;
    }
    if (zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, kNiveauCompression) < 0 ||
        zip_close(za) < 0) {
      zip_discard(za);
      return 0;
    }
    if (::chmod(enCours.c_str(), 0600) != 0 || !FichierVersBase64(enCours, sortie)) return 0;
    // Left for the caller to delete; a name someone else holds keeps theirs.
    ::rename(enCours.c_str(), archive.c_str());
    return 1;
  } catch (...) {
    return 0;
  }
}

// Turns compressed base64 back into a file of the temporary folder and
// writes its name (Windows-1252, no folder) into nameBuffer. On failure the
// buffer holds the empty string.
KUP_EXPORT int32_t Base64CompresseeVersFichier(const char* b64, const char* tempFolder, char* nameBuffer,
                                               int32_t size) {
  ViderTampon(nameBuffer, size);
  try {
    if (!b64 || !tempFolder || !nameBuffer || size <= 0) return 0;
    auto octets = Base64Decode(b64);
    if (!octets || octets->empty()) return 0;

    zip_error_t zerr;
    zip_error_init(&zerr);
    zip_source_t* src = zip_source_buffer_create(octets->data(), octets->size(), 0, &zerr);
    if (!src) return 0;
    zip_t* za = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &zerr);
    zip_error_fini(&zerr);
    if (!za) {
      zip_source_free(src);
      return 0;
    }
    std::unique_ptr<zip_t, decltype(&zip_discard)> garde(za, &zip_discard);
    if (zip_get_num_entries(za, 0) < 1) return 0;

    // Only the last component of the stored name is kept: an archive must
    // not place a file outside the temporary folder.
    const char* stocke = zip_get_name(za, 0, ZIP_FL_ENC_GUESS);
    if (!stocke) return 0;
    std::string nomUtf8 = stocke;
    const size_t coupe = nomUtf8.find_last_of("\\/");
    if (coupe != std::string::npos) nomUtf8 = nomUtf8.substr(coupe + 1);
    const std::string nom = kup::ToCp1252(nomUtf8);
    if (!NomSimple(nom) || nom.size() >= static_cast<size_t>(size)) return 0;

    const std::string cible = CheminHote(Joindre(tempFolder, nom));
    zip_file_t* zf = zip_fopen_index(za, 0, 0);
    if (!zf) return 0;
    bool lu = false;
    const Ecriture ecrite = EcrireEnPlace(cible, [&](std::FILE* out) {
      lu = true;
      std::string bloc(kTailleBloc, '\0');
      bool bon = true;
      for (;;) {
        const zip_int64_t lu = zip_fread(zf, bloc.data(), bloc.size());
        if (lu < 0) {
          bon = false;
          break;
        }
        if (lu == 0) break;
        if (std::fwrite(bloc.data(), 1, static_cast<size_t>(lu), out) != static_cast<size_t>(lu)) {
          bon = false;
          break;
        }
      }
      const int erreur = errno;  // that of a failed write, which closing must not hide
      const bool ferme = zip_fclose(zf) == 0;  // a CRC mismatch shows here
      errno = erreur;
      return ferme && bon;
    });
    if (!lu) zip_fclose(zf);
    if (ecrite != Ecriture::Faite) return static_cast<int32_t>(ecrite);
    return CopierTampon(nom, nameBuffer, size) ? 1 : 0;
  } catch (...) {
    ViderTampon(nameBuffer, size);
    return 0;
  }
}

// Decodes standard base64 into targetPath. The third argument is the
// caller's customary buffer size; texts of any length are accepted.
KUP_EXPORT int32_t chaineBase64VersFichier(const char* b64, const char* targetPath, int32_t /*n*/) {
  try {
    if (!b64 || !targetPath || !*targetPath) return 0;
    auto octets = Base64Decode(b64);
    if (!octets) return 0;
    return static_cast<int32_t>(EcrireFichier(CheminHote(targetPath), *octets));
  } catch (...) {
    return 0;
  }
}

// Decrypts a text made by the companion tool's "encrypt" with the same key
// into out (zero-terminated, at most size - 1 bytes). A wrong key, a damaged
// text or a clear text too long for the buffer leave the empty string.
KUP_EXPORT int32_t decrypteChaineBase64(const char* b64, const char* key, char* out, int32_t size) {
  ViderTampon(out, size);
  try {
    if (!b64 || !key || !out || size <= 0) return 0;
    auto clair = kup::attache::Dechiffrer(b64, key);
    if (!clair || clair->find('\0') != std::string::npos) return 0;
    return CopierTampon(*clair, out, size) ? 1 : 0;
  } catch (...) {
    ViderTampon(out, size);
    return 0;
  }
}
