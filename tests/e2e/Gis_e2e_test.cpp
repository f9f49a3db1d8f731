// The GIS link end to end: the container started by the bridge client, a
// GIS stand-in serving the partner "NEW", and a second stand-in process that
// sends the palette, selections and a constraint import to the container's
// topic over the real sockets. The bridge client's transcript shows the
// calls into the player.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/DdeFolder.h"
#include "tests/e2e/Child.h"
#include "tests/gis/StandinProcess.h"

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

  const std::string session = dossier.file("session.txt");
  Ecrire(session,
         "KUP_Parametres | " + Reglage("DDE", "MODE", "2") + "{241}" + Reglage("DDE_NEW", "SIG_NOMAPPLI", "Carte SIG") +
             "{241}" + Reglage("DDE_NEW", "SIG_TOPIC", "SIG{124}CARTO") + "{241}" +
             Reglage("DDE_NEW", "SIG_DELAI", "20") + "\n"
             "ZezORA_ThematiqueProprietaire | 590350    A0001#MARTIN | 590350    A0002#DURAND\n"
             "wait 6000\n");
  e2e::Child client({e2e::ProgramPath("kup_bridge_client"), "--session", session, "--timeout", "20", "--",
                     e2e::ProgramPath("korvane")});
  ASSERT_TRUE(client.started());

  // The container's main window becomes a DDE source once the settings are in.
  const std::string source = dossier.file(kup::platform::dde::SocketName("Korvane", "ZEDERA"));
  ASSERT_TRUE(Attendre([&] { return std::filesystem::exists(source); }, 10000)) << client.log();

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

  std::string transcript = client.readAll(30000);
  auto status = client.wait(10000);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << transcript;

  // The colour request went to the GIS; the palette opened the window (the
  // later commands reach the player all the same).
  auto sigLog = WaitLines(dossier.file("sig.log"), 1);
  EXPECT_NE(std::find(sigLog.begin(), sigLog.end(), "SIG_DemanderCouleur()"), sigLog.end());
  EXPECT_NE(transcript.find("< CALL ZezORA_ParcelleAjouter | R1\n"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("< CALL KUP_ListeDossierParParcelleAjouter | R2\n"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("< CALL KUP_DossierSelectionRapide | PC1\n"), std::string::npos) << transcript;
  EXPECT_NE(transcript.find("< CALL KUP_IntegrationContrainteReglement | PC 075 12 00001 | "
                            "PC 075 12 00001{241}DOSOPE{240}{241}a{241}b{241}c{241}d{241}e{241}f{242}"
                            "PC 075 12 00001{241}DOSZON{240}{241}z1{241}z2{241}z3{241}z4 |  | \n"),
            std::string::npos)
      << transcript;
  EXPECT_EQ(transcript.find("KUP_ErreurContainer"), std::string::npos) << transcript;
  // The files went once their rows had reached the player.
  EXPECT_TRUE(std::filesystem::is_empty(contraintes));
}
