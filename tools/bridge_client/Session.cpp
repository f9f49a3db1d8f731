#include "tools/bridge_client/Session.h"

#include "vb/VbString.h"

#include <cstdint>

namespace kup::bridgeclient {

namespace {

std::string Utf8(uint32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
  return out;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Splits at '|' not escaped by a backslash.
std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t start = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '|') {
      out.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  out.push_back(line.substr(start));
  return out;
}

std::string ArgumentXml(std::string_view field) {
  if (field == "@null") return "<null/>";
  if (field == "@undefined") return "<undefined/>";
  if (field == "@true") return "<true/>";
  if (field == "@false") return "<false/>";
  if (field.substr(0, 5) == "@num:") {
    std::string_view n = TrimBlanks(field.substr(5));
    bool digit = false;
    for (char c : n) {
      if (c >= '0' && c <= '9') digit = true;
      else if (c != '-' && c != '+' && c != '.' && c != 'e' && c != 'E')
        throw SessionError("not a number: " + std::string(n));
    }
    if (!digit) throw SessionError("not a number: " + std::string(n));
    return "<number>" + std::string(n) + "</number>";
  }
  if (!field.empty() && field[0] == '@')
    throw SessionError("unknown typed field " + std::string(field) + " (a text opening with '@' writes it {64})");
  return "<string>" + kup::EchapperXml(UnescapeField(field)) + "</string>";
}

std::string DecodeEntities(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') {
      out += s[i];
      continue;
    }
    size_t semi = s.find(';', i);
    if (semi == std::string_view::npos || semi - i > 10) {
      out += '&';
      continue;
    }
    std::string_view ent = s.substr(i + 1, semi - i - 1);
    std::string rep;
    if (ent == "lt") rep = "<";
    else if (ent == "gt") rep = ">";
    else if (ent == "amp") rep = "&";
    else if (ent == "quot") rep = "\"";
    else if (ent == "apos") rep = "'";
    else if (ent.size() > 1 && ent[0] == '#') {
      uint32_t cp = 0;
      bool hex = ent[1] == 'x' || ent[1] == 'X';
      std::string_view d = ent.substr(hex ? 2 : 1);
      bool good = !d.empty();
      for (char c : d) {
        int v = (c >= '0' && c <= '9') ? c - '0'
                : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (hex && c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (v < 0 || cp > 0x10FFFF) { good = false; break; }
        cp = cp * (hex ? 16 : 10) + uint32_t(v);
      }
      if (good && cp <= 0x10FFFF) rep = Utf8(cp);
    }
    if (rep.empty()) {
      out += '&';
      continue;
    }
    out += rep;
    i = semi;
  }
  return out;
}

// The texts of the <string> elements in order. The container escapes only
// "<" (replies) or nothing (calls), so this reads leniently rather than as XML.
std::vector<std::string> StringElements(std::string_view xml) {
  std::vector<std::string> out;
  size_t pos = 0;
  for (;;) {
    size_t open = xml.find("<string", pos);
    if (open == std::string_view::npos) break;
    size_t after = open + 7;
    if (xml.substr(after, 2) == "/>") {
      out.emplace_back();
      pos = after + 2;
    } else if (xml.substr(after, 1) == ">") {
      size_t close = xml.find("</string>", after + 1);
      if (close == std::string_view::npos) {
        out.push_back(DecodeEntities(xml.substr(after + 1)));
        break;
      }
      out.push_back(DecodeEntities(xml.substr(after + 1, close - after - 1)));
      pos = close + 9;
    } else {
      pos = after;
    }
  }
  return out;
}

}  // namespace

std::string CodePageChar(int code) {
  static const uint16_t k80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (code < 0 || code > 255) throw SessionError("character code out of 0-255: " + std::to_string(code));
  if (code >= 0x80 && code < 0xA0) return Utf8(k80[code - 0x80]);
  return Utf8(uint32_t(code));
}

std::string UnescapeField(std::string_view f) {
  std::string out;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    if (c != '{') {
      out += c;
      continue;
    }
    size_t close = f.find('}', i);
    std::string_view num = close == std::string_view::npos ? std::string_view() : f.substr(i + 1, close - i - 1);
    if (num.empty() || num.size() > 3 || num.find_first_not_of("0123456789") != std::string_view::npos)
      throw SessionError("'{' must open a character code such as {241} (a brace itself is {123})");
    out += CodePageChar(std::stoi(std::string(num)));
    i = close;
  }
  return out;
}

