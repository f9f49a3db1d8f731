// Regulation-constraint import over a generated folder of real files: 1 000
// files spread over the 14 known names, 1 000 000 lines in all, read, turned
// into rows, handed to the player in one call and deleted. The folder is
// written again (untimed) before each import. Reported: MB/s of file
// content and lines/s.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "gis/Mdl_ContrainteReglement.h"
#include "platform/FakePlatform.h"
#include "platform/RealFileSystem.h"

namespace {

constexpr int kFichiers = 1000;
constexpr int kLignesParFichier = 1000;

struct Definition {
  const char* nom;
  int champs;  // fields of a row: the definition's field count - 3
};
const Definition kDefinitions[] = {
    {"KUPSERVUPBDI.txt", 6}, {"KUPSERVABDI.txt", 6},   {"KUPPREEMPBDI.txt", 7}, {"KUPLOTISBDI.txt", 25},
    {"KUPDISPOBDI.txt", 10}, {"KUPZONEBDI.txt", 15},   {"KUPOPEBDI.txt", 6},    {"KUPSERVUPPARC.txt", 3},
    {"KUPSERVAPARC.txt", 3}, {"KUPPREEMPARC.txt", 3},  {"KUPLOTISPARC.txt", 3}, {"KUPZONEPARC.txt", 4},
    {"KUPOPEPARC.txt", 3},   {"KUPALIGNPARC.txt", 4},
};

// The files of the folder, generated once (Windows-1252 bytes, CR LF).
struct Modele {
  std::vector<std::pair<std::string, std::string>> fichiers;
  int64_t octets = 0;

  Modele() {
    for (int f = 0; f < kFichiers; ++f) {
      const Definition& d = kDefinitions[f % 14];
      std::string nom = "PC_075_" + std::to_string(10 + f % 90) + "_" + std::to_string(f / 14) + "_" + d.nom;
      std::string contenu;
      contenu.reserve(static_cast<size_t>(kLignesParFichier) * (d.champs * 9 + 2));
      for (int l = 0; l < kLignesParFichier; ++l) {
        for (int c = 0; c < d.champs; ++c) {
          if (c) contenu += '#';
          // Some accented text, as the GIS writes zone and servitude labels.
          contenu += (c % 4 == 1) ? "Zone \xE9" : "v" + std::to_string(l * 31 + c);
        }
        contenu += "\r\n";
      }
      octets += static_cast<int64_t>(contenu.size());
      fichiers.emplace_back(std::move(nom), std::move(contenu));
    }
  }
};

void Ecrire(const std::filesystem::path& dossier, const Modele& m) {
  for (const auto& [nom, contenu] : m.fichiers) {
    std::ofstream f(dossier / nom, std::ios::binary);
    f.write(contenu.data(), static_cast<std::streamsize>(contenu.size()));
  }
}

void BM_ImportContraintes(benchmark::State& state) {
  static const Modele modele;
  char gabarit[] = "/tmp/kup_contraintes_XXXXXX";
  const std::filesystem::path dossier = ::mkdtemp(gabarit);

  kup::platform::FakePlatform fakes;
  kup::App app(kup::platform::MakeFakePlatform(&fakes));
  app.pf.fs = std::make_unique<kup::platform::RealFileSystem>(kup::platform::DriveMap{{}, "/tmp", "/tmp"});

  for (auto _ : state) {
    state.PauseTiming();
    Ecrire(dossier, modele);
    fakes.flash->clear();
    state.ResumeTiming();

    kup::IntegrationReglementDDE(app, dossier.string());

    state.PauseTiming();
    if (fakes.flash->calls.size() != 1 || !std::filesystem::is_empty(dossier))
      state.SkipWithError("the generated folder was not imported whole");
    state.ResumeTiming();
  }
  std::error_code ec;
  std::filesystem::remove_all(dossier, ec);
  state.SetBytesProcessed(state.iterations() * modele.octets);
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(modele.octets) / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(kFichiers) * kLignesParFichier,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ImportContraintes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
