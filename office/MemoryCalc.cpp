#include "office/MemoryCalc.h"

#include <algorithm>

#include "core/App.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "office/DriverSupport.h"

namespace kup {

namespace {

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    out += c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c;
  }
  return out;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  size_t b = 0;
  while (true) {
    size_t p = line.find('\t', b);
    out.push_back(line.substr(b, p == std::string::npos ? std::string::npos : p - b));
    if (p == std::string::npos) break;
    b = p + 1;
  }
  return out;
}

int ToInt(const std::string& s) {
  try {
    return std::stoi(s);
  } catch (...) {
    raise(vberr::TypeMismatch, "Fichier de classeur incorrect");
  }
}

}  // namespace

std::vector<std::vector<std::string>> ReadSemicolonText(std::string_view text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == ';') {
      row.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      row.push_back(field);
      rows.push_back(row);
      row.clear();
      field.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (any || !field.empty() || !row.empty()) {
    row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

// ================================================================ MemoryWorkbook

MemoryWorkbook::MemoryWorkbook() { sheets.push_back(Sheet{"Feuil1", {}}); }

MemoryWorkbook MemoryWorkbook::parse(std::string_view bytes, const std::string& sheetName) {
  MemoryWorkbook wb;
  std::string text(bytes);
  if (text.rfind("KUPCALC", 0) == 0) {
    wb.sheets.clear();
    size_t b = 0;
    while (b < text.size()) {
      size_t e = text.find('\n', b);
      std::string line = text.substr(b, e == std::string::npos ? std::string::npos : e - b);
      b = e == std::string::npos ? text.size() : e + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      auto f = SplitTabs(line);
      if (f[0] == "SHEET" && f.size() >= 2) {
        wb.sheets.push_back(Sheet{Unescape(f[1]), {}});
      } else if (f[0] == "CELL" && f.size() >= 4 && !wb.sheets.empty()) {
        std::string v = Unescape(f[3]);
        if (!v.empty()) wb.sheets.back().cells[{ToInt(f[1]), ToInt(f[2])}] = v;
      } else if (f[0] == "NAME" && f.size() >= 7) {
        wb.names.push_back({Unescape(f[1]), ToInt(f[2]) - 1, ToInt(f[3]), ToInt(f[4]), ToInt(f[5]), ToInt(f[6])});
      }
    }
    if (wb.sheets.empty()) wb.sheets.push_back(Sheet{"Feuil1", {}});
    for (auto& n : wb.names) n.sheet = std::clamp(n.sheet, 0, static_cast<int>(wb.sheets.size()) - 1);
    return wb;
  }
  std::string utf8 = SanitizeUtf8(text) == text ? text : FromCp1252(text);
  wb.sheets[0].name = sheetName.empty() ? "Feuil1" : sheetName;
  auto rows = ReadSemicolonText(utf8);
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c)
      if (!rows[r][c].empty()) wb.sheets[0].cells[{static_cast<int>(r) + 1, static_cast<int>(c) + 1}] = rows[r][c];
  return wb;
}

std::string MemoryWorkbook::serialize() const {
  std::string out = "KUPCALC 1\n";
  for (const auto& s : sheets) {
    out += "SHEET\t" + Escape(s.name) + "\n";
    for (const auto& [rc, v] : s.cells)
      out += "CELL\t" + std::to_string(rc.first) + "\t" + std::to_string(rc.second) + "\t" + Escape(v) + "\n";
  }
  for (const auto& n : names)
    out += "NAME\t" + Escape(n.name) + "\t" + std::to_string(n.sheet + 1) + "\t" + std::to_string(n.r1) + "\t" +
           std::to_string(n.c1) + "\t" + std::to_string(n.r2) + "\t" + std::to_string(n.c2) + "\n";
  return out;
}

std::string MemoryWorkbook::cell(int sheet, int row, int col) const {
  if (sheet < 0 || sheet >= static_cast<int>(sheets.size())) return {};
  auto it = sheets[static_cast<size_t>(sheet)].cells.find({row, col});
  return it == sheets[static_cast<size_t>(sheet)].cells.end() ? std::string() : it->second;
}

std::string MemoryWorkbook::cell(std::string_view sheet, int row, int col) const {
  return cell(sheetIndex(sheet), row, col);
}

void MemoryWorkbook::setCell(int sheet, int row, int col, const std::string& value) {
  auto& cells = sheets.at(static_cast<size_t>(sheet)).cells;
  if (value.empty())
    cells.erase({row, col});
  else
    cells[{row, col}] = value;
  saved = false;
}

int MemoryWorkbook::sheetIndex(std::string_view name) const {
  for (size_t i = 0; i < sheets.size(); ++i)
    if (EqualsNoCase(sheets[i].name, name)) return static_cast<int>(i);
  return -1;
}

MemoryWorkbook::Name* MemoryWorkbook::findName(std::string_view name) {
  for (auto& n : names)
    if (EqualsNoCase(n.name, name)) return &n;
  return nullptr;
}

const MemoryWorkbook::Name* MemoryWorkbook::findName(std::string_view name) const {
  return const_cast<MemoryWorkbook*>(this)->findName(name);
}

// ================================================================ MemoryCalcApp

void MemoryCalcApp::userQuits() {
  running = false;
  workbooks.clear();
}

void MemoryCalcApp::userCloses(const std::shared_ptr<MemoryWorkbook>& wb) {
  workbooks.erase(std::remove(workbooks.begin(), workbooks.end(), wb), workbooks.end());
}

// ================================================================ MemoryCalc

MemoryCalc::MemoryCalc(App& app, int editorType, std::shared_ptr<MemoryCalcApp> state)
    : app_(app), editorType_(editorType), state_(std::move(state)) {}

void MemoryCalc::requireRunning() const {
  if (!state_->running) raise(462, "Le serveur distant n'existe pas ou n'est pas disponible.");
}

MemoryWorkbook& MemoryCalc::wb() {
  requireRunning();
  if (!own_ || std::find(state_->workbooks.begin(), state_->workbooks.end(), own_) == state_->workbooks.end())
    raise(vberr::SubscriptOutOfRange, "L'indice n'appartient pas à la sélection.");
  return *own_;
}

std::string MemoryCalc::version() {
  requireRunning();
  return state_->version;
}

void MemoryCalc::connect() {
  if (!state_->running) {
    state_->running = true;
    ++state_->starts;
    state_->workbooks.clear();
    state_->windowState = 0;
  }
}

void MemoryCalc::detach() {}

void MemoryCalc::minimize() {
  requireRunning();
  state_->windowState = 1;
}

void MemoryCalc::maximize() {
  requireRunning();
  state_->windowState = 2;
}

void MemoryCalc::openDocument(const std::string& path, const std::vector<int>& format) {
  own_.reset();
  requireRunning();
  std::string ext = ExtensionOf(path);
  auto wb = std::make_shared<MemoryWorkbook>(MemoryWorkbook::parse(app_.fs().readFile(path), BaseNameOf(path)));
  wb->baseName = BaseNameOf(path);
  bool isTemplate = ext == ".xlt" || ext == ".xltx" || ext == ".ots";
  wb->path = isTemplate ? std::string() : path;
  wb->importFormat = format;
  wb->saved = true;
  state_->workbooks.push_back(wb);
  own_ = wb;
}

void MemoryCalc::closeDocument() {
  requireRunning();
  if (own_) state_->userCloses(own_);
}

void MemoryCalc::activateDocument() {
  wb();
  state_->userCloses(own_);
  state_->workbooks.push_back(own_);
}

void MemoryCalc::saveAsTemplate(const std::string& path) {
  auto& w = wb();
  app_.fs().writeFile(path, w.serialize());
  w.path = path;
  w.saved = true;
}

void MemoryCalc::setSaved(bool saved) { wb().saved = saved; }

void MemoryCalc::gotoSheetIndex(int index) {
  auto& w = wb();
  if (index >= 1 && index <= static_cast<int>(w.sheets.size())) w.active = index - 1;
}

void MemoryCalc::gotoSheetName(const std::string& name) {
  auto& w = wb();
  int i = w.sheetIndex(name);
  if (i < 0) raise(vberr::SubscriptOutOfRange, "L'indice n'appartient pas à la sélection.");
  w.active = i;
}

void MemoryCalc::gotoCell(int row, int col) {
  auto& s = wb().activeSheet();
  if (row < 1 || col < 1) raise(1004, "Erreur définie par l'application ou par l'objet");
  s.r1 = s.r2 = row;
  s.c1 = s.c2 = col;
}

bool MemoryCalc::gotoCellName(const std::string& name) {
  auto& w = wb();
  const auto* n = w.findName(name);
  if (!n) return false;
  w.active = n->sheet;
  auto& s = w.activeSheet();
  s.r1 = n->r1;
  s.c1 = n->c1;
  s.r2 = n->r2;
  s.c2 = n->c2;
  return true;
}

void MemoryCalc::gotoNextRow() {
  auto& s = wb().activeSheet();
  s.r1 = s.r2 = s.r1 + 1;
  s.c2 = s.c1;
}

void MemoryCalc::selectEndOfCol() {
  auto& s = wb().activeSheet();
  int last = s.r1;
  for (const auto& [rc, v] : s.cells)
    if (rc.second == s.c1 && rc.first > last) last = rc.first;
  s.r2 = last;
  s.c2 = s.c1;
}

void MemoryCalc::setSelectionName(const std::string& name) {
  auto& w = wb();
  auto& s = w.activeSheet();
  MemoryWorkbook::Name n{name, w.active, s.r1, s.c1, s.r2, s.c2};
  if (auto* old = w.findName(name))
    *old = n;
  else
    w.names.push_back(n);
  w.saved = false;
}

int MemoryCalc::rowCount() {
  int n = 0;
  for (const auto& [rc, v] : wb().activeSheet().cells) n = std::max(n, rc.first);
  return n;
}

int MemoryCalc::colCount() {
  int n = 0;
  for (const auto& [rc, v] : wb().activeSheet().cells) n = std::max(n, rc.second);
  return n;
}

void MemoryCalc::insertTextFile(const std::string& path) {
  auto& w = wb();
  std::string bytes = app_.fs().readFile(path);
  std::string text = SanitizeUtf8(bytes) == bytes ? bytes : FromCp1252(bytes);
  auto rows = ReadSemicolonText(text);
  auto& s = w.activeSheet();
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c)
      w.setCell(w.active, s.r1 + static_cast<int>(r), s.c1 + static_cast<int>(c), rows[r][c]);
  w.saved = false;
}

