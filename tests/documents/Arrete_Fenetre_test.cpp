// The main window as the decree editing panel: position setting, saved place,
// sizes and the inner size answered, the window kept on top, and what leaving
// the editing does to the decree document and its working file.
#include <gtest/gtest.h>

#include "documents/Mdl_TaxeExterne.h"
#include "office/ApTableur.h"
#include "office/MemoryCalc.h"
#include "tests/documents/Arrete_TestOutils.h"

using namespace kup;
using arrete_test::Arrete;
using arrete_test::V;

namespace {

struct Panneau : Arrete {
  Panneau() {
    auto& w = t.app.KUP_MDI;
    w.Left = 1200.4;
    w.Top = 899.6;
    w.Width = 15360;
    w.Height = 11520;
    w.ScaleWidth = 15240;  // a frame of 120 x 720 twips
    w.ScaleHeight = 10800;
    w.WindowState = 2;
  }
  MainWindow& w() { return t.app.KUP_MDI; }
  bool dessus() { return t.windows.isTopmost(t.app.KUP_MDI.hWnd); }
  void position(const std::string& valeur) { t.app.G_Parametres.set("EDITION", "POSITION_FENETRE_ARRETE", valeur); }
};

}  // namespace

TEST(Arrete_Panneau, EnterPlacesTheFixedPanelOnTopAndLeaveGivesTheWindowBack) {
  Panneau p;
  p.position("(300,200)");
  auto r = p.requete({"KUP_ArreteEntrer", "400", "300"});
  EXPECT_EQ(r, (V{"KUP_ArreteEntrer", "5880", "3780", "", ""}));
  EXPECT_EQ(p.w().Left, 300);
  EXPECT_EQ(p.w().Top, 200);
  EXPECT_EQ(p.w().Width, 6000);
  EXPECT_EQ(p.w().Height, 4500);
  EXPECT_EQ(p.w().WindowState, 0);
  EXPECT_EQ(p.w().BorderStyle, 3);
  EXPECT_TRUE(p.dessus());
  // Saved to the nearest whole number.
  EXPECT_EQ(p.docs().arreteGauche, 1200);
  EXPECT_EQ(p.docs().arreteHaut, 900);

  r = p.requete({"KUP_ArreteSortir", "1024", "768"});
  EXPECT_EQ(r, (V{"KUP_ArreteSortir", "15240", "10800", "", ""}));
  EXPECT_EQ(p.w().Left, 1200);
  EXPECT_EQ(p.w().Top, 900);
  EXPECT_EQ(p.w().WindowState, 2);
  EXPECT_EQ(p.w().BorderStyle, 2);
  EXPECT_FALSE(p.dessus());
  EXPECT_TRUE(p.erreurs().empty());
}

// Maximised again, the window measures the work area whatever panel came before.
TEST(Arrete_Panneau, EveryLeaveMeasuresTheWorkArea) {
  Panneau p;
  RegisterMdl_TaxeExterne(*p.t.app.commands);
  G_Tableur(p.t.app).twinFactory = MemoryCalcFactory(std::make_shared<MemoryCalcApp>());
  p.requete({"KUP_ArreteEntrer", "800", "600"});
  EXPECT_EQ(p.requete({"KUP_ArreteSortir", "640", "480"}), (V{"KUP_ArreteSortir", "15240", "10800", "", ""}));
  p.requete({"KUP_TaxeEntrer", "300", "200"});
  EXPECT_EQ(p.requete({"KUP_TaxeSortir"}), (V{"KUP_TaxeSortir", "15240", "10800", "", ""}));
}

TEST(Arrete_Panneau, PositionSettingIsReadPartByPart) {
  struct Cas {
    const char* valeur;
    double gauche, haut;
  };
  for (auto c : {Cas{"300", 300, 900}, Cas{"", 1200, 900}, Cas{"(abc,200)", 1200, 200}, Cas{" 300 , 200 ", 300, 200},
                 Cas{"(,)", 1200, 900}, Cas{"300,200,100", 300, 200}}) {
    Panneau p;
    p.position(c.valeur);
    p.requete({"KUP_ArreteEntrer", "400", "300"});
    EXPECT_EQ(p.w().Left, c.gauche) << c.valeur;
    EXPECT_EQ(p.w().Top, c.haut) << c.valeur;
    EXPECT_TRUE(p.erreurs().empty()) << c.valeur;
  }
}

TEST(Arrete_Panneau, SavedPlaceBeforeAnyEnterAndAfterTwoEnters) {
  Panneau p;
  // Nothing saved yet: the window goes to the corner.
  p.requete({"KUP_ArreteSortir", "1024", "768"});
  EXPECT_EQ(p.w().Left, 0);
  EXPECT_EQ(p.w().Top, 0);

  // A second enter saves the panel's own place, which the leave then restores.
  Panneau q;
  q.position("(300,200)");
  q.requete({"KUP_ArreteEntrer", "400", "300"});
  q.requete({"KUP_ArreteEntrer", "400", "300"});
  q.requete({"KUP_ArreteSortir", "1024", "768"});
  EXPECT_EQ(q.w().Left, 300);
  EXPECT_EQ(q.w().Top, 200);
}

