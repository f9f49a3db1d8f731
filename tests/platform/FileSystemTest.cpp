#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "vb/VbError.h"
#include "vb/VbString.h"
#include "platform/FakeFileSystem.h"
#include "platform/FakeLog.h"
#include "platform/RealFileSystem.h"
#include "tests/platform/TempDir.h"

using namespace kup::platform;

namespace {

int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const kup::VbError& e) {
    return e.number();
  }
  return 0;
}

struct RealFs : ::testing::Test {
  TempDir dir;
  TempDir other;
  RealFileSystem fs{DriveMap{{{'C', dir.path}}, other.path, other.path + "/unc"}};
};

}  // namespace

TEST_F(RealFs, MapsDrivesSeparatorsAndHostPaths) {
  dir.write("Modeles/lettre.dot", "abc");
  EXPECT_EQ(fs.hostPath("C:\\Modeles\\lettre.dot"), dir / "Modeles/lettre.dot");
  EXPECT_EQ(fs.readFile("C:\\Modeles\\lettre.dot"), "abc");
  EXPECT_EQ(fs.readFile("c:/Modeles/lettre.dot"), "abc");
  EXPECT_EQ(fs.readFile("C:\\Autre\\..\\Modeles\\.\\lettre.dot"), "abc");
  EXPECT_EQ(fs.readFile(dir / "Modeles/lettre.dot"), "abc");
  // Names read as Windows reads them.
  EXPECT_TRUE(fs.fileExists("C:\\modeles\\lettre.dot"));
  // An unmapped drive and a share live under their roots.
  fs.createFolder("E:\\x");
  EXPECT_TRUE(std::filesystem::is_directory(other / "e/x"));
  fs.createFolder("\\\\srv\\docs\\y");
  EXPECT_TRUE(std::filesystem::is_directory(other / "unc/srv/docs/y"));
}

TEST_F(RealFs, ListsNormalFilesOnlyAndFoldersApart) {
  dir.write("d/b.txt", "1");
  dir.write("d/a.txt", "2");
  dir.write("d/.cache", "3");
  dir.write("d/sub/c.txt", "4");
  ::mkdir((dir / "d/.hidden").c_str(), 0777);
  ::symlink((dir / "d/a.txt").c_str(), (dir / "d/link.txt").c_str());
  auto files = fs.listFiles("C:\\d\\");
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"a.txt", "b.txt", "link.txt"}));
  EXPECT_EQ(fs.listFolders("C:\\d"), std::vector<std::string>{"sub"});
  EXPECT_TRUE(fs.listFiles("C:\\absent").empty());
  EXPECT_TRUE(fs.listFiles("C:\\d\\a.txt").empty());
  EXPECT_TRUE(fs.listFiles("").empty());
  // Listed is not ours to delete: a link is not, nor another user's file.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((dir / "d/b.txt").c_str(), 65534, 65534), 0);
  }
  for (auto [nom, notre] : std::initializer_list<std::pair<const char*, bool>>{
           {"a.txt", true}, {"b.txt", ::geteuid() != 0}, {"link.txt", false}, {"sub", false}, {"absent", false}})
    EXPECT_EQ(fs.isOwnFile(std::string("C:\\d\\") + nom), notre) << nom;
}

