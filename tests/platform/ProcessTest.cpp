#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/FakeLog.h"
#include "platform/RealFileSystem.h"
#include "platform/RealProcessLauncher.h"
#include "platform/RealShell.h"
#include "tests/platform/TempDir.h"

using namespace kup::platform;
using namespace std::chrono;

namespace {

bool Gone(long pid) { return !std::filesystem::exists("/proc/" + std::to_string(pid)); }

bool WaitFor(const std::function<bool()>& cond, int ms = 5000) {
  auto end = steady_clock::now() + milliseconds(ms);
  while (steady_clock::now() < end) {
    if (cond()) return true;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return cond();
}

void Script(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  ::chmod(path.c_str(), 0755);
}

}  // namespace

TEST(Processes, StartWaitExitCodesAndReaping) {
  RealProcessLauncher p(nullptr, nullptr, 100);
  long t = p.start({"/bin/true"});
  ASSERT_GT(t, 0);
  int code = -1;
  EXPECT_TRUE(p.waitForExit(t, 5000, &code));
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(p.isRunning(t));
  EXPECT_TRUE(WaitFor([&] { return Gone(t); }));  // reaped, no zombie left

  long f = p.start({"false"});  // bare name found on PATH
  ASSERT_GT(f, 0);
  EXPECT_TRUE(p.waitForExit(f, -1, &code));
  EXPECT_EQ(code, 1);

  // Nobody waits: it is reaped all the same.
  long q = p.start({"/bin/true"});
  ASSERT_GT(q, 0);
  EXPECT_TRUE(WaitFor([&] { return Gone(q); }));

  EXPECT_EQ(p.start({"/no/such/program"}), 0);
  EXPECT_EQ(p.start({}), 0);
  EXPECT_EQ(p.start({"/bin/true"}, "/no/such/folder"), 0);
}

TEST(Processes, SettleTimeOutAndKill) {
  RealProcessLauncher p(nullptr, nullptr, 100);
  long s = p.start({"/bin/sleep", "30"});
  ASSERT_GT(s, 0);
  auto t0 = steady_clock::now();
  EXPECT_TRUE(p.waitForInputIdle(s, -1));  // alive after the settle time
  EXPECT_LT(steady_clock::now() - t0, seconds(2));
  EXPECT_FALSE(p.waitForExit(s, 50));
  EXPECT_TRUE(p.isRunning(s));
  p.kill(s);
  int code = 0;
  EXPECT_TRUE(p.waitForExit(s, 5000, &code));
  EXPECT_EQ(code, 128 + SIGKILL);
  EXPECT_TRUE(WaitFor([&] { return Gone(s); }));
  p.kill(s);  // ended: nothing happens

  long e = p.start({"/bin/true"});
  EXPECT_FALSE(p.waitForInputIdle(e, 2000) && p.isRunning(e));
  EXPECT_FALSE(p.waitForInputIdle(999999, 10));
}

TEST(Processes, WindowsProgramNamesWorkingFolderAndOutput) {
  TempDir dir;
  RealFileSystem fs(DriveMap{{{'C', dir.path}}, dir.path, dir.path});
  Script(dir / "AttacheLigneCommande", "pwd > where.txt; printf '%s|' \"$@\" > args.txt; echo out");
  Script(dir / "appelMSS.sh", "echo batch > batch.txt");
  ::mkdir((dir / "work").c_str(), 0755);
  RealProcessLauncher p(&fs, nullptr, 50);

  long a = p.start({"C:\\AttacheLigneCommande.exe", "un deux", "x\"y"}, "C:\\work");
  ASSERT_GT(a, 0);
  EXPECT_TRUE(p.waitForExit(a, 5000));
  EXPECT_EQ(dir.read("work/args.txt"), "un deux|x\"y|");
  EXPECT_EQ(dir.read("work/where.txt"), dir / "work\n");

  long b = p.start({"C:/appelMSS.bat"}, "C:\\");
  ASSERT_GT(b, 0);
  EXPECT_TRUE(p.waitForExit(b, 5000));
  EXPECT_EQ(dir.read("batch.txt"), "batch\n");
  EXPECT_EQ(ResolveProgram(&fs, "C:\\absent.exe"), "");
}

TEST(Shell, OpenPrintProgramsAndFailures) {
  TempDir dir;
  RealFileSystem fs(DriveMap{{{'C', dir.path}}, dir.path, dir.path});
  FakeLog log;
  RealShell shell(&fs, &log);
  Script(dir / "opener", "printf '%s' \"$1\" > \"$(dirname \"$0\")/opened.txt\"");
  Script(dir / "printer", "printf '%s' \"$1\" > \"$(dirname \"$0\")/printed.txt\"");
  Script(dir / "prog", "printf '%s|' \"$@\" > args.txt");
  dir.write("doc.odt", "x");
  shell.openTool = dir / "opener";
  shell.printTool = dir / "printer";

  EXPECT_EQ(shell.execute(1, "open", "C:\\doc.odt", "", "", 1), 42);
  EXPECT_TRUE(WaitFor([&] { return dir.read("opened.txt") == dir / "doc.odt"; }));
  EXPECT_EQ(shell.execute(1, "print", "C:\\doc.odt", "", "", 1), 42);
  EXPECT_TRUE(WaitFor([&] { return dir.read("printed.txt") == dir / "doc.odt"; }));
  EXPECT_EQ(shell.execute(1, "open", "https://example.org/carte?x=1&y=2", "", "", 1), 42);
  EXPECT_TRUE(WaitFor([&] { return dir.read("opened.txt") == "https://example.org/carte?x=1&y=2"; }));
  // A Windows program runs itself with the parameters, in the given folder.
  EXPECT_EQ(shell.execute(1, "open", "C:\\prog.exe", "1,2,\"a b\"", "C:\\", 1), 42);
  EXPECT_TRUE(WaitFor([&] { return dir.read("args.txt") == "1,2,a b|"; }));

  EXPECT_EQ(shell.execute(1, "open", "C:\\absent.odt", "", "", 1), 2);
  EXPECT_EQ(shell.execute(1, "open", "C:\\absent.exe", "", "", 1), 2);
  EXPECT_EQ(shell.execute(1, "open", "", "", "", 1), 2);
  EXPECT_EQ(shell.execute(1, "edit", "C:\\doc.odt", "", "", 1), 31);
  EXPECT_EQ(shell.execute(1, "print", "https://example.org", "", "", 1), 31);
  shell.openTool.clear();
  EXPECT_EQ(shell.execute(1, "open", "C:\\doc.odt", "", "", 1), 31);
  EXPECT_FALSE(log.lines("shell").empty());
  EXPECT_FALSE(LooksLikeAddress("C:\\x"));
  EXPECT_TRUE(LooksLikeAddress("mailto:a@b.fr"));
}
