// Query workbooks against the in-memory spreadsheet: the data set and the
// parameters laid into their sheets, the names the template's formulas
// refer to, the formula rows extended to one per record.
#include <gtest/gtest.h>

#include "core/Dispatcher.h"
#include "documents/Mdl_RequeteurExterne.h"
#include "office/ApTableur.h"
#include "office/MemoryCalc.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Valeurs;
using V = std::vector<std::string>;

namespace {

// Listing 1 has its formula row at row 2, a spare row and a total row;
// Listing 2 its formula row at row 3.
const char* kModele =
    "KUPCALC 1\n"
    "SHEET\tDonnees\n"
    "SHEET\tParametres\n"
    "SHEET\tListing 1\n"
    "CELL\t1\t1\tNom\n"
    "CELL\t2\t1\t=1COL\n"
    "CELL\t2\t2\t=2COL\n"
    "CELL\t4\t1\tTotal\n"
    "SHEET\tListing 2\n"
    "CELL\t3\t1\t=3COL\n"
    "NAME\tFORMULE\t3\t2\t1\t2\t2\n"
    "NAME\tSOMME_FORMULE_2\t4\t3\t1\t3\t1\n"
    "NAME\tformule_x\t4\t1\t1\t1\t1\n"
    "NAME\tTITRE\t3\t1\t1\t1\t1\n";

const std::string kModelePath = "C:\\Modeles\\Requeteur\\req.xlt";

std::string Colonnes(int n) {
  V v;
  for (int j = 1; j <= n; ++j) v.push_back("C" + std::to_string(j) + Sep240() + "VARCHAR2" + Sep240() + "1");
  return Join(v, Sep241());
}

std::string Lignes(int n, int colonnes) {
  V lignes;
  for (int i = 1; i <= n; ++i) {
    V cellules;
    for (int j = 1; j <= colonnes; ++j) cellules.push_back("v" + std::to_string(i) + "_" + std::to_string(j));
    lignes.push_back(Join(cellules, Sep240()));
  }
  return Join(lignes, Sep241());
}

struct Requete : ::testing::Test {
  TestApp t;
  std::shared_ptr<MemoryCalcApp> calc = std::make_shared<MemoryCalcApp>();

