#pragma once
// Shared by the letter, cache, file-opener and HTML tests: reading the reply
// XML and the calls into the player, and an attachment library entry that
// writes into the test's in-memory file system.
#include <ctime>
#include <string>
#include <vector>

#include "core/Core.h"
#include "vb/VbString.h"
#include "platform/FakeFileSystem.h"
#include "tests/TestApp.h"

namespace courrier_test {

// The values of a reply XML or of a call into the player, in order.
inline std::vector<std::string> Valeurs(const std::string& xml) {
  std::vector<std::string> out;
  size_t pos = 0;
  while ((pos = xml.find("<string>", pos)) != std::string::npos) {
    pos += 8;
    size_t fin = xml.find("</string>", pos);
    if (fin == std::string::npos) break;
    out.push_back(kup::Replace(kup::Replace(kup::Replace(xml.substr(pos, fin - pos), "&lt;", "<"), "&gt;", ">"), "&amp;", "&"));
    pos = fin + 9;
  }
  return out;
}

// The calls KUP_ErreurContainer made during the test: [source, number, description] each.
inline std::vector<std::vector<std::string>> Erreurs(const TestApp& t) {
  std::vector<std::vector<std::string>> out;
  for (auto& c : t.flash.calls)
    if (c.find("\"KUP_ErreurContainer\"") != std::string::npos) out.push_back(Valeurs(c));
  return out;
}

// chaineBase64VersFichier of the attachment library, writing into the file
// system of the running test.
inline kup::platform::FakeFileSystem*& FsCourant() {
  static kup::platform::FakeFileSystem* fs = nullptr;
  return fs;
}
inline int32_t FauxChaineBase64VersFichier(const char* texte, const char* chemin, int32_t) {
  try {
    FsCourant()->writeFile(kup::FromCp1252(chemin), kup::decodeBase64(texte));
    return 1;
  } catch (...) {
    return 0;
  }
}
inline void InstallerBibliotheque(TestApp& t) {
  FsCourant() = &t.fs;
  t.libraries.add("AttacheFichier.dll", "chaineBase64VersFichier", &FauxChaineBase64VersFichier);
}

// A local date and time as the file system keeps it.
inline std::time_t Local(int y, int mo, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

// A Flex request of string values (the command name first).
inline std::string Requete(const std::vector<std::string>& values) {
  std::string s = "<invoke name=\"sGetFlashXML\" returntype=\"xml\"><arguments><array>";
  for (size_t i = 0; i < values.size(); ++i)
    s += "<property id=\"" + std::to_string(i) + "\"><string>" + values[i] + "</string></property>";
  return s + "</array></arguments></invoke>";
}

}  // namespace courrier_test
