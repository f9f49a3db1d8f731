#pragma once
// A request argument or a VB variant: Empty (Flex "undefined"), Null, text,
// number or Boolean. Conversions follow the VB rules the handlers depend on.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kup {

struct NullValue {
  bool operator==(const NullValue&) const = default;
};

class Value {
 public:
  enum class Type { Empty, Null, String, Number, Boolean };

  Value() = default;
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(double d) : v_(d) {}
  Value(int i) : v_(static_cast<double>(i)) {}
  Value(long i) : v_(static_cast<double>(i)) {}
  Value(long long i) : v_(static_cast<double>(i)) {}
  Value(bool b) : v_(b) {}
  static Value null() {
    Value v;
    v.v_ = NullValue{};
    return v;
  }

  Type type() const { return static_cast<Type>(v_.index()); }
  bool isEmpty() const { return type() == Type::Empty; }
  bool isNull() const { return type() == Type::Null; }
  bool isString() const { return type() == Type::String; }
  bool isNumber() const { return type() == Type::Number; }
  bool isBoolean() const { return type() == Type::Boolean; }

  // Raw access; the caller has checked the type.
  const std::string& str() const { return std::get<std::string>(v_); }
  double num() const { return std::get<double>(v_); }
  bool boolean() const { return std::get<bool>(v_); }

  bool operator==(const Value& o) const = default;

 private:
  std::variant<std::monostate, NullValue, std::string, double, bool> v_;
};

using Args = std::vector<Value>;
using StrArray = std::vector<std::string>;

// VB CStr: Empty gives "", a number its shortest text (15 significant digits,
// "." as decimal separator as the Flex side writes numbers), a Boolean
// "Vrai"/"Faux"; Null raises 94.
std::string CStr(const Value& v);
// Text of a number as CStr gives it.
std::string NumberText(double d);
// VB CDbl: numeric text (blanks allowed around, "." or "," decimal) or raises 13;
// Empty is 0; Null raises 94.
double CDbl(const Value& v);
// VB CLng/CInt: CDbl then banker's rounding; out of range raises 6.
int32_t CLng(const Value& v);
int16_t CInt(const Value& v);
// VB CBool: numbers are true when non-zero; texts "Vrai"/"True"/"Faux"/"False" or numeric.
bool CBool(const Value& v);
// VB Val: reads a leading number, stops at the first character that cannot
// continue it, ignores blanks and tabs; "&H"/"&O" prefixes. Never fails.
double Val(std::string_view s);
// Banker's rounding to a whole number (VB CLng/CInt/Round with 0 decimals).
double RoundHalfEven(double d);
// Text of an argument, or "" when Null/Empty: for places where the original
// concatenated with "" & value.
std::string StrOrEmpty(const Value& v);

// Element i of an argument array, or raises 9 like a VB array read past its bound.
const Value& Arg(const Args& a, size_t i);

}  // namespace kup