  void SetUp() override {
    t.app.G_RepModele = "C:\\Modeles";
    t.app.G_TypeEditeur = 2;
    G_Tableur(t.app).twinFactory = MemoryCalcFactory(calc);
    t.app.commands = std::make_shared<CommandTable>();
    RegisterMdl_RequeteurExterne(*t.app.commands);
    t.fs.put(kModelePath, kModele);
  }
  V requete(const V& v) {
    t.flash.clear();
    sGetFlashXML(t.app, courrier_test::Requete(v));
    return Valeurs(t.flash.returnValue());
  }
  V ouvrir(const std::string& modele, int enregistrements, int parametres, const std::string& secours = "") {
    return requete({"KUP_RequeteurOuvrir", modele, Colonnes(3), Lignes(enregistrements, 3), Colonnes(4),
                    Lignes(parametres, 4), secours});
  }
  std::shared_ptr<MemoryWorkbook> classeur() { return calc->active(); }
  const MemoryWorkbook::Name* nom(const std::string& n) { return classeur()->findName(n); }
};

TEST_F(Requete, TenRecordsNameTheColumnsAndFillTheFormulaRows) {
  EXPECT_EQ(ouvrir(kModelePath, 10, 2), (V{"KUP_RequeteurOuvrir", kModelePath, "", ""}));
  auto wb = classeur();
  EXPECT_EQ(wb->cell("Donnees", 1, 1), "C1");
  EXPECT_EQ(wb->cell("Donnees", 11, 3), "v10_3");

  // Each data column from row 2 to the last record.
  for (const char* n : {"1COL", "2COL", "3COL"}) {
    ASSERT_NE(nom(n), nullptr) << n;
    EXPECT_EQ(nom(n)->sheet, wb->sheetIndex("Donnees"));
    EXPECT_EQ(nom(n)->r1, 2);
    EXPECT_EQ(nom(n)->r2, 11);
  }
  EXPECT_EQ(nom("3COL")->c1, 3);
  EXPECT_EQ(nom("4COL"), nullptr);

  // Two parameter rows: k = 1 and 2, one name per column.
  const V suffixes{"PARAM", "PARAM_FONC", "PARAM_VAL", "PARAM_EXEC"};
  for (int k = 1; k <= 2; ++k)
    for (int c = 1; c <= 4; ++c) {
      auto* n = nom(std::to_string(k) + suffixes[c - 1]);
      ASSERT_NE(n, nullptr);
      EXPECT_EQ(n->sheet, wb->sheetIndex("Parametres"));
      EXPECT_EQ(n->r1, k + 1);
      EXPECT_EQ(n->c1, c);
    }
  EXPECT_EQ(nom("3PARAM"), nullptr);
  EXPECT_EQ(wb->cell("Parametres", 3, 4), "v2_4");

  // 8 rows inserted below the formula row, the formula filled over 9 more.
  for (int r = 2; r <= 11; ++r) {
    EXPECT_EQ(wb->cell("Listing 1", r, 1), "=1COL") << r;
    EXPECT_EQ(wb->cell("Listing 1", r, 2), "=2COL") << r;
  }
  EXPECT_EQ(wb->cell("Listing 1", 12, 1), "Total");
  for (int r = 3; r <= 12; ++r) EXPECT_EQ(wb->cell("Listing 2", r, 1), "=3COL") << r;
  // Names without "FORMULE" in capitals are left alone.
  EXPECT_EQ(wb->cell("Listing 2", 1, 1), "");
  EXPECT_EQ(wb->cell("Listing 2", 2, 1), "");

  // Shown on the first listing, maximised, and counting as unchanged.
  EXPECT_EQ(wb->active, wb->sheetIndex("Listing 1"));
  EXPECT_EQ(calc->windowState, 2);
  EXPECT_TRUE(wb->saved);
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(Requete, OneRecordInsertsAndFillsNothing) {
  ouvrir(kModelePath, 1, 0);
  auto wb = classeur();
  EXPECT_EQ(wb->cell("Listing 1", 2, 1), "=1COL");
  EXPECT_EQ(wb->cell("Listing 1", 3, 1), "");
  EXPECT_EQ(wb->cell("Listing 1", 4, 1), "Total");
  EXPECT_EQ(nom("1COL")->r2, 2);
  EXPECT_EQ(nom("1PARAM"), nullptr);
}

TEST_F(Requete, TemplatePathRules) {
  // Nothing to open.
  EXPECT_TRUE(ouvrir("", 2, 0).empty());
  EXPECT_FALSE(calc->running);

  // The interface doubles every backslash.
  EXPECT_EQ(ouvrir("C:\\\\Modeles\\\\Requeteur\\\\req.xlt", 2, 0)[1], kModelePath);
  ASSERT_NE(classeur(), nullptr);
  EXPECT_NE(classeur()->findName("1COL"), nullptr);

  // A network path keeps its leading pair.
  t.fs.put("\\\\srv\\modeles\\req.xlt", kModele);
  EXPECT_EQ(ouvrir("\\\\\\\\srv\\\\modeles\\\\req.xlt", 2, 0)[1], "\\\\srv\\modeles\\req.xlt");
  EXPECT_EQ(ouvrir("\\\\srv\\modeles\\req.xlt", 2, 0)[1], "\\\\srv\\modeles\\req.xlt");

  // A missing template: argument 5 is opened and answered.
  t.fs.put("C:\\Autre\\secours.xlt", kModele);
  EXPECT_EQ(ouvrir("C:\\Absent\\req.xlt", 2, 0, "C:\\Autre\\secours.xlt")[1], "C:\\Autre\\secours.xlt");
  EXPECT_EQ(classeur()->baseName, "secours");
  EXPECT_TRUE(Erreurs(t).empty());

  // Neither exists: the failure is reported and no workbook answered.
  EXPECT_TRUE(ouvrir("C:\\Absent\\req.xlt", 2, 0, "C:\\Autre\\absent.xlt").empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "OpenDocument");
}

// A template without its parameter sheet keeps its data: the parameters are
// not laid over them. The workbook is answered, so the spreadsheet's failure
// goes to the trace, not to the person.
TEST_F(Requete, AParameterSheetThatIsMissingLeavesTheDataAlone) {
  t.app.G_Debug = true;
  t.fs.put(kModelePath, Replace(kModele, "SHEET\tParametres\n", ""));
  EXPECT_EQ(ouvrir(kModelePath, 3, 2)[0], "KUP_RequeteurOuvrir");
  // Three data columns; the parameters have four.
  EXPECT_EQ(classeur()->cell("Donnees", 4, 3), "v3_3");
  EXPECT_EQ(classeur()->cell("Donnees", 1, 4), "");
  EXPECT_EQ(nom("1PARAM"), nullptr);
  EXPECT_TRUE(Erreurs(t).empty());
  EXPECT_NE(t.app.debugWindow.find("ApTableur.GotoSheetName : 9 : "), std::string::npos);

  // Without its data sheet the workbook is not answered: that failure is the person's to see.
  t.fs.put(kModelePath, Replace(kModele, "SHEET\tDonnees\n", ""));
  EXPECT_TRUE(ouvrir(kModelePath, 3, 2).empty());
  EXPECT_EQ(Erreurs(t), (std::vector<V>{{"GotoSheetName", "9", "L'indice n'appartient pas à la sélection."}}));
}

TEST_F(Requete, TooFewArgumentsAreReportedBeforeAnythingOpens) {
  EXPECT_TRUE(requete({"KUP_RequeteurOuvrir", kModelePath, Colonnes(3), Lignes(2, 3), Colonnes(4)}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0], (V{"KUP_RequeteurOuvrir", "9", vbErrorText(9)}));
  EXPECT_FALSE(calc->running);

  // Argument 5 is needed only when the template is missing.
  t.flash.clear();
  EXPECT_TRUE(requete({"KUP_RequeteurOuvrir", "C:\\Absent.xlt", "", "", "", ""}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][1], "9");
}

TEST_F(Requete, ListeModeleListsTheQueryTemplates) {
  const std::string dossier = "C:\\Modeles\\Requeteur\\";
  t.fs.put(dossier + "stats.xltx", "x");
  t.fs.put(dossier + ".xlt", "x");
  t.fs.put(dossier + "notes.txt", "x");
  EXPECT_TRUE(requete({"KUP_RequeteurListeModele"}).empty());
  auto r = requete({"KUP_RequeteurListeModele", "a", "b"});
  ASSERT_EQ(r.size(), 4u);
  auto v = Split(r[1], Sep242());
  std::sort(v.begin(), v.end());
  EXPECT_EQ(v, (V{dossier + Sep241() + "req.xlt", dossier + Sep241() + "stats.xltx"}));

  // No template at all: an empty list.
  t.app.G_RepModele = "C:\\Vide";
  EXPECT_EQ(requete({"KUP_RequeteurListeModele", "a", "b"}), (V{"KUP_RequeteurListeModele", "", "", ""}));
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST(RequeteFeuille, ListingSheetOfAFormulaName) {
  EXPECT_EQ(sFeuilleListing("FORMULE"), "Listing 1");
  EXPECT_EQ(sFeuilleListing("SOMME_FORMULE_2"), "Listing 2");
  EXPECT_EQ(sFeuilleListing("FORMULE_12"), "Listing 12");
  EXPECT_EQ(sFeuilleListing("FORMULE_"), "Listing ");
}

}  // namespace
