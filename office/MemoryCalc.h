#pragma once
// An in-memory spreadsheet for tests: workbooks of sheets holding text
// cells, workbook names (named ranges), an active sheet and a selection per
// sheet. It keeps its files in a small text form:
//
//   KUPCALC 1
//   SHEET <TAB> name
//   CELL <TAB> row <TAB> column <TAB> value      (\\ \t \r \n escaped)
//   NAME <TAB> name <TAB> sheet (from 1) <TAB> row1 <TAB> col1 <TAB> row2 <TAB> col2
//
// and opens ".txt" / ".csv" files as the ";"-separated, double-quoted text
// that the spreadsheet driver exports. Not an editor type of the program:
// tests install MemoryCalcFactory as the driver's twin factory.
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "office/CalcTwin.h"

namespace kup {

class MemoryWorkbook {
 public:
  struct Sheet {
    std::string name;
    std::map<std::pair<int, int>, std::string> cells;  // (row, column) from 1; empty cells absent
    int r1 = 1, c1 = 1, r2 = 1, c2 = 1;                 // the selection; (r1, c1) is the active cell
  };
  struct Name {
    std::string name;
    int sheet = 0;  // index into sheets
    int r1 = 1, c1 = 1, r2 = 1, c2 = 1;
  };

  MemoryWorkbook();  // one empty sheet "Feuil1"

  // The text form above, or a ";"-separated text file (one sheet named sheetName).
  static MemoryWorkbook parse(std::string_view bytes, const std::string& sheetName);
  std::string serialize() const;

  std::string cell(int sheet, int row, int col) const;
  std::string cell(std::string_view sheet, int row, int col) const;  // "" for a missing sheet
  void setCell(int sheet, int row, int col, const std::string& value);
  int sheetIndex(std::string_view name) const;  // -1 when absent
  Name* findName(std::string_view name);
  const Name* findName(std::string_view name) const;
  Sheet& activeSheet() { return sheets[static_cast<size_t>(active)]; }

  std::vector<Sheet> sheets;
  std::vector<Name> names;  // in the order they were defined
  int active = 0;
  std::string path;      // the file the workbook is bound to ("" for a new one)
  std::string baseName;  // name without extension
  bool saved = true;
  std::vector<int> importFormat;  // the column format a text file was opened with
};

// The state of the spreadsheet application, which outlives the driver's
// connection.
struct MemoryCalcApp {
  bool running = false;
  int starts = 0;
  int windowState = 0;  // 0 normal, 1 minimised, 2 maximised
  std::string version = "11.0";
  std::vector<std::shared_ptr<MemoryWorkbook>> workbooks;  // the last is active

  std::shared_ptr<MemoryWorkbook> active() const { return workbooks.empty() ? nullptr : workbooks.back(); }
  void userQuits();
  void userCloses(const std::shared_ptr<MemoryWorkbook>& wb);
};

class MemoryCalc : public ICalcTwin {
 public:
  MemoryCalc(App& app, int editorType, std::shared_ptr<MemoryCalcApp> state);

  std::shared_ptr<MemoryWorkbook> workbook() const { return own_; }

  std::string version() override;
  void connect() override;
  void detach() override;
  void minimize() override;
  void maximize() override;
  void openDocument(const std::string& path, const std::vector<int>& format) override;
  void closeDocument() override;
  void activateDocument() override;
  void saveAsTemplate(const std::string& path) override;
  void setSaved(bool saved) override;
  void gotoSheetIndex(int index) override;
  void gotoSheetName(const std::string& name) override;
  void gotoCell(int row, int col) override;
  bool gotoCellName(const std::string& name) override;
  void gotoNextRow() override;
  void selectEndOfCol() override;
  void setSelectionName(const std::string& name) override;
  int rowCount() override;
  int colCount() override;
  void insertTextFile(const std::string& path) override;
  void insertEmptyRows(int count) override;
  void autoFill(int count) override;
  std::vector<std::string> rangeNames(bool onActiveSheet) override;
  std::string rangeValue(const std::string& name) override;
  void setSelectionValue(const std::string& value) override;

 private:
  void requireRunning() const;
  MemoryWorkbook& wb();

  App& app_;
  int editorType_;
  std::shared_ptr<MemoryCalcApp> state_;
  std::shared_ptr<MemoryWorkbook> own_;
};

CalcTwinFactory MemoryCalcFactory(std::shared_ptr<MemoryCalcApp> state);

// The rows of a ";"-separated text with double-quoted fields ("" inside a
// quoted field is one quote); lines end with CR LF or LF.
std::vector<std::vector<std::string>> ReadSemicolonText(std::string_view text);

}  // namespace kup
