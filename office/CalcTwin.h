#pragma once
// What the spreadsheet driver asks of a spreadsheet application. One twin per
// office suite; the driver keeps the editor-type rule, the error rule and the
// text export, which need no spreadsheet.
//
// Twin methods raise kup::VbError when the spreadsheet fails.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kup {

struct App;

// Import format of one column of an exported text file (the Excel numbers).
namespace colfmt {
constexpr int General = 1;
constexpr int Text = 2;
constexpr int DateDMY = 4;
}  // namespace colfmt

class ICalcTwin {
 public:
  virtual ~ICalcTwin() = default;

  // The Excel version text ("OO" is the driver's answer for OpenOffice).
  virtual std::string version() = 0;
  virtual void connect() = 0;
  virtual void detach() = 0;  // the application and its documents stay open
  virtual void minimize() = 0;
  virtual void maximize() = 0;

  // A template opens as a new document based on it; a text or ".csv" file is
  // imported with the per-column format (empty: none). The workbook held
  // before is let go first, so a failed open leaves the twin with none.
  virtual void openDocument(const std::string& path, const std::vector<int>& format) = 0;
  virtual void closeDocument() = 0;
  // Re-activates the open workbook; raises when it can no longer be reached.
  virtual void activateDocument() = 0;
  virtual void saveAsTemplate(const std::string& path) = 0;  // binds the document to the file
  virtual void setSaved(bool saved) = 0;

  virtual void gotoSheetIndex(int index) = 0;  // from 1; a missing index is ignored
  virtual void gotoSheetName(const std::string& name) = 0;
  virtual void gotoCell(int row, int col) = 0;  // from 1
  // Selects the named range; false when the workbook has no such name.
  virtual bool gotoCellName(const std::string& name) = 0;
  virtual void gotoNextRow() = 0;
  virtual void selectEndOfCol() = 0;
  virtual void setSelectionName(const std::string& name) = 0;
  virtual int rowCount() = 0;
  virtual int colCount() = 0;
  virtual void insertTextFile(const std::string& path) = 0;
  virtual void insertEmptyRows(int count) = 0;
  virtual void autoFill(int count) = 0;

  // Names of the workbook's named ranges (only those on the active sheet when asked).
  virtual std::vector<std::string> rangeNames(bool onActiveSheet) = 0;
  virtual std::string rangeValue(const std::string& name) = 0;
  // Writes the value into the selection.
  virtual void setSelectionValue(const std::string& value) = 0;
};

// Makes the twin for an editor type (2 or 3 Microsoft, 4 OpenOffice), or
// nullptr when this build has none for it.
using CalcTwinFactory = std::function<std::unique_ptr<ICalcTwin>(App&, int editorType)>;

// The factory a new driver starts with (none yet in this build).
CalcTwinFactory DefaultCalcTwinFactory();

}  // namespace kup
