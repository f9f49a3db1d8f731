// The UI's request XML: the parser, then the dispatcher on a small table
// (a command that answers, one that fails, one run later by the timer).
// Names and string values always come out as valid UTF-8; nothing escapes
// the dispatcher.

// fuzz-lien: kup_core
#include "FuzzOutils.h"
#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbError.h"
#include "platform/RealFlash.h"

using namespace kup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
