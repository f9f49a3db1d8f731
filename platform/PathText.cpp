#include "platform/PathText.h"

#include <dirent.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdint>

#include "vb/VbString.h"

namespace kup::platform {

namespace {

void AddComponents(const std::string& text, size_t from, PathText& p, bool rooted) {
  size_t i = from;
  while (i < text.size()) {
    while (i < text.size() && IsPathSeparator(text[i])) ++i;
    size_t j = i;
    while (j < text.size() && !IsPathSeparator(text[j])) ++j;
    if (j > i) {
      std::string part = text.substr(i, j - i);
      if (part == ".") {
      } else if (part == "..") {
        if (!p.parts.empty() && p.parts.back() != "..")
          p.parts.pop_back();
        else if (!rooted)
          p.parts.push_back(part);
      } else {
        p.parts.push_back(std::move(part));
      }
    }
    i = j;
  }
}

std::string Trimmed(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

// Length of the well-formed UTF-8 sequence at s[i] (1 to 4), 0 when there
// is none there; cp gets its code point.
size_t Utf8Sequence(const std::string& s, size_t i, uint32_t& cp) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const size_t left = s.size() - i;
  const unsigned char c = b(0);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  size_t n;
  uint32_t lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (left < n || b(1) < lo || b(1) > hi) return 0;
  for (size_t k = 2; k < n; ++k)
    if (b(k) < 0x80 || b(k) > 0xBF) return 0;
  cp = n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (b(k) & 0x3F);
  return n;
}

constexpr uint32_t kOctetSeul = 0xEF00;  // U+EF80..U+EFFF stand for the bytes 0x80..0xFF
// A host name may hold "\", which a path text would split: it stands as
// U+EF5C, so that the name stays one name.
constexpr unsigned char kBarre = '\\';

bool StandsForAByte(uint32_t cp) {
  return (cp >= kOctetSeul + 0x80 && cp <= kOctetSeul + 0xFF) || cp == kOctetSeul + kBarre ||
         (cp >= kOctetSeul + 0x01 && cp <= kOctetSeul + 0x1F);
}

// A character XML forbids would be replaced in the reply that lists the
// name, which would then name no file: its bytes stand in (U+EF01 to U+EF1F
// for the controls). A name holds no NUL.
bool InterditEnXML(uint32_t cp) {
  return (cp >= 0x01 && cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || cp == 0xFFFE || cp == 0xFFFF;
}

void AppendStandIn(std::string& out, unsigned char byte) {
  const uint32_t cp = kOctetSeul + byte;  // three bytes in UTF-8
  out += static_cast<char>(0xE0 | (cp >> 12));
  out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (cp & 0x3F));
}

// A host name below a host folder ("" is the current folder).
std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool Ascii(const char* s) {
  for (; *s; ++s)
    if (static_cast<unsigned char>(*s) >= 0x80) return false;
  return true;
}

// The host names of the entries of a folder that differ from the text only
// in case (the caller has looked for the name as written first).
std::vector<std::string> SameButForCase(const std::string& folder, const std::string& text) {
  std::vector<std::string> out;
  DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!d) return out;
  const bool ascii = Ascii(text.c_str());
  std::string folded;
  while (dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    bool same;
    if (ascii && Ascii(n)) {
      same = ::strcasecmp(n, text.c_str()) == 0;
    } else {
      if (folded.empty()) folded = FoldedName(text);
      same = FoldedName(HostNameToText(n)) == folded;
    }
    if (same) out.emplace_back(n);
  }
  ::closedir(d);
  return out;
}

std::string HostBytesToText(const std::string& host, bool backslashInName) {
  std::string out;
  out.reserve(host.size());
  size_t i = 0;
  while (i < host.size()) {
    uint32_t cp = 0;
    const size_t n = Utf8Sequence(host, i, cp);
    if (n == 0 || (backslashInName && host[i] == kBarre)) {
      AppendStandIn(out, static_cast<unsigned char>(host[i]));
      ++i;
      continue;
    }
    if (StandsForAByte(cp) || InterditEnXML(cp)) {
      for (size_t k = 0; k < n; ++k) AppendStandIn(out, static_cast<unsigned char>(host[i + k]));
    } else {
      out.append(host, i, n);
    }
    i += n;
  }
  return out;
}

}  // namespace

std::string HostNameToText(const std::string& host) { return HostBytesToText(host, true); }
std::string HostValueToText(const std::string& host) { return HostBytesToText(host, false); }

std::string TextToHostName(const std::string& text) {
  // Most texts hold no stand-in at all: their bytes are the name.
  if (text.find('\xEE') == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    uint32_t cp = 0;
    const size_t n = Utf8Sequence(text, i, cp);
    if (n == 0) {
      out += text[i++];
      continue;
    }
    if (StandsForAByte(cp)) out += static_cast<char>(cp - kOctetSeul);
    else out.append(text, i, n);
    i += n;
  }
  return out;
}

