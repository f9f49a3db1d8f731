// The partner route end to end: the map commands of an application on the
// real DDE, window registry and process launcher, with the GIS stand-in.
#include <gtest/gtest.h>

#include <chrono>

#include "StandinProcess.h"
#include "TestApp.h"
#include "core/Dispatcher.h"
#include "gis/DDE_Client.h"
#include "gis/DDE_KUP.h"
#include "gis/Gis.h"
#include "gis/GisState.h"
#include "platform/DdeFolder.h"
#include "platform/RealDde.h"
#include "platform/RealProcessLauncher.h"
#include "platform/RealWindowSystem.h"

using Strings = std::vector<std::string>;
namespace dde = kup::platform::dde;

namespace {

const std::string kRef = "590350    A0123";

struct RealRoute {
  ServiceFolder d;
  TestApp t;
  kup::CommandTable table;
  kup::App& app = t.app;

  explicit RealRoute(const std::string& exe = {}, const std::string& delai = "20") {
    app.pf.dde = std::make_unique<kup::platform::RealDdeSystem>(d.path);
    app.pf.windows = std::make_unique<kup::platform::RealWindowSystem>(d.path);
    app.pf.processes = std::make_unique<kup::platform::RealProcessLauncher>(nullptr, nullptr, 100);
    kup::InstallGisHooks(app);
    kup::RegisterGis(table);
    app.G_Parametres.set("DDE_NEW", "SIG_NOMAPPLI", "Carte SIG");
    app.G_Parametres.set("DDE_NEW", "SIG_TOPIC", "SIG|CARTO");
    app.G_Parametres.set("DDE_NEW", "SIG_NOMEXE", exe);
    app.G_Parametres.set("DDE_NEW", "SIG_DELAI", delai);
    app.G_ModeDDE = "2";
    kup::DDE_Initialiser(app);
  }
  Strings args(std::initializer_list<std::string> l) { return Strings(l); }
  void commande(const std::string& nom, const Strings& a) {
    kup::Args args(a.begin(), a.end());
    (*table.find(nom))(app, args);
  }
  Strings messages() {
    Strings out;
    for (auto& b : t.msgbox.boxes) out.push_back(b.prompt);
    return out;
  }
  std::vector<std::string> standin(std::initializer_list<std::string> extra) {
    std::vector<std::string> a{"--app", "SIG", "--topic", "CARTO", "--title", "Carte SIG", "--log", d.file("log"),
                               "--show-log", d.file("show")};
    a.insert(a.end(), extra);
    return a;
  }
};

long Ms(std::chrono::steady_clock::time_point t0) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
}

}  // namespace

TEST(DdeRoute, ConnectsOnFirstUseAndBringsTheGisUp) {
  RealRoute r;
  Standin sig(r.d, r.standin({}));
  ASSERT_TRUE(sig.ready());
  r.commande("SIG_ParcelleMultipleCadrer", {kRef});
  r.commande("SIG_NomDossierCadrer", {"PC 059 350 24 A0001"});
  EXPECT_EQ(WaitLines(r.d.file("log"), 4), (Strings{"SIG_ParcelleInitialiser", "SIG_ParcelleAjouter(59350#A123)",
                                                    "SIG_ParcelleCadrer", "SIG_NomDossierCadrer(PC 059 350 24 A0001)"}));
  // Brought up after each of the two unwaited commands.
  EXPECT_EQ(WaitLines(r.d.file("show"), 4), (Strings{"SHOW 0", "SHOW 9", "SHOW 0", "SHOW 9"}));
  EXPECT_TRUE(r.messages().empty());
  EXPECT_EQ(kup::Partenaire(r.app, "NEW")->DDEIdAppli(), dde::MakeHandle(sig.pid(), 1));
}

