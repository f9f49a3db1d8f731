#include <gtest/gtest.h>

#include "vb/VbError.h"
#include "platform/FakePlatform.h"

using namespace kup::platform;

TEST(FakePlatform, RefsPointAtTheSlotsAndFoldersExist) {
  FakePlatform f;
  kup::Platform pf = MakeFakePlatform(&f);
  EXPECT_EQ(pf.fs.get(), static_cast<IFileSystem*>(f.fs));
  EXPECT_EQ(pf.flash.get(), static_cast<IFlash*>(f.flash));
  EXPECT_EQ(pf.timer.get(), static_cast<ITimer*>(f.timer));
  EXPECT_TRUE(f.fs->folderExists(f.env->programFolder()));
  EXPECT_TRUE(f.fs->folderExists(f.env->tempFolder()));
  EXPECT_EQ(pf.dde, nullptr);
}
