// Start-up load of a large generated catalogue: 1 000 000 variable lines and
// 200 000 variable equivalence lines (plus 10 000 bookmarks and bookmark
// equivalences), read from real files in a temporary program folder.
// Reported: lines per second over every line of the four files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/App.h"
#include "vb/VbString.h"
#include "documents/Catal_V3.h"
#include "documents/Equivalence_V3.h"
#include "documents/ErreurTxt.h"
#include "documents/Mdl_Equivalence.h"
#include "platform/FakePlatform.h"
#include "platform/RealFileSystem.h"

namespace {

constexpr int kVariables = 1000000;
constexpr int kEquivalences = 200000;
constexpr int kSignets = 10000;

const char* const kTypes[] = {"NUMBER", "VARCHAR2", "DATE", "NUMBER"};

void ecrire(const std::filesystem::path& chemin, const std::string& utf8) {
  std::ofstream f(chemin, std::ios::binary);
  const std::string octets = kup::ToCp1252(utf8);
  f.write(octets.data(), static_cast<std::streamsize>(octets.size()));
}

// The generated program folder, written once per run.
struct DossierProgramme {
  std::filesystem::path dossier;
  long lignes = 0;

  DossierProgramme() {
    char modele[] = "/tmp/kup_catalogue_XXXXXX";
    dossier = mkdtemp(modele);
    std::string var = "CHAMP;ECRAN;CODE;LIBELLE;TYPE;LG;UNITE;DEC\r\n";
    var.reserve(80u * kVariables);
    for (int i = 0; i < kVariables; ++i) {
      const std::string n = std::to_string(i);
      var += "VAR_DOSSIER_" + n + ";ECRAN_" + std::to_string(i % 50) + ";" + (i % 3 ? "PC" : "PA") + ";";
      var += (i % 4 == 0) ? "Libellé de la variable " + n : "Libelle de la variable " + n;
      var += ";";
      var += kTypes[i % 4];
      var += (i % 8 == 3) ? ";10;m²;2\r\n" : ";10;;0\r\n";
    }
    ecrire(dossier / "Var_Catalogue_V3.csv", var);
    std::string sig = "SIGNET;LIBELLE\r\n";
    for (int i = 0; i < kSignets; ++i) sig += "SIG_" + std::to_string(i) + ";Signet\r\n";
    ecrire(dossier / "SIG_Catalogue_V3.csv", sig);
    std::string eq;
    eq.reserve(60u * kEquivalences);
    for (int i = 0; i < kEquivalences; ++i) {
      const std::string n = std::to_string(i);
      if (i % 5 == 0) eq += "V2_" + n + ";VAR_DOSSIER_" + n + " VAR_DOSSIER_" + std::to_string(i + 1) + ";c\r\n";
      else eq += "V2_" + n + ";VAR_DOSSIER_" + n + ";s;PC PA\r\n";
    }
    ecrire(dossier / "Var_Equiv_V2_V3.csv", eq);
    std::string sigeq;
    for (int i = 0; i < kSignets; ++i) sigeq += "S2_" + std::to_string(i) + ";SIG_" + std::to_string(i) + "\r\n";
    ecrire(dossier / "SIG_Equiv_V2_V3.csv", sigeq);
    lignes = (kVariables + 1) + (kSignets + 1) + kEquivalences + kSignets;
  }
  ~DossierProgramme() {
    std::error_code ec;
    std::filesystem::remove_all(dossier, ec);
  }
};

DossierProgramme& dossierProgramme() {
  static DossierProgramme d;
  return d;
}

std::unique_ptr<kup::App> nouvelleApp(const DossierProgramme& d) {
  kup::platform::FakePlatform fakes;
  auto app = std::make_unique<kup::App>(kup::platform::MakeFakePlatform(&fakes));
  app->pf.fs = std::make_unique<kup::platform::RealFileSystem>(kup::platform::DriveMap{{}, "/tmp", "/tmp"});
  fakes.env->program = d.dossier.string();
  return app;
}

void BM_ChargementDemarrage(benchmark::State& state) {
  DossierProgramme& d = dossierProgramme();
  auto app = nouvelleApp(d);
  for (auto _ : state) {
    app->G_Catalogue.reset();
    app->G_Equivalence.reset();
    app->G_ErrCatalogue.reset();
    kup::sub_ChargerEquivalences(*app);
    if (app->G_ResCatalogue != 0 || app->G_ResEquivalence != 0 || app->G_Catalogue->CatV3.Count() != kVariables)
      state.SkipWithError("the generated catalogue did not load cleanly");
    benchmark::DoNotOptimize(app->G_Equivalence->VarEquiv.Count());
  }
  state.SetItemsProcessed(state.iterations() * d.lignes);
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(d.lignes), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChargementDemarrage)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ChargementCatalogue(benchmark::State& state) {
  DossierProgramme& d = dossierProgramme();
  auto app = nouvelleApp(d);
  const std::string fichier = d.dossier.string() + "\\Var_Catalogue_V3.csv";
  for (auto _ : state) {
    kup::Catal_V3 cat;
    kup::ErreurTxt err;
    benchmark::DoNotOptimize(cat.ChargerCatalogue_v3(*app, fichier, err));
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(kVariables + kSignets + 2), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChargementCatalogue)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ChargementEquivalences(benchmark::State& state) {
  DossierProgramme& d = dossierProgramme();
  auto app = nouvelleApp(d);
  kup::Catal_V3 cat;
  kup::ErreurTxt errCat;
  cat.ChargerCatalogue_v3(*app, d.dossier.string() + "\\Var_Catalogue_V3.csv", errCat);
  const std::string fichier = d.dossier.string() + "\\Var_Equiv_V2_V3.csv";
  for (auto _ : state) {
    kup::Equivalence_V3 eq;
    kup::ErreurTxt err;
    benchmark::DoNotOptimize(eq.ChargerEquivalence_v3(*app, fichier, cat, err));
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(kEquivalences + kSignets), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ChargementEquivalences)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