TEST(Arrete_Panneau, WrongArgumentCountsSkipOnlyTheWindowChanges) {
  Panneau p;
  p.position("(300,200)");
  p.docs().arreteFichier = "C:\\Temp\\ancien.dot";
  p.t.fs.put("C:\\Temp\\ancien.dot", "x");
  // One argument: the current inner size, the place saved, the file forgotten.
  EXPECT_EQ(p.requete({"KUP_ArreteEntrer", "400"}), (V{"KUP_ArreteEntrer", "15240", "10800", "", ""}));
  EXPECT_EQ(p.w().Left, 1200.4);
  EXPECT_EQ(p.w().WindowState, 2);
  EXPECT_FALSE(p.dessus());
  EXPECT_EQ(p.docs().arreteGauche, 1200);
  EXPECT_EQ(p.docs().arreteFichier, "");
  EXPECT_TRUE(p.t.fs.fileExists("C:\\Temp\\ancien.dot"));  // forgotten, not deleted

  // Without arguments the command name is the only one.
  p.requete({"KUP_ArreteEntrer", "400", "300"});
  p.docs().arreteFichier = "C:\\Temp\\ancien.dot";
  EXPECT_EQ(p.requete({"KUP_ArreteSortir"}), (V{"KUP_ArreteSortir", "5880", "3780", "", ""}));
  EXPECT_EQ(p.w().Left, 1200);
  EXPECT_FALSE(p.dessus());
  EXPECT_EQ(p.w().BorderStyle, 3);
  EXPECT_TRUE(p.t.fs.fileExists("C:\\Temp\\ancien.dot"));
}

TEST(Arrete_Panneau, BadSizesStopEnterWithAReportAndLeaveSilently) {
  Panneau p;
  p.requete({"KUP_ArreteEntrer", "400", "haut"});
  EXPECT_FALSE(p.repondu());
  ASSERT_EQ(p.erreurs().size(), 1u);
  EXPECT_EQ(p.erreurs()[0][0], "KUP_ArreteEntrer");
  EXPECT_EQ(p.erreurs()[0][1], "13");
  // What came before the failing size stays done.
  EXPECT_EQ(p.w().WindowState, 0);
  EXPECT_EQ(p.w().BorderStyle, 3);
  EXPECT_EQ(p.w().Width, 15360);
  EXPECT_FALSE(p.dessus());

  // A window takes no negative size.
  p.requete({"KUP_ArreteEntrer", "-400", "300"});
  ASSERT_EQ(p.erreurs().size(), 1u);
  EXPECT_EQ(p.erreurs()[0], (V{"KUP_ArreteEntrer", "380", "Valeur de propriété non valide"}));
  EXPECT_EQ(p.w().Width, 15360);

  p.requete({"KUP_ArreteEntrer", "400", "300"});
  p.requete({"KUP_ArreteSortir", "large", "768"});
  EXPECT_FALSE(p.repondu());
  EXPECT_TRUE(p.erreurs().empty());
  EXPECT_FALSE(p.dessus());  // released before the sizes were read
}

TEST(Arrete_Panneau, LeaveClosesTheDecreeAndDeletesItsWorkingFile) {
  Panneau p;
  p.requete({"KUP_ArreteEntrer", "400", "300"});
  p.requete({"KUP_ArreteCharger", arrete_test::B64("decret.dot", arrete_test::kModele)});
  ASSERT_TRUE(p.t.fs.fileExists("C:\\Temp\\decret.dot"));
  ASSERT_EQ(p.word->documents.size(), 1u);
  p.requete({"KUP_ArreteSortir", "1024", "768"});
  EXPECT_TRUE(p.word->documents.empty());
  EXPECT_FALSE(p.t.fs.fileExists("C:\\Temp\\decret.dot"));
  EXPECT_EQ(p.docs().arreteFichier, "C:\\Temp\\decret.dot");  // recorded until the next load, save or enter

  // The user closed the decree: nothing to close, the file still goes.
  p.requete({"KUP_ArreteCharger", arrete_test::B64("decret2.dot", arrete_test::kModele)});
  p.word->userCloses(p.word->active());
  p.t.flash.clear();
  auto r = p.requete({"KUP_ArreteSortir", "1024", "768"});
  EXPECT_EQ(r.size(), 5u);
  EXPECT_FALSE(p.t.fs.fileExists("C:\\Temp\\decret2.dot"));
  EXPECT_TRUE(p.erreurs().empty());
}

TEST(Arrete_Panneau, HeightIsKeptWhenTheWidthThenFails) {
  Panneau p;
  p.docs().arreteFichier = "C:\\Temp\\ancien.dot";
  p.requete({"KUP_ArreteEntrer", "large", "300"});
  EXPECT_FALSE(p.repondu());
  ASSERT_EQ(p.erreurs().size(), 1u);
  EXPECT_EQ(p.erreurs()[0][1], "13");
  EXPECT_EQ(p.w().Height, 4500);
  EXPECT_EQ(p.w().Width, 15360);
  EXPECT_FALSE(p.dessus());
  // Stopped before the working file is forgotten.
  EXPECT_EQ(p.docs().arreteFichier, "C:\\Temp\\ancien.dot");

  // Leaving: the height is taken, then the silent stop keeps the panel
  // border, the decree open and its file.
  p.requete({"KUP_ArreteEntrer", "400", "300"});
  p.requete({"KUP_ArreteCharger", arrete_test::B64("decret.dot", arrete_test::kModele)});
  p.requete({"KUP_ArreteSortir", "-1", "768"});
  EXPECT_FALSE(p.repondu());
  EXPECT_TRUE(p.erreurs().empty());
  EXPECT_EQ(p.w().Height, 768 * 15);
  EXPECT_EQ(p.w().Width, 6000);
  EXPECT_EQ(p.w().BorderStyle, 3);
  EXPECT_EQ(p.w().WindowState, 0);
  EXPECT_EQ(p.word->documents.size(), 1u);
  EXPECT_TRUE(p.t.fs.fileExists("C:\\Temp\\decret.dot"));
}
