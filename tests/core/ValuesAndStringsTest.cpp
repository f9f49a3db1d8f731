#include <gtest/gtest.h>

#include "vb/Value.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

using namespace kup;

namespace {
int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const VbError& e) {
    return e.number();
  }
  return 0;
}
}  // namespace

TEST(VbValues, WholeNumbersRoundHalfToEvenAndOverflow) {
  EXPECT_EQ(CLng(Value(2.5)), 2);
  EXPECT_EQ(CLng(Value(3.5)), 4);
  EXPECT_EQ(CLng(Value(-2.5)), -2);
  EXPECT_EQ(CLng(Value("1,5")), 2);  // French decimal comma
  EXPECT_EQ(CLng(Value(" 7 ")), 7);
  EXPECT_EQ(CLng(Value(2147483647.4)), 2147483647);
  EXPECT_EQ(ErrorOf([] { CLng(Value(2147483647.5)); }), vberr::Overflow);
  EXPECT_EQ(CInt(Value(-32768)), -32768);
  EXPECT_EQ(ErrorOf([] { CInt(Value(32767.5)); }), vberr::Overflow);
  EXPECT_EQ(ErrorOf([] { CLng(Value("douze")); }), vberr::TypeMismatch);
  EXPECT_EQ(ErrorOf([] { CLng(Value("")); }), vberr::TypeMismatch);
  EXPECT_EQ(ErrorOf([] { CDbl(Value("inf")); }), vberr::TypeMismatch);
  EXPECT_EQ(CLng(Value()), 0);
}

TEST(VbValues, NullRefusesToBecomeTextOrNumber) {
  EXPECT_EQ(ErrorOf([] { CStr(Value::null()); }), vberr::InvalidUseOfNull);
  EXPECT_EQ(ErrorOf([] { CLng(Value::null()); }), vberr::InvalidUseOfNull);
  EXPECT_EQ(StrOrEmpty(Value::null()), "");
  EXPECT_EQ(CStr(Value()), "");
  EXPECT_EQ(ErrorOf([] { Arg(Args{Value("a")}, 1); }), vberr::SubscriptOutOfRange);
}

TEST(VbValues, NumberTextAndVal) {
  EXPECT_EQ(CStr(Value(12.0)), "12");
  EXPECT_EQ(CStr(Value(-0.5)), "-0.5");
  EXPECT_EQ(CStr(Value(0.1 + 0.2)), "0.3");  // 15 significant digits
  EXPECT_EQ(CStr(Value(1e20)), "1E+20");
  EXPECT_EQ(CStr(Value(true)), "Vrai");
  EXPECT_DOUBLE_EQ(Val("  12 34abc"), 1234);
  EXPECT_DOUBLE_EQ(Val("-3.5e2x"), -350);
  EXPECT_DOUBLE_EQ(Val("&HFF"), 255);
  EXPECT_DOUBLE_EQ(Val("1,5"), 1);
  EXPECT_DOUBLE_EQ(Val("abc"), 0);
  EXPECT_DOUBLE_EQ(Val(""), 0);
  EXPECT_TRUE(CBool(Value("Vrai")));
  EXPECT_FALSE(CBool(Value("0")));
}

TEST(VbStrings, CharactersNotBytes) {
  std::string s = "Arrêté n°12";
  EXPECT_EQ(Len(s), 11u);
  EXPECT_EQ(Mid(s, 4, 3), "êté");
  EXPECT_EQ(Left(s, 6), "Arrêté");
  EXPECT_EQ(Right(s, 4), "n°12");
  EXPECT_EQ(InStr(s, "n°"), 8);
  EXPECT_EQ(InStr(1, s, "ARRÊTÉ", true), 1);
  EXPECT_EQ(InStrRev(s, "é"), 6);
  EXPECT_EQ(InStrRev("", "."), 0);  // an empty text searched from its end: not found, no error
  EXPECT_EQ(UCase("élève"), "ÉLÈVE");
  EXPECT_EQ(Mid(s, 20), "");
  EXPECT_EQ(ErrorOf([&] { Mid(s, 0); }), vberr::InvalidCall);
}

TEST(VbStrings, SplitTrimReplaceAndCodePage) {
  EXPECT_TRUE(Split("", ";").empty());
  EXPECT_EQ(Split("a;;b", ";"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Split("a" + Sep240() + "b", Sep240()), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Trim("\t a \t"), "\t a \t");
  EXPECT_EQ(Trim("  a  "), "a");
  EXPECT_EQ(Replace("a,b,c", ",", ";"), "a;b;c");
  EXPECT_EQ(Chr(241), "ñ");
  EXPECT_EQ(Asc("€"), 128);
  EXPECT_EQ(FromCp1252("\xE9\x80"), "é€");
  EXPECT_EQ(ToCp1252(FromCp1252(std::string("\x81\x9D\xFF", 3))), std::string("\x81\x9D\xFF", 3));
  EXPECT_EQ(SanitizeUtf8("a\xC3"), "a\xEF\xBF\xBD");
  EXPECT_EQ(Len("a\xC3"), 2u);
}
