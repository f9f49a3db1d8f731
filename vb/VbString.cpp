#include "vb/VbString.h"

#include <unicode/uchar.h>

#include "vb/VbError.h"

namespace kup {

namespace {

// Decode one code point at byte i; advances i. Invalid bytes give U+FFFD and advance one byte.
uint32_t decode(std::string_view s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int n = 0;
  uint32_t cp = 0;
  if ((c & 0xE0) == 0xC0) n = 1, cp = c & 0x1F;
  else if ((c & 0xF0) == 0xE0) n = 2, cp = c & 0x0F;
  else if ((c & 0xF8) == 0xF0) n = 3, cp = c & 0x07;
  else {
    ++i;
    return 0xFFFD;
  }
  if (i + n >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= n; ++k) {
    unsigned char d = static_cast<unsigned char>(s[i + k]);
    if ((d & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (d & 0x3F);
  }
  static const uint32_t minv[] = {0, 0x80, 0x800, 0x10000};
  if (cp < minv[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += n + 1;
  return cp;
}

void encode(uint32_t cp, std::string& out) {
  if (cp < 0x80) out += static_cast<char>(cp);
  else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool isAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Byte offset of character index (0-based) n; s.size() when past the end.
size_t byteOffset(std::string_view s, size_t n) {
  if (isAscii(s)) return n < s.size() ? n : s.size();
  size_t i = 0;
  while (n > 0 && i < s.size()) {
    decode(s, i);
    --n;
  }
  return i;
}

const uint16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

uint32_t cp1252ToUnicode(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) {
    uint32_t u = kCp1252High[b - 0x80];
    // Undefined codes keep their C1 control value so the byte survives a round trip.
    return u == 0xFFFD ? b : u;
  }
  return b;
}

int unicodeToCp1252(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  if (cp >= 0x80 && cp < 0xA0) return static_cast<int>(cp);
  for (int k = 0; k < 32; ++k)
    if (kCp1252High[k] == cp) return 0x80 + k;
  return -1;
}

}  // namespace

std::vector<uint32_t> CodePoints(std::string_view s) {
  std::vector<uint32_t> out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) out.push_back(decode(s, i));
  return out;
}

std::string FromCodePoints(const std::vector<uint32_t>& cps) {
  std::string out;
  out.reserve(cps.size());
  for (auto c : cps) encode(c, out);
  return out;
}

std::string SanitizeUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    size_t start = i;
    uint32_t cp = decode(s, i);
    if (cp == 0xFFFD && !(i - start == 3 && s.substr(start, 3) == "\xEF\xBF\xBD")) encode(0xFFFD, out);
    else out.append(s.substr(start, i - start));
  }
  return out;
}

size_t Len(std::string_view s) {
  if (isAscii(s)) return s.size();
  size_t n = 0, i = 0;
  while (i < s.size()) {
    decode(s, i);
    ++n;
  }
  return n;
}

std::string Mid(std::string_view s, long start, long length) {
  if (start < 1) raise(vberr::InvalidCall);
  if (length < -1) raise(vberr::InvalidCall);
  size_t b = byteOffset(s, static_cast<size_t>(start - 1));
  if (b >= s.size()) return {};
  std::string_view rest = s.substr(b);
  if (length < 0) return std::string(rest);
  size_t e = byteOffset(rest, static_cast<size_t>(length));
  return std::string(rest.substr(0, e));
}

std::string Left(std::string_view s, long length) {
  if (length < 0) raise(vberr::InvalidCall);
  return std::string(s.substr(0, byteOffset(s, static_cast<size_t>(length))));
}

std::string Right(std::string_view s, long length) {
  if (length < 0) raise(vberr::InvalidCall);
  size_t n = Len(s);
  if (static_cast<size_t>(length) >= n) return std::string(s);
  return std::string(s.substr(byteOffset(s, n - static_cast<size_t>(length))));
}

long InStr(long start, std::string_view s, std::string_view find, bool textCompare) {
  if (start < 1) raise(vberr::InvalidCall);
  std::string hs, nd;
  if (textCompare) {
    hs = UCase(s);
    nd = UCase(find);
    s = hs;
    find = nd;
  }
  size_t n = Len(s);
  if (static_cast<size_t>(start) > n) return find.empty() && static_cast<size_t>(start) == n + 1 ? 0 : 0;
  if (find.empty()) return start;
  size_t b = byteOffset(s, static_cast<size_t>(start - 1));
  size_t pos = s.find(find, b);
  if (pos == std::string_view::npos) return 0;
  return static_cast<long>(Len(s.substr(0, pos)) + 1);
}

long InStrRev(std::string_view s, std::string_view find, long start) {
  size_t n = Len(s);
  if (start == -1) {
    if (n == 0) return 0;  // searching an empty text from its end finds nothing; it is no invalid call
    start = static_cast<long>(n);
  }
  if (start < 1) raise(vberr::InvalidCall);
  if (find.empty()) return start;
  if (static_cast<size_t>(start) > n) return 0;
  // The match must end at or before character 'start'.
  size_t endByte = byteOffset(s, static_cast<size_t>(start));
  if (find.size() > endByte) return 0;
  size_t pos = s.rfind(find, endByte - find.size());
  if (pos == std::string_view::npos) return 0;
  return static_cast<long>(Len(s.substr(0, pos)) + 1);
}

std::string UCase(std::string_view s) {
  if (isAscii(s)) {
    std::string r(s);
    for (auto& c : r)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return r;
  }
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) encode(static_cast<uint32_t>(u_toupper(static_cast<UChar32>(decode(s, i)))), out);
  return out;
}

std::string LCase(std::string_view s) {
  if (isAscii(s)) {
    std::string r(s);
    for (auto& c : r)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return r;
  }
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) encode(static_cast<uint32_t>(u_tolower(static_cast<UChar32>(decode(s, i)))), out);
  return out;
}

