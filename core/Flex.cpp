// The Flex ExternalInterface bridge: requests in, replies and calls out.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>
#include <sstream>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "platform/RealFlash.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

namespace kup {

namespace {

// Collects a node's raw XML text (for property contents that are neither
// string, number, null nor undefined).
std::string RawXml(const pugi::xml_node& node) {
  std::ostringstream out;
  for (auto child : node.children()) child.print(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

// Invalid UTF-8 repaired; valid text (nearly always) kept without a copy.
std::string Propre(std::string s) {
  if (bridge::IsValidUtf8(s)) return s;
  return SanitizeUtf8(s);
}

std::string TextOf(const pugi::xml_node& node) {
  // A <string> holds one text (or CDATA) node; several are joined.
  std::string s;
  for (auto child : node.children())
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      if (s.empty()) s.assign(child.value());
      else s += child.value();
    }
  return Propre(std::move(s));
}

// A <number>'s text: a plain number becomes one; NaN, Infinity or garbage
// is kept as written.
Value NumberValue(const std::string& texte) {
  std::string t = Trim(texte);
  char* end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  bool plain = !t.empty() && end && *end == '\0' && std::isfinite(d);
  for (char c : t)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
      plain = false;
  if (plain) return Value(d);
  return Value(t);
}

Value ValueOf(const pugi::xml_node& node) {
  const char* tag = node.name();
  if (std::strcmp(tag, "string") == 0) return Value(TextOf(node));
  if (std::strcmp(tag, "null") == 0) return Value::null();
  if (std::strcmp(tag, "undefined") == 0) return Value();
  if (std::strcmp(tag, "number") == 0) return NumberValue(TextOf(node));
  // <true/>, <false/>, nested arrays or objects: their XML as text.
  std::ostringstream out;
  node.print(out, "", pugi::format_raw | pugi::format_no_declaration);
  return Value(Propre(out.str()));
}

// The shape every request of the interface has:
//   <invoke name="N" returntype="xml"><arguments><array>
//     <property id="0"><string>text</string></property> ... (or <number>,
//     <null/>, <undefined/>)
//   </array></arguments></invoke>
// with no blanks between the elements, read here without building a
// document. Anything else (comments, CDATA, character references, blanks
// between elements, other attributes or values, damage) is left to the XML
// parser, which gives the same values for what is read here.
bool LireFormeCourante(std::string_view x, std::string& name, Args& args) {
  auto blanc = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t p = 0, fin = x.size();
  while (p < fin && blanc(x[p])) ++p;
  while (fin > p && blanc(x[fin - 1])) --fin;
  auto lit = [&](std::string_view s) {
    if (x.compare(p, s.size(), s) != 0) return false;
    p += s.size();
    return true;
  };
  // Text up to `close`, the five named entities decoded.
  auto texte = [&](std::string_view close, std::string& out) {
    out.clear();
    for (;;) {
      size_t q = p;
      while (q < fin && x[q] != '<' && x[q] != '&' && x[q] != '\0') ++q;
      out.append(x.substr(p, q - p));
      p = q;
      if (q >= fin || x[q] == '\0') return false;
      if (x[q] == '<') return lit(close);
      if (lit("&lt;")) out += '<';
      else if (lit("&gt;")) out += '>';
      else if (lit("&amp;")) out += '&';
      else if (lit("&quot;")) out += '"';
      else if (lit("&apos;")) out += '\'';
      else return false;
    }
  };
  // In the attribute values, what the parser decodes or refuses ("&", "<",
  // NUL) is left to it.
  const std::string_view aLaisser("&<\0", 3);
  if (!lit("<invoke name=\"")) return false;
  size_t q = x.find('"', p);
  if (q == std::string_view::npos || q >= fin) return false;
  std::string_view nom = x.substr(p, q - p);
  if (nom.find_first_of(aLaisser) != std::string_view::npos) return false;
  p = q + 1;
  if (!lit(" returntype=\"xml\">") && !lit(">")) return false;
  if (!lit("<arguments><array>")) return false;
  Args lus;
  std::string t;
  while (!lit("</array></arguments></invoke>")) {
    if (!lit("<property id=\"")) return false;
    q = x.find('"', p);
    if (q == std::string_view::npos || q >= fin) return false;
    if (x.substr(p, q - p).find_first_of(aLaisser) != std::string_view::npos) return false;
    p = q + 1;
    if (!lit(">")) return false;
    if (lit("<string>")) {
      if (!texte("</string>", t)) return false;
      lus.emplace_back(Propre(std::move(t)));
      t = std::string();
    } else if (lit("<number>")) {
      if (!texte("</number>", t)) return false;
      lus.push_back(NumberValue(Propre(t)));
    } else if (lit("<null/>")) {
      lus.push_back(Value::null());
    } else if (lit("<undefined/>")) {
      lus.emplace_back();
    } else {
      return false;
    }
    if (!lit("</property>")) return false;
  }
  if (p != fin) return false;
  name = Propre(std::string(nom));
  args = std::move(lus);
  return true;
}

// A character XML allows.
bool CaractereXML(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

// Whether the reference at x[p] ("&#...;") is well formed and names a
// character XML allows; p is moved past it.
bool ReferenceConforme(std::string_view x, size_t& p) {
  p += 2;
  const bool hexa = p < x.size() && x[p] == 'x';
  if (hexa) ++p;
  uint32_t c = 0;
  size_t chiffres = 0;
  for (; p < x.size() && x[p] != ';'; ++p, ++chiffres) {
    char d = x[p];
    uint32_t v;
    if (d >= '0' && d <= '9') v = static_cast<uint32_t>(d - '0');
    else if (hexa && d >= 'a' && d <= 'f') v = static_cast<uint32_t>(d - 'a' + 10);
    else if (hexa && d >= 'A' && d <= 'F') v = static_cast<uint32_t>(d - 'A' + 10);
    else return false;
    c = c * (hexa ? 16 : 10) + v;
    if (c > 0x10FFFF) return false;  // before it can wrap
  }
  if (p >= x.size() || chiffres == 0 || !CaractereXML(c)) return false;
  ++p;
  return true;
}

// True when every character reference of the document, in its texts and
// attribute values, is well formed and names a character XML allows. The
// parser would decode "&#0;" to an end of text, wrap what is too large and
// change surrogates: such a request is unreadable, as for any conforming
// reader, rather than run with a text other than the one sent. Comments,
// CDATA sections and processing instructions hold no references.
bool ReferencesConformes(std::string_view x) {
  if (x.find("&#") == std::string_view::npos) return true;
  size_t p = 0;
  while (p < x.size()) {
    char c = x[p];
    if (c == '&') {
      if (x.compare(p, 2, "&#") != 0) ++p;
      else if (!ReferenceConforme(x, p)) return false;
      continue;
    }
    if (c != '<') {
      ++p;
      continue;
    }
    size_t debut = 0;
    std::string_view fin;
    if (x.compare(p, 4, "<!--") == 0) debut = 4, fin = "-->";
    else if (x.compare(p, 9, "<![CDATA[") == 0) debut = 9, fin = "]]>";
    else if (x.compare(p, 2, "<?") == 0) debut = 2, fin = "?>";
    if (!fin.empty()) {
      size_t e = x.find(fin, p + debut);
      if (e == std::string_view::npos) return true;  // unterminated: the parser refuses it
      p = e + fin.size();
      continue;
    }
    // A tag: up to its ">", references only in its quoted values (where a
    // "<" starts nothing).
    char guillemet = 0;
    for (++p; p < x.size() && (guillemet || x[p] != '>');) {
      if (guillemet && x[p] == '&' && x.compare(p, 2, "&#") == 0) {
        if (!ReferenceConforme(x, p)) return false;
        continue;
      }
      if (x[p] == '"' || x[p] == '\'') guillemet = !guillemet ? x[p] : guillemet == x[p] ? 0 : guillemet;
      ++p;
    }
  }
  return true;
}

}  // namespace


bool ParseFlexRequest(const std::string& xml, std::string& name, Args& args) {
  name.clear();
  args.clear();
  if (LireFormeCourante(xml, name, args)) return true;
  // A NUL is no character of XML anywhere in a document (the parser would
  // take it for the end of the text in some places).
  if (std::memchr(xml.data(), '\0', xml.size()) || !ReferencesConformes(xml)) return false;
  pugi::xml_document doc;
  // No end-of-line normalisation (values carry CR LF) and blank-only texts
  // kept; standard and numeric entities are decoded.
  unsigned options = pugi::parse_escapes | pugi::parse_cdata | pugi::parse_ws_pcdata;
  pugi::xml_parse_result r = doc.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8);
  if (!r) return false;
  // Exactly one element: the invoke.
  pugi::xml_node invoke;
  for (auto c : doc.children()) {
    if (c.type() == pugi::node_pcdata && Trim(Replace(Replace(Replace(c.value(), "\r", ""), "\n", ""), "\t", "")).empty())
      continue;
    if (c.type() != pugi::node_element) {
      if (c.type() == pugi::node_pcdata) return false;
      continue;  // declaration, comment, doctype
    }
    if (invoke) return false;
    invoke = c;
  }
  if (!invoke || std::strcmp(invoke.name(), "invoke") != 0) return false;
  name = Propre(invoke.attribute("name").value());
  pugi::xml_node arguments = invoke.child("arguments");
  if (!arguments) return true;
  std::vector<pugi::xml_node> elements;
  for (auto c : arguments.children())
    if (c.type() == pugi::node_element) elements.push_back(c);
  if (elements.size() == 1 && std::strcmp(elements[0].name(), "array") == 0) {
    for (auto prop : elements[0].children("property")) {
      pugi::xml_node v;
      for (auto c : prop.children())
        if (c.type() == pugi::node_element) {
          v = c;
          break;
        }
      if (!v) {
        // A property without a typed value: whatever text it holds.
        args.emplace_back(Propre(RawXml(prop)));
        continue;
      }
      args.push_back(ValueOf(v));
    }
  } else {
    for (auto& e : elements) args.push_back(ValueOf(e));
  }
  return true;
}

namespace {

constexpr uint64_t kUns = 0x0101010101010101ull, kHauts = 0x8080808080808080ull;

// The bytes EcrireTexteXML looks at: the ASCII ones it may change, and the
// first byte of U+FFFE and U+FFFF.
inline uint64_t OctetsRetouches(uint64_t w) {
  uint64_t ef = w ^ (kUns * 0xEF);
  return OctetsASCIIRetouchesXML(w) | (~(((ef & ~kHauts) + ~kHauts) | ef) & kHauts);
}

// Where in v the first byte EcrireTexteXML looks at is (v.size() if none).
size_t PremierRetouche(std::string_view v) {
  size_t i = 0;
  for (; i + 8 <= v.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, v.data() + i, 8);
    if (uint64_t m = OctetsRetouches(w)) return i + static_cast<size_t>(__builtin_ctzll(m) >> 3);
  }
  for (; i < v.size(); ++i) {
    uint64_t w = static_cast<unsigned char>(v[i]);
    if (OctetsRetouches(w) & 0x80) return i;
  }
  return v.size();
}

constexpr char kRemplacement[] = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

// A value holding markup (a GIS string, a constraint row, a value the
// interface sent with entities) can neither break the XML nor add
// arguments to it; a reader refuses no character of it.
char* EcrireTexteXML(char* o, std::string_view v) {
  auto poser = [&o](const char* t, size_t n) {
    std::memcpy(o, t, n);
    o += n;
  };
  while (!v.empty()) {
    size_t k = PremierRetouche(v);
    poser(v.data(), k);
    if (k == v.size()) break;
    unsigned char c = static_cast<unsigned char>(v[k]);
    size_t lus = 1;
    if (c == '&') poser("&amp;", 5);
    else if (c == '<') poser("&lt;", 4);
    else if (c == '>') poser("&gt;", 4);
    else if (c == '\t' || c == '\n' || c == '\r') *o++ = static_cast<char>(c);
    else if (c < 0x20) poser(kRemplacement, 3);
    else if (v.size() - k >= 3 && v[k + 1] == '\xBF' && (v[k + 2] == '\xBE' || v[k + 2] == '\xBF')) {
      poser(kRemplacement, 3);  // U+FFFE, U+FFFF
      lus = 3;
    } else {
      *o++ = static_cast<char>(c);
    }
    v.remove_prefix(k + lus);
  }
  return o;
}

// Appended in place, a piece at a time: a value may be a whole document,
// and room for the worst case is made for one piece only.
void AjouterTexteXML(std::string& out, std::string_view v) {
  size_t k = PremierRetouche(v);
  out.append(v.data(), k);
  v.remove_prefix(k);
  constexpr size_t kMorceau = 4096;
  while (!v.empty()) {
    size_t n = std::min(v.size(), kMorceau);
    // A piece ends before a character's first byte, so that U+FFFE and
    // U+FFFF are never cut in two (in valid text, three bytes back at most).
    for (size_t r = 0; r < 3 && n < v.size() && (static_cast<unsigned char>(v[n]) & 0xC0) == 0x80; ++r) --n;
    size_t avant = out.size();
    out.resize(avant + n * kTexteXMLMax);
    char* fin = EcrireTexteXML(out.data() + avant, v.substr(0, n));
    out.resize(static_cast<size_t>(fin - out.data()));
    v.remove_prefix(n);
  }
}

// The value without the blanks (spaces) Trim removes at both ends.
static std::string_view SansBlancs(std::string_view v) {
  size_t a = v.find_first_not_of(' ');
  if (a == std::string_view::npos) return {};
  size_t b = v.find_last_not_of(' ');
  return v.substr(a, b - a + 1);
}

std::string sSetReturnValueXML(const StrArray& values) {
  if (values.empty()) return {};
  size_t taille = 16;
  for (auto& v : values) taille += v.size() + 48;
  std::string out;
  out.reserve(taille);
  out += "<array>";
  for (size_t i = 0; i < values.size(); ++i) {
    out += "<property id=\"";
    out += std::to_string(i);
    out += "\"><string>";
    AjouterTexteXML(out, SansBlancs(values[i]));
    out += "</string></property>";
  }
  out += "</array>";
  return out;
}

std::string sInvokeXML(const std::string& name, const StrArray& values) {
  size_t taille = name.size() + 64;
  for (auto& v : values) taille += v.size() + 17;
  std::string out;
  out.reserve(taille);
  out += "<invoke name=\"";
  out += name;
  out += "\" returntype=\"xml\">";
  if (!values.empty()) {
    out += "<arguments>";
    for (auto& v : values) {
      out += "<string>";
      AjouterTexteXML(out, v);
      out += "</string>";
    }
    out += "</arguments>";
  }
  out += "</invoke>";
  return out;
}

void RenvoyerReponse(App& app, const StrArray& values) {
  if (!app.pf.flash) raise(vberr::ObjectVariableNotSet);
  app.pf.flash->SetReturnValue(sSetReturnValueXML(values));
}

void KUP_EnvoyerChaineVersFlex(App& app, const std::string& callText) {
  DebugKUP(app, "KUP_EnvoyerChaineVersFlex", callText);
  if (!app.pf.flash) raise(vberr::ObjectVariableNotSet);
  app.pf.flash->CallFunction(callText);
}

void RenvoyerValeurFlexDefaut(App& app, const Args& args) {
  try {
    StrArray reply;
    reply.reserve(args.size() + 2);
    for (auto& a : args) reply.push_back(CStr(a));
    reply.emplace_back();
    reply.emplace_back();
    RenvoyerReponse(app, reply);
  } catch (const VbError& e) {
    TraiterErreur(app, "RenvoyerValeurFlexDefaut", e.number(), e.description());
  } catch (const std::exception& e) {
    TraiterErreur(app, "RenvoyerValeurFlexDefaut", vberr::InternalError, e.what());
  } catch (...) {
    TraiterErreur(app, "RenvoyerValeurFlexDefaut", vberr::InternalError, vbErrorText(vberr::InternalError));
  }
}

}  // namespace kup