PathText PathText::Parse(const std::string& text) {
  PathText p;
  const size_t n = text.size();
  if (n >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':') {
    p.kind = Kind::Drive;
    p.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    AddComponents(text, 2, p, true);
  } else if (n >= 2 && IsPathSeparator(text[0]) && IsPathSeparator(text[1])) {
    p.kind = Kind::Unc;
    // Server and share are names, never climbed above; the rest is a path.
    size_t i = 2;
    for (std::string* name : {&p.server, &p.share}) {
      while (i < n && IsPathSeparator(text[i])) ++i;
      size_t j = i;
      while (j < n && !IsPathSeparator(text[j])) ++j;
      *name = text.substr(i, j - i);
      if (*name == "." || *name == "..") name->clear();  // names no share
      i = j;
    }
    AddComponents(text, i, p, true);
  } else if (n >= 1 && IsPathSeparator(text[0])) {
    p.kind = Kind::Host;
    AddComponents(text, 1, p, true);
  } else {
    p.kind = Kind::Relative;
    AddComponents(text, 0, p, false);
  }
  return p;
}

std::string PathText::text() const {
  std::string out;
  const char* sep = "\\";
  switch (kind) {
    case Kind::Drive: out = std::string(1, drive) + ":\\"; break;
    case Kind::Unc:
      out = "\\\\" + server;
      if (!share.empty()) out += "\\" + share;
      if (!parts.empty()) out += "\\";
      break;
    case Kind::Host: out = "/"; sep = "/"; break;
    case Kind::Relative: break;
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += sep;
    out += parts[i];
  }
  return out;
}

PathText PathText::under(const PathText& folder) const {
  if (kind != Kind::Relative) return *this;
  PathText p = folder;
  bool rooted = folder.kind != Kind::Relative;
  for (auto& part : parts) {
    if (part == "..") {
      if (!p.parts.empty() && p.parts.back() != "..")
        p.parts.pop_back();
      else if (!rooted)
        p.parts.push_back(part);
    } else {
      p.parts.push_back(part);
    }
  }
  return p;
}

std::map<char, std::string> DriveMap::ParseDrives(const std::string& config) {
  std::map<char, std::string> out;
  size_t i = 0;
  while (i <= config.size()) {
    size_t j = config.find(';', i);
    if (j == std::string::npos) j = config.size();
    std::string entry = Trimmed(config.substr(i, j - i));
    size_t eq = entry.find('=');
    if (eq != std::string::npos) {
      std::string letter = Trimmed(entry.substr(0, eq));
      if (!letter.empty() && letter.back() == ':') letter.pop_back();
      std::string folder = Trimmed(entry.substr(eq + 1));
      while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      if (letter.size() == 1 && std::isalpha(static_cast<unsigned char>(letter[0])) && !folder.empty())
        out[static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])))] = folder;
    }
    i = j + 1;
  }
  return out;
}

std::string DriveMap::hostBase(const PathText& p, std::vector<std::string>& names) const {
  // The configured folders are host paths already; the names come from texts.
  names.clear();
  std::string base;
  switch (p.kind) {
    case PathText::Kind::Drive: {
      auto it = drives.find(p.drive);
      base = it != drives.end()
                 ? it->second
                 : driveRoot + "/" + std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(p.drive))));
      break;
    }
    case PathText::Kind::Unc:
      base = uncRoot;
      if (!p.server.empty()) names.push_back(p.server);
      if (!p.share.empty()) names.push_back(p.share);
      break;
    case PathText::Kind::Host: base = "/"; break;
    case PathText::Kind::Relative: break;
  }
  if (base.size() > 1 && base.back() == '/') base.pop_back();
  names.insert(names.end(), p.parts.begin(), p.parts.end());
  return base;
}

std::string DriveMap::hostPath(const PathText& p) const {
  std::vector<std::string> names;
  std::string out = hostBase(p, names);
  if (p.kind == PathText::Kind::Relative) {
    for (size_t i = 0; i < names.size(); ++i) out += (i ? "/" : "") + TextToHostName(names[i]);
    return out.empty() ? "." : out;
  }
  for (auto& name : names) out += (out == "/" ? "" : "/") + TextToHostName(name);
  return out.empty() ? "/" : out;
}

std::string FoldedName(const std::string& text) { return UCase(text); }

bool DriveMap::find(const PathText& p, std::string& host, struct ::stat* st, const Doubt& doubt) const {
  // The name as written costs one call; only a missing one costs a scan.
  struct ::stat local {};
  if (!st) st = &local;
  host = hostPath(p);
  if (::lstat(host.c_str(), st) == 0) return true;
  if (errno != ENOENT) return false;
  std::vector<std::string> names;
  const std::string base = hostBase(p, names);
  if (names.empty()) return false;
  std::vector<std::string> hosts;
  for (auto& n : names) hosts.push_back(TextToHostName(n));
  // From the deepest folder on the way that is there as written...
  size_t k = names.size() - 1;
  std::string folder;
  for (;; --k) {
    folder = base;
    for (size_t i = 0; i < k; ++i) folder = Join(folder, hosts[i]);
    struct stat s {};
    if (k == 0 || ::lstat(folder.c_str(), &s) == 0) break;
  }
  // ...each missing name is looked for without regard to case.
  for (size_t i = k; i < names.size(); ++i) {
    struct stat s {};
    const std::string exact = Join(folder, hosts[i]);
    if (i > k && ::lstat(exact.c_str(), &s) == 0) {
      folder = exact;
      continue;
    }
    const auto found = SameButForCase(folder, names[i]);
    if (found.size() != 1) {
      if (found.size() > 1 && doubt) doubt(names[i], folder.empty() ? "." : folder, found.size());
      for (size_t j = i; j < names.size(); ++j) folder = Join(folder, hosts[j]);
      host = folder;
      return false;
    }
    folder = Join(folder, found[0]);
  }
  host = folder;
  return ::lstat(host.c_str(), st) == 0;
}

}  // namespace kup::platform
