// Compressed base64 of a 50 MB file: the attachment library (zip archive +
// base64 in one call) against `zip -1` then `base64` run as two programs.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr size_t kTaille = 50u * 1024 * 1024;

// A document-like file: French words and numbers, with a share of random
// bytes standing for embedded pictures, so it compresses about as much as
// office documents do.
struct Donnees {
  fs::path dir;
  fs::path fichier;
  Donnees() {
    std::string modele = (fs::temp_directory_path() / "kup-bench-b64-XXXXXX").string();
    if (!mkdtemp(modele.data())) throw std::runtime_error("mkdtemp");
    dir = modele;
    fichier = dir / "document.odt";
    static const char* mots[] = {"arrêté", "permis", "de", "construire", "parcelle", "section", "commune",
                                 "le", "maire", "vu", "code", "urbanisme", "article", "dossier", "déposé"};
    std::mt19937 g(42);
    std::string s;
    s.reserve(kTaille);
    while (s.size() < kTaille) {
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
    s.resize(kTaille);
    std::ofstream(fichier, std::ios::binary).write(s.data(), static_cast<std::streamsize>(s.size()));
  }
  ~Donnees() { fs::remove_all(dir); }
};

Donnees& donnees() {
  static Donnees d;
  return d;
}

using Encode = int32_t (*)(const char*, const char*, const char*, const char*);

Encode encodeur() {
  static Encode f = [] {
    const std::string chemin = std::string(KUP_PROGRAM_DIR) + "/AttacheFichier.so";
    void* h = dlopen(chemin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) throw std::runtime_error(std::string("cannot load ") + chemin + ": " + dlerror());
    auto e = reinterpret_cast<Encode>(dlsym(h, "FichierVersBase64Compressee"));
    if (!e) throw std::runtime_error("FichierVersBase64Compressee missing");
    return e;
  }();
  return f;
}

// Runs a program with an argument vector (no shell), standard output to a file.
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
    throw std::runtime_error("failed: " + args[0]);
}

void BM_Bibliotheque(benchmark::State& state) {
  auto& d = donnees();
  const Encode encode = encodeur();
  const fs::path tmp = d.dir / "lib";
  fs::create_directories(tmp);
  const std::string sortie = (tmp / "out.b64").string();
  for (auto _ : state) {
    if (encode(d.dir.c_str(), "document.odt", tmp.c_str(), sortie.c_str()) != 1) {
      state.SkipWithError("library failed");
      break;
    }
  }
  state.counters["b64_MB"] = static_cast<double>(fs::file_size(sortie)) / (1024.0 * 1024.0);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTaille));
}

void BM_ZipPuisBase64(benchmark::State& state) {
  auto& d = donnees();
  const fs::path tmp = d.dir / "cli";
  fs::create_directories(tmp);
  const std::string archive = (tmp / "document.odt.zip").string();
  const std::string sortie = (tmp / "out.b64").string();
  for (auto _ : state) {
    fs::remove(archive);  // zip would otherwise update the old archive
    Lancer({"zip", "-1", "-q", "-j", archive, d.fichier.string()});
    Lancer({"base64", "-w", "0", archive}, sortie);
  }
  state.counters["b64_MB"] = static_cast<double>(fs::file_size(sortie)) / (1024.0 * 1024.0);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTaille));
}

BENCHMARK(BM_Bibliotheque)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ZipPuisBase64)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
