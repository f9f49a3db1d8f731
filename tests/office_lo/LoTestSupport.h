#pragma once
// Integration tests against a real LibreOffice. One office serves every test
// of the process (started on first use, ended by the test environment); each
// test builds its own application object: fakes everywhere except the file
// system, which is the real one with drive C: in a scratch folder, so that
// the office reads and writes the files the test sees.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "core/App.h"
#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "office/ApCourrier.h"
#include "office/ApTableur.h"
#include "office/lo/LibreOffice.h"
#include "platform/FakePlatform.h"
#include "platform/RealFileSystem.h"

namespace lotest {

// The office shared by the tests of this process.
std::shared_ptr<kup::lo::Office>& SharedOffice();

struct ScratchDir {
  std::string path;
  ScratchDir() {
    char tmpl[] = "/tmp/kup-lo-test-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

// An application on fakes with a real drive C: and TEMP = C:\Temp.
struct LoApp {
  ScratchDir dir;
  kup::platform::FakePlatform fakes;
  std::unique_ptr<kup::App> owned;
  kup::App& app;

  explicit LoApp(int editorType = 4, std::shared_ptr<kup::lo::Office> office = SharedOffice())
      : owned(Make(dir, fakes)), app(*owned) {
    std::filesystem::create_directories(dir.path + "/c/Temp");
    std::filesystem::create_directories(dir.path + "/c/Modeles");
    app.G_TypeEditeur = editorType;
    auto& w = kup::G_Courrier(app);
    w.setTypeEditeur(editorType);
    w.twinFactory = kup::lo::LibreOfficeWordTwinFactory(office);
    auto& c = kup::G_Tableur(app);
    c.setTypeEditeur(editorType);
    c.twinFactory = kup::lo::LibreOfficeCalcTwinFactory(office);
  }

  static std::unique_ptr<kup::App> Make(const ScratchDir& d, kup::platform::FakePlatform& f) {
    kup::Platform p = kup::platform::MakeFakePlatform(&f);
    kup::platform::DriveMap map;
    map.drives['C'] = d.path + "/c";
    map.driveRoot = d.path + "/drives";
    map.uncRoot = d.path + "/unc";
    p.fs = std::make_unique<kup::platform::RealFileSystem>(map);
    f.fs = nullptr;  // the fake was replaced
    return std::make_unique<kup::App>(std::move(p));
  }

  kup::ApCourrier& word() { return kup::G_Courrier(app); }
  kup::ApTableur& calc() { return kup::G_Tableur(app); }
  kup::IWordTwin& wtwin() { return *word().twin(); }
  kup::platform::IClipboard& clipboard() { return *app.pf.clipboard; }
  kup::ICalcTwin& ctwin() { return *calc().twin(); }

  std::string host(const std::string& windowsPath) { return app.fs().hostPath(windowsPath); }
  void put(const std::string& windowsPath, const std::string& bytes) {
    std::string h = host(windowsPath);
    std::filesystem::create_directories(std::filesystem::path(h).parent_path());
    std::ofstream(h, std::ios::binary) << bytes;
  }
  std::string read(const std::string& windowsPath) {
    std::ifstream in(host(windowsPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The errors the drivers reported, as "source|number|description".
  std::vector<std::string> errors() {
    std::vector<std::string> out;
    for (const auto& c : fakes.flash->calls)
      if (c.find("KUP_ErreurContainer") != std::string::npos) out.push_back(c);
    return out;
  }
  // The document's text as the word processor writes it to a text file
  // (paragraphs separated by line ends).
  std::string documentText(kup::IWordTwin& w) {
    std::string p = "C:\\Temp\\lecture" + std::to_string(++reads_) + ".txt";
    w.saveAs(p);
    std::string t = kup::Replace(read(p), "\r\n", "\n");
    if (t.rfind("\xEF\xBB\xBF", 0) == 0) t = t.substr(3);
    return t;
  }

 private:
  int reads_ = 0;
};

// An RTF text with the given body (paragraphs written with \par).
inline std::string Rtf(const std::string& body) {
  return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Times New Roman;}}\n" + body + "\n}";
}
inline std::string MergeField(const std::string& name) {
  return "{\\field{\\*\\fldinst{ MERGEFIELD " + name + " }}{\\fldrslt {\\'ab" + name + "\\'bb}}}";
}
inline std::string Bookmark(const std::string& name, const std::string& content) {
  return "{\\*\\bkmkstart " + name + "}" + content + "{\\*\\bkmkend " + name + "}";
}

// The letter template of the tests: two merge fields (one used twice), a
// text bookmark and an empty RTF bookmark.
inline std::string LetterRtf() {
  return Rtf("\\pard Objet : " + MergeField("NOM_DEMANDEUR") + " et " + MergeField("ADRESSE") + "\\par\n" +
             "\\pard Signet : " + Bookmark("SIGNET_UN", "valeur un") + " fin\\par\n" + "\\pard Encore " +
             MergeField("NOM_DEMANDEUR") + " et " + Bookmark("S_RTF_CORPS", "") + ".\\par\n" +
             "\\pard Dernier paragraphe\\par");
}

// A member of a zipped document (content.xml, styles.xml), "" when missing.
inline std::string ZipMember(const std::string& hostPath, const std::string& member) {
  std::string out;
  if (FILE* p = ::popen(("unzip -p '" + hostPath + "' '" + member + "' 2>/dev/null").c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = ::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

inline bool ProcessGone(long pid) {
  return pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

// The office process is gone (reaped, not a zombie).
inline bool Reaped(long pid) { return !std::filesystem::exists("/proc/" + std::to_string(pid)); }

// Stops the process and waits until it is seen stopped (the signal is
// delivered asynchronously).
inline void Freeze(long pid) {
  ::kill(static_cast<pid_t>(pid), SIGSTOP);
  for (int i = 0; i < 500; ++i) {
    std::ifstream st("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(st)), {});
    auto close = all.rfind(')');
    if (close != std::string::npos && close + 2 < all.size() && all[close + 2] == 'T') return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace lotest