std::string LTrim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b));
}
std::string RTrim(std::string_view s) {
  size_t e = s.find_last_not_of(' ');
  return e == std::string_view::npos ? std::string() : std::string(s.substr(0, e + 1));
}
std::string Trim(std::string_view s) { return LTrim(RTrim(s)); }

std::vector<std::string> Split(std::string_view s, std::string_view delim, long limit) {
  std::vector<std::string> out;
  if (s.empty() || limit == 0) return out;
  if (delim.empty()) {
    out.emplace_back(s);
    return out;
  }
  size_t b = 0;
  while (true) {
    if (limit > 0 && static_cast<long>(out.size()) == limit - 1) {
      out.emplace_back(s.substr(b));
      break;
    }
    size_t p = s.find(delim, b);
    if (p == std::string_view::npos) {
      out.emplace_back(s.substr(b));
      break;
    }
    out.emplace_back(s.substr(b, p - b));
    b = p + delim.size();
  }
  return out;
}

std::string Join(const std::vector<std::string>& parts, std::string_view delim) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += delim;
    out += parts[i];
  }
  return out;
}

std::string Replace(std::string_view s, std::string_view find, std::string_view with) {
  if (find.empty()) return std::string(s);
  std::string out;
  size_t b = 0;
  while (true) {
    size_t p = s.find(find, b);
    if (p == std::string_view::npos) break;
    out.append(s.substr(b, p - b));
    out.append(with);
    b = p + find.size();
  }
  out.append(s.substr(b));
  return out;
}

std::string Space(long n) { return n <= 0 ? std::string() : std::string(static_cast<size_t>(n), ' '); }

std::string String(long n, std::string_view ch) {
  std::string c = Left(ch, 1);
  std::string out;
  for (long i = 0; i < n; ++i) out += c;
  return out;
}

std::string Chr(int code) {
  if (code < 0 || code > 255) raise(vberr::InvalidCall);
  std::string out;
  encode(cp1252ToUnicode(static_cast<unsigned char>(code)), out);
  return out;
}

std::string ChrW(uint32_t cp) {
  std::string out;
  encode(cp, out);
  return out;
}

int Asc(std::string_view s) {
  if (s.empty()) raise(vberr::InvalidCall);
  size_t i = 0;
  uint32_t cp = decode(s, i);
  int b = unicodeToCp1252(cp);
  return b < 0 ? '?' : b;
}

uint32_t AscW(std::string_view s) {
  if (s.empty()) raise(vberr::InvalidCall);
  size_t i = 0;
  return decode(s, i);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && isAscii(a) && isAscii(b)) {
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
      if (x != y) return false;
    }
    return true;
  }
  return UCase(a) == UCase(b);
}

std::string FromCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) encode(cp1252ToUnicode(static_cast<unsigned char>(c)), out);
  return out;
}

std::string ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    int b = unicodeToCp1252(decode(utf8, i));
    out += static_cast<char>(b < 0 ? '?' : b);
  }
  return out;
}

std::string EchapperXml(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace kup
