#include "office/ApTableur.h"

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "office/DriverSupport.h"

namespace kup {

namespace {

bool IsExcelType(int t) { return t == 2 || t == 3; }

// Column descriptions of an export: title, Oracle type, visibility.
struct Column {
  std::string title, type;
  bool visible = true;
};

std::vector<Column> Columns(const Args& params, const std::string& recordSep, const std::string& fieldSep) {
  std::vector<Column> cols;
  for (const auto& rec : Split(CStr(Arg(params, 0)), recordSep)) {
    auto f = Split(rec, fieldSep);
    Column c;
    if (!f.empty()) c.title = f[0];
    if (f.size() > 1) c.type = UCase(Trim(f[1]));
    if (f.size() > 2) {
      std::string v = UCase(Trim(f[2]));
      c.visible = !(v == "0" || v == "FALSE" || v == "FAUX" || v == "N" || v == "NON");
    }
    cols.push_back(std::move(c));
  }
  return cols;
}

std::string Quoted(const std::string& v) { return "\"" + Replace(v, "\"", "\"\"") + "\""; }

}  // namespace

CalcTwinFactory DefaultCalcTwinFactory() { return {}; }

ApTableur::ApTableur(App& app) : twinFactory(DefaultCalcTwinFactory()), app_(app), typeEditeur_(app.G_TypeEditeur) {}

ApTableur::~ApTableur() {
  if (twin_) {
    try {
      twin_->detach();
    } catch (...) {
    }
  }
}

bool ApTableur::typeConnu() const { return typeEditeur_ == 2 || typeEditeur_ == 3 || typeEditeur_ == 4; }

void ApTableur::signaler(const char* source, int32_t number, const std::string& text) {
  ++echecs_;
  enAttente_ = {};
  TraiterErreur(app_, source, number, text);
}

void ApTableur::tracer(const char* source, int32_t number, const std::string& text) {
  ++echecs_;
  enAttente_ = {source, number, text};
  DebugKUP(app_, std::string("ApTableur.") + source, std::to_string(number) + " : " + text);
}

bool ApTableur::Echoue(long echecs) {
  if (echecs_ == echecs) return false;
  RapporterEchec();
  return true;
}

void ApTableur::RapporterEchec() {
  if (enAttente_.source.empty()) return;
  Echec e = std::move(enAttente_);
  enAttente_ = {};
  TraiterErreur(app_, e.source, e.number, e.text);
}

bool ApTableur::ClasseurAccessible() {
  if (!typeConnu()) return true;
  bool ok = twin_ != nullptr;
  if (ok) {
    try {
      twin_->activateDocument();
    } catch (...) {
      ok = false;
    }
  }
  if (!ok) G_AccesDocument = false;
  return ok;
}

bool ApTableur::run(const char* source, const std::function<void(ICalcTwin&)>& fn) {
  if (!typeConnu()) return false;
  if (!twin_) {
    signaler(source, vberr::ObjectVariableNotSet, "Le tableur n'est pas ouvert");
    return false;
  }
  return TrapFailure([&] { fn(*twin_); }, vberr::InvalidCall, vberr::InternalError,
                     [&](int32_t number, const std::string& text) { tracer(source, number, text); });
}

bool ApTableur::rapporter(const char* source, const std::function<void()>& fn) {
  return TrapFailure(fn, vberr::InvalidCall, vberr::InternalError,
                     [&](int32_t number, const std::string& text) { signaler(source, number, text); });
}

// ---------------------------------------------------------------- the application

void ApTableur::OpenCalc() {
  if (!typeConnu()) return;
  int t = typeEditeur_;
  if (!twin_ || twinType_ != t) {
    DetacheCalc();
    auto made =
        MakeTwin<ICalcTwin>(app_, "OpenCalc", twinFactory, t, "Aucun tableur n'est disponible pour le type éditeur ");
    if (!made) {
      ++echecs_;  // reported by MakeTwin
      enAttente_ = {};
      return;
    }
    twin_ = std::move(made);
    twinType_ = t;
  }
  if (!run("OpenCalc", [](ICalcTwin& c) { c.connect(); })) twin_.reset();
}

// Showing the spreadsheet is never what a command is for: its failure is
// traced, and one to minimise says, as with the word processor, that the
// spreadsheet is gone.
void ApTableur::MinimizeCalc() {
  if (!typeConnu()) return;
  if (!twin_) {
    G_AccesDocument = false;
    return;
  }
  TrapFailure([&] { twin_->minimize(); }, vberr::InvalidCall, vberr::InternalError,
              [&](int32_t number, const std::string& text) {
                DebugKUP(app_, "ApTableur.MinimizeCalc", std::to_string(number) + " : " + text);
                G_AccesDocument = false;
              });
}

void ApTableur::MaximizeCalc() {
  if (!typeConnu() || !twin_) return;
  TrapFailure([&] { twin_->maximize(); }, vberr::InvalidCall, vberr::InternalError,
              [&](int32_t number, const std::string& text) {
                DebugKUP(app_, "ApTableur.MaximizeCalc", std::to_string(number) + " : " + text);
              });
}

void ApTableur::DetacheCalc() {
  if (!twin_) return;
  try {
    twin_->detach();
  } catch (...) {
  }
  twin_.reset();
}

std::string ApTableur::getVersion() {
  if (!typeConnu()) return {};
  if (typeEditeur_ == 4) return "OO";
  std::string v;
  run("getVersion", [&](ICalcTwin& c) { v = c.version(); });
  return v;
}

std::string ApTableur::Extension() const {
  if (IsExcelType(typeEditeur_)) return ".xlt";
  if (typeEditeur_ == 4) return ".ots";
  return {};
}

std::vector<std::string> ApTableur::ExtensionListeModeles() const {
  if (IsExcelType(typeEditeur_)) return {".xlt", ".xltx"};
  if (typeEditeur_ == 4) return {".ots"};
  return {};
}

std::string ApTableur::ChoiceFile(platform::ICommonDialog& dialog, const std::string& folder) {
  if (!typeConnu()) return {};
  return ChooseTemplate(app_, dialog, ExtensionListeModeles(), folder);
}

// ---------------------------------------------------------------- documents

void ApTableur::OpenDocument(const std::string& file, const std::vector<int>& format) {
  run("OpenDocument", [&](ICalcTwin& c) { c.openDocument(file, format); });
}

void ApTableur::CloseDocument() {
  if (!twin_) return;  // nothing open, nothing to close
  run("CloseDocument", [](ICalcTwin& c) { c.closeDocument(); });
}

bool ApTableur::UpdateActiveDocument() {
  if (!typeConnu()) return false;
  if (typeEditeur_ == 4) return true;
  return ClasseurAccessible();
}

std::string ApTableur::SaveTemp() {
  if (!typeConnu()) return {};
  std::string path;
  if (!rapporter("SaveTemp", [&] { path = sFichierTemporaire(app_, Extension()); })) return {};
  return run("SaveTemp", [&](ICalcTwin& c) { c.saveAsTemplate(path); }) ? path : std::string();
}

void ApTableur::Saved(bool value) {
  // Only Excel asks whether to save a workbook the program filled.
  if (!IsExcelType(typeEditeur_)) return;
  run("Saved", [&](ICalcTwin& c) { c.setSaved(value); });
}

// ---------------------------------------------------------------- sheets and cells

void ApTableur::GotoSheetIndex(int32_t index) {
  run("GotoSheetIndex", [&](ICalcTwin& c) { c.gotoSheetIndex(index); });
}
void ApTableur::GotoSheetName(const std::string& name) {
  run("GotoSheetName", [&](ICalcTwin& c) { c.gotoSheetName(name); });
}
void ApTableur::GotoCell(int32_t row, int32_t col) {
  run("GotoCell", [&](ICalcTwin& c) { c.gotoCell(row, col); });
}
void ApTableur::GotoCellName(const std::string& name) {
  run("GotoCellName", [&](ICalcTwin& c) { c.gotoCellName(name); });
}
void ApTableur::GotoNextRow() { run("GotoNextRow", [](ICalcTwin& c) { c.gotoNextRow(); }); }
void ApTableur::SelectEndOfCol() { run("SelectEndOfCol", [](ICalcTwin& c) { c.selectEndOfCol(); }); }
void ApTableur::SetSelectionName(const std::string& name) {
  run("SetSelectionName", [&](ICalcTwin& c) { c.setSelectionName(name); });
}

int32_t ApTableur::RowCount() {
  int n = 0;
  run("RowCount", [&](ICalcTwin& c) { n = c.rowCount(); });
  return n;
}

int32_t ApTableur::ColCount() {
  int n = 0;
  run("ColCount", [&](ICalcTwin& c) { n = c.colCount(); });
  return n;
}

void ApTableur::InsertTextFile(const std::string& file) {
  run("InsertTextFile", [&](ICalcTwin& c) { c.insertTextFile(file); });
}

void ApTableur::InsertEmptyRow(int32_t count) {
  if (count <= 0) return;
  run("InsertEmptyRow", [&](ICalcTwin& c) { c.insertEmptyRows(count); });
}

void ApTableur::AutoFill(int32_t count) {
  if (count <= 0) return;
  run("AutoFill", [&](ICalcTwin& c) { c.autoFill(count); });
}

// ---------------------------------------------------------------- merge fields

void ApTableur::FindMergeFields(bool onActiveSheet) {
  if (!typeConnu()) return;
  MergeFields.clear();
  run("FindMergeFields", [&](ICalcTwin& c) { MergeFields = c.rangeNames(onActiveSheet); });
}

void ApTableur::FindMergeFieldsValues() {
  if (!typeConnu()) return;
  MergeFieldsValues.clear();
  if (!twin_) {
    run("FindMergeFieldsValues", [](ICalcTwin&) {});
    return;
  }
  // One value per name, whatever happens to the others: the values travel
  // paired with the names by position.
  for (const auto& n : MergeFields) {
    std::string v;
    run("FindMergeFieldsValues", [&](ICalcTwin& c) { v = c.rangeValue(n); });
    MergeFieldsValues.push_back(std::move(v));
  }
}

void ApTableur::MailMergeOpen(bool bMaximize) {
  bool ok = run("MailMergeOpen", [&](ICalcTwin& c) {
    // Names without a value of the same index are left as they are.
    for (size_t i = 0; i < MergeFields.size() && i < MergeFieldsValues.size(); ++i)
      if (c.gotoCellName(MergeFields[i])) c.setSelectionValue(MergeFieldsValues[i]);
  });
  if (ok && bMaximize) MaximizeCalc();
}

// ---------------------------------------------------------------- text export

std::string ApTableur::ExportToTextFile(const Args& params, const std::string& recordSep,
                                        const std::string& fieldSep, bool csvExt) {
  if (!typeConnu()) return {};
  std::string path;
  rapporter("ExportToTextFile", [&] {
    auto cols = Columns(params, recordSep, fieldSep);
    std::string text;
    std::string line;
    bool first = true;
    for (const auto& c : cols) {
      if (!c.visible) continue;
      line += (first ? "" : ";") + Quoted(c.title);
      first = false;
    }
    text += line + vbCrLf;
    for (const auto& row : Split(CStr(Arg(params, 1)), recordSep)) {
      auto cells = Split(row, fieldSep);
      line.clear();
      first = true;
      for (size_t j = 0; j < cols.size(); ++j) {
        if (!cols[j].visible) continue;
        line += (first ? "" : ";") + Quoted(j < cells.size() ? cells[j] : std::string());
        first = false;
      }
      text += line + vbCrLf;
    }
    std::string file = sFichierTemporaire(app_, csvExt ? ".csv" : ".txt");
    app_.fs().writeFile(file, ToCp1252(text));
    path = file;
  });
  return path;
}

std::vector<int> ApTableur::FormatExportedFile(const Args& params, const std::string& recordSep,
                                               const std::string& fieldSep) {
  if (!typeConnu()) return {};
  std::vector<int> format;
  bool ok = rapporter("FormatExportedFile", [&] {
    for (const auto& c : Columns(params, recordSep, fieldSep)) {
      if (!c.visible) continue;
      if (c.type.find("DATE") != std::string::npos || c.type.find("TIMESTAMP") != std::string::npos)
        format.push_back(colfmt::DateDMY);
      else if (c.type.find("CHAR") != std::string::npos || c.type.find("CLOB") != std::string::npos)
        format.push_back(colfmt::Text);
      else
        format.push_back(colfmt::General);
    }
  });
  return ok ? format : std::vector<int>();
}

// ---------------------------------------------------------------- instance

ApTableur& G_Tableur(App& app) {
  if (!app.G_Tableur) {
    app.G_Tableur = std::make_shared<ApTableur>(app);
    if (app.hooks.configureTableur) app.hooks.configureTableur(app, *app.G_Tableur);
  }
  return *app.G_Tableur;
}

}  // namespace kup