TEST_F(RealFs, NamesThatAreNotUtf8AreListedAsTextsThatReachThem) {
  // Windows-1252 "ete" as a folder, a lone byte and a stand-in character as files.
  dir.write("d/\xE9t\xE9/a\xFF.pdf", "ff");
  dir.write("d/\xE9t\xE9/\xEE\xBF\xBF.txt", "efff");
  // A backslash in a name: sent back, it must not climb to d/y.
  dir.write("d/\xE9t\xE9/x\\..\\..\\y", "barre");
  dir.write("d/y", "ailleurs");
  const auto dossiers = fs.listFolders("C:\\d");
  ASSERT_EQ(dossiers.size(), 1u);
  const std::string dossier = "C:\\d\\" + dossiers[0];
  auto noms = fs.listFiles(dossier);
  std::sort(noms.begin(), noms.end());
  ASSERT_EQ(noms.size(), 3u);
  std::vector<std::string> contenus;
  for (const auto& nom : {dossiers[0], noms[0], noms[1], noms[2]}) EXPECT_EQ(kup::SanitizeUtf8(nom), nom);
  for (const auto& nom : noms) {
    EXPECT_TRUE(fs.fileExists(dossier + "\\" + nom)) << nom;
    contenus.push_back(fs.readFile(dossier + "\\" + nom));
  }
  std::sort(contenus.begin(), contenus.end());
  EXPECT_EQ(contenus, (std::vector<std::string>{"barre", "efff", "ff"}));
  fs.writeFile(dossier + "\\" + noms[0], "neuf");
  fs.removeFile(dossier + "\\" + noms[1]);
  fs.removeFile(dossier + "\\" + noms[2]);
  EXPECT_EQ(fs.listFiles(dossier), std::vector<std::string>{noms[0]});
  EXPECT_EQ(dir.read("d/y"), "ailleurs");
}

TEST_F(RealFs, NamesMissingAsWrittenAreFoundWithoutRegardToCase) {
  dir.write("Taxe/taxe/Modele.ods", "m");
  dir.write("Accents/\xC3\x89t\xC3\xA9.txt", "e");  // "Ete" with accents
  dir.write("Deux/a.txt", "petit");
  dir.write("Deux/A.txt", "grand");
  FakeLog log;
  RealFileSystem fs{DriveMap{{{'C', dir.path}}, other.path, other.path + "/unc"}, &log};
  // (text, content; "" when it names no file)
  for (const auto& [texte, contenu] : std::vector<std::pair<std::string, std::string>>{
           {"C:\\Taxe\\Taxe\\modele.ods", "m"},
           {"c:/TAXE/TAXE/MODELE.ODS", "m"},
           {"C:\\accents\\\xC3\xA9T\xC3\x89.TXT", "e"},
           {"C:\\Deux\\a.txt", "petit"},  // there as written: that one
           {"C:\\deux\\A.txt", "grand"},
           {"C:\\Deux\\A.TXT", ""},  // two that differ only in case: as written
           {"C:\\Taxe\\Taxe\\Modele.od", ""},
           {"C:\\Absent\\taxe\\Modele.ods", ""},
       }) {
    EXPECT_EQ(fs.fileExists(texte), !contenu.empty()) << texte;
    if (!contenu.empty()) {
      EXPECT_EQ(fs.readFile(texte), contenu) << texte;
    }
  }
  EXPECT_EQ(log.lines("files").size(), 1u);
  EXPECT_TRUE(fs.folderExists("C:\\TAXE\\TAXE\\"));
  EXPECT_EQ(fs.hostPath("C:\\taxe\\TAXE\\modele.ods"), dir / "Taxe/taxe/Modele.ods");
  EXPECT_EQ(fs.listFiles("C:\\TAXE\\TAXE"), std::vector<std::string>{"Modele.ods"});

  // Written into the file found; new names with the case given.
  fs.writeFile("C:\\taxe\\TAXE\\MODELE.ODS", "n");
  fs.writeFile("C:\\TAXE\\Taxe\\Nouveau.ODS", "o");
  fs.createFolder("C:\\TAXE\\Neuf\\Sous");
  EXPECT_EQ(dir.read("Taxe/taxe/Modele.ods"), "n");
  EXPECT_EQ(dir.read("Taxe/taxe/Nouveau.ODS"), "o");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Taxe/Neuf/Sous"));
  // A rename that changes only the case takes the new case.
  fs.renameFile("C:\\Taxe\\taxe\\nouveau.ods", "C:\\Taxe\\taxe\\NOUVEAU.ods");
  auto noms = fs.listFiles("C:\\taxe\\taxe");
  std::sort(noms.begin(), noms.end());
  EXPECT_EQ(noms, (std::vector<std::string>{"Modele.ods", "NOUVEAU.ods"}));
}

