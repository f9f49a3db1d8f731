#pragma once
// The spreadsheet driver: one instance per application (G_Tableur), created
// on first use. Every member works through the twin of the configured editor
// type (2 or 3 Excel, 4 OpenOffice Calc) and does nothing for any other type.
//
// Error rule: members never raise and return their neutral result on a
// failure. A failure of the driver itself (no spreadsheet for the type,
// nothing connected, a file that cannot be written, the template dialog) is
// reported through TraiterErreur under the member's name. A failure inside
// the spreadsheet is traced (DebugKUP) and kept: most of them (a sheet
// missing, a name refused) leave the command to go on, and only the command
// knows when one ends it; it then reports it with Echoue. Minimising and
// maximising fail silently; a spreadsheet that cannot be minimised, or none
// connected, clears G_AccesDocument. Echecs() counts every failure but
// these, so that a command can tell a workbook that did not open from one
// that did. A failed OpenDocument leaves the driver without a workbook: what
// follows never lands in the one opened before.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "vb/Value.h"
#include "office/CalcTwin.h"

namespace kup {

class ApTableur {
 public:
  explicit ApTableur(App& app);
  ~ApTableur();
  ApTableur(const ApTableur&) = delete;
  ApTableur& operator=(const ApTableur&) = delete;

  // ---- public fields
  bool G_AccesDocument = false;
  std::vector<std::string> MergeFields;        // read and write
  std::vector<std::string> MergeFieldsValues;  // read and write

  // ---- configuration
  int TypeEditeur() const { return typeEditeur_; }
  void setTypeEditeur(int type) { typeEditeur_ = type; }
  CalcTwinFactory twinFactory;  // starts as DefaultCalcTwinFactory()
  ICalcTwin* twin() const { return twin_.get(); }
  // True for the editor types the driver knows (2, 3, 4).
  bool typeConnu() const;
  long Echecs() const { return echecs_; }
  // For a command that ends on a failure: true when a member failed since
  // the count was `echecs`, the spreadsheet's failure that ends it being
  // then reported under its member's name (the driver's own already were).
  bool Echoue(long echecs);
  // Reports the spreadsheet's last failure, traced and not yet reported.
  void RapporterEchec();
  // True while the open workbook can still be reached; false, with
  // G_AccesDocument cleared, once it is gone (closed, the spreadsheet gone,
  // none open). True for an editor type the driver does not know.
  bool ClasseurAccessible();

  // ---- the application
  void OpenCalc();
  void MinimizeCalc();
  void MaximizeCalc();
  void DetacheCalc();
  std::string getVersion();
  std::string Extension() const;
  std::vector<std::string> ExtensionListeModeles() const;
  std::string ChoiceFile(platform::ICommonDialog& dialog, const std::string& folder);

  // ---- documents
  // format: the per-column import format of FormatExportedFile; empty for none.
  void OpenDocument(const std::string& file, const std::vector<int>& format = {});
  void CloseDocument();
  bool UpdateActiveDocument();
  std::string SaveTemp();
  void Saved(bool value);

  // ---- sheets and cells
  void GotoSheetIndex(int32_t index);
  void GotoSheetName(const std::string& name);
  void GotoCell(int32_t row, int32_t col);
  void GotoCellName(const std::string& name);
  void GotoNextRow();
  void SelectEndOfCol();
  void SetSelectionName(const std::string& name);
  int32_t RowCount();
  int32_t ColCount();
  void InsertTextFile(const std::string& file);
  void InsertEmptyRow(int32_t count);
  void AutoFill(int32_t count);

  // ---- merge fields (named ranges)
  void FindMergeFields(bool onActiveSheet);
  void FindMergeFieldsValues();
  void MailMergeOpen(bool bMaximize);

  // ---- text export
  // params[0]: column descriptions (records by recordSep, fields by fieldSep:
  // title, Oracle type, visibility); params[1]: rows (rows by recordSep, cells
  // by fieldSep). Writes the visible columns, ";"-separated and quoted, to a
  // new file of the TEMP folder (".csv" when asked, else ".txt"); its path.
  std::string ExportToTextFile(const Args& params, const std::string& recordSep, const std::string& fieldSep,
                               bool csvExt);
  // The import format of the visible columns by Oracle type: colfmt::DateDMY
  // for dates, colfmt::Text for texts, colfmt::General otherwise.
  std::vector<int> FormatExportedFile(const Args& params, const std::string& recordSep,
                                      const std::string& fieldSep);

 private:
  // Runs fn on the twin when the type is known; traces and keeps its
  // failure (no twin: reported).
  bool run(const char* source, const std::function<void(ICalcTwin&)>& fn);
  void signaler(const char* source, int32_t number, const std::string& text);
  void tracer(const char* source, int32_t number, const std::string& text);
  // Runs fn, which needs no spreadsheet; reports its failure.
  bool rapporter(const char* source, const std::function<void()>& fn);

  App& app_;
  int typeEditeur_ = 0;
  std::unique_ptr<ICalcTwin> twin_;
  int twinType_ = 0;
  long echecs_ = 0;
  // The spreadsheet's last failure while not reported (source empty: none).
  struct Echec {
    std::string source;
    int32_t number = 0;
    std::string text;
  } enAttente_;
};

// The single instance, created on first use in app.G_Tableur.
ApTableur& G_Tableur(App& app);

}  // namespace kup
