// The DDE partner over the in-memory DDE: connection on first use, partner
// start, the link's messages and outcomes.
#include <gtest/gtest.h>

#include "GisTestApp.h"
#include "vb/VbError.h"

using kup::vberr::DdeNoChannel;
using kup::vberr::DdeNoForeignApp;
using kup::vberr::DdeRefused;
using kup::vberr::DdeTimeout;

namespace {
const std::string kPasActive = "DDESRV_Connecter : L'application Carte SIG  n'est pas active.";
const std::string kNeRepondPas = "DDESRV_Connecter : L'application Carte SIG  ne répond pas à la connection SIG|CARTO";
const std::string kNeSActivePas = "DDESRV_Connecter : L'application Carte SIG ne s'active pas.";
const std::string kRefus = "DDESRV_Executer : L'application Carte SIG  ne répond pas au à la connection SIG|CARTO";
}  // namespace

TEST(Partenaire, FirstCommandConnectsFindsTheWindowAndActivatesIt) {
  GisTestApp t;
  t.configurerSig();
  t.initialiser();
  long fenetre = t.windows.addForeignWindow("Carte SIG");
  t.dde->addServer("sig|carto");
  auto sig = t.partenaire("NEW");
  EXPECT_EQ(sig->Controle(t.app).linkMode(), 0);

  EXPECT_EQ(sig->DDESRV_Executer(t.app, "A()", true, true), 1);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "B()", false, false), 1);
  EXPECT_EQ(t.sentSig(), (std::vector<std::string>{"A()", "B()"}));
  EXPECT_EQ(t.dde->connects.size(), 1u);  // the link stays open
  ASSERT_EQ(t.dde->executes.size(), 2u);
  EXPECT_EQ(t.dde->executes[0].timeout, 3);  // DDETimeOut when waiting
  EXPECT_EQ(t.dde->executes[1].timeout, 0);
  EXPECT_EQ(sig->DDEIdAppli(), fenetre);
  EXPECT_EQ(t.windows.get(fenetre)->shows, (std::vector<int>{0, 9}));  // only the first asked for it
  EXPECT_TRUE(t.msgbox.boxes.empty());
}

TEST(Partenaire, StartsTheProgramOnceAndDeliversTheCommand) {
  GisTestApp t;
  t.configurerSig("C:\\SIG\\sig.exe");
  t.initialiser();
  t.processes.onStart = [&](auto&) {
    t.dde->addServer("SIG|CARTO");
    t.windows.addForeignWindow("Carte SIG");
  };
  auto sig = t.partenaire("NEW");
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "SIG_ParcelleCadrer", true, false), 1);
  EXPECT_EQ(t.processes.attempts.size(), 1u);
  EXPECT_EQ(t.processes.attempts[0][0], "C:\\SIG\\sig.exe");
  EXPECT_EQ(t.dde->waits, (std::vector<std::string>{"SIG|CARTO"}));
  EXPECT_EQ(t.sentSig(), (std::vector<std::string>{"SIG_ParcelleCadrer"}));
  EXPECT_NE(sig->DDEIdAppli(), 0);
  EXPECT_TRUE(t.msgbox.boxes.empty());
}

TEST(Partenaire, ProgramThatNeverAnswersIsStartedOncePerCommand) {
  GisTestApp t;
  t.configurerSig("C:\\SIG\\sig.exe");
  t.initialiser();
  auto sig = t.partenaire("NEW");
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "X", false, true), 0);
  EXPECT_EQ(t.processes.attempts.size(), 1u);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{kNeSActivePas}));
  EXPECT_EQ(t.msgbox.boxes[0].title, "Erreur lien DDE");
  EXPECT_EQ(t.msgbox.boxes[0].buttons, kup::platform::mb::Critical);
  // The attempt counter belongs to the call: the next command starts it again.
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "Y", false, true), 0);
  EXPECT_EQ(t.processes.attempts.size(), 2u);
  EXPECT_TRUE(t.dde->executes.empty());

  t.processes.failStarts = true;
  t.msgbox.boxes.clear();
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "Z", false, true), 0);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{kNeSActivePas}));
}

