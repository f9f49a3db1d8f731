// Start-up load of the V3 catalogue (variables and bookmarks files) at 10 000,
// 100 000 and 1 000 000 variable lines, from real files in a temporary
// program folder. Floor: read the same two files, keep their bytes, split
// them into lines and ";" fields, and a hash map from each line's first
// field to the line.
// Each side builds a fresh catalogue per round; its tear-down is not timed.
// Reported: load time (medians, ratio) and the heap the loaded catalogue
// holds per variable line (the floor's beside it). Checked: every variable
// and bookmark loaded, no load error.
#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Floor.h"
#include "core/App.h"
#include "documents/Catal_V3.h"
#include "documents/ErreurTxt.h"
#include "platform/FakePlatform.h"
#include "platform/RealFileSystem.h"
#include "vb/VbString.h"

namespace {

using kup::bench::Fail;
constexpr int kSignets = 10000;
const char* const kTypes[] = {"NUMBER", "VARCHAR2", "DATE", "NUMBER"};

void Ecrire(const std::filesystem::path& chemin, const std::string& utf8) {
  std::ofstream f(chemin, std::ios::binary);
  const std::string octets = kup::ToCp1252(utf8);
  f.write(octets.data(), static_cast<std::streamsize>(octets.size()));
}

struct Dossier {
  std::filesystem::path dossier;
  explicit Dossier(int variables) {
    char modele[] = "/tmp/kup_catalogue_XXXXXX";
    dossier = mkdtemp(modele);
    std::string var = "CHAMP;ECRAN;CODE;LIBELLE;TYPE;LG;UNITE;DEC\r\n";
    var.reserve(80u * size_t(variables));
    for (int i = 0; i < variables; ++i) {
      const std::string n = std::to_string(i);
      var += "VAR_DOSSIER_" + n + ";ECRAN_" + std::to_string(i % 50) + ";" + (i % 3 ? "PC" : "PA") + ";";
      var += (i % 4 == 0) ? "Libellé de la variable " + n : "Libelle de la variable " + n;
      var += ";";
      var += kTypes[i % 4];
      var += (i % 8 == 3) ? ";10;m²;2\r\n" : ";10;;0\r\n";
    }
    Ecrire(dossier / "Var_Catalogue_V3.csv", var);
    std::string sig = "SIGNET;LIBELLE\r\n";
    for (int i = 0; i < kSignets; ++i) sig += "SIG_" + std::to_string(i) + ";Signet\r\n";
    Ecrire(dossier / "SIG_Catalogue_V3.csv", sig);
  }
  ~Dossier() {
    std::error_code ec;
    std::filesystem::remove_all(dossier, ec);
  }
};

// In use on the heap, the blocks malloc maps on their own (large ones)
// included: uordblks alone leaves them out.
size_t Tas() {
  const auto m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

std::string Lire(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::string s(std::filesystem::file_size(p), '\0');
  f.read(s.data(), static_cast<std::streamsize>(s.size()));
  return s;
}

// The file's bytes kept whole; each line found by its first field.
struct Plancher {
  std::string octets;
  std::unordered_map<std::string_view, std::string_view> lignes;
  size_t champs = 0;
};

void Remplir(Plancher& m, std::string octets) {
  m.octets = std::move(octets);
  const std::string& o = m.octets;
  size_t n = 0;
  for (char c : o) n += c == '\n';
  m.lignes.reserve(n);
  size_t pos = o.find('\n') + 1;  // the header line
  while (pos < o.size()) {
    size_t fin = o.find('\n', pos);
    if (fin == std::string::npos) fin = o.size();
    std::string_view ligne(o.data() + pos, fin - pos);
    if (!ligne.empty() && ligne.back() == '\r') ligne.remove_suffix(1);
    size_t premier = ligne.find(';');
    for (char c : ligne) m.champs += c == ';';
    m.lignes.emplace(ligne.substr(0, premier), ligne);
    pos = fin + 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = kup::bench::Rounds(argc, argv, 7);
  for (int variables : {10000, 100000, 1000000}) {
    Dossier d(variables);
    kup::platform::FakePlatform fakes;
    kup::App app(kup::platform::MakeFakePlatform(&fakes));
    app.pf.fs = std::make_unique<kup::platform::RealFileSystem>(kup::platform::DriveMap{{}, "/tmp", "/tmp"});
    fakes.env->program = d.dossier.string();
    const std::string fichier = d.dossier.string() + "\\Var_Catalogue_V3.csv";
    std::vector<double> tasMesure, tasPlancher;
    auto mesure = [&] {
      auto cat = std::make_unique<kup::Catal_V3>();
      kup::ErreurTxt err;
      size_t t0 = Tas();
      int16_t rc = 0;
      double s = kup::bench::Seconds([&] { rc = cat->ChargerCatalogue_v3(app, fichier, err); });
      tasMesure.push_back(double(Tas() - t0) / variables);
      if (rc != 0 || cat->CatV3.Count() != size_t(variables) || cat->SIGV3.Count() != kSignets)
        Fail("the catalogue did not load whole (" + std::to_string(rc) + ")");
      return s;  // the catalogue goes here, untimed
    };
    auto plancher = [&] {
      auto var = std::make_unique<Plancher>();
      auto sig = std::make_unique<Plancher>();
      size_t t0 = Tas();
      double s = kup::bench::Seconds([&] {
        Remplir(*var, Lire(d.dossier / "Var_Catalogue_V3.csv"));
        Remplir(*sig, Lire(d.dossier / "SIG_Catalogue_V3.csv"));
      });
      tasPlancher.push_back(double(Tas() - t0) / variables);
      if (var->lignes.size() != size_t(variables) || sig->lignes.size() != size_t(kSignets)) Fail("floor");
      return s;
    };
    auto r = kup::bench::Interleave(rounds, mesure, plancher);
    char extra[128];
    std::snprintf(extra, sizeof extra, "%.1f M lines/s; heap per line %.0f B, floor %.0f B",
                  (variables + kSignets) / r.measured / 1e6, kup::bench::Median(tasMesure),
                  kup::bench::Median(tasPlancher));
    kup::bench::Report("catalogue load", std::to_string(variables) + " lines", r, "ms", 1e3, extra);
  }
  return 0;
}