TEST_F(RealFs, ErrorNumbers) {
  dir.write("d/a.txt", "x");
  EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\d\\missing.txt"); }), 53);
  EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\nofolder\\a.txt"); }), 76);
  EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\d\\a.txt\\x"); }), 76);
  EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\d"); }), 75);
  EXPECT_EQ(ErrorOf([&] { fs.readFile(""); }), 75);
  EXPECT_EQ(ErrorOf([&] { fs.writeFile("C:\\nofolder\\a.txt", "x"); }), 76);
  EXPECT_EQ(ErrorOf([&] { fs.writeFile("C:\\d", "x"); }), 75);
  EXPECT_EQ(ErrorOf([&] { fs.removeFile("C:\\d\\missing.txt"); }), 53);
  EXPECT_EQ(ErrorOf([&] { fs.removeFile("C:\\d"); }), 75);
  EXPECT_EQ(ErrorOf([&] { fs.modifiedTime("C:\\d\\missing.txt"); }), 53);
  EXPECT_EQ(ErrorOf([&] { fs.createFolder("C:\\d\\a.txt\\sub"); }), 75);
  dir.write("d/b.txt", "y");
  EXPECT_EQ(ErrorOf([&] { fs.renameFile("C:\\d\\a.txt", "C:\\d\\b.txt"); }), 58);
  EXPECT_EQ(fs.readFile("C:\\d\\b.txt"), "y");
  EXPECT_EQ(ErrorOf([&] { fs.renameFile("C:\\d\\zz.txt", "C:\\d\\c.txt"); }), 53);
  EXPECT_EQ(ErrorOf([&] { fs.copyFile("C:\\d\\zz.txt", "C:\\d\\c.txt"); }), 53);
  EXPECT_EQ(ErrorOf([&] { fs.copyFile("C:\\d\\a.txt", "C:\\none\\c.txt"); }), 76);
  ::mkfifo((dir / "d/pipe").c_str(), 0666);  // would block a plain open
  EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\d\\pipe"); }), 75);
  EXPECT_EQ(ErrorOf([&] { fs.writeFile("C:\\d\\pipe", "x"); }), 75);
  EXPECT_FALSE(fs.fileExists(std::string("C:\\d\\a.txt\0x", 12)));
  EXPECT_EQ(fs.fileSize("C:\\d\\missing.txt"), -1);
  EXPECT_EQ(fs.fileSize("C:\\d"), -1);
  if (::geteuid() != 0) {
    ::chmod((dir / "d/a.txt").c_str(), 0);
    EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\d\\a.txt"); }), 70);
    ::chmod((dir / "d").c_str(), 0555);
    EXPECT_EQ(ErrorOf([&] { fs.writeFile("C:\\d\\new.txt", "x"); }), 70);
    ::chmod((dir / "d").c_str(), 0755);
  } else if (int fd = ::open("/sys/kernel/notes", O_WRONLY); fd < 0 && errno == EACCES) {
    // Root passes every permission bit; the kernel's own files still refuse.
    EXPECT_EQ(ErrorOf([&] { fs.writeFile("/sys/kernel/notes", "x"); }), 70);
  } else if (fd >= 0) {
    ::close(fd);
  }
}

