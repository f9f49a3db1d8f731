#include <gtest/gtest.h>

#include "platform/PathText.h"
#include "vb/VbString.h"

using kup::platform::DriveMap;
using kup::platform::PathText;

namespace {
std::string Canon(const std::string& s) { return PathText::Parse(s).text(); }
}  // namespace

TEST(PathText, BothSeparatorsDrivesSharesAndHostPaths) {
  EXPECT_EQ(Canon("C:\\Modeles\\lettre.dot"), "C:\\Modeles\\lettre.dot");
  EXPECT_EQ(Canon("c:/Modeles//lettre.dot"), "C:\\Modeles\\lettre.dot");
  EXPECT_EQ(Canon("C:\\Modeles\\"), "C:\\Modeles");
  EXPECT_EQ(Canon("C:"), "C:\\");
  EXPECT_EQ(Canon("\\\\srv\\partage\\dossier\\a.txt"), "\\\\srv\\partage\\dossier\\a.txt");
  EXPECT_EQ(Canon("//srv/partage/a.txt"), "\\\\srv\\partage\\a.txt");
  EXPECT_EQ(Canon("/tmp/x/y"), "/tmp/x/y");
  EXPECT_EQ(Canon("\\tmp\\x"), "/tmp/x");
  EXPECT_EQ(Canon("a\\b/c"), "a\\b\\c");
  EXPECT_EQ(PathText::Parse("C:\\x").kind, PathText::Kind::Drive);
  EXPECT_EQ(PathText::Parse("/x").kind, PathText::Kind::Host);
  EXPECT_EQ(PathText::Parse("x").kind, PathText::Kind::Relative);
}

TEST(PathText, DotsNeverClimbAboveARoot) {
  EXPECT_EQ(Canon("C:\\a\\.\\b\\..\\c"), "C:\\a\\c");
  EXPECT_EQ(Canon("C:\\..\\..\\Windows"), "C:\\Windows");
  EXPECT_EQ(Canon("/../../etc/passwd"), "/etc/passwd");
  EXPECT_EQ(Canon("\\\\srv\\share\\..\\..\\x"), "\\\\srv\\share\\x");
  EXPECT_EQ(Canon("..\\a"), "..\\a");
  EXPECT_EQ(PathText::Parse("..\\..\\x").under(PathText::Parse("C:\\a\\b\\c")).text(), "C:\\a\\x");
  EXPECT_EQ(PathText::Parse("..\\..\\..\\..\\x").under(PathText::Parse("C:\\a")).text(), "C:\\x");
}

TEST(PathText, DriveMapConfigurationAndHostPaths) {
  auto drives = DriveMap::ParseDrives(" C=/srv/c/ ; d:=/mnt/d;bad;=x;EE=/no;F=");
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(drives['C'], "/srv/c");
  EXPECT_EQ(drives['D'], "/mnt/d");

  DriveMap map{drives, "/home/u/.korvane/drives", "/home/u/.korvane/unc"};
  EXPECT_EQ(map.hostPath(PathText::Parse("c:\\Modeles\\a.dot")), "/srv/c/Modeles/a.dot");
  EXPECT_EQ(map.hostPath(PathText::Parse("C:\\")), "/srv/c");
  EXPECT_EQ(map.hostPath(PathText::Parse("Z:\\x\\..\\y")), "/home/u/.korvane/drives/z/y");
  EXPECT_EQ(map.hostPath(PathText::Parse("\\\\srv\\docs\\a")), "/home/u/.korvane/unc/srv/docs/a");
  EXPECT_EQ(map.hostPath(PathText::Parse("/var/x")), "/var/x");
  EXPECT_EQ(map.hostPath(PathText::Parse("/")), "/");
  EXPECT_EQ(map.hostPath(PathText::Parse("a\\b")), "a/b");
  EXPECT_EQ(map.hostPath(PathText::Parse(".")), ".");
  // The mapped folder is never left by "..".
  EXPECT_EQ(map.hostPath(PathText::Parse("C:\\..\\..\\etc")), "/srv/c/etc");
  EXPECT_EQ(map.hostPath(PathText::Parse("\\\\..\\..\\etc")), "/home/u/.korvane/unc/etc");
}

TEST(PathText, HostNamesOfAnyBytesGetTextsThatLeadBack) {
  using kup::platform::HostNameToText;
  using kup::platform::TextToHostName;
  const std::vector<std::pair<std::string, std::string>> cas = {
      {"plan.pdf", "plan.pdf"},
      {"caf\xC3\xA9 \xE2\x82\xAC.odt", "caf\xC3\xA9 \xE2\x82\xAC.odt"},
      {"a\xFF.pdf", "a\xEE\xBF\xBF.pdf"},                       // a byte outside any sequence
      {"\xE9t\xE9", "\xEE\xBF\xA9t\xEE\xBF\xA9"},             // Windows-1252 "ete"
      {"x\xC3", "x\xEE\xBF\x83"},                                // a sequence cut short
      {"\xC0\xAF", "\xEE\xBF\x80\xEE\xBE\xAF"},              // over-long "/"
      {"\xED\xA0\x80", "\xEE\xBF\xAD\xEE\xBE\xA0\xEE\xBE\x80"},  // a surrogate
      // A name that truly holds a stand-in character: its bytes stand in too.
      {"\xEE\xBF\xBF", "\xEE\xBF\xAE\xEE\xBE\xBF\xEE\xBE\xBF"},
      // A backslash would split the name: it stands in too, and so does a true U+EF5C.
      {"x\\..\\..\\y", "x\xEE\xBD\x9C..\xEE\xBD\x9C..\xEE\xBD\x9Cy"},
      {"\xEE\xBD\x9C", "\xEE\xBF\xAE\xEE\xBE\xBD\xEE\xBE\x9C"},
      // What XML forbids would be replaced in the reply that lists it: controls
      // and U+FFFE stand in; tab, LF and CR go out as they are.
      {"a\x01\x1F\tb", "a\xEE\xBC\x81\xEE\xBC\x9F\tb"},
      {"\xEF\xBF\xBE", "\xEE\xBF\xAF\xEE\xBE\xBF\xEE\xBE\xBE"},
      {"\xEE\xBC\x81", "\xEE\xBF\xAE\xEE\xBE\xBC\xEE\xBE\x81"},
  };
  for (const auto& [hote, texte] : cas) {
    EXPECT_EQ(HostNameToText(hote), texte) << hote;
    EXPECT_EQ(kup::SanitizeUtf8(texte), texte) << hote;
    // Nothing a reply would replace.
    for (char c : texte) EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') << hote;
    EXPECT_EQ(texte.find("\xEF\xBF\xBE"), std::string::npos) << hote;
    EXPECT_EQ(TextToHostName(texte), hote) << hote;
    DriveMap map{{{'C', "/srv/c"}}, "/d", "/u"};
    EXPECT_EQ(map.hostPath(PathText::Parse("C:\\" + texte + "\\" + texte)), "/srv/c/" + hote + "/" + hote);
    EXPECT_EQ(map.hostPath(PathText::Parse("\\\\" + texte + "\\" + texte)), "/u/" + hote + "/" + hote);
  }
}
