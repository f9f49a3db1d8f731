// The settings string of KUP_Parametres and the command line: whatever the
// records hold (missing fields, duplicates, odd modes, partner layouts and
// templates of any shape), loading and reloading them sets the link up or
// reports, and nothing escapes. The bytes 0x01-0x03 stand for the list
// separators U+00F2-U+00F0.
//
// Input: first settings string, NUL, second settings string (a reload),
// NUL, command line.

// fuzz-lien: kup_table
#include "AppFuzz.h"
#include "core/Core.h"
#include "core/Dispatcher.h"

using namespace kup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parties(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && parties.size() < 3) parties.emplace_back();
    else parties.back() += static_cast<char>(data[i]);
  }
  parties.resize(3);

  fuzz::AppFuzz t;
  t.dde->addServer("SIG|CARTO");
  t.dde->addServer("CARTO|SIG");
  for (int k = 0; k < 2; ++k) {
    Args args{Value(fuzz::AvecSeparateurs(parties[k]))};
    KUP_Parametres(t.app, args);
    KUP_FUZZ_VERIFIER(t.app.G_Parametres.size() <= parties[k].size(), parties[k]);
  }

  LigneCommande lc = AnalyserLigneCommande(parties[2]);
  KUP_FUZZ_VERIFIER(lc.args.size() <= parties[2].size() && lc.swif.size() <= parties[2].size(), parties[2]);
  t.app.mainDone = false;
  Main(t.app, parties[2], "korvane");

  // The map commands on whatever link the settings made.
  for (const char* cmd : {"SIG_ParcelleUniqueCadrer", "SIG_ParcelleMultipleCadrer", "SIG_CoordonneesCadrer",
                          "SIG_NomDossierCadrer"}) {
    std::string xml = std::string("<invoke name=\"FlashCall\"><arguments><string>") + cmd +
                      "</string><string>590350    A0123</string><string>59350</string><string>1.5</string>"
                      "<string>2.5</string></arguments></invoke>";
    FlashCall(t.app, xml);
  }
  return 0;
}
