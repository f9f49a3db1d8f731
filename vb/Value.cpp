#include "vb/Value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

std::string NumberText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "Inf" : "-Inf";
  if (d == 0) return "0";
  if (d == std::floor(d) && std::fabs(d) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", d);
    return buf;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", d);
  std::string s = buf;
  // Drop trailing zeros of the mantissa, as VB does.
  auto e = s.find('E');
  std::string mant = e == std::string::npos ? s : s.substr(0, e);
  std::string exp = e == std::string::npos ? "" : s.substr(e);
  if (mant.find('.') != std::string::npos) {
    while (!mant.empty() && mant.back() == '0') mant.pop_back();
    if (!mant.empty() && mant.back() == '.') mant.pop_back();
  }
  if (!exp.empty()) {
    // VB writes 1E+20 and 1E-05
    char sign = exp.size() > 1 ? exp[1] : '+';
    std::string digits = exp.substr(2);
    while (digits.size() > 2 && digits[0] == '0') digits.erase(0, 1);
    if (digits.size() < 2) digits = "0" + digits;
    exp = std::string("E") + sign + digits;
  }
  return mant + exp;
}

std::string CStr(const Value& v) {
  switch (v.type()) {
    case Value::Type::Empty: return {};
    case Value::Type::Null: raise(vberr::InvalidUseOfNull);
    case Value::Type::String: return v.str();
    case Value::Type::Number: return NumberText(v.num());
    case Value::Type::Boolean: return v.boolean() ? "Vrai" : "Faux";
  }
  return {};
}

std::string StrOrEmpty(const Value& v) {
  if (v.isNull() || v.isEmpty()) return {};
  return CStr(v);
}

static bool parseNumber(std::string_view s, double& out) {
  std::string t = Trim(std::string(s));
  if (t.empty()) return false;
  for (auto& c : t)
    if (c == ',') c = '.';
  if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h')) {
    char* end = nullptr;
    long long x = std::strtoll(t.c_str() + 2, &end, 16);
    if (*end) return false;
    out = static_cast<double>(x);
    return true;
  }
  char* end = nullptr;
  out = std::strtod(t.c_str(), &end);
  if (end == t.c_str() || *end) return false;
  // strtod accepts "inf"/"nan"/hex floats that VB does not.
  for (char c : t)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-' || c == 'e' ||
          c == 'E'))
      return false;
  return true;
}

double CDbl(const Value& v) {
  switch (v.type()) {
    case Value::Type::Empty: return 0;
    case Value::Type::Null: raise(vberr::InvalidUseOfNull);
    case Value::Type::Number: return v.num();
    case Value::Type::Boolean: return v.boolean() ? -1 : 0;
    case Value::Type::String: {
      double d;
      if (!parseNumber(v.str(), d)) raise(vberr::TypeMismatch);
      return d;
    }
  }
  return 0;
}

double RoundHalfEven(double d) { return std::nearbyint(d); }  // default FE_TONEAREST is half-even

int32_t CLng(const Value& v) {
  double d = RoundHalfEven(CDbl(v));
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) raise(vberr::Overflow);
  return static_cast<int32_t>(d);
}

int16_t CInt(const Value& v) {
  double d = RoundHalfEven(CDbl(v));
  if (!(d >= -32768.0 && d <= 32767.0)) raise(vberr::Overflow);
  return static_cast<int16_t>(d);
}

bool CBool(const Value& v) {
  if (v.isBoolean()) return v.boolean();
  if (v.isString()) {
    std::string u = UCase(Trim(v.str()));
    if (u == "VRAI" || u == "TRUE") return true;
    if (u == "FAUX" || u == "FALSE") return false;
  }
  return CDbl(v) != 0;
}

double Val(std::string_view s) {
  std::string t;
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') t += c;
  if (t.size() >= 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h' || t[1] == 'O' || t[1] == 'o')) {
    int base = (t[1] == 'H' || t[1] == 'h') ? 16 : 8;
    long long x = std::strtoll(t.c_str() + 2, nullptr, base);
    return static_cast<double>(x);
  }
  size_t i = 0;
  std::string num;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) num += t[i++];
  bool digits = false;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) num += t[i++], digits = true;
  if (i < t.size() && t[i] == '.') {
    num += t[i++];
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) num += t[i++], digits = true;
  }
  if (!digits) return 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
    std::string ex = "e";
    size_t j = i + 1;
    if (j < t.size() && (t[j] == '+' || t[j] == '-')) ex += t[j++];
    bool ed = false;
    while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) ex += t[j++], ed = true;
    if (ed) num += ex;
  }
  return std::strtod(num.c_str(), nullptr);
}

const Value& Arg(const Args& a, size_t i) {
  if (i >= a.size()) raise(vberr::SubscriptOutOfRange);
  return a[i];
}

}  // namespace kup
