// Grid export against the in-memory spreadsheet: the temporary text file,
// its column format, the document left open to the user.
#include <gtest/gtest.h>

#include "core/Dispatcher.h"
#include "documents/Mdl_GrilleExterne.h"
#include "documents/Mdl_TaxeExterne.h"
#include "office/ApTableur.h"
#include "office/MemoryCalc.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Valeurs;
using V = std::vector<std::string>;

namespace {

struct Grille : ::testing::Test {
  TestApp t;
  std::shared_ptr<MemoryCalcApp> calc = std::make_shared<MemoryCalcApp>();
  const std::string colonnes = "Dossier" + Sep240() + "VARCHAR2" + Sep240() + "1" + Sep241() + "Clé" + Sep240() +
                               "NUMBER" + Sep240() + "0" + Sep241() + "Dépôt" + Sep240() + "DATE" + Sep240() + "1";

  void SetUp() override {
    t.app.G_TypeEditeur = 2;
    G_Tableur(t.app).twinFactory = MemoryCalcFactory(calc);
    t.app.commands = std::make_shared<CommandTable>();
    RegisterMdl_GrilleExterne(*t.app.commands);
    RegisterMdl_TaxeExterne(*t.app.commands);
  }
  V exporter(const std::string& lignes) {
    t.flash.clear();
    sGetFlashXML(t.app, courrier_test::Requete({"KUP_GrilleExporterTableur", colonnes, lignes}));
    return Valeurs(t.flash.returnValue());
  }
};

TEST_F(Grille, ExportOpensTheRowsWithTheirFormatAndLetsGo) {
  const std::string lignes = "PC 12" + Sep240() + "7" + Sep240() + "01/02/2024" + Sep241() + "DP 3" + Sep240() + "8" +
                             Sep240() + "";
  EXPECT_EQ(exporter(lignes), (V{"KUP_GrilleExporterTableur", "", ""}));
  auto wb = calc->active();
  ASSERT_NE(wb, nullptr);
  EXPECT_EQ(wb->path.substr(wb->path.size() - 4), ".txt");
  EXPECT_EQ(wb->cell(0, 1, 2), "Dépôt");
  EXPECT_EQ(wb->cell(0, 2, 1), "PC 12");
  EXPECT_EQ(wb->cell(0, 3, 1), "DP 3");
  EXPECT_EQ(wb->importFormat, (std::vector<int>{colfmt::Text, colfmt::DateDMY}));
  // The visible columns only, quoted, ";"-separated, one line per row.
  EXPECT_EQ(t.fs.readFile(wb->path),
            "\"Dossier\";\"D\xE9p\xF4t\"\r\n\"PC 12\";\"01/02/2024\"\r\n\"DP 3\";\"\"\r\n");
  EXPECT_EQ(calc->windowState, 2);
  // The spreadsheet stays for the user; the driver holds nothing of it.
  EXPECT_EQ(G_Tableur(t.app).twin(), nullptr);
  EXPECT_TRUE(calc->running);
  EXPECT_TRUE(Erreurs(t).empty());

  // The next document command connects again.
  t.fs.put("C:\\Modeles\\taxe.xlt", "KUPCALC 1\nSHEET\tA\nSHEET\tB\nNAME\tX\t2\t1\t1\t1\t1\n");
  sGetFlashXML(t.app, courrier_test::Requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"}));
  EXPECT_EQ(Valeurs(t.flash.returnValue()), (V{"KUP_TaxeValeursChamps", "X", "", ""}));
  EXPECT_EQ(calc->starts, 1);
}

TEST_F(Grille, ExcelNineGetsACsvFileOthersATextFile) {
  calc->version = "9.0";
  exporter("a");
  EXPECT_EQ(calc->active()->path.substr(calc->active()->path.size() - 4), ".csv");

  G_Tableur(t.app).setTypeEditeur(4);
  calc->version = "9.0";  // OpenOffice answers "OO" whatever the application says
  exporter("a");
  EXPECT_EQ(calc->active()->path.substr(calc->active()->path.size() - 4), ".txt");
}

TEST_F(Grille, NoRowsGivesTheHeaderLineOnly) {
  EXPECT_EQ(exporter(""), (V{"KUP_GrilleExporterTableur", "", ""}));
  auto wb = calc->active();
  EXPECT_EQ(t.fs.readFile(wb->path), "\"Dossier\";\"D\xE9p\xF4t\"\r\n");
  EXPECT_EQ(wb->cell(0, 1, 1), "Dossier");
  EXPECT_EQ(wb->cell(0, 2, 1), "");
}

TEST_F(Grille, ASpreadsheetThatCannotStartAnswersNothing) {
  G_Tableur(t.app).twinFactory = [](App&, int) -> std::unique_ptr<ICalcTwin> {
    throw std::runtime_error("pas de tableur");
  };
  EXPECT_TRUE(exporter("a").empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "OpenCalc");
}

TEST_F(Grille, UnknownEditorTypeAnswersAsIfDone) {
  G_Tableur(t.app).setTypeEditeur(0);
  EXPECT_EQ(exporter("a"), (V{"KUP_GrilleExporterTableur", "", ""}));
  EXPECT_FALSE(calc->running);
  EXPECT_TRUE(t.fs.listFiles("C:\\Temp").empty());
  EXPECT_TRUE(Erreurs(t).empty());
}

}  // namespace
