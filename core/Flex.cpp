// The Flex ExternalInterface bridge: requests in, replies and calls out.
#include <cmath>
#include <cstdlib>
#include <pugixml.hpp>
#include <sstream>

#include "core/Core.h"
#include "core/Dispatcher.h"
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

std::string TextOf(const pugi::xml_node& node) {
  // A <string> holds one text (or CDATA) node; several are joined.
  std::string s;
  for (auto child : node.children())
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) s += child.value();
  return SanitizeUtf8(s);
}

Value ValueOf(const pugi::xml_node& node) {
  std::string tag = node.name();
  if (tag == "string") return Value(TextOf(node));
  if (tag == "null") return Value::null();
  if (tag == "undefined") return Value();
  if (tag == "number") {
    std::string t = Trim(TextOf(node));
    char* end = nullptr;
    double d = std::strtod(t.c_str(), &end);
    bool plain = !t.empty() && end && *end == '\0' && std::isfinite(d);
    for (char c : t)
      if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
        plain = false;
    if (plain) return Value(d);
    return Value(t);  // NaN, Infinity or garbage: kept as written
  }
  // <true/>, <false/>, nested arrays or objects: their XML as text.
  std::ostringstream out;
  node.print(out, "", pugi::format_raw | pugi::format_no_declaration);
  return Value(SanitizeUtf8(out.str()));
}

}  // namespace

bool ParseFlexRequest(const std::string& xml, std::string& name, Args& args) {
  name.clear();
  args.clear();
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
  if (!invoke || std::string(invoke.name()) != "invoke") return false;
  name = SanitizeUtf8(invoke.attribute("name").value());
  pugi::xml_node arguments = invoke.child("arguments");
  if (!arguments) return true;
  std::vector<pugi::xml_node> elements;
  for (auto c : arguments.children())
    if (c.type() == pugi::node_element) elements.push_back(c);
  if (elements.size() == 1 && std::string(elements[0].name()) == "array") {
    for (auto prop : elements[0].children("property")) {
      pugi::xml_node v;
      for (auto c : prop.children())
        if (c.type() == pugi::node_element) {
          v = c;
          break;
        }
      if (!v) {
        // A property without a typed value: whatever text it holds.
        args.emplace_back(SanitizeUtf8(RawXml(prop)));
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
static std::string TexteXML(const std::string& v) {
  if (v.find_first_of("&<") == std::string::npos) return v;
  return Replace(Replace(v, "&", "&amp;"), "<", "&lt;");
}

std::string sSetReturnValueXML(const StrArray& values) {
  if (values.empty()) return {};
  std::string out = "<array>";
  for (size_t i = 0; i < values.size(); ++i) {
    out += "<property id=\"";
    out += std::to_string(i);
    out += "\"><string>";
    out += TexteXML(Trim(values[i]));
    out += "</string></property>";
  }
  out += "</array>";
  return out;
}

std::string sInvokeXML(const std::string& name, const StrArray& values) {
  std::string out = "<invoke name=\"" + name + "\" returntype=\"xml\">";
  if (!values.empty()) {
    out += "<arguments>";
    for (auto& v : values) out += "<string>" + TexteXML(v) + "</string>";
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
