// The GIS link end to end: the container speaking the bridge protocol, a
// GIS stand-in serving the partner "NEW", and a second stand-in process that
// sends the palette, selections and a constraint import to the container's
// topic over the real sockets; the calls into the player come back on the
// bridge.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/DdeFolder.h"
#include "tests/e2e/Child.h"
#include "tests/gis/StandinProcess.h"
#include "tools/bridge_client/Session.h"

namespace {

// One KUP_Parametres record in session short form: section, key and value in
// fields 4, 5 and 8.
std::string Reglage(const std::string& section, const std::string& cle, const std::string& valeur) {
  return "0{240}1{240}2{240}3{240}" + section + "{240}" + cle + "{240}6{240}7{240}" + valeur;
}

void Ecrire(const std::string& chemin, const std::string& texte) { std::ofstream(chemin, std::ios::binary) << texte; }

// Restores an environment variable at the end of the test.
struct Variable {
  std::string nom;
  std::optional<std::string> avant;
  Variable(const std::string& n, const std::string& valeur) : nom(n) {
    if (const char* v = std::getenv(n.c_str())) avant = v;
    ::setenv(n.c_str(), valeur.c_str(), 1);
  }
  ~Variable() {
    if (avant) ::setenv(nom.c_str(), avant->c_str(), 1);
    else ::unsetenv(nom.c_str());
  }
};

bool Attendre(const std::function<bool()>& condition, int ms) {
  auto fin = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= fin) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

TEST(GisE2E, PaletteSelectionsAndConstraintImportReachThePlayer) {
  ServiceFolder dossier;
  Variable dde("KUP_DDE_DIR", dossier.path);
  const std::string contraintes = dossier.file("contraintes");
  std::filesystem::create_directory(contraintes);
  Ecrire(contraintes + "/PC_075_12_00001_KUPOPEBDI.txt", "a#b#c#d#e#f\r\n\r\nEOF\r\n");
  Ecrire(contraintes + "/PC_075_12_00001_KUPZONEPARC.txt", "z1#z2#z3#z4\r\n");

  // The GIS: serves "SIG|CARTO" under the window title "Carte SIG".
  Standin sig(dossier, {"--app", "SIG", "--topic", "CARTO", "--title", "Carte SIG", "--log", dossier.file("sig.log")});
  ASSERT_TRUE(sig.ready());

  // The interface: the requests go in one by one, each waiting for its RET;
  // the calls into the player are kept as the bridge client prints them.
  e2e::Child korvane({e2e::ProgramPath("korvane")});
  ASSERT_TRUE(korvane.started());
  std::vector<std::string> appels;
  auto noter = [&](const kup::bridge::FrameReader::Item& f) {
    if (!f.ok || f.kind != "CALL") return;
    const auto d = kup::bridgeclient::DecodeCall(f.payload);
    std::string ligne = d.name;
    for (const auto& v : d.values) ligne += " | " + kup::bridgeclient::Printable(v);
    appels.push_back(ligne);
  };
  for (const std::string& requete :
       {"KUP_Parametres | " + Reglage("DDE", "MODE", "2") + "{241}" + Reglage("DDE_NEW", "SIG_NOMAPPLI", "Carte SIG") +
            "{241}" + Reglage("DDE_NEW", "SIG_TOPIC", "SIG{124}CARTO") + "{241}" +
            Reglage("DDE_NEW", "SIG_DELAI", "20"),
        std::string("ZezORA_ThematiqueProprietaire | 590350    A0001#MARTIN | 590350    A0002#DURAND")}) {
    ASSERT_TRUE(korvane.request(kup::bridgeclient::ShortFormToXml(requete)));
    const auto trames = korvane.untilRet(20000);
    ASSERT_FALSE(trames.empty()) << korvane.log();
    ASSERT_EQ(trames.back().kind, "RET") << korvane.log();
    for (const auto& f : trames) noter(f);
  }

  // The container's main window becomes a DDE source once the settings are in.
  const std::string source = dossier.file(kup::platform::dde::SocketName("Korvane", "ZEDERA"));
  ASSERT_TRUE(Attendre([&] { return std::filesystem::exists(source); }, 10000)) << korvane.log();

  const std::string script = dossier.file("gis.txt");
  Ecrire(script,
         "dde_ajoutcouleurinit(2)\n"
         "dde_ajoutcouleur(0,255,0,0)\n"
         "dde_ajoutcouleur(1,0,0,255)\n"
         "dde_ajoutcouleurfin()\n"
         "ZezORA_ParcelleAjouter(x#R1#y)\n"
         "KUP_ListeDossierParParcelleAjouter(R2)\n"
         "KUP_DossierSelectionRapide(PC1)\n"
         "KUP_IntegrationContrainteReglement(" + contraintes + ")\n");
  const std::string envois = dossier.file("send.log");
  Standin emetteur(dossier, {"--app", "SIGEMET", "--no-server", "--no-window", "--send", script, "--send-log", envois,
                             "--to", "Korvane|ZEDERA", "--quit-after-send"});
  auto lignes = WaitLines(envois, 8, 15000);
  ASSERT_EQ(lignes.size(), 8u);
  for (auto& l : lignes) EXPECT_EQ(l.rfind("ACK ", 0), 0u) << l;

  // The session ends once the calls have reached the player, however long
  // a loaded machine takes to bring them.
  const std::vector<std::string> attendus = {
      "ZezORA_ParcelleAjouter | R1", "KUP_ListeDossierParParcelleAjouter | R2", "KUP_DossierSelectionRapide | PC1",
      "KUP_IntegrationContrainteReglement | PC 075 12 00001 | "
      "PC 075 12 00001{241}DOSOPE{240}{241}a{241}b{241}c{241}d{241}e{241}f{242}"
      "PC 075 12 00001{241}DOSZON{240}{241}z1{241}z2{241}z3{241}z4 |  | "};
  auto arrive = [&](const std::string& a) { return std::find(appels.begin(), appels.end(), a) != appels.end(); };
  const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!std::all_of(attendus.begin(), attendus.end(), arrive) && std::chrono::steady_clock::now() < limite)
    if (auto f = korvane.frame(200)) noter(*f);
  korvane.closeInput();
  auto status = korvane.wait(10000);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << korvane.log();

  // The colour request went to the GIS; the palette opened the window (the
  // later commands reach the player all the same).
  auto sigLog = WaitLines(dossier.file("sig.log"), 1);
  EXPECT_NE(std::find(sigLog.begin(), sigLog.end(), "SIG_DemanderCouleur()"), sigLog.end());
  std::string vus;
  for (const auto& a : appels) vus += a + "\n";
  for (const auto& a : attendus) EXPECT_TRUE(arrive(a)) << a << "\n" << vus;
  EXPECT_EQ(vus.find("KUP_ErreurContainer"), std::string::npos) << vus;
  // The files went once their rows had reached the player.
  EXPECT_TRUE(std::filesystem::is_empty(contraintes));
}
