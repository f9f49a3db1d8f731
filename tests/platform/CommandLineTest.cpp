#include <gtest/gtest.h>

#include <set>

#include "platform/Interfaces.h"

using kup::platform::SplitCommandLine;
using V = std::vector<std::string>;

TEST(SplitCommandLine, WindowsRules) {
  EXPECT_EQ(SplitCommandLine(""), V{});
  EXPECT_EQ(SplitCommandLine("   "), V{});
  EXPECT_EQ(SplitCommandLine("prog a  b\tc"), (V{"prog", "a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x.exe\" \"un deux\" trois"),
            (V{"C:\\Program Files\\x.exe", "un deux", "trois"}));
  // Backslashes are literal except before a quote.
  EXPECT_EQ(SplitCommandLine("p C:\\dir\\ a\\\\b"), (V{"p", "C:\\dir\\", "a\\\\b"}));
  EXPECT_EQ(SplitCommandLine("p a\\\"b"), (V{"p", "a\"b"}));
  EXPECT_EQ(SplitCommandLine("p a\\\\\"b c\""), (V{"p", "a\\b c"}));
  EXPECT_EQ(SplitCommandLine("p a\\\\\\\"b"), (V{"p", "a\\\"b"}));
  EXPECT_EQ(SplitCommandLine("p \"C:\\dir\\\\\" x"), (V{"p", "C:\\dir\\", "x"}));
  // Quotes join parts of one argument; "" inside quotes is a quote.
  EXPECT_EQ(SplitCommandLine("p a\"b c\"d"), (V{"p", "ab cd"}));
  EXPECT_EQ(SplitCommandLine("p \"a \"\"b\"\" c\""), (V{"p", "a \"b\" c"}));
  EXPECT_EQ(SplitCommandLine("p \"\""), (V{"p", ""}));
  EXPECT_EQ(SplitCommandLine("p \"unterminated arg"), (V{"p", "unterminated arg"}));
  // The program name takes no escapes.
  EXPECT_EQ(SplitCommandLine("C:\\dir\\\"x\" y"), (V{"C:\\dir\\\"x\"", "y"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\dir\\\" y"), (V{"C:\\dir\\", "y"}));
}

TEST(SplitCommandLine, UnquotedProgramWithBlanksIsResolvedLikeCreateProcess) {
  std::set<std::string> existing{"C:\\Program Files\\GIS\\gis.exe"};
  auto exists = [&](const std::string& p) { return existing.count(p) > 0; };
  EXPECT_EQ(SplitCommandLine("C:\\Program Files\\GIS\\gis.exe -t a", exists),
            (V{"C:\\Program Files\\GIS\\gis.exe", "-t", "a"}));
  EXPECT_EQ(SplitCommandLine("C:\\Program Files\\GIS\\gis -t", exists), (V{"C:\\Program Files\\GIS\\gis", "-t"}));
  existing.insert("C:\\Program.exe");  // the classic trap: the shorter name wins
  EXPECT_EQ(SplitCommandLine("C:\\Program Files\\GIS\\gis.exe -t", exists),
            (V{"C:\\Program", "Files\\GIS\\gis.exe", "-t"}));
  EXPECT_EQ(SplitCommandLine("nothing here", exists), (V{"nothing", "here"}));
}