TEST_F(RealFs, BytesRoundTripExactly) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  bytes += std::string(200000, '\0') + "\r\n\x1a";
  fs.createFolder("C:\\a\\b\\c");
  fs.writeFile("C:\\a\\b\\c\\f.bin", bytes);
  EXPECT_EQ(fs.readFile("C:/a/b/c/f.bin"), bytes);
  EXPECT_EQ(fs.fileSize("C:\\a\\b\\c\\f.bin"), static_cast<int64_t>(bytes.size()));
  fs.appendFile("C:\\a\\b\\c\\f.bin", "end");
  EXPECT_EQ(fs.readFile("C:\\a\\b\\c\\f.bin"), bytes + "end");
  fs.writeFile("C:\\a\\b\\c\\f.bin", "short");
  EXPECT_EQ(fs.readFile("C:\\a\\b\\c\\f.bin"), "short");
  fs.copyFile("C:\\a\\b\\c\\f.bin", "C:\\a\\g.bin");
  fs.renameFile("C:\\a\\g.bin", "C:\\a\\b\\h.bin");
  EXPECT_FALSE(fs.fileExists("C:\\a\\g.bin"));
  EXPECT_EQ(fs.readFile("C:\\a\\b\\h.bin"), "short");
  fs.removeFile("C:\\a\\b\\h.bin");
  EXPECT_FALSE(fs.fileExists("C:\\a\\b\\h.bin"));
  EXPECT_TRUE(fs.folderExists("C:\\a\\b"));
  EXPECT_FALSE(fs.fileExists("C:\\a\\b"));
}

TEST_F(RealFs, FileTimesRoundTripAndCopiesKeepThem) {
  dir.write("t.txt", "x");
  const std::time_t when = 1262349296;  // 2010-01-01 12:34:56 UTC
  fs.setModifiedTime("C:\\t.txt", when);
  EXPECT_EQ(fs.modifiedTime("C:\\t.txt"), when);
  fs.copyFile("C:\\t.txt", "C:\\u.txt");
  EXPECT_EQ(fs.modifiedTime("C:\\u.txt"), when);
  EXPECT_THROW(fs.setModifiedTime("C:\\absent.txt", when), kup::VbError);
}

TEST(FakeFs, SameRulesWithoutRegardToCase) {
  FakeFileSystem fs;
  fs.put("C:\\Modeles\\Lettre.DOT", "abc");
  EXPECT_EQ(fs.readFile("c:/modeles/lettre.dot"), "abc");
  EXPECT_EQ(fs.readFile("C:\\X\\..\\Modeles\\.\\lettre.dot"), "abc");
  EXPECT_EQ(fs.listFiles("C:\\MODELES\\"), std::vector<std::string>{"Lettre.DOT"});
  EXPECT_EQ(fs.listFolders("C:\\"), std::vector<std::string>{"Modeles"});
  fs.currentFolder = "C:\\Modeles";
  EXPECT_EQ(fs.readFile("lettre.dot"), "abc");
  EXPECT_EQ(fs.hostPath("C:\\Modeles\\a.txt"), "/fake/drives/c/Modeles/a.txt");

  // Writing under another case keeps the first name.
  fs.writeFile("C:\\modeles\\LETTRE.dot", "new");
  EXPECT_EQ(fs.listFiles("C:\\Modeles"), std::vector<std::string>{"Lettre.DOT"});
  fs.put("C:\\Modeles\\.cache", "h");
  EXPECT_EQ(fs.listFiles("C:\\Modeles").size(), 1u);

  EXPECT_FALSE(fs.fileExists("\\\\"));  // names no share: absent, no error
  EXPECT_EQ(fs.fileSize(""), -1);
  EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\Modeles\\absent"); }), 53);
  EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\Absent\\x"); }), 76);
  EXPECT_EQ(ErrorOf([&] { fs.writeFile("C:\\Absent\\x", ""); }), 76);
  EXPECT_EQ(ErrorOf([&] { fs.renameFile("C:\\Modeles\\lettre.dot", "C:\\Modeles\\.cache"); }), 58);
  fs.renameFile("C:\\Modeles\\lettre.dot", "C:\\Modeles\\Autre.dot");
  EXPECT_TRUE(fs.fileExists("C:\\MODELES\\AUTRE.DOT"));
  EXPECT_FALSE(fs.fileExists("C:\\Modeles\\Lettre.dot"));
}

