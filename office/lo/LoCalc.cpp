// The spreadsheet twin on LibreOffice Calc. The selection of the driver is
// the view's selection; merge fields are the workbook's global named ranges.
#include <algorithm>
#include <cmath>
#include <ctime>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/FillDirection.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeReferrer.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XCellSeries.hpp>
#include <com/sun/star/sheet/XDatabaseRanges.hpp>
#include <com/sun/star/sheet/XNamedRanges.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "core/App.h"
#include "vb/Value.h"
#include "vb/VbString.h"
#include "office/lo/Uno.h"

namespace kup::lo {

namespace css = ::com::sun::star;
namespace sheet = ::com::sun::star::sheet;
namespace table = ::com::sun::star::table;
using rtl::OUString;

namespace {

bool IsExcelType(int t) { return t == 2 || t == 3; }

const char* CalcFilter(const std::string& ext, int type) {
  if (ext == ".ots") return "calc8_template";
  if (ext == ".ods") return "calc8";
  if (ext == ".xlt") return "MS Excel 97 Vorlage/Template";
  if (ext == ".xls") return "MS Excel 97";
  if (ext == ".xltx") return "Calc MS Excel 2007 XML Template";
  if (ext == ".xlsx") return "Calc MS Excel 2007 XML";
  if (ext == ".fods") return "OpenDocument Spreadsheet Flat XML";
  return type == 4 ? "calc8_template" : "MS Excel 97 Vorlage/Template";
}

bool IsTemplateExtension(const std::string& ext) {
  return ext == ".ots" || ext == ".xlt" || ext == ".xltx" || ext == ".ott" || ext == ".stc";
}

// The text import of the files the driver exports: ";" between fields,
// double quotes around them, Windows-1252, the first line included, and a
// column format per column (the Excel numbers, which are Calc's too).
OUString CsvOptions(const std::vector<int>& format) {
  std::string o = "59,34,1,1,";
  for (size_t i = 0; i < format.size(); ++i) o += (i ? "/" : "") + std::to_string(i + 1) + "/" + std::to_string(format[i]);
  return U(o);
}

std::string RangeText(const table::CellRangeAddress& a, const OUString& sheetName) {
  auto col = [](sal_Int32 c) {
    std::string s;
    for (++c; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
    return s;
  };
  std::string quoted = "'" + Replace(S(sheetName), "'", "''") + "'";
  return "$" + quoted + ".$" + col(a.StartColumn) + "$" + std::to_string(a.StartRow + 1) + ":$" +
         col(a.EndColumn) + "$" + std::to_string(a.EndRow + 1);
}

class LoCalc : public ICalcTwin {
 public:
  LoCalc(App& app, int type, std::shared_ptr<Office> office) : app_(app), type_(type), office_(std::move(office)) {}
  ~LoCalc() override {
    try {
      detach();
    } catch (...) {
    }
  }

  std::string version() override { return IsExcelType(type_) ? ExcelVersionText(app_) : "OO"; }

  void connect() override { office_->start(); }

  void detach() override {
    office_->impl().releaseDocument(docGeneration_, doc_, [&] { doc_.clear(); });
  }

  // Headless: nothing to show; the office must still be there.
  void minimize() override {
    if (!office_->alive()) raise(462, kOfficeGone);
    if (office_->options().visible && doc_.is())
      office_->impl().call([&](Session&) { office_->impl().showDocument(doc_, true); });
  }
  void maximize() override {
    if (!office_->alive()) raise(462, kOfficeGone);
    if (office_->options().visible && doc_.is()) office_->impl().call([&](Session&) { office_->impl().showDocument(doc_); });
  }

  void openDocument(const std::string& path, const std::vector<int>& format) override {
    detach();  // whatever becomes of this open, the workbook held before is no longer the driver's
    if (!app_.fs().fileExists(path)) raise(vberr::FileNotFound, "Fichier introuvable : " + path);
    std::string host = app_.fs().hostPath(path);
    std::string ext = ExtensionOf(host);
    auto& o = office_->impl();
    o.call([&](Session& s) {
      std::vector<beans::PropertyValue> args;
      bool text = ext == ".txt" || ext == ".csv";
      if (text) {
        args.push_back(Prop("FilterName", Any(OUString("Text - txt - csv (StarCalc)"))));
        args.push_back(Prop("FilterOptions", Any(CsvOptions(format))));
      } else {
        args.push_back(Prop("AsTemplate", Any(IsTemplateExtension(ext))));
      }
      Reference<css::lang::XComponent> doc = o.loadHidden(s, FileUrl(host), args, path, "classeur");
      if (!Reference<sheet::XSpreadsheetDocument>(doc, UNO_QUERY).is()) {
        Office::Impl::closeQuietly(doc);
        raise(vberr::PathFileAccess, "Le fichier " + path + " n'est pas un classeur");
      }
      doc_ = doc;
      docGeneration_ = s.generation;
    });
  }

  void closeDocument() override {
    if (!doc_.is() || docGeneration_ != office_->generation()) {
      doc_.clear();
      return;
    }
    auto& o = office_->impl();
    o.call([&](Session&) {
      Reference<css::lang::XComponent> d = doc_;
      doc_.clear();
      o.noteClosed(d);
      try {
        Q<css::util::XCloseable>(d)->close(true);
      } catch (const css::lang::DisposedException&) {
      }
    });
  }

  void activateDocument() override {
    run([&](Session&) {
      if (!Q<css::frame::XModel>(doc_)->getCurrentController().is()) raise(vberr::ObjectVariableNotSet, kNoWorkbook);
    });
  }

  void saveAsTemplate(const std::string& path) override {
    std::string host = app_.fs().hostPath(path);
    try {
      run([&](Session&) {
        Q<css::frame::XStorable>(doc_)->storeAsURL(
            FileUrl(host), Props({Prop("FilterName", Any(U(CalcFilter(ExtensionOf(host), type_))))}));
      });
    } catch (const VbError& e) {
      if (e.number() != 462) RaiseIfNoRoom(path + " ne peut pas être enregistré", {FolderOf(host)});
      throw;
    }
  }

  void setSaved(bool saved) override {
    run([&](Session&) { Q<css::util::XModifiable>(doc_)->setModified(!saved); });
  }

  void gotoSheetIndex(int index) override {
    run([&](Session&) {
      Reference<css::container::XIndexAccess> sheets(Q<sheet::XSpreadsheetDocument>(doc_)->getSheets(), UNO_QUERY_THROW);
      if (index < 1 || index > sheets->getCount()) return;
      view()->setActiveSheet(Q<sheet::XSpreadsheet>(sheets->getByIndex(index - 1)));
    });
  }

  void gotoSheetName(const std::string& name) override {
    run([&](Session&) {
      Reference<sheet::XSpreadsheets> sheets = Q<sheet::XSpreadsheetDocument>(doc_)->getSheets();
      OUString n = U(name);
      if (!sheets->hasByName(n)) {
        // Sheet names are compared without regard to case, as Excel does.
        n.clear();
        for (const auto& s : sheets->getElementNames())
          if (EqualsNoCase(S(s), name)) n = s;
        if (n.isEmpty()) raise(vberr::SubscriptOutOfRange, "L'indice n'appartient pas à la sélection");
      }
      view()->setActiveSheet(Q<sheet::XSpreadsheet>(sheets->getByName(n)));
    });
  }

  void gotoCell(int row, int col) override {
    run([&](Session&) {
      if (row < 1 || col < 1) raise(1004, "Erreur définie par l'application ou par l'objet");
      select(Q<table::XCellRange>(activeSheet())->getCellRangeByPosition(col - 1, row - 1, col - 1, row - 1));
    });
  }

  bool gotoCellName(const std::string& name) override {
    bool found = false;
    run([&](Session&) {
      Reference<table::XCellRange> r = namedCells(name);
      if (!r.is()) return;
      sal_Int16 sheetIndex = Q<sheet::XCellRangeAddressable>(r)->getRangeAddress().Sheet;
      Reference<css::container::XIndexAccess> sheets(Q<sheet::XSpreadsheetDocument>(doc_)->getSheets(), UNO_QUERY_THROW);
      view()->setActiveSheet(Q<sheet::XSpreadsheet>(sheets->getByIndex(sheetIndex)));
      select(r);
      found = true;
    });
    return found;
  }

  void gotoNextRow() override {
    run([&](Session&) {
      table::CellRangeAddress a = selection();
      select(Q<table::XCellRange>(activeSheet())
                 ->getCellRangeByPosition(a.StartColumn, a.StartRow + 1, a.EndColumn, a.EndRow + 1));
    });
  }

  void selectEndOfCol() override {
    run([&](Session&) {
      table::CellRangeAddress a = selection();
      Reference<table::XCellRange> sheet(activeSheet(), UNO_QUERY_THROW);
      // The last used row of the column, found from the active cell down.
      Reference<table::XCellRange> below =
          sheet->getCellRangeByPosition(a.StartColumn, a.StartRow, a.StartColumn, 1048575);
      sal_Int16 flags = sheet::CellFlags::VALUE | sheet::CellFlags::DATETIME | sheet::CellFlags::STRING |
                        sheet::CellFlags::FORMULA;
      sal_Int32 last = a.StartRow;
      for (const auto& r : Q<sheet::XCellRangesQuery>(below)->queryContentCells(flags)->getRangeAddresses())
        last = std::max(last, r.EndRow);
      select(sheet->getCellRangeByPosition(a.StartColumn, a.StartRow, a.StartColumn, last));
    });
  }

  // Calc refuses a workbook name that begins with a digit ("1COL"), which
  // its formulas read all the same: such a name is held as a database range,
  // which formulas reach under the same name.
  void setSelectionName(const std::string& name) override {
    run([&](Session&) {
      table::CellRangeAddress a = selection();
      Reference<sheet::XNamedRanges> names(Q<beans::XPropertySet>(doc_)->getPropertyValue("NamedRanges"),
                                           UNO_QUERY_THROW);
      Reference<sheet::XDatabaseRanges> ranges(Q<beans::XPropertySet>(doc_)->getPropertyValue("DatabaseRanges"),
                                               UNO_QUERY_THROW);
      for (const auto& n : names->getElementNames())
        if (EqualsNoCase(S(n), name)) names->removeByName(n);
      for (const auto& n : ranges->getElementNames())
        if (EqualsNoCase(S(n), name)) ranges->removeByName(n);
      OUString sheetName = Q<css::container::XNamed>(activeSheet())->getName();
      table::CellAddress pos;
      pos.Sheet = a.Sheet;
      pos.Column = a.StartColumn;
      pos.Row = a.StartRow;
      try {
        names->addNewByName(U(name), U(RangeText(a, sheetName)), pos, 0);
      } catch (const css::lang::DisposedException&) {
        throw;
      } catch (const css::uno::RuntimeException&) {
        if (name.empty() || name[0] < '0' || name[0] > '9') throw;
        ranges->addNewByName(U(name), a);
        // Every row of it is data: read through INDIRECT, a first row taken
        // for a header would be left out.
        Q<beans::XPropertySet>(ranges->getByName(U(name)))->setPropertyValue("ContainsHeader", Any(false));
      }
    });
  }

  int rowCount() override {
    int n = 0;
    run([&](Session&) {
      table::CellRangeAddress a = usedArea();
      n = a.EndRow - a.StartRow + 1;
    });
    return n;
  }

  int colCount() override {
    int n = 0;
    run([&](Session&) {
      table::CellRangeAddress a = usedArea();
      n = a.EndColumn - a.StartColumn + 1;
    });
    return n;
  }

  // The text file is read by Calc's own text import (numbers come in as
  // numbers) into a document of its own, then laid at the active cell in one
  // piece.
  void insertTextFile(const std::string& path) override {
    if (!app_.fs().fileExists(path)) raise(vberr::FileNotFound, "Fichier introuvable : " + path);
    std::string host = app_.fs().hostPath(path);
    run([&](Session& s) {
      auto args = Props({Prop("Hidden", Any(true)), Prop("FilterName", Any(OUString("Text - txt - csv (StarCalc)"))),
                         Prop("FilterOptions", Any(CsvOptions({})))});
      Reference<css::lang::XComponent> src =
          Q<css::frame::XComponentLoader>(s.desktop)->loadComponentFromURL(FileUrl(host), "_blank", 0, args);
      if (!src.is()) raise(vberr::PathFileAccess, "Le fichier " + path + " ne peut pas être lu");
      Sequence<Sequence<Any>> data;
      try {
        Reference<css::container::XIndexAccess> sheets(Q<sheet::XSpreadsheetDocument>(src)->getSheets(),
                                                       UNO_QUERY_THROW);
        Reference<sheet::XSpreadsheet> first(sheets->getByIndex(0), UNO_QUERY_THROW);
        Reference<sheet::XSheetCellCursor> c = first->createCursor();
        Reference<sheet::XUsedAreaCursor> u(c, UNO_QUERY_THROW);
        u->gotoStartOfUsedArea(false);
        u->gotoEndOfUsedArea(true);
        // The used area starts at A1 for a file that has a first line.
        table::CellRangeAddress a = Q<sheet::XCellRangeAddressable>(c)->getRangeAddress();
        Reference<table::XCellRange> all =
            Q<table::XCellRange>(first)->getCellRangeByPosition(0, 0, a.EndColumn, a.EndRow);
        data = Q<sheet::XCellRangeData>(all)->getDataArray();
      } catch (...) {
        try {
          Q<css::util::XCloseable>(src)->close(true);
        } catch (...) {
        }
        throw;
      }
      Q<css::util::XCloseable>(src)->close(true);
      if (data.getLength() == 0 || data[0].getLength() == 0) return;
      // A file of one empty line leaves nothing to lay down.
      table::CellRangeAddress at = selection();
      Reference<table::XCellRange> target = Q<table::XCellRange>(activeSheet())->getCellRangeByPosition(
          at.StartColumn, at.StartRow, at.StartColumn + data[0].getLength() - 1, at.StartRow + data.getLength() - 1);
      Q<sheet::XCellRangeData>(target)->setDataArray(data);
    });
  }

  void insertEmptyRows(int count) override {
    if (count <= 0) return;
    run([&](Session&) {
      table::CellRangeAddress a = selection();
      Q<table::XColumnRowRange>(activeSheet())->getRows()->insertByIndex(a.StartRow, count);
    });
  }

  void autoFill(int count) override {
    if (count <= 0) return;
    run([&](Session&) {
      table::CellRangeAddress a = selection();
      Reference<table::XCellRange> r = Q<table::XCellRange>(activeSheet())->getCellRangeByPosition(
          a.StartColumn, a.StartRow, a.EndColumn, std::min<sal_Int32>(a.EndRow + count, 1048575));
      Q<sheet::XCellSeries>(r)->fillAuto(sheet::FillDirection_TO_BOTTOM,
                                         static_cast<sal_Int32>(a.EndRow - a.StartRow + 1));
    });
  }

  std::vector<std::string> rangeNames(bool onActiveSheet) override {
    std::vector<std::string> out;
    run([&](Session&) {
      Reference<sheet::XNamedRanges> names(Q<beans::XPropertySet>(doc_)->getPropertyValue("NamedRanges"),
                                           UNO_QUERY_THROW);
      sal_Int16 active = -1;
      if (onActiveSheet) active = Q<sheet::XCellRangeAddressable>(activeSheet())->getRangeAddress().Sheet;
      for (const auto& n : names->getElementNames()) {
        if (onActiveSheet) {
          Reference<sheet::XCellRangeReferrer> ref(names->getByName(n), UNO_QUERY);
          Reference<table::XCellRange> cells = ref.is() ? ref->getReferredCells() : Reference<table::XCellRange>();
          if (!cells.is() || Q<sheet::XCellRangeAddressable>(cells)->getRangeAddress().Sheet != active) continue;
        }
        out.push_back(S(n));
      }
    });
    return out;
  }

  // The value of the name's first cell as the program reads a cell value:
  // a text as it is, a number as its text, a date as a short date.
  std::string rangeValue(const std::string& name) override {
    std::string v;
    run([&](Session&) {
      Reference<table::XCellRange> r = namedCells(name);
      if (!r.is()) raise(1004, "Erreur définie par l'application ou par l'objet (nom " + name + " absent)");
      Reference<table::XCell> cell = r->getCellByPosition(0, 0);
      Reference<beans::XPropertySet> p(cell, UNO_QUERY_THROW);
      table::CellContentType type = cell->getType();
      if (type == table::CellContentType_EMPTY) return;
      bool number = type == table::CellContentType_VALUE;
      if (type == table::CellContentType_FORMULA) {
        sal_Int32 resultType = 0;
        p->getPropertyValue("FormulaResultType2") >>= resultType;
        number = resultType == css::sheet::FormulaResult::VALUE;
      }
      if (!number) {
        v = S(Q<css::text::XTextRange>(cell)->getString());
        return;
      }
      double d = cell->getValue();
      if (isDate(p)) {
        v = dateText(d);
        return;
      }
      v = NumberText(d);
    });
    return v;
  }

  void setSelectionValue(const std::string& value) override {
    run([&](Session&) {
      table::CellRangeAddress a = selection();
      Reference<table::XCellRange> sheet(activeSheet(), UNO_QUERY_THROW);
      // A number goes in as a number, "=..." as a formula, anything else as text.
      bool isNumber = false;
      double d = 0;
      std::string t = Trim(value);
      if (!t.empty() && t.find_first_not_of("0123456789+-.,eE ") == std::string::npos) {
        try {
          d = CDbl(Value(t));
          isNumber = true;
        } catch (...) {
        }
      }
      for (sal_Int32 r = a.StartRow; r <= a.EndRow; ++r)
        for (sal_Int32 c = a.StartColumn; c <= a.EndColumn; ++c) {
          Reference<table::XCell> cell = sheet->getCellByPosition(c, r);
          if (isNumber)
            cell->setValue(d);
          else if (!t.empty() && t[0] == '=') {
            // A formula that does not compute stays the text it was.
            cell->setFormula(U(value));
            if (Q<css::sheet::XCalculatable>(doc_).is() && cell->getError() != 0)
              Q<css::text::XTextRange>(cell)->setString(U(value));
          } else
            Q<css::text::XTextRange>(cell)->setString(U(value));
        }
    });
  }

 private:
  void run(const std::function<void(Session&)>& fn) {
    if (doc_.is() && docGeneration_ != office_->generation()) doc_.clear();
    if (!doc_.is()) {
      if (!office_->impl().connected) raise(462, kOfficeGone);
      raise(vberr::ObjectVariableNotSet, kNoWorkbook);
    }
    office_->impl().call([&](Session& s) {
      try {
        fn(s);
      } catch (const css::lang::DisposedException&) {
        doc_.clear();
        throw;
      }
    });
  }

  Reference<sheet::XSpreadsheetView> view() {
    return Q<sheet::XSpreadsheetView>(Q<css::frame::XModel>(doc_)->getCurrentController());
  }
  Reference<sheet::XSpreadsheet> activeSheet() {
    Reference<sheet::XSpreadsheet> s = view()->getActiveSheet();
    if (!s.is()) raise(vberr::ObjectVariableNotSet, kNoWorkbook);
    return s;
  }

  void select(const Reference<table::XCellRange>& r) {
    Q<css::view::XSelectionSupplier>(Q<css::frame::XModel>(doc_)->getCurrentController())->select(Any(r));
  }

  // The selection as one range (the first one of a multiple selection).
  table::CellRangeAddress selection() {
    Any sel = Q<css::view::XSelectionSupplier>(Q<css::frame::XModel>(doc_)->getCurrentController())->getSelection();
    Reference<sheet::XCellRangeAddressable> one(sel, UNO_QUERY);
    if (one.is()) return one->getRangeAddress();
    Reference<sheet::XSheetCellRanges> many(sel, UNO_QUERY);
    if (many.is() && many->getRangeAddresses().getLength() > 0) return many->getRangeAddresses()[0];
    return Q<sheet::XCellRangeAddressable>(
               Q<table::XCellRange>(activeSheet())->getCellRangeByPosition(0, 0, 0, 0))
        ->getRangeAddress();
  }

  table::CellRangeAddress usedArea() {
    Reference<sheet::XSheetCellCursor> c = activeSheet()->createCursor();
    Reference<sheet::XUsedAreaCursor> u(c, UNO_QUERY_THROW);
    u->gotoStartOfUsedArea(false);
    u->gotoEndOfUsedArea(true);
    return Q<sheet::XCellRangeAddressable>(c)->getRangeAddress();
  }

  // The cells of a global named range, or of a database range of that name
  // (a name Calc refuses as a named range, see setSelectionName); "" when
  // there is no such name or it no longer refers to cells. Names are
  // compared without regard to case.
  Reference<table::XCellRange> namedCells(const std::string& name) {
    for (const char* kind : {"NamedRanges", "DatabaseRanges"}) {
      Reference<css::container::XNameAccess> names(Q<beans::XPropertySet>(doc_)->getPropertyValue(U(kind)),
                                                   UNO_QUERY_THROW);
      OUString n = U(name);
      if (!names->hasByName(n)) {
        n.clear();
        for (const auto& e : names->getElementNames())
          if (EqualsNoCase(S(e), name)) n = e;
        if (n.isEmpty()) continue;
      }
      Reference<sheet::XCellRangeReferrer> ref(names->getByName(n), UNO_QUERY);
      return ref.is() ? ref->getReferredCells() : Reference<table::XCellRange>();
    }
    return {};
  }

  bool isDate(const Reference<beans::XPropertySet>& cell) {
    sal_Int32 key = 0;
    cell->getPropertyValue("NumberFormat") >>= key;
    Reference<css::util::XNumberFormats> formats = Q<css::util::XNumberFormatsSupplier>(doc_)->getNumberFormats();
    sal_Int16 type = 0;
    formats->getByKey(key)->getPropertyValue("Type") >>= type;
    return (type & css::util::NumberFormat::DATE) != 0;
  }

  std::string dateText(double serial) {
    // Day 0 of the spreadsheet calendar is 30 December 1899.
    std::tm t{};
    t.tm_year = -1;
    t.tm_mon = 11;
    t.tm_mday = 30 + static_cast<int>(std::floor(serial));
    t.tm_hour = 12;
    timegm(&t);
    return platform::FormatShortDate(app_.pf.regional, t);
  }

  App& app_;
  int type_;
  std::shared_ptr<Office> office_;
  Reference<css::lang::XComponent> doc_;
  int docGeneration_ = 0;
};

}  // namespace

CalcTwinFactory LibreOfficeCalcTwinFactory(std::shared_ptr<Office> office) {
  return [office](App& app, int editorType) -> std::unique_ptr<ICalcTwin> {
    if (editorType == 2 || editorType == 3 || editorType == 4) return std::make_unique<LoCalc>(app, editorType, office);
    return nullptr;
  };
}

std::string ExcelVersionText(App& app) {
  std::string v = app.pf.env ? app.env().get("KUP_EXCEL_VERSION") : std::string();
  return v.empty() ? "16.0" : v;
}

}  // namespace kup::lo
