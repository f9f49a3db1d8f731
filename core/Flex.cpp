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
  if (!lit("<invoke name=\"")) return false;
  size_t q = x.find('"', p);
  if (q == std::string_view::npos || q >= fin) return false;
  std::string_view nom = x.substr(p, q - p);
  if (nom.find_first_of("&<") != std::string_view::npos) return false;
  p = q + 1;
  if (!lit(" returntype=\"xml\">") && !lit(">")) return false;
  if (!lit("<arguments><array>")) return false;
  Args lus;
  std::string t;
  while (!lit("</array></arguments></invoke>")) {
    if (!lit("<property id=\"")) return false;
    q = x.find('"', p);
    if (q == std::string_view::npos || q >= fin) return false;
    if (x.substr(p, q - p).find_first_of("&<") != std::string_view::npos) return false;
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

}  // namespace


bool ParseFlexRequest(const std::string& xml, std::string& name, Args& args) {
  name.clear();
  args.clear();
  if (LireFormeCourante(xml, name, args)) return true;
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

// Text written inside <string>: "&" and "<" as entities, so that a value
// holding markup (a GIS string, a constraint row, a value the interface sent
// with entities) can neither break the XML nor add arguments to it.
// Appended in place: a value may be a whole document.
static void AjouterTexteXML(std::string& out, std::string_view v) {
  if (v.empty()) return;  // an empty view may have no data at all, which memchr may not be given
  const char* d = v.data();
  const char* f = d + v.size();
  const char* et = static_cast<const char*>(std::memchr(d, '&', v.size()));
  const char* inf = static_cast<const char*>(std::memchr(d, '<', v.size()));
  for (;;) {
    const char* p = !et ? inf : !inf ? et : std::min(et, inf);
    if (!p) {
      out.append(d, static_cast<size_t>(f - d));
      return;
    }
    out.append(d, static_cast<size_t>(p - d));
    if (p == et) {
      out += "&amp;";
      et = static_cast<const char*>(std::memchr(p + 1, '&', static_cast<size_t>(f - p - 1)));
    } else {
      out += "&lt;";
      inf = static_cast<const char*>(std::memchr(p + 1, '<', static_cast<size_t>(f - p - 1)));
    }
    d = p + 1;
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
