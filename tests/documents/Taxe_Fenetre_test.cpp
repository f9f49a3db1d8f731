// Tax and participation template lists, the deferred template dialog, and
// the panel the main window becomes while a tax document is worked on.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/Dispatcher.h"
#include "documents/Mdl_TaxeExterne.h"
#include "office/ApTableur.h"
#include "office/MemoryCalc.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Valeurs;
using V = std::vector<std::string>;

namespace {

struct TaxeFenetre : ::testing::Test {
  TestApp t;
  std::shared_ptr<MemoryCalcApp> calc = std::make_shared<MemoryCalcApp>();

  void SetUp() override {
    t.app.G_RepModele = "C:\\Modeles";
    t.app.G_TypeEditeur = 2;
    G_Tableur(t.app).twinFactory = MemoryCalcFactory(calc);
    t.app.commands = std::make_shared<CommandTable>();
    RegisterMdl_TaxeExterne(*t.app.commands);
    t.app.KUP_MDI.hWnd = t.windows.registerWindow("Korvane");
    t.app.KUP_MDI.Left = 300.4;
    t.app.KUP_MDI.Top = 199.6;
    t.app.KUP_MDI.WindowState = 2;
  }
  V requete(const V& v) {
    t.flash.clear();
    sGetFlashXML(t.app, courrier_test::Requete(v));
    return Valeurs(t.flash.returnValue());
  }
  // The records of a list, sorted: the listing order is the directory's.
  static V records(const std::string& liste) {
    V v = Split(liste, Sep242());
    std::sort(v.begin(), v.end());
    return v;
  }
  bool menuSysteme() {
    return (t.windows.getWindowLong(t.app.KUP_MDI.hWnd, platform::GWL_STYLE) & platform::WS_SYSMENU) != 0;
  }
};

TEST_F(TaxeFenetre, TemplateListsKeepTheSpreadsheetTemplatesOfThePrefix) {
  const std::string taxe = "C:\\Modeles\\taxe\\taxe\\";
  for (auto n : {"33_tlc.xlt", "AA_commun.xltx", "44_tlc.xlt", "33_note.doc", "330_x.xlt"}) t.fs.put(taxe + n, "x");
  t.fs.put("C:\\Modeles\\Urba\\taxe\\participation\\33_pvr.xlt", "x");

  auto r = requete({"KUP_TaxeListeModele", "", "33", "Urba"});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_TaxeListeModele");
  EXPECT_EQ(records(r[1]), (V{taxe + Sep241() + "33_tlc.xlt", taxe + Sep241() + "AA_commun.xltx"}));
  EXPECT_EQ(r[2], "");

  // The preferred sub-folder is taken when it holds files.
  const std::string part = "C:\\Modeles\\Urba\\taxe\\participation\\";
  EXPECT_EQ(requete({"KUP_PartListeModele", "", "33", "Urba"}),
            (V{"KUP_PartListeModele", part + Sep241() + "33_pvr.xlt", "", ""}));
  // Nothing found: the searched folder and an empty name.
  EXPECT_EQ(requete({"KUP_PartListeModele", "", "33", "Autre"}),
            (V{"KUP_PartListeModele", "C:\\Modeles\\taxe\\participation\\" + Sep241(), "", ""}));

  // OpenOffice templates only with OpenOffice.
  G_Tableur(t.app).setTypeEditeur(4);
  t.fs.put(taxe + "33_oo.ots", "x");
  // An empty preferred sub-folder is searched as written, doubled backslash included.
  EXPECT_EQ(requete({"KUP_TaxeListeModele", "", "33", ""})[1], "C:\\Modeles\\\\taxe\\taxe\\" + Sep241() + "33_oo.ots");
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(TaxeFenetre, TemplateListsNeedThreeArguments) {
  EXPECT_TRUE(requete({"KUP_TaxeListeModele", "x"}).empty());
  EXPECT_TRUE(Erreurs(t).empty());
  EXPECT_TRUE(requete({"KUP_TaxeListeModele", "x", "33"}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0], (V{"KUP_TaxeListeModele", "9", vbErrorText(9)}));
}

TEST_F(TaxeFenetre, ChoixModeleRunsLaterAndSendsTheChosenTemplate) {
  t.fs.put("C:\\m\\Taxe\\Taxe\\t1.xlt", "x");
  t.app.G_RepModele = "C:\\m";
  EXPECT_TRUE(requete({"KUP_TaxeChoixModele", "Commune"}).empty());
  EXPECT_EQ(t.timer.interval(), 1000);
  EXPECT_TRUE(t.dialog.shown.empty());

  t.dialog.answerFile("C:\\m\\Taxe\\Taxe\\t1.xlt");
  ASSERT_TRUE(t.timer.fire());
  ASSERT_EQ(t.dialog.shown.size(), 1u);
  // No Commune\Taxe\Taxe: the dialog opens on the root's Taxe\Taxe.
  EXPECT_EQ(t.dialog.shown[0].state.InitDir, "C:\\m\\Taxe\\Taxe\\");
  EXPECT_EQ(t.dialog.shown[0].state.Filter.find("*.xlt;*.xltx") != std::string::npos, true);
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_EQ(t.flash.calls[0], sInvokeXML("KUP_TaxeChoixModele", {"C:\\m\\Taxe\\Taxe\\" + Sep241() + "t1.xlt", "", ""}));
  EXPECT_TRUE(t.flash.returns.empty());

  // The commune's own folder when it holds templates; a cancel sends nothing.
  t.fs.put("C:\\m\\Commune\\Taxe\\Taxe\\c.xlt", "x");
  t.flash.clear();
  requete({"KUP_TaxeChoixModele", "Commune"});
  t.timer.fire();
  EXPECT_EQ(t.dialog.shown.back().state.InitDir, "C:\\m\\Commune\\Taxe\\Taxe\\");
  EXPECT_TRUE(t.flash.calls.empty());

  // A null folder adds nothing to the path: the dialog still opens.
  Args nul{Value::null()};
  KUP_TaxeChoixModele(t.app, nul);
  ASSERT_EQ(t.dialog.shown.size(), 3u);
  EXPECT_EQ(Right(t.dialog.shown.back().state.InitDir, 11), "\\Taxe\\Taxe\\");
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(TaxeFenetre, ChoixModeleOnAWebRootFallsBackToTheProgramFolder) {
  t.app.G_RepModele = "httpModeles";  // a relative text: the probe below can be made to fail
  t.fs.put("httpModeles\\Commune\\Taxe\\Taxe\\t.xlt", "x");
  t.fs.fail("httpModeles\\Commune\\Taxe\\Taxe\\", 52, platform::FakeFileSystem::Op::Read);
  t.dialog.answerCancel();
  Args args{Value("Commune")};
  KUP_TaxeChoixModele(t.app, args);
  EXPECT_EQ(t.app.G_RepModele, "C:\\Korvane");
  ASSERT_EQ(t.dialog.shown.size(), 1u);
  EXPECT_EQ(t.dialog.shown[0].state.InitDir, "C:\\Korvane\\Taxe\\Taxe\\");
  EXPECT_TRUE(Erreurs(t).empty());

  // A root on a web server cannot be listed: the dialog opens on the
  // program folder's templates, which answer the choice.
  t.app.G_RepModele = "http://serveur/modeles";
  t.fs.put("C:\\Korvane\\Taxe\\Taxe\\t2.xlt", "x");
  t.dialog.answerFile("C:\\Korvane\\Taxe\\Taxe\\t2.xlt");
  KUP_TaxeChoixModele(t.app, args);
  EXPECT_EQ(t.app.G_RepModele, "C:\\Korvane");
  ASSERT_EQ(t.dialog.shown.size(), 2u);
  EXPECT_EQ(t.dialog.shown[1].state.InitDir, "C:\\Korvane\\Taxe\\Taxe\\");
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_EQ(t.flash.calls[0],
            sInvokeXML("KUP_TaxeChoixModele", {"C:\\Korvane\\Taxe\\Taxe\\" + Sep241() + "t2.xlt", "", ""}));
  EXPECT_TRUE(Erreurs(t).empty());

  // Any other root: reported, no dialog.
  t.app.G_RepModele = "C:\\m";
  t.fs.put("C:\\m\\Commune\\Taxe\\Taxe\\t.xlt", "x");
  t.fs.fail("C:\\m\\Commune\\Taxe\\Taxe\\", 70, platform::FakeFileSystem::Op::Read);
  KUP_TaxeChoixModele(t.app, args);
  EXPECT_EQ(t.dialog.shown.size(), 2u);
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_TaxeChoixModele");
  EXPECT_EQ(Erreurs(t)[0][1], "70");
}

TEST_F(TaxeFenetre, EntrerMakesTheSettingsPanelAndSortirGivesTheWindowBack) {
  auto& w = t.app.KUP_MDI;
  t.app.G_Parametres.set("EDITION", "POSITION_FENETRE_ARRETE", "(1200,800)");
  t.windows.setTopmost(w.hWnd, false);
  ASSERT_TRUE(menuSysteme());

  // 300 x 200 pixels; the inner size follows the outer one.
  auto r = requete({"KUP_TaxeEntrer", "300", "200"});
  EXPECT_EQ(r, (V{"KUP_TaxeEntrer", "4380", "2280", "", ""}));
  EXPECT_EQ(w.Left, 1200);
  EXPECT_EQ(w.Top, 800);
  EXPECT_EQ(w.Width, 4500);
  EXPECT_EQ(w.Height, 3000);
  EXPECT_EQ(w.BorderStyle, 3);
  EXPECT_EQ(w.WindowState, 0);
  EXPECT_TRUE(t.windows.isTopmost(w.hWnd));
  EXPECT_FALSE(menuSysteme());

  // Sortir: the place saved (rounded), maximised, sizable, released, and
  // the tax workbook closed.
  t.fs.put("C:\\Modeles\\taxe.xlt", "KUPCALC 1\nSHEET\tA\n");
  requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"});
  ASSERT_EQ(calc->workbooks.size(), 1u);
  r = requete({"KUP_TaxeSortir"});
  EXPECT_EQ(r, (V{"KUP_TaxeSortir", "15240", "10800", "", ""}));
  EXPECT_EQ(w.Left, 300);
  EXPECT_EQ(w.Top, 200);
  EXPECT_EQ(w.BorderStyle, 2);
  EXPECT_EQ(w.WindowState, 2);
  EXPECT_FALSE(t.windows.isTopmost(w.hWnd));
  EXPECT_TRUE(menuSysteme());
  EXPECT_TRUE(calc->workbooks.empty());
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(TaxeFenetre, EntrerPositionRules) {
  auto& w = t.app.KUP_MDI;
  // No setting: the window stays where it is, only its frame changes.
  requete({"KUP_TaxeEntrer", "100", "50"});
  EXPECT_EQ(w.Left, 300);
  EXPECT_EQ(w.Top, 200);
  EXPECT_EQ(w.Width, 1500);

  // A y that is no number keeps the top.
  t.app.G_Parametres.set("EDITION", "POSITION_FENETRE_ARRETE", "(100,abc)");
  requete({"KUP_TaxeEntrer", "100", "50"});
  EXPECT_EQ(w.Left, 100);
  EXPECT_EQ(w.Top, 200);

  // One or three arguments: nothing changes, the answer still comes.
  t.app.G_Parametres.set("EDITION", "POSITION_FENETRE_ARRETE", "(5000,5000)");
  auto r = requete({"KUP_TaxeEntrer", "640"});
  EXPECT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0], "KUP_TaxeEntrer");
  requete({"KUP_TaxeEntrer", "640", "480", "x"});
  EXPECT_EQ(w.Left, 100);
  EXPECT_EQ(w.Width, 1500);

  // A size that is no number: reported, the window untouched.
  w.BorderStyle = 2;
  EXPECT_TRUE(requete({"KUP_TaxeEntrer", "large", "480"}).empty());
  EXPECT_EQ(w.BorderStyle, 2);
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_TaxeEntrer");

  // A negative size is refused (380) and the window keeps its size.
  double largeur = w.Width;
  EXPECT_TRUE(requete({"KUP_TaxeEntrer", "-5", "10"}).empty());
  EXPECT_EQ(w.Width, largeur);
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][1], "380");
}

