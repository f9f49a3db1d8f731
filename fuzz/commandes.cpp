// Requests of the interface through the dispatcher and the whole command
// table, on an application set up for one of the link modes, with
// templates, waiting letters and catalogue files on its disk: any command
// with any arguments (text, numbers, Null, Empty, XML), several in a row.
// Nothing escapes, nothing hangs, and what goes back to the interface is
// valid UTF-8.
//
// Input: one byte choosing the mode, then for each request a command
// number, an argument count and the arguments (FuzzedDataProvider).

// fuzz-lien: kup_table
#include <algorithm>

#include "AppFuzz.h"
#include "core/Core.h"
#include "core/Dispatcher.h"
#include "platform/RealFlash.h"

using namespace kup;

namespace {

std::string Echapper(const std::string& s) {
  std::string o;
  for (char c : s) {
    switch (c) {
      case '&': o += "&amp;"; break;
      case '<': o += "&lt;"; break;
      case '>': o += "&gt;"; break;
      default: o += c;
    }
  }
  return o;
}

std::string Argument(FuzzedDataProvider& p) {
  static const char* kTextes[] = {"C:\\Modeles\\Courrier\\lettre.dot", "C:\\Modeles", "lettre.dot",
                                  "C:\\Attente\\a.doc", "590350    A0123", "PC", "..\\..\\x", ""};
  switch (p.ConsumeIntegralInRange<int>(0, 6)) {
    case 0:
      return "<string>" + Echapper(SanitizeUtf8(fuzz::AvecSeparateurs(p.ConsumeRandomLengthString(48)))) +
             "</string>";
    case 1: return std::string("<string>") + Echapper(p.PickValueInArray(kTextes)) + "</string>";
    case 2: return "<number>" + std::to_string(p.ConsumeIntegralInRange<int64_t>(-5, 1LL << 40)) + "</number>";
    case 3: return "<number>" + std::to_string(p.ConsumeFloatingPoint<double>()) + "</number>";
    case 4: return "<null/>";
    case 5: return "<undefined/>";
    default: return "<true/>";
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider p(data, size);
  static const int kModes[] = {2, 1, 4};
  const int mode = p.PickValueInArray(kModes);

  fuzz::AppFuzz t;
  t.dde->addServer("SIG|CARTO");
  t.dde->addServer("CARTO|SIG");
  t.fs.put("C:\\Modeles\\Courrier\\lettre.dot", "{MERGEFIELD DOS_NUMERO} texte");
  t.fs.put("C:\\Modeles\\Courrier\\PC\\arrete.odt", "modele");
  t.fs.put("C:\\Modeles\\Html\\fiche.html", "<html><body>$DOS_NUMERO$</body></html>");
  t.fs.put("C:\\Attente\\a.doc", "lettre en attente");
  t.fs.put("C:\\Reglement\\r.txt", "reglement");
  Args parametres{Value(fuzz::ParametresTypes(mode))};
  KUP_Parametres(t.app, parametres);

  const size_t journalAvant = t.fs.journal.size();
  std::vector<std::string> noms;
  for (auto& [nom, _] : t.app.commands->handlers) noms.push_back(nom);

  for (int n = 0; n < 6 && p.remaining_bytes() > 0 && !t.app.quitRequested; ++n) {
    const std::string& nom = noms[p.ConsumeIntegralInRange<size_t>(0, noms.size() - 1)];
    std::string xml = "<invoke name=\"FlashCall\" returntype=\"xml\"><arguments><array><property id=\"0\"><string>" +
                      nom + "</string></property>";
    const int nb = p.ConsumeIntegralInRange<int>(0, 8);
    for (int k = 0; k < nb; ++k)
      xml += "<property id=\"" + std::to_string(k + 1) + "\">" + Argument(p) + "</property>";
    xml += "</array></arguments></invoke>";
    FlashCall(t.app, xml);
    t.timer.fire();
  }
  // Whatever the arguments name, the commands write and delete only in the
  // folders the settings and the platform give them.
  static const char* kRacines[] = {"C:\\TEMP\\", "C:\\KORVANE\\", "C:\\ATTENTE\\", "C:\\MODELES\\",
                                   "C:\\STOCKAGE\\", "C:\\REGLEMENT\\"};
  for (size_t j = journalAvant; j < t.fs.journal.size(); ++j) {
    const std::string& e = t.fs.journal[j];
    const std::string cible = UCase(e.substr(e.find(' ') + 1));
    bool dedans = false;
    for (const char* r : kRacines) dedans = dedans || cible.rfind(r, 0) == 0;
    KUP_FUZZ_VERIFIER(dedans, e);
  }
  for (auto& r : t.flash.returns) KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(r) && fuzz::CaracteresXML(r), r);
  for (auto& c : t.flash.calls) KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(c) && fuzz::CaracteresXML(c), c);
  return 0;
}
