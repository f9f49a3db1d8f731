// The spreadsheet driver against the in-memory spreadsheet.
#include <gtest/gtest.h>

#include "TestApp.h"
#include "core/Core.h"
#include "vb/VbString.h"
#include "office/ApTableur.h"
#include "office/MemoryCalc.h"

using kup::ApTableur;
using kup::MemoryCalcApp;
using kup::Sep240;
using kup::Sep241;

namespace {

// A tax template: two sheets, names on each.
const char* kTaxe =
    "KUPCALC 1\n"
    "SHEET\tCalcul\n"
    "CELL\t1\t1\tTotal\n"
    "SHEET\tSaisie\n"
    "CELL\t2\t2\t100\n"
    "NAME\tTOTAL\t1\t2\t1\t2\t1\n"
    "NAME\tSURFACE\t2\t2\t2\t2\t2\n"
    "NAME\tTAUX\t2\t3\t2\t3\t2\n";

struct TableurTest : ::testing::Test {
  TestApp t;
  std::shared_ptr<MemoryCalcApp> calc = std::make_shared<MemoryCalcApp>();

  ApTableur& drv(int type = 2) {
    ApTableur& d = kup::G_Tableur(t.app);
    d.setTypeEditeur(type);
    d.twinFactory = kup::MemoryCalcFactory(calc);
    return d;
  }
  ApTableur& opened(int type = 2) {
    t.fs.put("C:\\Modeles\\taxe.xlt", kTaxe);
    ApTableur& d = drv(type);
    d.OpenCalc();
    d.OpenDocument("C:\\Modeles\\taxe.xlt");
    return d;
  }
  size_t errors() {
    size_t n = 0;
    for (const auto& c : t.flash.calls) n += c.find("KUP_ErreurContainer") != std::string::npos;
    return n;
  }
  static kup::Args grid(const std::string& cols, const std::string& rows) { return {kup::Value(cols), kup::Value(rows)}; }
};

TEST_F(TableurTest, UnknownEditorTypeDoesNothingAtAll) {
  ApTableur& d = drv(0);
  d.OpenCalc();
  d.OpenDocument("C:\\Modeles\\taxe.xlt");
  d.GotoSheetIndex(2);
  d.FindMergeFields(true);
  d.MailMergeOpen(true);
  EXPECT_FALSE(calc->running);
  EXPECT_EQ(d.getVersion(), "");
  EXPECT_EQ(d.Extension(), "");
  EXPECT_TRUE(d.ExtensionListeModeles().empty());
  EXPECT_EQ(d.SaveTemp(), "");
  EXPECT_EQ(d.ExportToTextFile(grid("a", "b"), Sep241(), Sep240(), false), "");
  EXPECT_EQ(errors(), 0u);

  d.setTypeEditeur(2);
  EXPECT_EQ(d.Extension(), ".xlt");
  EXPECT_EQ(d.ExtensionListeModeles(), (std::vector<std::string>{".xlt", ".xltx"}));
  d.setTypeEditeur(4);
  EXPECT_EQ(d.Extension(), ".ots");
  EXPECT_EQ(d.getVersion(), "OO");
}

TEST_F(TableurTest, NamedRangesAreTheMergeFields) {
  ApTableur& d = opened(2);
  d.GotoSheetIndex(2);
  d.FindMergeFields(true);
  EXPECT_EQ(d.MergeFields, (std::vector<std::string>{"SURFACE", "TAUX"}));
  d.MergeFieldsValues = {"250"};  // fewer values than names: the rest stays
  d.MailMergeOpen(false);
  auto wb = calc->active();
  EXPECT_EQ(wb->cell("Saisie", 2, 2), "250");
  EXPECT_EQ(calc->windowState, 0);
  d.MergeFields = {"TOTAL", "ABSENT"};
  d.MergeFieldsValues = {"999", "1"};
  d.MailMergeOpen(true);
  EXPECT_EQ(wb->cell("Calcul", 2, 1), "999");
  EXPECT_EQ(calc->windowState, 2);

  d.GotoSheetIndex(1);
  d.FindMergeFields(true);
  d.FindMergeFieldsValues();
  EXPECT_EQ(d.MergeFields, (std::vector<std::string>{"TOTAL"}));
  EXPECT_EQ(d.MergeFieldsValues, (std::vector<std::string>{"999"}));
  d.FindMergeFields(false);
  EXPECT_EQ(d.MergeFields.size(), 3u);
}

// Values travel paired with the names by position: a name that cannot be
// read keeps its place with an empty value.
TEST_F(TableurTest, EveryNameGetsAValueInItsPlace) {
  ApTableur& d = opened(2);
  d.MergeFields = {"ABSENT", "SURFACE", "TOTAL"};
  d.FindMergeFieldsValues();
  EXPECT_EQ(d.MergeFieldsValues, (std::vector<std::string>{"", "100", ""}));
  EXPECT_EQ(errors(), 0u);  // the missing name: traced, the values still answered
  d.MergeFields = {"TAUX"};
  d.DetacheCalc();
  d.FindMergeFieldsValues();
  EXPECT_TRUE(d.MergeFieldsValues.empty());
  EXPECT_EQ(t.flash.calls.back(),
            kup::sInvokeXML("KUP_ErreurContainer", {"FindMergeFieldsValues", "91", "Le tableur n'est pas ouvert"}));
}

// Marking the workbook saved is an Excel matter; OpenOffice keeps its own state.
TEST_F(TableurTest, SavedMarksTheWorkbookWithExcelOnly) {
  ApTableur& o = opened(4);
  o.GotoCell(1, 1);
  o.InsertEmptyRow(1);
  ASSERT_FALSE(calc->active()->saved);
  o.Saved(true);
  EXPECT_FALSE(calc->active()->saved);

  ApTableur& e = opened(3);
  e.InsertEmptyRow(1);
  e.Saved(true);
  EXPECT_TRUE(calc->active()->saved);
  EXPECT_EQ(errors(), 0u);
}

TEST_F(TableurTest, AFactoryThatFailsIsReportedUnderOpenCalc) {
  ApTableur& d = drv(2);
  d.twinFactory = [](kup::App&, int) -> std::unique_ptr<kup::ICalcTwin> { throw std::runtime_error("pas de tableur"); };
  EXPECT_NO_THROW(d.OpenCalc());
  EXPECT_EQ(t.flash.calls.back(), kup::sInvokeXML("KUP_ErreurContainer", {"OpenCalc", "429", "pas de tableur"}));
  EXPECT_EQ(d.twin(), nullptr);
}

TEST_F(TableurTest, SaveTempBindsTheWorkbookAndUpdateActiveDocumentFollowsTheUser) {
  ApTableur& d = opened(2);
  t.random.script = {0.1, 0.2};
  std::string first = d.SaveTemp(), second = d.SaveTemp();
  EXPECT_EQ(first, "C:\\Temp\\100001.xlt");
  EXPECT_EQ(second, "C:\\Temp\\200001.xlt");
  EXPECT_EQ(calc->active()->path, second);
  EXPECT_EQ(kup::MemoryWorkbook::parse(t.fs.readFile(first), "x").serialize(), calc->active()->serialize());

  d.G_AccesDocument = true;
  EXPECT_TRUE(d.UpdateActiveDocument());
  calc->userCloses(calc->active());
  EXPECT_FALSE(d.UpdateActiveDocument());
  EXPECT_FALSE(d.G_AccesDocument);

  ApTableur& o = opened(4);
  EXPECT_NE(o.SaveTemp().find(".ots"), std::string::npos);
  calc->userCloses(calc->active());
  o.G_AccesDocument = true;
  EXPECT_TRUE(o.UpdateActiveDocument());
  EXPECT_TRUE(o.G_AccesDocument);
}

// The spreadsheet's failures are traced and counted, so that a command can
// tell a failed step from a done one, and reported only by the command they
// end; the driver's own are reported at once. Showing the spreadsheet fails
// silently.
TEST_F(TableurTest, SpreadsheetFailuresAreReportedOnlyByTheCommandTheyEnd) {
  t.app.G_Debug = true;
  ApTableur& d = opened(2);
  long avant = d.Echecs();
  d.GotoSheetName("Absente");
  EXPECT_EQ(d.Echecs(), avant + 1);
  EXPECT_EQ(errors(), 0u);
  EXPECT_NE(t.app.debugWindow.find("ApTableur.GotoSheetName : 9 : "), std::string::npos);
  EXPECT_FALSE(d.Echoue(d.Echecs()));
  EXPECT_TRUE(d.Echoue(avant));
  EXPECT_EQ(t.flash.calls.back(),
            kup::sInvokeXML("KUP_ErreurContainer", {"GotoSheetName", "9", "L'indice n'appartient pas à la sélection."}));
  EXPECT_TRUE(d.Echoue(avant));  // reported once
  EXPECT_EQ(errors(), 1u);

  // A workbook that does not open leaves none: nothing lands in the one before.
  auto before = calc->active();
  avant = d.Echecs();
  d.OpenDocument("C:\\Modeles\\absent.xlt");
  d.GotoCell(1, 1);
  d.MergeFields = {"SURFACE"};
  d.MergeFieldsValues = {"1"};
  d.MailMergeOpen(false);
  EXPECT_EQ(d.Echecs(), avant + 3);
  EXPECT_EQ(before->cell("Saisie", 2, 2), "100");
  EXPECT_EQ(d.SaveTemp(), "");
  EXPECT_EQ(errors(), 1u);

  d.G_AccesDocument = true;
  avant = d.Echecs();
  calc->userQuits();
  d.MaximizeCalc();
  EXPECT_TRUE(d.G_AccesDocument);
  d.MinimizeCalc();
  EXPECT_FALSE(d.G_AccesDocument);  // the spreadsheet is gone
  EXPECT_EQ(d.Echecs(), avant);
  EXPECT_EQ(errors(), 1u);

  d.DetacheCalc();
  EXPECT_EQ(d.twin(), nullptr);
  d.GotoCell(1, 1);
  EXPECT_EQ(t.flash.calls.back(), kup::sInvokeXML("KUP_ErreurContainer", {"GotoCell", "91", "Le tableur n'est pas ouvert"}));
  EXPECT_TRUE(d.Echoue(avant));
  EXPECT_EQ(errors(), 2u);  // reported at once, and once
  d.OpenCalc();             // connects again
  EXPECT_EQ(calc->starts, 2);
}

TEST_F(TableurTest, ExportWritesVisibleColumnsQuotedAndItsImportFormat) {
  ApTableur& d = drv(2);
  std::string cols = "Nom" + Sep240() + "VARCHAR2" + Sep240() + "1" + Sep241() + "Id" + Sep240() + "NUMBER" +
                     Sep240() + "0" + Sep241() + "Dépôt" + Sep240() + "DATE" + Sep240() + "1" + Sep241() + "Surface" +
                     Sep240() + "NUMBER";
  std::string rows = "Le \"Clos\"" + Sep240() + "7" + Sep240() + "01/02/2024" + Sep240() + "12,5" + Sep241() + "Pré";
  t.random.script = {0.5};
  std::string path = d.ExportToTextFile(grid(cols, rows), Sep241(), Sep240(), false);
  EXPECT_EQ(path, "C:\\Temp\\500001.txt");
  EXPECT_EQ(t.fs.readFile(path),
            "\"Nom\";\"D\xE9p\xF4t\";\"Surface\"\r\n"
            "\"Le \"\"Clos\"\"\";\"01/02/2024\";\"12,5\"\r\n"
            "\"Pr\xE9\";\"\";\"\"\r\n");
  EXPECT_EQ(d.FormatExportedFile(grid(cols, rows), Sep241(), Sep240()),
            (std::vector<int>{kup::colfmt::Text, kup::colfmt::DateDMY, kup::colfmt::General}));

  // No rows: the header line only; ".csv" when asked.
  std::string csv = d.ExportToTextFile(grid(cols, ""), Sep241(), Sep240(), true);
  EXPECT_EQ(csv.substr(csv.size() - 4), ".csv");
  EXPECT_EQ(t.fs.readFile(csv), "\"Nom\";\"D\xE9p\xF4t\";\"Surface\"\r\n");

  // What was exported imports back at the active cell.
  d.OpenCalc();
  t.fs.put("C:\\Modeles\\req.xlt", "KUPCALC 1\nSHEET\tDonnees\nSHEET\tListing 1\n");
  d.OpenDocument("C:\\Modeles\\req.xlt");
  d.GotoSheetName("Donnees");
  d.GotoCell(1, 1);
  d.InsertTextFile(path);
  EXPECT_EQ(d.RowCount(), 3);
  EXPECT_EQ(d.ColCount(), 3);
  auto wb = calc->active();
  EXPECT_EQ(wb->cell("Donnees", 2, 1), "Le \"Clos\"");
  EXPECT_EQ(wb->cell("Donnees", 1, 2), "Dépôt");

  // The export as a document of its own keeps the column format.
  d.OpenDocument(path, {kup::colfmt::Text});
  EXPECT_EQ(calc->active()->importFormat, std::vector<int>{kup::colfmt::Text});
  EXPECT_EQ(calc->active()->cell(0, 3, 1), "Pré");
}

TEST_F(TableurTest, NamingRowsInsertingAndFillingAsTheQueryWorkbookDoes) {
  ApTableur& d = opened(2);
  t.fs.put("C:\\Modeles\\r.xlt",
           "KUPCALC 1\nSHEET\tDonnees\nCELL\t1\t1\tA\nCELL\t2\t1\t1\nCELL\t3\t1\t2\nCELL\t4\t1\t3\n"
           "SHEET\tListing 1\nCELL\t2\t1\t=1COL\nCELL\t4\t1\tTotal\nNAME\tFORMULE\t2\t2\t1\t2\t1\n");
  d.OpenDocument("C:\\Modeles\\r.xlt");
  d.GotoSheetName("Donnees");
  d.GotoCell(2, 1);
  d.SelectEndOfCol();
  d.SetSelectionName("1COL");
  auto wb = calc->active();
  ASSERT_NE(wb->findName("1COL"), nullptr);
  EXPECT_EQ(wb->findName("1COL")->r2, 4);

  int r = d.RowCount();  // 4: three records and the header
  d.GotoSheetName("Listing 1");
  d.GotoCellName("FORMULE");
  d.GotoNextRow();
  d.InsertEmptyRow(r - 3);
  d.GotoCellName("FORMULE");
  d.AutoFill(r - 2);
  EXPECT_EQ(wb->cell("Listing 1", 2, 1), "=1COL");
  EXPECT_EQ(wb->cell("Listing 1", 3, 1), "=1COL");
  EXPECT_EQ(wb->cell("Listing 1", 4, 1), "=1COL");
  EXPECT_EQ(wb->cell("Listing 1", 5, 1), "Total");  // moved down by the inserted row

  // Counts of zero or less change nothing.
  std::string before = wb->serialize();
  d.InsertEmptyRow(0);
  d.AutoFill(-1);
  EXPECT_EQ(wb->serialize(), before);
  d.Saved(true);
  EXPECT_TRUE(wb->saved);
}

}  // namespace
