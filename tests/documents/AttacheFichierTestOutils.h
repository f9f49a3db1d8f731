#pragma once
// Shared by the attachment tests: the real attachment library from the
// program folder, its companion tool, and small file and archive helpers.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "vb/VbString.h"

extern char** environ;

namespace attache_test {

struct Bibliotheques {
  using Encode = int32_t (*)(const char*, const char*, const char*, const char*);
  using Decode = int32_t (*)(const char*, const char*, char*, int32_t);
  using Plain = int32_t (*)(const char*, const char*, int32_t);
  using Decrypt = int32_t (*)(const char*, const char*, char*, int32_t);
  using Sans = int32_t (*)();

  void* handle = nullptr;
  std::string erreur;
  Encode encode = nullptr;
  Decode decode = nullptr;
  Plain plain = nullptr;
  Decrypt decrypt = nullptr;
  Sans busyOn = nullptr, busyOff = nullptr, init = nullptr;

  static std::string Chemin() { return std::string(KUP_PROGRAM_DIR) + "/AttacheFichier.so"; }
  static Bibliotheques& instance() {
    static Bibliotheques b;
    return b;
  }
  bool ok() const { return encode && decode && plain && decrypt && busyOn && busyOff && init; }

  template <class F>
  void entree(F& f, const char* nom) {
    f = reinterpret_cast<F>(dlsym(handle, nom));
    if (!f) erreur += std::string(" missing entry ") + nom;
  }

 private:
  Bibliotheques() {
    handle = dlopen(Chemin().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      erreur = std::string("cannot load ") + Chemin() + " (build the AttacheFichier target): " + dlerror();
      return;
    }
    entree(encode, "FichierVersBase64Compressee");
    entree(decode, "Base64CompresseeVersFichier");
    entree(plain, "chaineBase64VersFichier");
    entree(decrypt, "decrypteChaineBase64");
    entree(busyOn, "AfficherBusy");
    entree(busyOff, "MasquerBusy");
    entree(init, "SorviDLL");
  }
};

inline std::filesystem::path DossierTemporaire(const std::string& prefixe) {
  std::string modele = (std::filesystem::temp_directory_path() / (prefixe + "-XXXXXX")).string();
  if (!mkdtemp(modele.data())) return {};
  return modele;
}

// Host (UTF-8) form of a Windows-1252 name.
inline std::string Hote(const std::string& cp1252) { return kup::FromCp1252(cp1252); }

inline std::string Base64(const std::string& octets) {
  static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < octets.size(); i += 3) {
    uint32_t v = (uint8_t(octets[i]) << 16) | (uint8_t(octets[i + 1]) << 8) | uint8_t(octets[i + 2]);
    out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], t[v & 63]};
  }
  if (i + 1 == octets.size()) {
    uint32_t v = uint8_t(octets[i]) << 16;
    out += {t[v >> 18], t[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == octets.size()) {
    uint32_t v = (uint8_t(octets[i]) << 16) | (uint8_t(octets[i + 1]) << 8);
    out += {t[v >> 18], t[(v >> 12) & 63], t[(v >> 6) & 63], '='};
  }
  return out;
}

// A zip archive of one stored (uncompressed) entry, written by hand so that
// tests can make archives the library itself would never make.
inline std::string ZipUneEntree(const std::string& nom, const std::string& contenu) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : contenu) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc ^= 0xFFFFFFFFu;
  auto u16 = [](std::string& s, uint16_t v) { s += {char(v & 0xFF), char(v >> 8)}; };
  auto u32 = [&](std::string& s, uint32_t v) {
    u16(s, uint16_t(v & 0xFFFF));
    u16(s, uint16_t(v >> 16));
  };
  const auto taille = static_cast<uint32_t>(contenu.size());
  std::string local;
  u32(local, 0x04034b50);
  u16(local, 20), u16(local, 0), u16(local, 0), u16(local, 0), u16(local, 0x21);
  u32(local, crc), u32(local, taille), u32(local, taille);
  u16(local, uint16_t(nom.size())), u16(local, 0);
  local += nom + contenu;
  std::string central;
  u32(central, 0x02014b50);
  u16(central, 20), u16(central, 20), u16(central, 0), u16(central, 0), u16(central, 0), u16(central, 0x21);
  u32(central, crc), u32(central, taille), u32(central, taille);
  u16(central, uint16_t(nom.size())), u16(central, 0), u16(central, 0), u16(central, 0), u16(central, 0);
  u32(central, 0), u32(central, 0);
  central += nom;
  std::string fin;
  u32(fin, 0x06054b50);
  u16(fin, 0), u16(fin, 0), u16(fin, 1), u16(fin, 1);
  u32(fin, uint32_t(central.size())), u32(fin, uint32_t(local.size()));
  u16(fin, 0);
  return local + central + fin;
}

// Runs the companion tool (argument vector, no shell) and returns its
// standard output without the final line end; "" when it fails.
inline std::string Outil(const std::vector<std::string>& args) {
  const std::string programme = std::string(KUP_PROGRAM_DIR) + "/kup_attache_outil";
  std::vector<char*> argv{const_cast<char*>(programme.c_str())};
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int tube[2];
  if (pipe(tube) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, tube[1], 1);
  posix_spawn_file_actions_addclose(&actions, tube[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, programme.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(tube[1]);
  std::string out;
  char bloc[4096];
  ssize_t n;
  while (rc == 0 && (n = read(tube[0], bloc, sizeof bloc)) > 0) out.append(bloc, static_cast<size_t>(n));
  close(tube[0]);
  int statut = 0;
  if (rc != 0 || waitpid(pid, &statut, 0) < 0 || !WIFEXITED(statut) || WEXITSTATUS(statut) != 0) return {};
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace attache_test
