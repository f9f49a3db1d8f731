#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "vb/VbError.h"
#include "vb/VbString.h"
#include "platform/FakeEnvironment.h"
#include "platform/FakeRandom.h"
#include "platform/RealEnvironment.h"
#include "platform/RealFileSystem.h"
#include "platform/RealLog.h"
#include "tests/platform/TempDir.h"

using namespace kup::platform;

TEST(Environment, TempProgramAndCurrentFolders) {
  TempDir dir;
  RealFileSystem fs(DriveMap{{{'C', dir.path}}, dir.path, dir.path});
  RealEnvironment env(&fs);
  std::string savedTemp = env.get("TEMP");
  env.set("TEMP", "C:\\Temp\\");
  EXPECT_EQ(env.tempFolder(), "C:\\Temp");
  ::unsetenv("TEMP");
  EXPECT_EQ(env.tempFolder(), std::filesystem::temp_directory_path().string().substr(0, env.tempFolder().size()));
  EXPECT_NE(env.tempFolder().back(), '/');
  // A folder whose name is not UTF-8 comes as a text that leads back to it.
  ::mkdir((dir / "t\xFF").c_str(), 0755);
  ::setenv("TEMP", (dir / "t\xFF").c_str(), 1);
  EXPECT_EQ(kup::SanitizeUtf8(env.tempFolder()), env.tempFolder());
  EXPECT_TRUE(fs.folderExists(env.tempFolder()));
  ::unsetenv("TEMP");
  if (!savedTemp.empty()) env.set("TEMP", savedTemp);

  EXPECT_EQ(std::filesystem::canonical(env.programFolder()), std::filesystem::canonical(KUP_PROGRAM_DIR));

  std::string saved = env.currentFolder();
  ::mkdir((dir / "sub").c_str(), 0755);
  env.setCurrentFolder("C:\\sub");
  EXPECT_EQ(std::filesystem::canonical(env.currentFolder()), std::filesystem::canonical(dir / "sub"));
  EXPECT_THROW(env.setCurrentFolder("C:\\absent"), kup::VbError);
  env.setCurrentFolder(saved);

  std::string savedPath = env.get("PATH");
  env.set("PATH", "C:\\Korvane;" + savedPath);
  EXPECT_EQ(env.get("PATH"), dir / "Korvane:" + savedPath);
  env.set("PATH", savedPath);
  EXPECT_EQ(env.get("PATH"), savedPath);

  uint32_t a = env.tickCount();
  usleep(20000);
  EXPECT_GE(env.tickCount() - a, 15u);
  EXPECT_NEAR(static_cast<double>(env.now()), static_cast<double>(std::time(nullptr)), 2);

  FakeEnvironment fake;
  fake.set("temp", "D:\\T\\");
  EXPECT_EQ(fake.get("TEMP"), "D:\\T\\");
  EXPECT_EQ(fake.tempFolder(), "D:\\T");
}

TEST(Random, UniformAndReseedingWithinOneTickDiffers) {
  RealRandom r;
  std::set<long> names;
  for (int i = 0; i < 1000; ++i) {
    r.randomize();  // as a temporary name does, many times in one clock tick
    double v = r.rnd();
    ASSERT_GE(v, 0.0);
    ASSERT_LT(v, 1.0);
    names.insert(static_cast<long>(1000000 * v + 1));
  }
  EXPECT_GT(names.size(), 990u);

  FakeRandom f;
  f.script = {0.5, 0.25};
  EXPECT_EQ(f.rnd(), 0.5);
  EXPECT_EQ(f.rnd(), 0.25);
  double a = f.rnd(), b = f.rnd();
  EXPECT_NE(a, b);
  EXPECT_LT(a, 1.0);
}

// The log may hold what the users did: a new log file is private.
TEST(Log, TheLogFileIsPrivateAndAppended) {
  TempDir dir;
  mode_t old = ::umask(022);
  {
    RealLog log(dir / "korvane.log");
    log.write("core", "une");
  }
  RealLog(dir / "korvane.log").write("data", "deux");
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat((dir / "korvane.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(dir.read("korvane.log"), "core: une\ndata: deux\n");
  // One left readable by an earlier version is made private when opened.
  ASSERT_EQ(::chmod((dir / "korvane.log").c_str(), 0644), 0);
  RealLog(dir / "korvane.log").write("data", "trois");
  ASSERT_EQ(::stat((dir / "korvane.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // A link at the log's name in a shared sticky folder: followed only when
  // it is ours, and a file reached through it keeps its mode.
  if (::geteuid() != 0) GTEST_SKIP() << "a link of another user needs root to plant";
  ASSERT_EQ(::chmod(dir.path.c_str(), 01777), 0);
  for (auto [owner, followed] : {std::pair{65534u, false}, std::pair{0u, true}}) {
    SCOPED_TRACE(owner);
    dir.write("cible", "à moi\n");
    ASSERT_EQ(::chmod((dir / "cible").c_str(), 0644), 0);
    ::unlink((dir / "lien.log").c_str());
    ASSERT_EQ(::symlink((dir / "cible").c_str(), (dir / "lien.log").c_str()), 0);
    ASSERT_EQ(::lchown((dir / "lien.log").c_str(), owner, owner), 0);
    RealLog(dir / "lien.log").write("core", "quatre");
    EXPECT_EQ(dir.read("cible"), followed ? "à moi\ncore: quatre\n" : "à moi\n");
    ASSERT_EQ(::stat((dir / "cible").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
  }
}
