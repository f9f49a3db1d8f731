#pragma once
// VB string functions over UTF-8 text. Positions and lengths count
// characters (code points), never bytes; positions start at 1 as in VB.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kup {

size_t Len(std::string_view s);
// Mid(s, start) / Mid(s, start, length); start < 1 raises 5.
std::string Mid(std::string_view s, long start, long length = -1);
std::string Left(std::string_view s, long length);
std::string Right(std::string_view s, long length);
// InStr(start, s, find): 1-based character position or 0. Binary compare
// unless textCompare (case-insensitive).
long InStr(long start, std::string_view s, std::string_view find, bool textCompare = false);
inline long InStr(std::string_view s, std::string_view find) { return InStr(1, s, find); }
long InStrRev(std::string_view s, std::string_view find, long start = -1);
std::string UCase(std::string_view s);
std::string LCase(std::string_view s);
// Trim removes blanks (U+0020) only, as VB does.
std::string Trim(std::string_view s);
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);
// Split with VB semantics: "" gives an empty array; an empty delimiter gives the whole text.
std::vector<std::string> Split(std::string_view s, std::string_view delim, long limit = -1);
std::string Join(const std::vector<std::string>& parts, std::string_view delim);
std::string Replace(std::string_view s, std::string_view find, std::string_view with);
std::string Space(long n);
std::string String(long n, std::string_view ch);
// Chr of a Windows-1252 code (0-255) as UTF-8; ChrW of a code point.
std::string Chr(int code);
std::string ChrW(uint32_t codepoint);
// Windows-1252 code of the first character (Asc), or raises 5 on "".
int Asc(std::string_view s);
uint32_t AscW(std::string_view s);
// Text comparison without regard to case (StrComp vbTextCompare == 0).
bool EqualsNoCase(std::string_view a, std::string_view b);

// Characters of a UTF-8 text as code points; invalid bytes decode as U+FFFD.
std::vector<uint32_t> CodePoints(std::string_view s);
std::string FromCodePoints(const std::vector<uint32_t>& cps);
// Repairs invalid UTF-8 (each bad byte becomes U+FFFD).
std::string SanitizeUtf8(std::string_view s);

// Windows-1252 boundary: bytes on disk / to the attachment library <-> UTF-8.
std::string FromCp1252(std::string_view bytes);
// Characters without a Windows-1252 code become '?'.
std::string ToCp1252(std::string_view utf8);

// Text made safe for XML element content and attribute values: & < > "
// written as entities.
std::string EchapperXml(std::string_view s);

// The list separators of the Flex exchange, outermost first.
inline const std::string& Sep242() { static const std::string s = "\xC3\xB2"; return s; }  // U+00F2
inline const std::string& Sep241() { static const std::string s = "\xC3\xB1"; return s; }  // U+00F1
inline const std::string& Sep240() { static const std::string s = "\xC3\xB0"; return s; }  // U+00F0

constexpr const char* vbCrLf = "\r\n";
constexpr const char* vbTab = "\t";

}  // namespace kup
