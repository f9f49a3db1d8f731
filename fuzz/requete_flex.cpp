// The UI's request XML: the parser, then the dispatcher on a small table
// (a command that answers, one that fails, one run later by the timer).
// Names and string values always come out as valid UTF-8; nothing escapes
// the dispatcher. The same bytes also make a request of the usual shape,
// read once by the fast reader and once, a comment added, by the XML
// parser: both readers refuse it or read the same name and values.

// fuzz-lien: kup_core
#include <utility>

#include "FuzzOutils.h"
#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbError.h"
#include "platform/RealFlash.h"

using namespace kup;

namespace {

// The request of the usual shape whose name, ids and texts the bytes give
// (written as they come: entities, references, NUL, damage), and the same
// with a comment that sends it to the XML parser.
std::pair<std::string, std::string> FormeCourante(const uint8_t* data, size_t size) {
  FuzzedDataProvider p(data, size);
  std::string tete = "<invoke name=\"" + fuzz::Texte(p, 24) + "\" returntype=\"xml\"><arguments><array>";
  std::string props;
  for (int i = 0, n = p.ConsumeIntegralInRange(0, 4); i < n; ++i) {
    std::string id = p.ConsumeBool() ? std::to_string(i) : fuzz::Texte(p, 6);
    const std::string balise[] = {"string", "number", "null", "undefined"};
    const int k = p.ConsumeIntegralInRange(0, 3);
    props += "<property id=\"" + id + "\">";
    if (k < 2) props += "<" + balise[k] + ">" + fuzz::Texte(p, 48) + "</" + balise[k] + ">";
    else props += "<" + balise[k] + "/>";
    props += "</property>";
  }
  const std::string fin = "</array></arguments></invoke>";
  return {tete + props + fin, tete + "<!---->" + props + fin};
}

void MemeLecture(const uint8_t* data, size_t size) {
  auto [courant, detour] = FormeCourante(data, size);
  std::string n1, n2;
  Args a1, a2;
  bool l1 = ParseFlexRequest(courant, n1, a1), l2 = ParseFlexRequest(detour, n2, a2);
  KUP_FUZZ_VERIFIER(l1 == l2, courant);
  if (!l1) return;
  KUP_FUZZ_VERIFIER(n1 == n2 && a1.size() == a2.size(), courant);
  for (size_t i = 0; i < a1.size(); ++i) {
    KUP_FUZZ_VERIFIER(a1[i].isString() == a2[i].isString() && a1[i].isNumber() == a2[i].isNumber() &&
                          a1[i].isNull() == a2[i].isNull() && a1[i].isEmpty() == a2[i].isEmpty(),
                      courant);
    if (a1[i].isString()) KUP_FUZZ_VERIFIER(a1[i].str() == a2[i].str(), courant);
    if (a1[i].isNumber()) KUP_FUZZ_VERIFIER(a1[i].num() == a2[i].num(), courant);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemeLecture(data, size);

  const std::string xml(reinterpret_cast<const char*>(data), size);

  std::string nom;
  Args args;
  if (ParseFlexRequest(xml, nom, args)) {
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(nom), nom);
    for (auto& a : args)
      if (a.isString()) KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(a.str()), a.str());
  }

  TestApp t;
  auto table = std::make_shared<CommandTable>();
  table->add("KUP_Echo", [](App& app, Args& a) { RenvoyerValeurFlexDefaut(app, a); });
  table->add("KUP_Leve", [](App&, Args& a) { raise(vberr::TypeMismatch, CStr(Arg(a, 0))); });
  table->add("KUP_Runtime", [](App&, Args& a) { throw std::runtime_error(CStr(Arg(a, 0))); });
  table->addDeferred("KUP_Differe", 10, [](App& app, Args& a) { RenvoyerValeurFlexDefaut(app, a); });
  t.app.commands = table;
  FlashCall(t.app, xml);
  t.timer.fire();
  for (auto& r : t.flash.returns) KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(r), r);
  return 0;
}