TEST(Partenaire, ConnectionFailuresShowTheirTexts) {
  GisTestApp t;
  t.configurerSig();
  t.initialiser();
  auto sig = t.partenaire("NEW");
  // Not running, nothing to start.
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "X", true, true), 0);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "X", true, true), 0);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{kPasActive, kPasActive}));
  EXPECT_EQ(t.dde->connects.size(), 2u);
  EXPECT_TRUE(t.processes.attempts.empty());

  // Running but refusing the conversation.
  t.msgbox.boxes.clear();
  long fenetre = t.windows.addForeignWindow("Carte SIG");
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "X", true, true), 0);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{kNeRepondPas}));
  EXPECT_EQ(sig->DDEIdAppli(), fenetre);

  // Any other failure of the opening shows the same text.
  t.msgbox.boxes.clear();
  t.dde->scriptConnect("SIG|CARTO", 284);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "X", true, true), 0);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{kNeRepondPas}));
}

TEST(Partenaire, ExecuteOutcomes) {
  GisTestApp t;
  t.configurerSig();
  t.initialiser();
  long fenetre = t.windows.addForeignWindow("Carte SIG");
  t.dde->addServer("SIG|CARTO");
  auto sig = t.partenaire("NEW");
  ASSERT_EQ(sig->DDESRV_Executer(t.app, "ouvrir", true, false), 1);

  t.dde->scriptExecute("SIG|CARTO", DdeRefused);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "refus", false, true), 0);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{kRefus}));

  t.msgbox.boxes.clear();
  t.dde->scriptExecute("SIG|CARTO", DdeTimeout);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "lent(1)", true, true), 0);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{"DDESRV_Executer : délai de la commande lent(1) expiré."}));
  EXPECT_TRUE(t.windows.get(fenetre)->shows.empty());

  // Not waiting: no message, and the window comes up all the same.
  t.msgbox.boxes.clear();
  t.dde->scriptExecute("SIG|CARTO", DdeTimeout);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "vite", false, true), 0);
  EXPECT_TRUE(t.msgbox.boxes.empty());
  EXPECT_EQ(t.windows.get(fenetre)->shows, (std::vector<int>{0, 9}));

  // Any other failure: 0, nothing shown.
  t.dde->scriptExecute("SIG|CARTO", 28);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "autre", true, true), 0);
  EXPECT_TRUE(t.msgbox.boxes.empty());
}

TEST(Partenaire, ReconnectsWhenThePartnerWentAwayAndRetriesOnce) {
  GisTestApp t;
  t.configurerSig();
  t.initialiser();
  long fenetre = t.windows.addForeignWindow("Carte SIG");
  t.dde->addServer("SIG|CARTO");
  auto sig = t.partenaire("NEW");
  ASSERT_EQ(sig->DDESRV_Executer(t.app, "un", true, false), 1);
  // The partner restarts: the old conversation is gone.
  t.dde->removeServer("SIG|CARTO");
  t.dde->addServer("SIG|CARTO");
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "deux", true, false), 1);
  EXPECT_EQ(t.sentSig(), (std::vector<std::string>{"un", "deux"}));
  EXPECT_EQ(t.dde->connects.size(), 2u);

  // The retry's time-out is quieter: no activation after a reconnection.
  t.dde->removeServer("SIG|CARTO");
  t.dde->addServer("SIG|CARTO");
  t.dde->scriptExecute("SIG|CARTO", DdeTimeout);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "trois", false, true), 0);
  EXPECT_TRUE(t.windows.get(fenetre)->shows.empty());
  EXPECT_TRUE(t.msgbox.boxes.empty());

  // ... but a refusal is still shown, and a second 293 says nothing.
  t.dde->removeServer("SIG|CARTO");
  t.dde->addServer("SIG|CARTO");
  t.dde->scriptExecute("SIG|CARTO", DdeRefused);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "quatre", true, false), 0);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{kRefus}));
  t.msgbox.boxes.clear();
  t.dde->removeServer("SIG|CARTO");
  t.dde->addServer("SIG|CARTO");
  t.dde->scriptExecute("SIG|CARTO", DdeNoChannel);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "cinq", true, false), 0);
  EXPECT_TRUE(t.msgbox.boxes.empty());
}

