// The regulation document list: every file of the REP_FICREGLEMENT folder.
#include <gtest/gtest.h>

#include <memory>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbString.h"
#include "documents/Courrier_TestOutils.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_DocumentPLUExterne.h"
#include "tests/TestApp.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Requete;
using courrier_test::Valeurs;

namespace {

struct Reglement : ::testing::Test {
  Reglement() {
    auto table = std::make_shared<CommandTable>();
    RegisterMdl_DocumentPLUExterne(*table);
    t.app.commands = table;
  }
  TestApp t;
};

TEST_F(Reglement, ListsEveryFileOfTheFolderWhateverTheArguments) {
  t.fs.put("C:\\PLU\\reglement.pdf", "x");
  t.fs.put("C:\\PLU\\Zonage.dwg", "x");
  t.fs.put("C:\\PLU\\.cache", "x");
  t.fs.put("C:\\PLU\\annexes\\a.pdf", "x");
  t.app.G_RepFicReglement = "C:\\PLU";
  sGetFlashXML(t.app, Requete({"KUP_ListeDocumentsReglement", "pdf", "ignoré"}));
  const std::string d = "C:\\PLU\\";
  EXPECT_EQ(Valeurs(t.flash.returnValue()),
            (std::vector<std::string>{"KUP_ListeDocumentsReglement",
                                      d + Sep241() + "reglement.pdf" + Sep242() + d + Sep241() + "Zonage.dwg", "",
                                      ""}));

  // An empty folder answers the empty list.
  t.fs.createFolder("C:\\Vide");
  t.app.G_RepFicReglement = "C:\\Vide\\";
  sGetFlashXML(t.app, Requete({"KUP_ListeDocumentsReglement"}));
  EXPECT_EQ(Valeurs(t.flash.returnValue()), (std::vector<std::string>{"KUP_ListeDocumentsReglement", "", "", ""}));
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(Reglement, BeforeTheSettingsTheListIsThatOfAnEmptyFolderName) {
  t.fs.put("C:\\racine.txt", "x");
  ASSERT_EQ(t.app.G_RepFicReglement, "");
  Args rien{"KUP_ListeDocumentsReglement"};
  KUP_ListeDocumentsReglement(t.app, rien);
  const StrArray attendu = sCommunListeFichier(t.app, "", "");
  ASSERT_EQ(attendu.size(), 1u);
  EXPECT_EQ(Valeurs(t.flash.returnValue()),
            (std::vector<std::string>{"KUP_ListeDocumentsReglement", attendu[0], "", ""}));
}

TEST_F(Reglement, AnUnreadableFolderIsReportedAndNotAnswered) {
  t.fs.put("C:\\PLU\\reglement.pdf", "x");
  t.fs.fail("C:\\PLU", vberr::PermissionDenied);
  t.app.G_RepFicReglement = "C:\\PLU";
  sGetFlashXML(t.app, Requete({"KUP_ListeDocumentsReglement"}));
  EXPECT_TRUE(t.flash.returns.empty());
  auto erreurs = Erreurs(t);
  ASSERT_EQ(erreurs.size(), 2u);
  EXPECT_EQ(erreurs[0][0], "sCommunListeFichier");
  EXPECT_EQ(erreurs[0][1], "70");
  EXPECT_EQ(erreurs[1][0], "KUP_ListeDocumentsReglement");
  EXPECT_EQ(erreurs[1][1], "9");
}

}  // namespace
