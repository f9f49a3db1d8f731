#include "platform/PathText.h"

#include <cctype>

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

}  // namespace

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

std::string DriveMap::hostPath(const PathText& p) const {
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
      if (!p.server.empty()) base += "/" + p.server;
      if (!p.share.empty()) base += "/" + p.share;
      break;
    case PathText::Kind::Host: base = ""; break;
    case PathText::Kind::Relative: {
      std::string out;
      for (size_t i = 0; i < p.parts.size(); ++i) out += (i ? "/" : "") + p.parts[i];
      return out.empty() ? "." : out;
    }
  }
  if (base.size() > 1 && base.back() == '/') base.pop_back();
  if (p.parts.empty()) return base.empty() ? "/" : base;
  for (auto& part : p.parts) base += "/" + part;
  return base;
}

}  // namespace kup::platform