std::string ShortFormToXml(std::string_view line) {
  auto fields = SplitFields(line);
  std::string name = UnescapeField(TrimBlanks(fields[0]));
  if (name.empty()) throw SessionError("missing command name");
  std::string xml = "<invoke name=\"" + kup::EchapperXml(name) + "\" returntype=\"xml\"><arguments><array>";
  xml += "<property id=\"0\"><string>" + kup::EchapperXml(name) + "</string></property>";
  for (size_t i = 1; i < fields.size(); ++i) {
    xml += "<property id=\"" + std::to_string(i) + "\">" + ArgumentXml(TrimBlanks(fields[i])) + "</property>";
  }
  xml += "</array></arguments></invoke>";
  return xml;
}

std::optional<Step> ParseSessionLine(std::string_view raw, int lineNo) {
  std::string_view line = TrimBlanks(raw);
  if (line.empty() || line[0] == '#') return std::nullopt;
  Step s;
  s.line = lineNo;
  s.label = std::string(line);
  if (line.substr(0, 5) == "wait " || line == "wait") {
    std::string_view ms = TrimBlanks(line.substr(4));
    if (ms.empty() || ms.size() > 7 || ms.find_first_not_of("0123456789") != std::string_view::npos)
      throw SessionError("wait takes a number of milliseconds");
    s.type = Step::Type::Wait;
    s.waitMs = std::stoi(std::string(ms));
    return s;
  }
  s.xml = line[0] == '<' ? std::string(line) : ShortFormToXml(line);
  return s;
}

std::vector<Step> ParseSession(std::istream& in, const std::string& name) {
  std::vector<Step> steps;
  std::string text, logical;
  int lineNo = 0, startLine = 0;
  while (std::getline(in, text)) {
    ++lineNo;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (logical.empty()) startLine = lineNo;
    std::string_view t = text;
    bool more = t.size() >= 2 && t.substr(t.size() - 2) == " \\";
    if (!logical.empty()) t = TrimBlanks(t);
    if (more) {
      t = std::string_view(t).substr(0, t.size() - 2);
      logical.append(t);
      continue;
    }
    logical.append(t);
    try {
      if (auto s = ParseSessionLine(logical, startLine)) steps.push_back(std::move(*s));
    } catch (const SessionError& e) {
      throw SessionError(name + ":" + std::to_string(startLine) + ": " + e.what());
    }
    logical.clear();
  }
  if (!logical.empty()) throw SessionError(name + ":" + std::to_string(startLine) + ": continued line at end of file");
  return steps;
}

Decoded DecodeCall(std::string_view xml) {
  Decoded d;
  size_t p = xml.find("<invoke");
  if (p == std::string_view::npos) return d;
  size_t n = xml.find("name=\"", p);
  if (n == std::string_view::npos) return d;
  size_t e = xml.find('"', n + 6);
  if (e == std::string_view::npos) return d;
  d.name = DecodeEntities(xml.substr(n + 6, e - n - 6));
  d.values = StringElements(xml.substr(e));
  d.ok = true;
  return d;
}

Decoded DecodeReply(std::string_view xml) {
  Decoded d;
  if (xml.find("<array") == std::string_view::npos) return d;
  d.values = StringElements(xml);
  d.ok = true;
  return d;
}

std::string Printable(std::string_view v) {
  std::string out;
  size_t lead = 0, trail = v.size();
  while (lead < v.size() && v[lead] == ' ') ++lead;
  while (trail > lead && v[trail - 1] == ' ') --trail;
  for (size_t i = 0; i < v.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(v[i]);
    bool edgeBlank = c == ' ' && (i < lead || i >= trail);
    bool edgeAt = c == '@' && i == 0;
    if (edgeBlank || edgeAt || c == '|' || c == '{' || c < 0x20 || c == 0x7F) {
      out += "{" + std::to_string(c) + "}";
    } else if (c == 0xC3 && i + 1 < v.size() &&
               (uint8_t(v[i + 1]) == 0xB0 || uint8_t(v[i + 1]) == 0xB1 || uint8_t(v[i + 1]) == 0xB2)) {
      out += "{" + std::to_string(0xC0 + (uint8_t(v[i + 1]) & 0x3F)) + "}";
      ++i;
    } else {
      out += char(c);
    }
  }
  return out;
}

}  // namespace kup::bridgeclient
