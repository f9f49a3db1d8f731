#include <gtest/gtest.h>
#include <dlfcn.h>
#include <link.h>

#include <cmath>
#include <filesystem>

#include "platform/FakeDynamicLibraries.h"
#include "platform/FakeLog.h"
#include "platform/RealDynamicLibraries.h"
#include "platform/RealFileSystem.h"
#include "tests/platform/TempDir.h"

using namespace kup::platform;

namespace {
// The host path of the maths library, to copy it under Windows-like names.
std::string LibmPath() {
  void* h = dlopen("libm.so.6", RTLD_NOW);
  link_map* lm = nullptr;
  if (!h || dlinfo(h, RTLD_DI_LINKMAP, &lm) != 0 || !lm) return {};
  return lm->l_name;
}

int Answer() { return 42; }
}  // namespace

TEST(Libraries, DllNamesMapToSharedObjectsBesideThem) {
  std::string libm = LibmPath();
  ASSERT_FALSE(libm.empty());
  TempDir dir;
  std::filesystem::create_directories(dir / "a");
  std::filesystem::create_directories(dir / "b");
  std::filesystem::copy_file(libm, dir / "a/Maths.so");
  std::filesystem::copy_file(libm, dir / "b/libCalcul.so");
  RealFileSystem fs(DriveMap{{{'C', dir.path}}, dir.path, dir.path});
  FakeLog log;
  RealDynamicLibraries libs(&fs, &log);

  long h = libs.load("C:\\a\\Maths.DLL");
  ASSERT_NE(h, 0);
  using Fn = double (*)(double);
  auto cosine = reinterpret_cast<Fn>(libs.symbol(h, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(libs.symbol(h, "NoSuchEntry"), nullptr);
  EXPECT_EQ(libs.symbol(h + 100, "cos"), nullptr);

  EXPECT_NE(libs.load("C:/b/Calcul.dll"), 0);
  EXPECT_EQ(libs.load("C:\\b\\Absent.dll"), 0);
  EXPECT_EQ(libs.load(""), 0);
  EXPECT_NE(libs.load("libm.so.6"), 0);  // bare: the system search path
  EXPECT_EQ(libs.load("AbsentEverywhere.dll"), 0);
  EXPECT_FALSE(log.lines("dll").empty());

  FakeDynamicLibraries fake;
  fake.add("AttacheFichier.dll", "SorviDLL", &Answer);
  long f = fake.load("C:\\Korvane\\attachefichier.DLL");
  ASSERT_NE(f, 0);
  EXPECT_EQ(fake.load("AttacheFichier.dll"), f);
  auto fn = reinterpret_cast<int (*)()>(fake.symbol(f, "SorviDLL"));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(), 42);
  EXPECT_EQ(fake.symbol(f, "sorvidll"), nullptr);
  EXPECT_EQ(fake.load("Autre.dll"), 0);
}
