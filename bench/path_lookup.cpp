// Path texts read as Windows reads them, on folders of 100, 1 000 and
// 10 000 files. Four cases, each against its floor:
// - a name there as written (`fileExists`): against the bare stat() of the
//   host path; the mapping as it was before names were matched without
//   regard to case (the text mapped twice, then stat()) is reported beside
//   it, and the target is to cost no more than that;
// - a name in another case and a missing name: against one bare readdir()
//   walk of the folder comparing names with strcasecmp(), the least such a
//   search costs;
// - the listing of the folder (`listFiles`): against a bare readdir() walk.
// Every round checks what it found.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Floor.h"
#include "platform/RealFileSystem.h"

namespace {

using kup::platform::DriveMap;
using kup::platform::PathText;
using kup::platform::RealFileSystem;

std::string Nom(int i) {
  char b[32];
  std::snprintf(b, sizeof b, "Modele_%05d.ods", i);
  return b;
}

std::string Majuscules(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// One walk of the folder looking for a name without regard to case.
bool Cherche(const std::string& dossier, const std::string& nom) {
  DIR* d = ::opendir(dossier.c_str());
  if (!d) return false;
  bool trouve = false;
  while (dirent* e = ::readdir(d))
    if (::strcasecmp(e->d_name, nom.c_str()) == 0) trouve = true;
  ::closedir(d);
  return trouve;
}

size_t Compte(const std::string& dossier) {
  DIR* d = ::opendir(dossier.c_str());
  size_t n = 0;
  while (dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') {
      struct stat st {};
      if (e->d_type == DT_REG || (e->d_type == DT_UNKNOWN && ::fstatat(::dirfd(d), e->d_name, &st, 0) == 0)) ++n;
    }
  ::closedir(d);
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = kup::bench::Rounds(argc, argv, 9);
  char tmpl[] = "/tmp/kup-bench-paths-XXXXXX";
  const std::string racine = ::mkdtemp(tmpl);
  RealFileSystem fs{DriveMap{{{'C', racine}}, racine, racine}};
  const DriveMap carte{{{'C', racine}}, racine, racine};

  for (int taille : {100, 1000, 10000}) {
    const std::string sous = "Taxe" + std::to_string(taille);
    const std::string hote = racine + "/" + sous;
    std::filesystem::create_directories(hote);
    for (int i = 0; i < taille; ++i) {
      int fd = ::open((hote + "/" + Nom(i)).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (fd >= 0) ::close(fd);
    }
    const std::string texte = "C:\\" + sous + "\\";
    const std::string ici = texte + Nom(taille / 2), autreCasse = Majuscules(texte + Nom(taille / 2)),
                      absent = texte + "Absent.ods";
    const std::string hoteIci = hote + "/" + Nom(taille / 2);
    const std::string taillesTexte = std::to_string(taille) + " files";

    // A name there as written: many calls per round.
    constexpr int kN = 20000;
    auto exact = [&](auto&& existe) {
      return [&, existe] {
        size_t faux = 0;
        double s = kup::bench::Seconds([&] {
          for (int i = 0; i < kN; ++i)
            if (!existe()) ++faux;
        });
        if (faux) kup::bench::Fail("a name there as written was not found");
        return s / kN;
      };
    };
    auto plancher = exact([&] {
      struct stat st {};
      return ::stat(hoteIci.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
    });
    auto r = kup::bench::Interleave(rounds, exact([&] { return fs.fileExists(ici); }), plancher);
    kup::bench::Report("name as written", taillesTexte, r, "us", 1e6);
    auto avant = kup::bench::Interleave(rounds, exact([&] {
                                          // The mapping before: the text mapped twice, then stat().
                                          if (carte.hostPath(PathText::Parse(ici)).empty()) return false;
                                          struct stat st {};
                                          return ::stat(carte.hostPath(PathText::Parse(ici)).c_str(), &st) == 0 &&
                                                 !S_ISDIR(st.st_mode);
                                        }),
                                        plancher);
    kup::bench::Report("  (mapping before)", taillesTexte, avant, "us", 1e6);

    // Another case, a missing name: a walk of the folder each.
    const int n = taille >= 10000 ? 20 : taille >= 1000 ? 200 : 2000;
    auto parcours = [&](auto&& f, bool attendu, const char* quoi) {
      return [&, f, attendu, quoi] {
        size_t faux = 0;
        double s = kup::bench::Seconds([&] {
          for (int i = 0; i < n; ++i)
            if (f() != attendu) ++faux;
        });
        if (faux) kup::bench::Fail(quoi);
        return s / n;
      };
    };
    const std::string nomAutreCasse = Majuscules(Nom(taille / 2));
    r = kup::bench::Interleave(rounds, parcours([&] { return fs.fileExists(autreCasse); }, true, "another case not found"),
                               parcours([&] { return Cherche(hote, nomAutreCasse); }, true, "floor: not found"));
    kup::bench::Report("name in another case", taillesTexte, r, "us", 1e6);
    r = kup::bench::Interleave(rounds, parcours([&] { return fs.fileExists(absent); }, false, "a missing name found"),
                               parcours([&] { return Cherche(hote, "Absent.ods"); }, false, "floor: found"));
    kup::bench::Report("missing name", taillesTexte, r, "us", 1e6);

    // The listing.
    r = kup::bench::Interleave(
        rounds, parcours([&] { return fs.listFiles(texte).size() == size_t(taille); }, true, "listing incomplete"),
        parcours([&] { return Compte(hote) == size_t(taille); }, true, "floor: listing incomplete"));
    kup::bench::Report("listing", taillesTexte, r, "us", 1e6);
  }
  std::error_code ec;
  std::filesystem::remove_all(racine, ec);
  return 0;
}