TEST_F(TaxeFenetre, SortirWithoutSpreadsheetOrPanelAnswersNormally) {
  for (int type : {2, 4}) {
    G_Tableur(t.app).setTypeEditeur(type);
    auto r = requete({"KUP_TaxeSortir"});
    EXPECT_EQ(r, (V{"KUP_TaxeSortir", "15240", "10800", "", ""})) << type;
    // Never entered: the saved place is the origin.
    EXPECT_EQ(t.app.KUP_MDI.Left, 0);
    EXPECT_EQ(t.app.KUP_MDI.WindowState, 2);
    EXPECT_FALSE(calc->running);
    EXPECT_TRUE(Erreurs(t).empty()) << type;
  }
}

TEST_F(TaxeFenetre, PanelRepliesWriteTheInnerSizeAsSinglePrecision) {
  auto& w = t.app.KUP_MDI;
  w.ScaleWidth = 1234.56789;
  w.ScaleHeight = 0.1;
  EXPECT_EQ(requete({"KUP_TaxeEntrer", "640"}), (V{"KUP_TaxeEntrer", "1234.568", "0.1", "", ""}));
  EXPECT_EQ(requete({"KUP_TaxeSortir"}), (V{"KUP_TaxeSortir", "1234.568", "0.1", "", ""}));
}

}  // namespace