TEST(DdeRoute, StartsThePartnerProgram) {
  ServiceFolder scripts;
  std::string journal = scripts.file("log");
  std::string lanceur = scripts.file("sig.sh");
  {
    std::ofstream s(lanceur);
    s << "#!/bin/sh\nexec " << StandinPath() << " --dir \"$KUP_TEST_DDE\" --app SIG --topic CARTO --title 'Carte SIG'"
      << " --log " << journal << " --lifetime-ms 30000 --die-with-parent\n";
  }
  ::chmod(lanceur.c_str(), 0700);
  RealRoute r(lanceur);
  ::setenv("KUP_TEST_DDE", r.d.path.c_str(), 1);
  auto t0 = std::chrono::steady_clock::now();
  r.commande("SIG_ParcelleUniqueCadrer", {kRef});
  EXPECT_LT(Ms(t0), 10000);
  EXPECT_TRUE(r.messages().empty()) << r.messages()[0];
  EXPECT_EQ(WaitLines(journal, 1), (Strings{"SIG_ParcelleUniqueCadrer(A123)"}));
  // Started once: the next command goes to the same process.
  r.commande("SIG_CoordonneesCadrer", {"1;2"});
  EXPECT_EQ(WaitLines(journal, 2).size(), 2u);
  long h = r.app.pf.windows->findWindow("Carte SIG");
  ASSERT_GT(h, 0);
  ::kill(static_cast<pid_t>(dde::HandleOwner(h)), SIGTERM);
}

TEST(DdeRoute, RefusalAndTimeOutMessages) {
  {
    RealRoute r;
    Standin sig(r.d, r.standin({"--answer", "nak"}));
    ASSERT_TRUE(sig.ready());
    r.commande("SIG_ParcelleMultipleCadrer", {kRef});
    EXPECT_EQ(r.messages(),
              (Strings{"DDESRV_Executer : L'application Carte SIG  ne répond pas au à la connection SIG|CARTO"}));
    EXPECT_EQ(WaitLines(r.d.file("log"), 1), (Strings{"SIG_ParcelleInitialiser"}));
  }
  {
    RealRoute r({}, "3");
    Standin sig(r.d, r.standin({"--answer", "silent"}));
    ASSERT_TRUE(sig.ready());
    auto t0 = std::chrono::steady_clock::now();
    r.commande("SIG_ParcelleMultipleCadrer", {kRef});
    EXPECT_LT(Ms(t0), 2000);
    EXPECT_EQ(r.messages(), (Strings{"DDESRV_Executer : délai de la commande SIG_ParcelleInitialiser expiré."}));
    // Unwaited commands to a silent partner: nothing shown.
    r.t.msgbox.boxes.clear();
    r.commande("SIG_NomDossierCadrer", {"D"});
    EXPECT_TRUE(r.messages().empty());
    EXPECT_EQ(WaitLines(r.d.file("log"), 2), (Strings{"SIG_ParcelleInitialiser", "SIG_NomDossierCadrer(D)"}));
  }
}

TEST(DdeRoute, PartnerMissingOrNotAnswering) {
  {
    RealRoute r;
    r.commande("SIG_NomDossierCadrer", {"D"});
    EXPECT_EQ(r.messages(), (Strings{"DDESRV_Connecter : L'application Carte SIG  n'est pas active."}));
  }
  {
    RealRoute r;
    Standin sig(r.d, r.standin({"--no-server"}));
    ASSERT_TRUE(sig.ready());
    r.commande("SIG_NomDossierCadrer", {"D"});
    EXPECT_EQ(r.messages(),
              (Strings{"DDESRV_Connecter : L'application Carte SIG  ne répond pas à la connection SIG|CARTO"}));
  }
  {
    // A program that starts but never opens the topic: one start, bounded wait.
    RealRoute r("/bin/true");
    kup::Gis(r.app).delaiDemarrageMs = 300;
    auto t0 = std::chrono::steady_clock::now();
    r.commande("SIG_NomDossierCadrer", {"D"});
    EXPECT_LT(Ms(t0), 3000);
    EXPECT_EQ(r.messages(), (Strings{"DDESRV_Connecter : L'application Carte SIG ne s'active pas."}));
  }
  {
    // The partner dies; the next command restarts nothing (no program) and says so.
    RealRoute r;
    auto sig = std::make_unique<Standin>(r.d, r.standin({}));
    ASSERT_TRUE(sig->ready());
    r.commande("SIG_ParcelleMultipleCadrer", {""});
    ASSERT_EQ(WaitLines(r.d.file("log"), 2).size(), 2u);
    sig->stop(SIGKILL);
    r.commande("SIG_ParcelleMultipleCadrer", {""});
    EXPECT_EQ(r.messages(), (Strings{"DDESRV_Connecter : L'application Carte SIG  n'est pas active."}));
    // It comes back: the link reopens by itself.
    sig = std::make_unique<Standin>(r.d, r.standin({}));
    r.t.msgbox.boxes.clear();
    r.commande("SIG_ParcelleMultipleCadrer", {""});
    EXPECT_TRUE(r.messages().empty());
    EXPECT_EQ(WaitLines(r.d.file("log"), 4).size(), 4u);
  }
}