TEST(FakeFs, InjectedFailuresAndJournal) {
  FakeFileSystem fs;
  fs.put("C:\\T\\a.txt", "x", 100);
  EXPECT_EQ(fs.modifiedTime("C:\\T\\a.txt"), 100);
  fs.fail("c:\\t\\A.TXT", 70, FakeFileSystem::Op::Read);
  EXPECT_EQ(ErrorOf([&] { fs.readFile("C:\\T\\a.txt"); }), 70);
  EXPECT_EQ(ErrorOf([&] { fs.copyFile("C:\\T\\a.txt", "C:\\T\\b.txt"); }), 70);
  fs.writeFile("C:\\T\\a.txt", "y");  // writes still work
  fs.fail("C:\\T\\c.txt", 61, FakeFileSystem::Op::Write);
  EXPECT_EQ(ErrorOf([&] { fs.writeFile("C:\\T\\c.txt", "z"); }), 61);
  EXPECT_FALSE(fs.fileExists("C:\\T\\c.txt"));
  fs.clearFailures();
  EXPECT_EQ(fs.readFile("C:\\T\\a.txt"), "y");
  EXPECT_EQ(fs.journal, std::vector<std::string>{"write C:\\T\\a.txt"});
}

TEST_F(RealFs, NewTempFilesTakeAFreeNameNeverThroughALinkAndStayPrivate) {
  dir.write("T/1.tmp", "autre");
  ::mkdir((dir / "T/2.tmp").c_str(), 0777);
  ::symlink((dir / "victime").c_str(), (dir / "T/3.tmp").c_str());  // leads nowhere yet
  dir.write("cible", "intacte");
  ::symlink((dir / "cible").c_str(), (dir / "T/4.tmp").c_str());
  int n = 0;
  auto tirer = [&] { return "C:\\T\\" + std::to_string(++n) + ".tmp"; };

  const mode_t avant = ::umask(0);  // even a permissive umask leaves the file private
  std::string chemin = fs.createNewTempFile(tirer, 10, "page");
  ::umask(avant);
  EXPECT_EQ(chemin, "C:\\T\\5.tmp");
  EXPECT_EQ(dir.read("T/5.tmp"), "page");
  struct stat st {};
  ASSERT_EQ(::lstat((dir / "T/5.tmp").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(dir.read("T/1.tmp"), "autre");
  EXPECT_FALSE(std::filesystem::exists(dir / "victime"));
  EXPECT_EQ(dir.read("cible"), "intacte");

  // Every name taken: 58 after the tries allowed; a missing folder is no
  // taken name: its own error at once.
  n = 0;
  EXPECT_EQ(ErrorOf([&] { fs.createNewTempFile(tirer, 4, "x"); }), 58);
  EXPECT_EQ(n, 4);
  n = 0;
  EXPECT_EQ(ErrorOf([&] { fs.createNewTempFile([] { return std::string("C:\\Absent\\1.tmp"); }, 4, "x"); }), 76);
}

TEST(FakeFs, NewTempFilesTakeAFreeName) {
  FakeFileSystem fs;
  fs.put("C:\\T\\1.TMP", "autre");
  fs.createFolder("C:\\T\\2.tmp");
  int n = 0;
  auto tirer = [&] { return "C:\\T\\" + std::to_string(++n) + ".tmp"; };
  EXPECT_EQ(fs.createNewTempFile(tirer, 10, "page"), "C:\\T\\3.tmp");
  EXPECT_EQ(fs.readFile("C:\\T\\3.tmp"), "page");
  EXPECT_EQ(fs.readFile("C:\\T\\1.tmp"), "autre");
  EXPECT_EQ(fs.journal.back(), "create C:\\T\\3.tmp");
  n = 0;
  EXPECT_EQ(ErrorOf([&] { fs.createNewTempFile(tirer, 3, "x"); }), 58);
}