void MemoryCalc::insertEmptyRows(int count) {
  if (count <= 0) return;
  auto& w = wb();
  auto& s = w.activeSheet();
  int at = s.r1;
  std::map<std::pair<int, int>, std::string> moved;
  for (const auto& [rc, v] : s.cells) moved[{rc.first >= at ? rc.first + count : rc.first, rc.second}] = v;
  s.cells = std::move(moved);
  for (auto& n : w.names) {
    if (n.sheet != w.active) continue;
    if (n.r1 >= at) n.r1 += count;
    if (n.r2 >= at) n.r2 += count;
  }
  w.saved = false;
}

void MemoryCalc::autoFill(int count) {
  if (count <= 0) return;
  auto& w = wb();
  auto& s = w.activeSheet();
  int height = s.r2 - s.r1 + 1;
  for (int k = 1; k <= count; ++k) {
    int src = s.r1 + (k - 1) % height;
    for (int c = s.c1; c <= s.c2; ++c) w.setCell(w.active, s.r2 + k, c, w.cell(w.active, src, c));
  }
  s.r2 += count;
}

std::vector<std::string> MemoryCalc::rangeNames(bool onActiveSheet) {
  auto& w = wb();
  std::vector<std::string> out;
  for (const auto& n : w.names)
    if (!onActiveSheet || n.sheet == w.active) out.push_back(n.name);
  return out;
}

std::string MemoryCalc::rangeValue(const std::string& name) {
  auto& w = wb();
  const auto* n = w.findName(name);
  if (!n) raise(1004, "La méthode 'Range' de l'objet '_Global' a échoué");
  return w.cell(n->sheet, n->r1, n->c1);
}

void MemoryCalc::setSelectionValue(const std::string& value) {
  auto& w = wb();
  auto& s = w.activeSheet();
  for (int r = s.r1; r <= s.r2; ++r)
    for (int c = s.c1; c <= s.c2; ++c) w.setCell(w.active, r, c, value);
}

CalcTwinFactory MemoryCalcFactory(std::shared_ptr<MemoryCalcApp> state) {
  return [state](App& app, int editorType) -> std::unique_ptr<ICalcTwin> {
    if (editorType == 2 || editorType == 3 || editorType == 4)
      return std::make_unique<MemoryCalc>(app, editorType, state);
    return nullptr;
  };
}

}  // namespace kup
