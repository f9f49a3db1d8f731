// A warm letter merge on LibreOffice (editor type 4): open the template as a
// new document, fill 10 bookmarks and 20 merge fields, save the letter,
// close it. Against it, the floor of any merge: the same template only
// opened and stored again by the same warm office. Both report their median
// per letter; the merge reports its ratio to the floor.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#ifndef KUP_WITH_LIBREOFFICE
// Built without the LibreOffice twins: nothing to measure.
BENCHMARK_MAIN();
#else

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "vb/VbString.h"
#include "office/ApCourrier.h"
#include "office/lo/LibreOffice.h"
#include "platform/FakePlatform.h"
#include "platform/RealFileSystem.h"

namespace {

struct Bench {
  std::string dir;
  std::unique_ptr<kup::App> app;
  std::shared_ptr<kup::lo::Office> office = std::make_shared<kup::lo::Office>();
  std::vector<std::string> values;
  std::vector<std::string> bookmarkValues;

  Bench() {
    char tmpl[] = "/tmp/kup-bench-XXXXXX";
    dir = ::mkdtemp(tmpl);
    std::filesystem::create_directories(dir + "/c/Temp");
    kup::Platform p = kup::platform::MakeFakePlatform();
    kup::platform::DriveMap map;
    map.drives['C'] = dir + "/c";
    map.driveRoot = dir + "/drives";
    map.uncRoot = dir + "/unc";
    p.fs = std::make_unique<kup::platform::RealFileSystem>(map);
    app = std::make_unique<kup::App>(std::move(p));
    auto& w = kup::G_Courrier(*app);
    w.setTypeEditeur(4);
    w.twinFactory = kup::lo::LibreOfficeWordTwinFactory(office);
    w.OpenEditor();

    // A one-page letter: 20 merge fields, 10 bookmarks, some prose.
    std::string body;
    for (int i = 0; i < 20; ++i)
      body += "\\pard Rubrique " + std::to_string(i) + " : {\\field{\\*\\fldinst{ MERGEFIELD CHAMP_" + std::to_string(i) +
              " }}{\\fldrslt {\\'abCHAMP_" + std::to_string(i) + "\\'bb}}} suivie d'un texte ordinaire.\\par\n";
    for (int i = 0; i < 10; ++i)
      body += "\\pard Signet {\\*\\bkmkstart SIGNET_" + std::to_string(i) + "}valeur{\\*\\bkmkend SIGNET_" +
              std::to_string(i) + "} de la lettre.\\par\n";
    std::ofstream(dir + "/c/Temp/source.rtf") << "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times New Roman;}}\n" << body << "}";
    w.OpenDocument("C:\\Temp\\source.rtf");
    w.twin()->saveAsTemplate("C:\\Temp\\lettre.ott");
    w.CloseDocument(true);
    for (int i = 0; i < 20; ++i) values.push_back("Valeur numéro " + std::to_string(i));
    for (int i = 0; i < 10; ++i) bookmarkValues.push_back("Signet rempli " + std::to_string(i));
  }
  ~Bench() {
    app.reset();
    office->shutdown();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Bench& Shared() {
  static Bench b;
  return b;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double LoadStore(kup::ApCourrier& w) {
  auto t0 = std::chrono::steady_clock::now();
  w.OpenDocument("C:\\Temp\\lettre.ott");
  w.twin()->saveAs("C:\\Temp\\floor.odt");
  w.CloseDocument(true);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

double Merge(Bench& b, kup::ApCourrier& w) {
  auto t0 = std::chrono::steady_clock::now();
  w.OpenDocument("C:\\Temp\\lettre.ott");
  w.FindMergeFields(false);
  w.FindBookMarks();
  w.BookMarksValues = b.bookmarkValues;
  w.MergeFieldsValues = b.values;
  w.InsertBookMarksValues();
  w.MailMerge();
  w.twin()->saveAs("C:\\Temp\\lettre.odt");
  w.CloseDocument(true);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void BM_LoadStoreFloor(benchmark::State& state) {
  Bench& b = Shared();
  auto& w = kup::G_Courrier(*b.app);
  std::vector<double> ms;
  for (auto _ : state) {
    ms.push_back(LoadStore(w));
    state.SetIterationTime(ms.back() / 1000);
  }
  state.counters["median_ms"] = Median(ms);
}

// Each letter is paired with a floor pass made just before it, so that the
// ratio compares the two under the same load of the machine.
void BM_WarmLetterMerge(benchmark::State& state) {
  Bench& b = Shared();
  auto& w = kup::G_Courrier(*b.app);
  std::vector<double> ms, floor;
  for (auto _ : state) {
    floor.push_back(LoadStore(w));
    ms.push_back(Merge(b, w));
    state.SetIterationTime(ms.back() / 1000);
  }
  if (w.MergeFields.size() != 20 || w.BookMarks.size() != 10) state.SkipWithError("template not as expected");
  double m = Median(ms), f = Median(floor);
  state.counters["median_ms"] = m;
  state.counters["letters_per_s"] = m > 0 ? 1000.0 / m : 0;
  state.counters["floor_median_ms"] = f;
  if (f > 0) state.counters["ratio_to_floor"] = m / f;
}

}  // namespace

BENCHMARK(BM_LoadStoreFloor)->Unit(benchmark::kMillisecond)->Iterations(60)->UseManualTime();
BENCHMARK(BM_WarmLetterMerge)->Unit(benchmark::kMillisecond)->Iterations(60)->UseManualTime();

BENCHMARK_MAIN();

#endif  // KUP_WITH_LIBREOFFICE
