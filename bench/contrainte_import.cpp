// Regulation-constraint import over a generated folder of real files, at
// 10, 100 and 1 000 files of 1 000 lines (spread over the 14 known names):
// read, turned into rows, handed to the player in one call, deleted.
// Floor: list the folder, read each file, split it into lines and fields
// (touching every field), unlink it. The folder is written again, untimed,
// before each side's turn. The import's call is checked: every key once,
// as many rows as lines, every file gone.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Floor.h"
#include "core/App.h"
#include "gis/Mdl_ContrainteReglement.h"
#include "platform/FakePlatform.h"
#include "platform/RealFileSystem.h"
#include "vb/VbString.h"

namespace {

using kup::bench::Fail;
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

// The files of the folder (Windows-1252 bytes, CR LF).
struct Modele {
  std::vector<std::pair<std::string, std::string>> fichiers;
  int64_t octets = 0;
  size_t cles = 0;

  explicit Modele(int n) {
    for (int f = 0; f < n; ++f) {
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
    std::vector<std::string> vues;
    for (auto& [nom, _] : fichiers) {
      auto p = kup::Split(nom, "_");
      vues.push_back(p[0] + p[1] + p[2] + p[3]);
    }
    std::sort(vues.begin(), vues.end());
    cles = size_t(std::unique(vues.begin(), vues.end()) - vues.begin());
  }
};

void Ecrire(const std::filesystem::path& dossier, const Modele& m) {
  for (const auto& [nom, contenu] : m.fichiers) {
    std::ofstream f(dossier / nom, std::ios::binary);
    f.write(contenu.data(), static_cast<std::streamsize>(contenu.size()));
  }
}

// The floor: list, read, split into lines and fields, unlink.
size_t Plancher(const std::string& dossier) {
  size_t champs = 0;
  DIR* d = ::opendir(dossier.c_str());
  std::vector<std::string> noms;
  while (dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') noms.emplace_back(e->d_name);
  ::closedir(d);
  std::string contenu;
  for (auto& nom : noms) {
    std::string chemin = dossier + "/" + nom;
    int fd = ::open(chemin.c_str(), O_RDONLY | O_CLOEXEC);
    contenu.resize(size_t(std::filesystem::file_size(chemin)));
    size_t lu = 0;
    while (lu < contenu.size()) {
      ssize_t n = ::read(fd, contenu.data() + lu, contenu.size() - lu);
      if (n <= 0) break;
      lu += size_t(n);
    }
    ::close(fd);
    size_t debut = 0;
    for (size_t i = 0; i < contenu.size(); ++i) {
      char c = contenu[i];
      if (c == '#' || c == '\n') {
        champs += (i > debut);
        debut = i + 1;
      }
    }
    ::unlink(chemin.c_str());
  }
  return champs;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = kup::bench::Rounds(argc, argv, 7);
  for (int n : {10, 100, 1000}) {
    const Modele modele(n);
    char gabarit[] = "/tmp/kup_contraintes_XXXXXX";
    const std::filesystem::path dossier = ::mkdtemp(gabarit);
    kup::platform::FakePlatform fakes;
    kup::App app(kup::platform::MakeFakePlatform(&fakes));
    app.pf.fs = std::make_unique<kup::platform::RealFileSystem>(kup::platform::DriveMap{{}, "/tmp", "/tmp"});

    auto mesure = [&] {
      Ecrire(dossier, modele);
      fakes.flash->clear();
      double s = kup::bench::Seconds([&] { kup::IntegrationReglementDDE(app, dossier.string()); });
      if (fakes.flash->calls.size() != 1 || !std::filesystem::is_empty(dossier)) Fail("the folder was not imported whole");
      const std::string& appel = fakes.flash->calls[0];
      size_t rangees = 1, cles = 1;
      const std::string s242 = kup::Sep242();
      size_t debutLignes = appel.find("</string><string>");
      for (size_t p = appel.find(s242, debutLignes); p != std::string::npos; p = appel.find(s242, p + 1)) ++rangees;
      for (size_t p = appel.find(s242); p != std::string::npos && p < debutLignes; p = appel.find(s242, p + 1)) ++cles;
      if (rangees != size_t(n) * kLignesParFichier || cles != modele.cles)
        Fail("rows " + std::to_string(rangees) + " keys " + std::to_string(cles));
      return s;
    };
    auto plancher = [&] {
      Ecrire(dossier, modele);
      size_t champs = 0;
      double s = kup::bench::Seconds([&] { champs = Plancher(dossier.string()); });
      if (champs == 0 || !std::filesystem::is_empty(dossier)) Fail("floor");
      return s;
    };
    auto r = kup::bench::Interleave(rounds, mesure, plancher);
    char extra[96];
    std::snprintf(extra, sizeof extra, "import %.0f MB/s, floor %.0f MB/s", double(modele.octets) / 1e6 / r.measured,
                  double(modele.octets) / 1e6 / r.floor);
    kup::bench::Report("constraint import", std::to_string(n) + " files", r, "ms", 1e3, extra);
    std::error_code ec;
    std::filesystem::remove_all(dossier, ec);
  }
  return 0;
}
