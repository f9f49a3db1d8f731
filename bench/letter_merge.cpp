// Letter merge on LibreOffice (editor type 4), against two floors measured
// in the same run, each pass paired with a floor pass made just before it:
//
//   BM_ColdLetter   the first letter of a container: a new office started,
//                   the template opened, 10 bookmarks and 20 merge fields
//                   filled, the letter saved; against a bare office
//                   conversion of the same template (soffice --convert-to,
//                   start to exit). Both start from a fresh profile.
//   BM_WarmLetter   the same letter from a warm office; against the same
//                   template only opened and saved again by that office.
//
// Each reports the medians of both sides and their ratio. Every letter is
// read back (outside the timed part) and must hold every value.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#ifndef KUP_WITH_LIBREOFFICE
// Built without the LibreOffice twins: nothing to measure.
BENCHMARK_MAIN();
#else

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Floor.h"
#include "core/App.h"
#include "vb/VbString.h"
#include "office/ApCourrier.h"
#include "office/lo/LibreOffice.h"
#include "platform/FakePlatform.h"
#include "platform/RealFileSystem.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// An application on fakes with a real drive C: (TEMP = C:\Temp), its word
// processor on the given office.
std::unique_ptr<kup::App> MakeApp(const std::string& dir, std::shared_ptr<kup::lo::Office> office) {
  kup::Platform p = kup::platform::MakeFakePlatform();
  kup::platform::DriveMap map;
  map.drives['C'] = dir + "/c";
  map.driveRoot = dir + "/drives";
  map.uncRoot = dir + "/unc";
  p.fs = std::make_unique<kup::platform::RealFileSystem>(map);
  auto app = std::make_unique<kup::App>(std::move(p));
  auto& w = kup::G_Courrier(*app);
  w.setTypeEditeur(4);
  w.twinFactory = kup::lo::LibreOfficeWordTwinFactory(std::move(office));
  return app;
}

struct Bench {
  std::string dir;
  std::vector<std::string> values, bookmarkValues;
  std::string failure;  // why a letter did not hold its values

  Bench() {
    char tmpl[] = "/tmp/kup-bench-XXXXXX";
    dir = ::mkdtemp(tmpl);
    std::filesystem::create_directories(dir + "/c/Temp");
    std::filesystem::create_directories(dir + "/conv");
    for (int i = 0; i < 20; ++i) values.push_back("Valeur numéro " + std::to_string(i));
    for (int i = 0; i < 10; ++i) bookmarkValues.push_back("Signet rempli " + std::to_string(i));

    // A one-page letter: 20 merge fields, 10 bookmarks, some prose; made
    // into a template by an office of its own, ended before any measure.
    std::string body;
    for (int i = 0; i < 20; ++i)
      body += "\\pard Rubrique " + std::to_string(i) + " : {\\field{\\*\\fldinst{ MERGEFIELD CHAMP_" + std::to_string(i) +
              " }}{\\fldrslt {\\'abCHAMP_" + std::to_string(i) + "\\'bb}}} suivie d'un texte ordinaire.\\par\n";
    for (int i = 0; i < 10; ++i)
      body += "\\pard Signet {\\*\\bkmkstart SIGNET_" + std::to_string(i) + "}valeur{\\*\\bkmkend SIGNET_" +
              std::to_string(i) + "} de la lettre.\\par\n";
    std::ofstream(dir + "/c/Temp/source.rtf") << "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\n" << body << "}";
    auto office = std::make_shared<kup::lo::Office>();
    auto app = MakeApp(dir, office);
    auto& w = kup::G_Courrier(*app);
    w.OpenEditor();
    w.OpenDocument("C:\\Temp\\source.rtf");
    w.twin()->saveAsTemplate("C:\\Temp\\lettre.ott");
    w.CloseDocument(true);
    app.reset();
    office->shutdown();
  }
  ~Bench() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // The letter: template opened, bookmarks and fields filled, saved.
  void merge(kup::ApCourrier& w) {
    w.OpenDocument("C:\\Temp\\lettre.ott");
    w.FindMergeFields(false);
    w.FindBookMarks();
    w.BookMarksValues = bookmarkValues;
    w.MergeFieldsValues = values;
    w.InsertBookMarksValues();
    w.MailMerge();
    w.twin()->saveAs("C:\\Temp\\lettre.odt");
    w.CloseDocument(true);
  }

  // The floor of a warm letter: the same template opened and saved again.
  static double loadStore(kup::ApCourrier& w) {
    auto t0 = Clock::now();
    w.OpenDocument("C:\\Temp\\lettre.ott");
    w.twin()->saveAs("C:\\Temp\\floor.odt");
    w.CloseDocument(true);
    return MsSince(t0);
  }

