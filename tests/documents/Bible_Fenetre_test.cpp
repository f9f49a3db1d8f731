// The library panel (the main window above the word processor) and the
// single texts exchanged with the word processor.
#include <gtest/gtest.h>

#include "documents/DocumentState.h"
#include "tests/documents/Bible_TestOutils.h"

using namespace kup;
using namespace bible_test;

namespace {

struct Panneau : Bible {
  MainWindow& w = t.app.KUP_MDI;
  Panneau() {
    w.Left = 1000.4;
    w.Top = 2000.5;
  }
  void position(const std::string& texte) { t.app.G_Parametres.set("EDITION", "POSITION_FENETRE_ARRETE", texte); }
  bool auPremierPlan() const { return t.windows.isTopmost(t.app.KUP_MDI.hWnd); }
  bool menuSysteme() {
    return (t.windows.getWindowLong(t.app.KUP_MDI.hWnd, platform::GWL_STYLE) & platform::WS_SYSMENU) != 0;
  }
};

}  // namespace

TEST(Bible_Panneau, EnterPlacesTheFixedPanelAndLeaveRestoresTheWindow) {
  Panneau p;
  p.position("(300,200)");
  V r = p.requete({"KUP_BibleEntrer", "400", "250"});
  // The frame keeps its thickness: 120 twips across, 720 down.
  EXPECT_EQ(r, (V{"KUP_BibleEntrer", "5880", "3030", "", ""}));
  EXPECT_EQ(p.w.Left, 300);
  EXPECT_EQ(p.w.Top, 200);
  EXPECT_EQ(p.w.Width, 6000);
  EXPECT_EQ(p.w.Height, 3750);
  EXPECT_EQ(p.w.BorderStyle, 3);
  EXPECT_EQ(p.w.WindowState, 0);
  EXPECT_TRUE(p.auPremierPlan());
  EXPECT_TRUE(p.menuSysteme());  // unlike the tax panel, the library panel keeps its menu
  EXPECT_EQ(Docs(p.t.app).bibleGauche, 1000);
  EXPECT_EQ(Docs(p.t.app).bibleHaut, 2000);  // to the nearest even whole number

  EXPECT_EQ(p.requete({"KUP_Dimensionner", "500", "300"}), (V{"KUP_Dimensionner", "7380", "3780", "", ""}));
  EXPECT_EQ(p.w.Left, 300);
  EXPECT_EQ(p.w.BorderStyle, 3);

  p.requete({"KUP_BibleInitialiser"});
  auto document = p.document();
  r = p.requete({"KUP_BibleSortir", "1024", "768"});
  EXPECT_EQ(r, (V{"KUP_BibleSortir", "15240", "10800", "", ""}));
  EXPECT_EQ(p.w.Left, 1000);
  EXPECT_EQ(p.w.Top, 2000);
  EXPECT_EQ(p.w.BorderStyle, 2);
  EXPECT_EQ(p.w.WindowState, 2);
  EXPECT_FALSE(p.auPremierPlan());
  EXPECT_TRUE(p.word->documents.empty());  // the library document is closed
  EXPECT_TRUE(p.erreurs().empty());
}

TEST(Bible_Panneau, PositionSettingIsReadPartByPart) {
  struct Cas {
    std::string reglage;
    double gauche, haut;
  } cas[] = {
      {"(300,200)", 300, 200}, {"300", 300, 2000},        {"", 1000, 2000},          {"(abc,200)", 1000, 200},
      {"( 300 , 200 )", 300, 200}, {"(99999999999,5)", 1000, 5}, {"300.5,7", 300, 7}, {"(,)", 1000, 2000},
  };
  for (const auto& c : cas) {
    Panneau p;
    p.position(c.reglage);
    ASSERT_EQ(p.requete({"KUP_BibleEntrer", "10", "10"}).size(), 5u) << c.reglage;
    EXPECT_EQ(p.w.Left, c.gauche) << c.reglage;
    EXPECT_EQ(p.w.Top, c.haut) << c.reglage;
    EXPECT_TRUE(p.erreurs().empty()) << c.reglage;
  }
}

