#include <gtest/gtest.h>

#include "platform/Interfaces.h"

using namespace kup::platform;

namespace {
std::tm Tm(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  return t;
}
}  // namespace

TEST(Regional, FrenchProfileByDefault) {
  RegionalProfile fr;
  EXPECT_EQ(FormatShortDate(fr, Tm(2024, 3, 5, 7, 8, 9)), "05/03/2024");
  EXPECT_EQ(FormatLongTime(fr, Tm(2024, 3, 5, 7, 8, 9)), "07:08:09");
  EXPECT_EQ(FormatGeneralDate(fr, Tm(2024, 3, 5, 17, 8, 9)), "05/03/2024 17:08:09");
  EXPECT_EQ(FormatGeneralDate(fr, Tm(2024, 12, 31)), "31/12/2024");
  EXPECT_EQ(FormatGeneralDate(fr, Tm(1899, 12, 30, 10, 0, 0)), "10:00:00");
}

TEST(Regional, OtherPictures) {
  RegionalProfile us;
  us.shortDate = "M/d/yy";
  us.longTime = "h:mm:ss tt";
  us.dateSeparator = "-";
  EXPECT_EQ(FormatShortDate(us, Tm(2024, 3, 5)), "3-5-24");
  EXPECT_EQ(FormatLongTime(us, Tm(2024, 3, 5, 0, 5, 0)), "12:05:00 AM");
  EXPECT_EQ(FormatLongTime(us, Tm(2024, 3, 5, 13, 5, 0)), "1:05:00 PM");
  us.shortDate = "dd' de 'MM";
  EXPECT_EQ(FormatShortDate(us, Tm(2024, 3, 5)), "05 de 03");
}
