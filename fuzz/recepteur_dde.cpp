// Execute strings sent by the GIS and the cadastral viewer to the main
// window, one per line, on an application set up for one of the three link
// modes, with regulation-constraint files waiting in C:\Import. Whatever
// the strings hold, each is accepted, nothing escapes, the palette stays
// consistent and every call into the interface is valid UTF-8.
//
// Input: one byte choosing the mode, then the execute strings, one per line.

// fuzz-lien: kup_table
#include "AppFuzz.h"
#include "core/Core.h"
#include "gis/GisState.h"
#include "gis/Mdl_DDE_Reception.h"
#include "platform/RealFlash.h"

using namespace kup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const int kModes[] = {2, 1, 4};
  const int mode = kModes[data[0] % 3];

  fuzz::AppFuzz t;
  t.dde->addServer("SIG|CARTO");
  t.dde->addServer("CARTO|SIG");
  t.fs.put("C:\\Import\\59_350_A_12_KUPZONEPARC.txt", "UA#zone urbaine#1\r\nUB#zone#2#3#4#5\r\n\r\nEOF\r\n");
  t.fs.put("C:\\Import\\59_350_AB_7_x_KUPSERVUPBDI.txt", "a#b#c#d#e#f\nEOF");
  t.fs.put("C:\\Import\\autre.txt", "rien");
  Args parametres{Value(fuzz::ParametresTypes(mode))};
  KUP_Parametres(t.app, parametres);
  t.app.KUP_MDI.Visible = true;

  std::string texte(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t debut = 0;
  for (int n = 0; n < 16 && debut <= texte.size(); ++n) {
    size_t fin = texte.find('\n', debut);
    if (fin == std::string::npos) fin = texte.size();
    // The source hands over the string as valid UTF-8.
    const std::string commande = SanitizeUtf8(texte.substr(debut, fin - debut));
    debut = fin + 1;
    int16_t annulation = -1;
    DDE_ReceptionKUP(t.app, commande, annulation);
    KUP_FUZZ_VERIFIER(annulation == 0, commande);
    auto& g = Gis(t.app);
    KUP_FUZZ_VERIFIER(g.G_TabCouleurs.size() == static_cast<size_t>(g.G_NbCouleurs) || g.G_NbCouleurs == 0,
                      commande);
  }
  for (auto& c : t.flash.calls) KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(c) && fuzz::CaracteresXML(c), c);
  return 0;
}