TEST(Partenaire, TimeOutTooLargeForTheControlFailsQuietly) {
  GisTestApp t;
  t.configurerSig();
  t.set("DDE_NEW", "SIG_DELAI", "40000");
  t.initialiser();
  t.dde->addServer("SIG|CARTO");
  auto sig = t.partenaire("NEW");
  EXPECT_EQ(sig->DDETimeOut(), 40000);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "attendu", true, true), 0);
  EXPECT_TRUE(t.msgbox.boxes.empty());
  EXPECT_TRUE(t.dde->executes.empty());
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "sans attente", false, false), 1);
}

TEST(Partenaire, PropertiesActivationAndDisconnection) {
  GisTestApp t;
  t.configurerSig();
  t.initialiser();
  auto sig = t.partenaire("NEW");
  EXPECT_EQ(sig->DDEDirect(), "Faux");
  sig->DDEDirect("Vrai");
  EXPECT_EQ(sig->DDEDirect(), "Vrai");
  EXPECT_THROW(sig->DDEDirect("peut-être"), kup::VbError);
  // No window known: activation does nothing.
  EXPECT_EQ(sig->DDESRV_ActiverApplication(t.app), 0);
  for (auto& [h, w] : t.windows.windows) EXPECT_TRUE(w.shows.empty());

  t.dde->addServer("SIG|CARTO");
  ASSERT_EQ(sig->DDESRV_Executer(t.app, "x", true, false), 1);
  EXPECT_EQ(sig->DDESRV_Deconnecter(t.app), 1);
  EXPECT_EQ(sig->Controle(t.app).linkMode(), 0);
  // A partner whose control was unloaded fails without a crash.
  t.app.KUP_MDI.Txt_DDE.erase(sig->DDEctl());
  EXPECT_EQ(sig->DDESRV_Deconnecter(t.app), 0);
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "x", true, true), 0);
}

TEST(Partenaire, StartedProgramWithAWindowButNoTopicIsAPartnerThatRefuses) {
  GisTestApp t;
  t.configurerSig("C:\\SIG\\sig.exe");
  t.initialiser();
  long fenetre = 0;
  t.processes.onStart = [&](auto&) { fenetre = t.windows.addForeignWindow("Carte SIG"); };
  auto sig = t.partenaire("NEW");
  EXPECT_EQ(sig->DDESRV_Executer(t.app, "X", false, true), 0);
  // The window is looked for again before a second start is considered.
  EXPECT_EQ(t.processes.attempts.size(), 1u);
  EXPECT_EQ(t.messages(), (std::vector<std::string>{kNeRepondPas}));
  EXPECT_EQ(sig->DDEIdAppli(), fenetre);
  EXPECT_EQ(t.dde->connects.size(), 2u);
}

TEST(Partenaire, EachCommandIsTracedWithOneEmptyArgument) {
  GisTestApp t;
  t.configurerSig();
  t.initialiser();
  t.dde->addServer("SIG|CARTO");
  t.app.G_Debug = true;
  EXPECT_EQ(t.partenaire("NEW")->DDESRV_Executer(t.app, "SIG_ParcelleCadrer()", false, false), 1);
  EXPECT_EQ(t.app.debugWindow, "DDESRV_Executer : SIG_ParcelleCadrer()\r\n\t(0)=\r\n");
}
