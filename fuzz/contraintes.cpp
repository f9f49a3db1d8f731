// Regulation-constraint files the GIS drops in a folder: any names, any
// contents. The import never fails outside its own reports, sends at most
// one call to the interface, deletes only files whose rows that call
// carried (none when the call failed), and never touches another file.
//
// Input: options byte (bit 0: the interface refuses the call; bit 1: the
// folder is given with its final "\"), then up to five files, each a name
// line and a content, separated by NUL bytes.

// fuzz-lien: kup_gis
#include <set>

#include "FuzzOutils.h"
#include "gis/Mdl_ContrainteReglement.h"
#include "platform/RealFlash.h"

using namespace kup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool refus = data[0] & 1;
  const bool barre = data[0] & 2;
  std::vector<std::string> morceaux(1);
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0 && morceaux.size() < 5) morceaux.emplace_back();
    else morceaux.back() += static_cast<char>(data[i]);
  }

  TestApp t;
  t.flash.failCalls = refus;
  t.fs.createFolder("C:\\Import");
  t.fs.put("C:\\Autre\\59_1_A_1_KUPZONEPARC.txt", "hors du dossier");
  std::set<std::string> avant;
  for (auto& m : morceaux) {
    size_t nl = m.find('\n');
    std::string nom = m.substr(0, nl);
    std::string contenu = nl == std::string::npos ? std::string() : m.substr(nl + 1);
    nom = SanitizeUtf8(nom);
    if (nom.empty() || nom.find_first_of("\\/:") != std::string::npos || nom == "." || nom == "..") continue;
    try {
      t.fs.put("C:\\Import\\" + nom, contenu);
    } catch (...) {
      continue;
    }
  }
  for (auto& f : t.fs.allFiles()) avant.insert(f);

  IntegrationReglementDDE(t.app, barre ? "C:\\Import\\" : "C:\\Import");

  size_t appels = 0;
  for (auto& c : t.flash.calls) {
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(c) && fuzz::CaracteresXML(c), c);
    if (c.find("KUP_IntegrationContrainteReglement") != std::string::npos) ++appels;
  }
  KUP_FUZZ_VERIFIER(appels == 1, std::to_string(appels));
  std::set<std::string> apres;
  for (auto& f : t.fs.allFiles()) apres.insert(f);
  for (auto& f : apres) KUP_FUZZ_VERIFIER(avant.count(f), f);
  for (auto& f : avant) {
    if (apres.count(f)) continue;
    if (std::getenv("KUP_FUZZ_TRACE")) std::fprintf(stderr, "importé puis supprimé : %s\n", f.c_str());
    KUP_FUZZ_VERIFIER(!refus, "fichier supprimé alors que l'appel a échoué : " + f);
    KUP_FUZZ_VERIFIER(f.rfind("C:\\Import\\", 0) == 0, f);
    KUP_FUZZ_VERIFIER(UCase(f).find("BDI.TXT") != std::string::npos || UCase(f).find("PARC.TXT") != std::string::npos,
                      f);
  }
  return 0;
}
