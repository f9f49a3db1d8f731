#pragma once
// Shared pieces of the fuzz targets: an application on fakes with the
// program's modules installed, texts cut from the fuzzer's bytes, and the
// check that stops a run on a broken invariant.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "TestApp.h"
#include "vb/VbString.h"

namespace kup::fuzz {

// An invariant the input broke: print it and abort, so that libFuzzer keeps
// the input as a crash.
[[noreturn]] inline void Echec(const char* quoi, std::string_view detail = {}) {
  std::fprintf(stderr, "INVARIANT: %s\n  %.*s\n", quoi, static_cast<int>(detail.size() > 400 ? 400 : detail.size()),
               detail.data());
  std::abort();
}
#define KUP_FUZZ_VERIFIER(cond, detail) \
  do {                                  \
    if (!(cond)) ::kup::fuzz::Echec(#cond, (detail)); \
  } while (0)

// Bytes as text; the separators of the settings and lists (U+00F0 to
// U+00F2) are two UTF-8 bytes each, out of the fuzzer's easy reach, so the
// control bytes 0x01 to 0x03 stand for them.
inline std::string AvecSeparateurs(std::string_view octets) {
  std::string s;
  s.reserve(octets.size() + 16);
  for (char c : octets) {
    switch (c) {
      case '\x01': s += kup::Sep242(); break;
      case '\x02': s += kup::Sep241(); break;
      case '\x03': s += kup::Sep240(); break;
      default: s += c;
    }
  }
  return s;
}

inline std::string Texte(FuzzedDataProvider& p, size_t max = 64) { return p.ConsumeRandomLengthString(max); }

// A reply or call any XML reader takes, as far as its characters go: no
// control but tab, LF and CR, no U+FFFE or U+FFFF, no "]]>".
inline bool CaracteresXML(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
    if (c == 0xEF && i + 2 < s.size() && s[i + 1] == '\xBF' && (s[i + 2] == '\xBE' || s[i + 2] == '\xBF'))
      return false;
  }
  return s.find("]]>") == std::string_view::npos;
}

}  // namespace kup::fuzz