  // The saved letter, read back as text by the office, holds every value.
  bool holdsValues(kup::ApCourrier& w) {
    std::string text = dir + "/c/Temp/lettre.txt";
    std::filesystem::remove(text);
    w.OpenDocument("C:\\Temp\\lettre.odt");
    w.twin()->saveAs("C:\\Temp\\lettre.txt");
    w.CloseDocument(true);
    std::ifstream in(text, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    for (const auto* list : {&values, &bookmarkValues})
      for (const auto& v : *list)
        if (all.find(v) == std::string::npos) {
          failure = "the letter lacks \"" + v + "\"";
          return false;
        }
    if (w.MergeFields.size() != 20 || w.BookMarks.size() != 10) {
      failure = "the template lost its fields or bookmarks";
      return false;
    }
    return true;
  }

  // A bare office conversion of the template: start, load, store, exit,
  // from a profile of its own made for it.
  double conversion() {
    std::string profile = dir + "/profile-conv";
    std::filesystem::remove_all(profile);
    std::vector<std::string> args = {"/usr/lib/libreoffice/program/soffice",
                                     "--headless",
                                     "--invisible",
                                     "--norestore",
                                     "--nologo",
                                     "-env:UserInstallation=file://" + profile,
                                     "--convert-to",
                                     "odt",
                                     "--outdir",
                                     dir + "/conv",
                                     dir + "/c/Temp/lettre.ott"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    auto t0 = Clock::now();
    pid_t pid = 0;
    int status = 0;
    bool ok = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0 &&
              ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    double ms = MsSince(t0);
    posix_spawn_file_actions_destroy(&fa);
    if (!ok || !std::filesystem::exists(dir + "/conv/lettre.odt")) failure = "the bare conversion failed";
    std::filesystem::remove(dir + "/conv/lettre.odt");
    std::filesystem::remove_all(profile);
    return ms;
  }
};

Bench& Shared() {
  static Bench b;
  return b;
}

void Report(benchmark::State& state, const std::vector<double>& ms, const std::vector<double>& floor) {
  double m = kup::bench::Median(ms), f = kup::bench::Median(floor);
  state.counters["median_ms"] = m;
  state.counters["floor_median_ms"] = f;
  if (f > 0) state.counters["ratio_to_floor"] = m / f;
}

// The cold letter: the office is started inside the timed part; its end
// (and the check of the letter) is not timed.
void BM_ColdLetter(benchmark::State& state) {
  Bench& b = Shared();
  std::vector<double> ms, floor;
  for (auto _ : state) {
    floor.push_back(b.conversion());
    auto office = std::make_shared<kup::lo::Office>();
    auto app = MakeApp(b.dir, office);
    auto& w = kup::G_Courrier(*app);
    auto t0 = Clock::now();
    w.OpenEditor();
    b.merge(w);
    ms.push_back(MsSince(t0));
    state.SetIterationTime(ms.back() / 1000);
    bool holds = b.holdsValues(w);
    app.reset();
    office->shutdown();
    if (!holds || !b.failure.empty()) {
      state.SkipWithError(b.failure.c_str());
      return;
    }
  }
  Report(state, ms, floor);
}

void BM_WarmLetter(benchmark::State& state) {
  Bench& b = Shared();
  auto office = std::make_shared<kup::lo::Office>();
  auto app = MakeApp(b.dir, office);
  auto& w = kup::G_Courrier(*app);
  w.OpenEditor();
  Bench::loadStore(w);  // warm: the office has opened this template once
  std::vector<double> ms, floor;
  for (auto _ : state) {
    floor.push_back(Bench::loadStore(w));
    auto t0 = Clock::now();
    b.merge(w);
    ms.push_back(MsSince(t0));
    state.SetIterationTime(ms.back() / 1000);
    state.PauseTiming();
    bool holds = b.holdsValues(w);
    state.ResumeTiming();
    if (!holds) {
      state.SkipWithError(b.failure.c_str());
      break;
    }
  }
  Report(state, ms, floor);
  state.counters["letters_per_s"] = kup::bench::Median(ms) > 0 ? 1000.0 / kup::bench::Median(ms) : 0;
  app.reset();
  office->shutdown();
}

}  // namespace

BENCHMARK(BM_ColdLetter)->Unit(benchmark::kMillisecond)->Iterations(7)->UseManualTime();
BENCHMARK(BM_WarmLetter)->Unit(benchmark::kMillisecond)->Iterations(40)->UseManualTime();

BENCHMARK_MAIN();

#endif  // KUP_WITH_LIBREOFFICE
