// Spreadsheets on LibreOffice Calc: sheets, cells and named ranges, the tax
// document exchange, text import at the active cell, empty rows and fill
// down, templates saved and read back, the Microsoft formats.
#include "documents/Mdl_RequeteurExterne.h"
#include "tests/office_lo/LoTestSupport.h"

using namespace lotest;

namespace {

// A workbook as flat OpenDocument XML: sheets of rows of cells ("=..." a
// formula, a number, else a text) and global named ranges.
struct Sheet {
  std::string name;
  std::vector<std::vector<std::string>> rows;
};
std::string Fods(const std::vector<Sheet>& sheets, const std::vector<std::pair<std::string, std::string>>& names) {
  std::string x =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" office:version=\"1.2\" "
      "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body><office:spreadsheet>";
  for (const auto& s : sheets) {
    x += "<table:table table:name=\"" + s.name + "\">";
    for (const auto& r : s.rows) {
      x += "<table:table-row>";
      for (const auto& c : r) {
        if (c.empty())
          x += "<table:table-cell/>";
        else if (c[0] == '=')
          x += "<table:table-cell table:formula=\"of:" + c + "\"/>";
        else if (c.find_first_not_of("0123456789.") == std::string::npos)
          x += "<table:table-cell office:value-type=\"float\" office:value=\"" + c + "\"/>";
        else
          x += "<table:table-cell office:value-type=\"string\"><text:p>" + c + "</text:p></table:table-cell>";
      }
      x += "</table:table-row>";
    }
    x += "</table:table>";
  }
  x += "<table:named-expressions>";
  for (const auto& [n, ref] : names)
    x += "<table:named-range table:name=\"" + n + "\" table:base-cell-address=\"" + ref.substr(0, ref.find(':')) +
         "\" table:cell-range-address=\"" + ref + "\"/>";
  x += "</table:named-expressions></office:spreadsheet></office:body></office:document>";
  return x;
}

std::string TaxWorkbook() {
  return Fods({{"Synthese", {{"Total", "=[$Saisie.B1]*[$Saisie.B2]"}, {"Commune", ""}}},
               {"Saisie", {{"Surface", ""}, {"Taux", ""}, {"Note", ""}}}},
              {{"TOTAL", "$Synthese.$B$1"},
               {"COMMUNE", "$Synthese.$B$2"},
               {"SURFACE", "$Saisie.$B$1"},
               {"TAUX", "$Saisie.$B$2"},
               {"NOTE", "$Saisie.$B$3"}});
}

TEST(LoCalc, TaxDocumentFieldsFilledReadBackAndSavedAsTemplates) {
  LoApp t(4);
  t.put("C:\\Modeles\\taxe.fods", TaxWorkbook());
  auto& c = t.calc();
  c.OpenCalc();
  ASSERT_NE(c.twin(), nullptr);
  EXPECT_EQ(c.getVersion(), "OO");
  // The bundled form of a template: made once, then opened as a template.
  c.OpenDocument("C:\\Modeles\\taxe.fods");
  c.twin()->saveAsTemplate("C:\\Modeles\\taxe.ots");
  c.OpenDocument("C:\\Modeles\\taxe.ots");
  c.GotoSheetIndex(2);
  c.FindMergeFields(true);
  EXPECT_EQ(c.MergeFields, (std::vector<std::string>{"NOTE", "SURFACE", "TAUX"}));
  c.MergeFieldsValues = {"=pas une formule ? non : texte", "120,5", "3"};
  c.MailMergeOpen(false);
  c.GotoSheetIndex(9);  // no such sheet: ignored
  c.GotoSheetIndex(1);
  c.MergeFields = {"COMMUNE", "INCONNU"};
  c.MergeFieldsValues = {"Lille", "x"};
  c.MailMergeOpen(true);
  c.FindMergeFields(true);
  EXPECT_EQ(c.MergeFields, (std::vector<std::string>{"COMMUNE", "TOTAL"}));
  c.FindMergeFieldsValues();
  EXPECT_EQ(c.MergeFieldsValues, (std::vector<std::string>{"Lille", "361.5"}));
  c.FindMergeFields(false);
  EXPECT_EQ(c.MergeFields.size(), 5u);

  // Two temporary saves: the document stays bound to the second.
  std::string first = c.SaveTemp(), second = c.SaveTemp();
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(kup::Right(first, 4), ".ots");
  EXPECT_NE(first, second);
  EXPECT_EQ(t.read(first).substr(0, 2), "PK");
  c.CloseDocument();
  c.OpenDocument(first);
  c.GotoSheetName("saisie");  // sheet names without regard to case
  c.FindMergeFields(true);
  c.FindMergeFieldsValues();
  EXPECT_EQ(c.MergeFieldsValues, (std::vector<std::string>{"=pas une formule ? non : texte", "120.5", "3"}));
  EXPECT_TRUE(c.UpdateActiveDocument());
  c.Saved(true);
  c.CloseDocument();
  c.CloseDocument();  // nothing open: nothing happens
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

TEST(LoCalc, QueryWorkbookImportNamesEmptyRowsAndFillDown) {
  LoApp t(4);
  t.put("C:\\Modeles\\requete.fods",
        Fods({{"Donnees", {{""}}},
              {"Parametres", {{""}}},
              {"Listing 1", {{"Rang", "Double"}, {"=ROW()", "=[.A2]*2"}, {"", ""}, {"fin", ""}}}},
             {{"FORMULE", "$'Listing 1'.$A$2:$B$2"}}));
  auto& c = t.calc();
  c.OpenCalc();
  c.OpenDocument("C:\\Modeles\\requete.fods");
  // Four records, one hidden column.
  std::string S1 = kup::Sep241(), S0 = kup::Sep240();
  kup::Args data = {kup::Value("Nom" + S0 + "VARCHAR2" + S0 + "1" + S1 + "Code" + S0 + "VARCHAR2" + S0 + "1" + S1 +
                               "Cache" + S0 + "NUMBER" + S0 + "0" + S1 + "Montant" + S0 + "NUMBER" + S0 + "1"),
                    kup::Value("Dupont" + S0 + "007" + S0 + "x" + S0 + "12.5" + S1 + "Durand; \"fils\"" + S0 + "008" +
                               S0 + "x" + S0 + "3" + S1 + "Éloi" + S0 + "009" + S0 + "x" + S0 + "0" + S1 + "Zoé" + S0 +
                               "010" + S0 + "x" + S0 + "1")};
  std::string file = c.ExportToTextFile(data, S1, S0, false);
  ASSERT_FALSE(file.empty());
  c.GotoSheetName("Donnees");
  c.GotoCell(1, 1);
  c.InsertTextFile(file);
  EXPECT_EQ(c.RowCount(), 5);
  EXPECT_EQ(c.ColCount(), 3);
  c.GotoCell(2, 1);
  c.SelectEndOfCol();
  c.SetSelectionName("DONNEES_NOM");
  c.GotoCell(3, 1);
  c.SetSelectionName("DEUXIEME");
  c.GotoCell(2, 3);
  c.SetSelectionName("MONTANT");
  c.GotoCell(4, 1);
  c.SetSelectionName("TROISIEME");
  c.MergeFields = {"DEUXIEME", "MONTANT", "TROISIEME"};
  c.FindMergeFieldsValues();
  EXPECT_EQ(c.MergeFieldsValues, (std::vector<std::string>{"Durand; \"fils\"", "12.5", "Éloi"}));
  // The name covers the column down to its last used row.
  c.GotoCellName("DONNEES_NOM");
  c.GotoNextRow();
  c.SetSelectionName("DECALE");
  c.twin()->saveAsTemplate("C:\\Temp\\controle.fods");
  std::string saved = t.read("C:\\Temp\\controle.fods");
  EXPECT_NE(saved.find("table:name=\"DONNEES_NOM\" table:base-cell-address=\"$Donnees.$A$2\" "
                       "table:cell-range-address=\"$Donnees.$A$2:.$A$5\""),
            std::string::npos);
  EXPECT_NE(saved.find("table:cell-range-address=\"$Donnees.$A$3:.$A$6\""), std::string::npos);

  // Formula rows: n - 2 empty rows below, then filled down over n - 1 rows.
  c.GotoSheetName("Listing 1");
  EXPECT_TRUE(c.twin()->gotoCellName("formule"));
  c.GotoNextRow();
  c.InsertEmptyRow(5 - 3);
  c.GotoCellName("FORMULE");
  c.AutoFill(5 - 2);
  c.InsertEmptyRow(0);
  c.AutoFill(-1);
  c.GotoCell(5, 2);
  c.SetSelectionName("DERNIER");
  c.GotoCell(6, 1);
  c.SetSelectionName("FIN");
  c.MergeFields = {"DERNIER", "FIN"};
  c.FindMergeFieldsValues();
  EXPECT_EQ(c.MergeFieldsValues, (std::vector<std::string>{"10", "fin"}));
  EXPECT_FALSE(c.twin()->gotoCellName("ABSENT"));
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

// The names the query workbook gives its columns and parameters begin with a
// digit, which Calc refuses as a named range: the workbook opens without a
// message, and the template's formulas read the data under those names.
TEST(LoCalc, QueryWorkbookNamesThatBeginWithADigitReachTheTemplateFormulas) {
  LoApp t(4);
  t.put("C:\\Modeles\\Requeteur\\req.fods",
        Fods({{"Donnees", {{""}}},
              {"Parametres", {{""}}},
              {"Listing 1", {{"=SUM(1COL)", "=SUM(INDIRECT(&quot;2COL&quot;))", "=1PARAM", "=2PARAM_VAL"}}}},
             {{"TOTAL", "$'Listing 1'.$A$1"},
              {"INDIRECT", "$'Listing 1'.$B$1"},
              {"PREMIER", "$'Listing 1'.$C$1"},
              {"VALEUR", "$'Listing 1'.$D$1"}}));
  std::string S1 = kup::Sep241(), S0 = kup::Sep240();
  std::string nombre = S0 + "NUMBER" + S0 + "1";
  kup::Args args = {kup::Value("C:\\Modeles\\Requeteur\\req.fods"),
                    kup::Value("Montant" + nombre + S1 + "Surface" + nombre),
                    kup::Value("12.5" + S0 + "100" + S1 + "3" + S0 + "20" + S1 + "1" + S0 + "4"),
                    kup::Value("P" + nombre + S1 + "F" + nombre + S1 + "V" + nombre + S1 + "E" + nombre),
                    kup::Value("7" + S0 + "0" + S0 + "0" + S0 + "0" + S1 + "0" + S0 + "0" + S0 + "9" + S0 + "0"),
                    kup::Value("")};
  kup::KUP_RequeteurOuvrir(t.app, args);
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
  ASSERT_FALSE(t.fakes.flash->returns.empty());
  EXPECT_NE(t.fakes.flash->returns.back().find("KUP_RequeteurOuvrir"), std::string::npos);
  auto& c = t.calc();
  c.MergeFields = {"TOTAL", "INDIRECT", "PREMIER", "VALEUR"};
  c.FindMergeFieldsValues();
  EXPECT_EQ(c.MergeFieldsValues, (std::vector<std::string>{"16.5", "124", "7", "9"}));
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

TEST(LoCalc, TextFileOpenedWithColumnFormatsAndMicrosoftFormats) {
  LoApp t(2);
  auto& c = t.calc();
  c.OpenCalc();
  EXPECT_EQ(c.getVersion(), "16.0");
  t.fakes.env->set("KUP_EXCEL_VERSION", "9.0");
  EXPECT_EQ(c.getVersion(), "9.0");
  std::string S1 = kup::Sep241(), S0 = kup::Sep240();
  kup::Args grid = {kup::Value("Code" + S0 + "VARCHAR2" + S0 + "1" + S1 + "Date" + S0 + "DATE" + S0 + "1" + S1 +
                               "Nombre" + S0 + "NUMBER" + S0 + "1"),
                    kup::Value("007" + S0 + "06/12/2026" + S0 + "42")};
  std::string file = c.ExportToTextFile(grid, S1, S0, true);
  EXPECT_EQ(kup::Right(file, 4), ".csv");
  auto format = c.FormatExportedFile(grid, S1, S0);
  EXPECT_EQ(format, (std::vector<int>{kup::colfmt::Text, kup::colfmt::DateDMY, kup::colfmt::General}));
  c.OpenDocument(file, format);
  for (int col = 1; col <= 3; ++col) {
    c.GotoCell(2, col);
    c.SetSelectionName("VALEUR_" + std::to_string(col));
  }
  // A name Calc refuses as a named range (it begins with a digit) is held all the same.
  c.twin()->gotoCell(1, 1);
  c.twin()->setSelectionName("1COL");
  c.twin()->gotoCell(2, 2);
  EXPECT_TRUE(c.twin()->gotoCellName("1col"));
  EXPECT_EQ(c.twin()->rangeValue("1COL"), "Code");
  c.MergeFields = {"VALEUR_1", "VALEUR_2", "VALEUR_3"};
  c.FindMergeFieldsValues();
  EXPECT_EQ(c.MergeFieldsValues, (std::vector<std::string>{"007", "06/12/2026", "42"}));
  // Saved in Excel's template format, opened again as a template.
  std::string xlt = c.SaveTemp();
  EXPECT_EQ(kup::Right(xlt, 4), ".xlt");
  EXPECT_EQ(t.read(xlt).substr(0, 4), "\xD0\xCF\x11\xE0");
  c.OpenDocument(xlt);
  c.FindMergeFields(false);
  EXPECT_EQ(c.MergeFields, (std::vector<std::string>{"VALEUR_1", "VALEUR_2", "VALEUR_3"}));
  EXPECT_TRUE(c.UpdateActiveDocument());
  c.CloseDocument();
  EXPECT_FALSE(c.UpdateActiveDocument());
  EXPECT_FALSE(c.G_AccesDocument);
  // Letting go leaves the spreadsheet to the user; the next command connects again.
  c.DetacheCalc();
  EXPECT_EQ(c.twin(), nullptr);
  c.OpenCalc();
  EXPECT_NE(c.twin(), nullptr);
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

}  // namespace
