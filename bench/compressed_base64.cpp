// Compressed base64 (a zip archive in base64) of a document-like file at 1,
// 10 and 50 MB, by the attachment library, each side interleaved with its
// floor on the same file:
//   encode: FichierVersBase64Compressee against `zip -1` then `base64`, run
//           as two programs;
//   decode: Base64CompresseeVersFichier against base64 decoding and zlib
//           inflating the archive's one entry in this process, written to a
//           file.
// Checked every round: the library's base64 decodes back (by the library)
// to the original bytes, and each decode side writes the original bytes.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Floor.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using kup::bench::Fail;

std::string Lire(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::string s(fs::file_size(p), '\0');
  f.read(s.data(), static_cast<std::streamsize>(s.size()));
  return s;
}

// French words and numbers, with a share of random bytes standing for
// pictures, so it compresses about as much as office documents do.
std::string Document(size_t taille) {
  static const char* mots[] = {"arrêté", "permis", "de", "construire", "parcelle", "section", "commune", "le",
                               "maire", "vu", "code", "urbanisme", "article", "dossier", "déposé"};
  std::mt19937 g(42);
  std::string s;
  s.reserve(taille + 8192);
  while (s.size() < taille) {
    if (g() % 10 == 0) {
      for (int i = 0; i < 4096; ++i) s.push_back(static_cast<char>(g() & 0xFF));
    } else {
      for (int i = 0; i < 60; ++i) {
        s += mots[g() % std::size(mots)];
        s += (g() % 7 == 0) ? " " + std::to_string(g() % 100000) + " " : " ";
      }
      s += "\r\n";
    }
  }
  s.resize(taille);
  return s;
}

using Encode = int32_t (*)(const char*, const char*, const char*, const char*);
using Decode = int32_t (*)(const char*, const char*, char*, int32_t);

void* Bibliotheque() {
  static void* h = [] {
    const std::string chemin = std::string(KUP_PROGRAM_DIR) + "/AttacheFichier.so";
    void* h = dlopen(chemin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) Fail("cannot load " + chemin);
    return h;
  }();
  return h;
}

void Lancer(const std::vector<std::string>& args, const std::string& sortie = "/dev/null") {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, sortie.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int statut = 0;
  if (rc != 0 || waitpid(pid, &statut, 0) < 0 || !WIFEXITED(statut) || WEXITSTATUS(statut) != 0)
    Fail("failed: " + args[0]);
}

std::vector<uint8_t> Base64Decode(const std::string& t) {
  static int8_t table[256];
  static bool pret = [] {
    std::memset(table, -1, sizeof table);
    const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(a[i])] = static_cast<int8_t>(i);
    return true;
  }();
  (void)pret;
  std::vector<uint8_t> out;
  out.reserve(t.size() / 4 * 3);
  uint32_t acc = 0;
  int bits = 0;
  for (unsigned char c : t) {
    int v = table[c];
    if (v < 0) continue;
    acc = (acc << 6) | uint32_t(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t(acc >> bits));
    }
  }
  return out;
}

// The floor's decode: base64, then inflate the first entry's data as its
// local header places it, into a file.
void DecodePlancher(const std::string& b64, const fs::path& cible) {
  std::vector<uint8_t> zip = Base64Decode(b64);
  if (zip.size() < 30) Fail("floor: no archive");
  auto u16 = [&](size_t o) { return uint32_t(zip[o]) | uint32_t(zip[o + 1]) << 8; };
  size_t debut = 30 + u16(26) + u16(28);
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = zip.data() + debut;
  z.avail_in = static_cast<uInt>(zip.size() - debut);
  std::vector<unsigned char> bloc(1 << 20);
  FILE* f = std::fopen(cible.c_str(), "wb");
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = bloc.data();
    z.avail_out = static_cast<uInt>(bloc.size());
    rc = inflate(&z, Z_NO_FLUSH);
    std::fwrite(bloc.data(), 1, bloc.size() - z.avail_out, f);
  }
  std::fclose(f);
  inflateEnd(&z);
  if (rc != Z_STREAM_END) Fail("floor: inflate");
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = kup::bench::Rounds(argc, argv, 5);
  auto encode = reinterpret_cast<Encode>(dlsym(Bibliotheque(), "FichierVersBase64Compressee"));
  auto decode = reinterpret_cast<Decode>(dlsym(Bibliotheque(), "Base64CompresseeVersFichier"));
  if (!encode || !decode) Fail("entry points missing");
  for (size_t mo : {1, 10, 50}) {
    std::string modele = (fs::temp_directory_path() / "kup-bench-b64-XXXXXX").string();
    if (!mkdtemp(modele.data())) Fail("mkdtemp");
    const fs::path dir = modele;
    const std::string original = Document(mo << 20);
    std::ofstream(dir / "document.odt", std::ios::binary).write(original.data(), std::streamsize(original.size()));
    fs::create_directories(dir / "lib");
    fs::create_directories(dir / "cli");
    fs::create_directories(dir / "dec");
    const std::string sortie = (dir / "lib" / "out.b64").string();

    auto encLib = [&] {
      double s = kup::bench::Seconds([&] {
        if (encode(dir.c_str(), "document.odt", (dir / "lib").c_str(), sortie.c_str()) != 1) Fail("library encode");
      });
      return s;
    };
    auto encCli = [&] {
      const std::string archive = (dir / "cli" / "document.odt.zip").string();
      return kup::bench::Seconds([&] {
        fs::remove(archive);  // zip would otherwise update the old archive
        Lancer({"zip", "-1", "-q", "-j", archive, (dir / "document.odt").string()});
        Lancer({"base64", "-w", "0", archive}, (dir / "cli" / "out.b64").string());
      });
    };
    auto r = kup::bench::Interleave(rounds, encLib, encCli);
    const std::string b64 = Lire(sortie);
    char extra[64];
    std::snprintf(extra, sizeof extra, "base64 %.1f MB", double(b64.size()) / 1e6);
    kup::bench::Report("compressed base64 encode", std::to_string(mo) + " MB", r, "ms", 1e3, extra);

    auto decLib = [&] {
      char nom[260];
      fs::remove(dir / "dec" / "document.odt");
      double s = kup::bench::Seconds([&] {
        if (decode(b64.c_str(), (dir / "dec").c_str(), nom, sizeof nom) != 1) Fail("library decode");
      });
      if (std::string(nom) != "document.odt" || Lire(dir / "dec" / "document.odt") != original)
        Fail("the library's round trip does not give the original back");
      return s;
    };
    auto decPlancher = [&] {
      const fs::path cible = dir / "dec" / "plancher.odt";
      double s = kup::bench::Seconds([&] { DecodePlancher(b64, cible); });
      if (Lire(cible) != original) Fail("floor decode");
      return s;
    };
    r = kup::bench::Interleave(rounds, decLib, decPlancher);
    kup::bench::Report("compressed base64 decode", std::to_string(mo) + " MB", r, "ms", 1e3);
    fs::remove_all(dir);
  }
  return 0;
}