TEST(Bible_Panneau, SavedPositionEdgeCases) {
  // Leaving before ever entering: the saved position is still zero.
  Panneau p;
  p.requete({"KUP_BibleSortir", "10", "10"});
  EXPECT_EQ(p.w.Left, 0);
  EXPECT_EQ(p.w.Top, 0);

  // Entering twice saves the panel's own place the second time.
  Panneau d;
  d.position("(300,200)");
  d.requete({"KUP_BibleEntrer", "10", "10"});
  d.requete({"KUP_BibleEntrer", "10", "10"});
  d.requete({"KUP_BibleSortir", "10", "10"});
  EXPECT_EQ(d.w.Left, 300);
  EXPECT_EQ(d.w.Top, 200);

  // One argument: the saved position changes and nothing else.
  Panneau u;
  u.position("(300,200)");
  EXPECT_EQ(u.requete({"KUP_BibleEntrer", "10"}), (V{"KUP_BibleEntrer", "15240", "10800", "", ""}));
  EXPECT_EQ(u.w.Left, 1000.4);
  EXPECT_EQ(u.w.BorderStyle, 2);
  EXPECT_FALSE(u.auPremierPlan());
  EXPECT_EQ(Docs(u.t.app).bibleGauche, 1000);

  // Leaving with a wrong count only releases the window from the top.
  Panneau s;
  s.requete({"KUP_BibleEntrer", "10", "10"});
  s.requete({"KUP_BibleInitialiser"});
  // A window is never smaller than its frame.
  EXPECT_EQ(s.requete({"KUP_BibleSortir"}), (V{"KUP_BibleSortir", "30", "0", "", ""}));
  EXPECT_EQ(s.w.Height, 720);
  EXPECT_FALSE(s.auPremierPlan());
  EXPECT_EQ(s.w.BorderStyle, 3);
  EXPECT_EQ(s.word->documents.size(), 1u);
  EXPECT_EQ(s.requete({"KUP_Dimensionner", "1", "2", "3"})[0], "KUP_Dimensionner");
  EXPECT_EQ(s.w.Width, 150);
}

TEST(Bible_Panneau, BadSizeStopsEnteringAfterStateAndBorder) {
  for (const Req& req : {Req{"KUP_BibleEntrer", "abc", "10"}, Req{"KUP_BibleEntrer", "10", std::nullopt},
                         Req{"KUP_BibleEntrer", "-5", "10"}}) {
    Panneau p;
    p.position("(300,200)");
    p.w.WindowState = 2;
    EXPECT_FALSE(p.envoyer(req));
    ASSERT_EQ(p.erreurs().size(), 1u);
    EXPECT_EQ(p.erreurs()[0][0], "KUP_BibleEntrer");
    // Normal state and fixed border come first and stay; size, place and
    // the top are not reached.
    EXPECT_EQ(p.w.WindowState, 0);
    EXPECT_EQ(p.w.BorderStyle, 3);
    EXPECT_EQ(p.w.Width, 15360);
    EXPECT_EQ(p.w.Height, 11520);
    EXPECT_EQ(p.w.Left, 1000.4);
    EXPECT_FALSE(p.auPremierPlan());
    EXPECT_EQ(Docs(p.t.app).bibleGauche, 1000);  // saved before
  }
  Panneau p;
  EXPECT_FALSE(p.envoyer({"KUP_Dimensionner", "10", "x"}));
  EXPECT_EQ(p.erreurs()[0], (V{"KUP_Dimensionner", "13", p.erreurs()[0][2]}));
}

TEST(Bible_Echange, InsertAndTakeBackTexts) {
  Bible b(4);
  b.requete({"KUP_BibleInitialiser"});
  EXPECT_FALSE(b.envoyer({"KUP_BibleInsererTexte", "Bonjour "}));
  EXPECT_FALSE(b.envoyer({"KUP_BibleInsererRTF", "{\\rtf1 le monde}"}));
  // Nothing to insert: empty, null or two texts.
  b.envoyer({"KUP_BibleInsererTexte", ""});
  b.envoyer({"KUP_BibleInsererTexte", std::nullopt});
  b.envoyer({"KUP_BibleInsererRTF", "a", "b"});
  EXPECT_EQ(b.texte(), "Bonjour le monde\n");

  auto& courrier = G_Courrier(b.t.app);
  courrier.GotoStartOfDoc();
  ASSERT_TRUE(courrier.SearchWord("le monde"));
  EXPECT_EQ(b.requete({"KUP_BibleRecupererTexte", "ignoré"}), (V{"KUP_BibleRecupererTexte", "le monde", "", ""}));
  V r = b.requete({"KUP_BibleRecupererRTF"});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_BibleRecupererRTF");
  EXPECT_EQ(Montre(r[1]), "le monde\n");
  EXPECT_EQ(b.t.clipboard.getText("rtf"), r[1]);  // through the clipboard
  EXPECT_TRUE(b.erreurs().empty());

  // Without any argument the command name is the text, as for every command.
  b.envoyer({"KUP_BibleInsererTexte"});
  b.envoyer({"KUP_BibleInsererRTF"});
  EXPECT_NE(b.texte().find("KUP_BibleInsererTexteKUP_BibleInsererRTF"), std::string::npos) << b.texte();
  EXPECT_TRUE(b.erreurs().empty());

  b.word->userQuits();
  for (std::string commande : {"KUP_BibleRecupererTexte", "KUP_BibleRecupererRTF", "KUP_BibleInsererTexte",
                               "KUP_BibleInsererRTF"}) {
    EXPECT_FALSE(b.envoyer({commande, "x"}));
    ASSERT_EQ(b.erreurs().size(), 1u);
    EXPECT_EQ(b.erreurs()[0][0], commande);
  }
}
