// The word-processor twin on LibreOffice Writer.
//
// The cursor and the selection of the driver are Writer's view cursor (the
// selection a user would see), so that line moves follow the laid-out text
// as Word's Selection does. Merge fields are Writer's database fields (Word's
// MERGEFIELDs come in as such) and user fields; map-picture placeholders are
// fields "CARTE name;identifier;width;height;scale", which Writer keeps as
// unhandled Word fields.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

#include <cppuhelper/implbase1.hxx>

#include <com/sun/star/awt/PrinterServer.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/awt/XPrinterServer2.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/datatransfer/DataFlavor.hpp>
#include <com/sun/star/datatransfer/XTransferable.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/graphic/XGraphicProvider.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyle.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/SectionFileLink.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XDependentTextField.hpp>
#include <com/sun/star/text/XFormField.hpp>
#include <com/sun/star/text/XParagraphCursor.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextField.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextSection.hpp>
#include <com/sun/star/text/XTextSectionsSupplier.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/text/XTextTablesSupplier.hpp>
#include <com/sun/star/text/XTextTableCursor.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XSearchDescriptor.hpp>
#include <com/sun/star/util/XSearchable.hpp>
#include <com/sun/star/view/DocumentZoomType.hpp>
#include <com/sun/star/view/XLineCursor.hpp>
#include <com/sun/star/view/XPrintJobBroadcaster.hpp>
#include <com/sun/star/view/XPrintJobListener.hpp>
#include <com/sun/star/view/XPrintable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <com/sun/star/view/XViewCursor.hpp>
#include <com/sun/star/view/XViewSettingsSupplier.hpp>

#include "core/App.h"
#include "core/Core.h"
#include "vb/VbString.h"
#include "office/lo/Uno.h"

namespace kup::lo {

namespace css = ::com::sun::star;
namespace ctext = ::com::sun::star::text;
using rtl::OUString;

namespace {

bool IsWordType(int t) { return t == 2 || t == 3; }

// Without a print system the office still lists its own "Generic Printer",
// whose jobs go to an lpr that is not there and vanish without a word. It is
// a printer only where lpr exists.
bool IsRealPrinter(const std::string& name) {
  if (name.empty()) return false;
  if (name != "Generic Printer") return true;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (!dir.empty() && ::access((dir + "/lpr").c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The office's print dialog is shown from an event the print command posts,
// so the command returns while the dialog is still to come. The end of the
// job the dialog starts is what tells that the person has answered it:
// printed, failed, or cancelled (aborted). A document closed under the
// dialog ends the wait too.
class PrintJobEnd : public cppu::WeakImplHelper1<css::view::XPrintJobListener> {
 public:
  void SAL_CALL printJobEvent(const css::view::PrintJobEvent& e) override {
    if (e.State == css::view::PrintableState_JOB_STARTED) return;
    finish();
  }
  void SAL_CALL disposing(const css::lang::EventObject&) override { finish(); }

  // True once the job ended; false when the time given ran out first.
  bool wait(int ms) {
    std::unique_lock lk(m_);
    return cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return ended_; });
  }

 private:
  void finish() {
    std::lock_guard lk(m_);
    ended_ = true;
    cv_.notify_all();
  }
  std::mutex m_;
  std::condition_variable cv_;
  bool ended_ = false;
};

// Where a text content sits; a content taken out of the document has no
// place any more, which is an error of the office, never a crash.
template <class T>
Reference<ctext::XTextRange> AnchorOf(const Reference<T>& content) {
  Reference<ctext::XTextContent> c(content, UNO_QUERY);
  Reference<ctext::XTextRange> a = c.is() ? c->getAnchor() : Reference<ctext::XTextRange>();
  if (!a.is()) throw css::uno::RuntimeException("text content without anchor");
  return a;
}

// A position handed out by cursorPos: a text range that follows the edits.
struct LoPosition {
  static constexpr uint32_t kMagic = 0x4C4F5053;
  uint32_t magic = kMagic;
  int generation = 0;
  Reference<ctext::XTextRange> range;
};

// The writer filter for a file, by its extension; otherwise the format of
// the editor type.
const char* WriterFilter(const std::string& ext, bool asTemplate, int type) {
  if (ext == ".ott") return "writer8_template";
  if (ext == ".odt") return "writer8";
  if (ext == ".dot") return "MS Word 97 Vorlage";
  if (ext == ".doc") return "MS Word 97";
  if (ext == ".dotx") return "MS Word 2007 XML Template";
  if (ext == ".docx") return "MS Word 2007 XML";
  if (ext == ".rtf") return "Rich Text Format";
  if (ext == ".pdf") return "writer_pdf_Export";
  if (ext == ".txt") return "Text";
  if (ext == ".htm" || ext == ".html") return "HTML (StarWriter)";
  if (type == 4) return asTemplate ? "writer8_template" : "writer8";
  return asTemplate ? "MS Word 97 Vorlage" : "MS Word 97";
}

bool IsOdfFilter(const std::string& f) { return f.rfind("writer8", 0) == 0; }

// The data source given to Word's merge fields so that Writer's own format
// keeps them (database "Korvane", table "Courrier").
const std::string kOwnSource = "Korvane.Courrier.";

// Paragraph marks as Writer reads them in inserted text: CR (alone or before
// LF) and a lone LF end a paragraph; the vertical tab is Word's line break.
OUString TextForWriter(const std::string& text) {
  std::string t;
  t.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      t += '\r';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      t += '\r';
    } else if (c == '\x0B') {
      t += '\n';
    } else {
      t += c;
    }
  }
  return U(t);
}

// Writer separates paragraphs by LF in the texts it gives; the clipboard of
// the workstation by CR LF.
std::string ClipboardText(const OUString& s) {
  std::string in = S(s), out;
  out.reserve(in.size() + 16);
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') {
      out += "\r\n";
      ++i;
    } else if (in[i] == '\n' || in[i] == '\r') {
      out += "\r\n";
    } else {
      out += in[i];
    }
  }
  return out;
}

// RTF as a file: characters outside ASCII written as RTF Unicode escapes, so
// that the text keeps them whatever code page the RTF declares.
std::string RtfBytes(const std::string& rtf) {
  std::string out;
  out.reserve(rtf.size());
  for (uint32_t cp : CodePoints(rtf)) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    auto escape = [&](uint32_t unit) {
      int16_t v = static_cast<int16_t>(static_cast<uint16_t>(unit));
      out += "\\u" + std::to_string(v) + "?";
    };
    if (cp > 0xFFFF) {
      cp -= 0x10000;
      escape(0xD800 + (cp >> 10));
      escape(0xDC00 + (cp & 0x3FF));
    } else {
      escape(cp);
    }
  }
  return out;
}

bool LooksLikeRtf(const std::string& s) { return s.rfind("{\\rtf", 0) == 0; }

// An RTF text whose last paragraph is closed ("...\par}") brings its
// paragraph mark with it; Writer's reading of it drops that mark.
bool EndsWithParagraph(const std::string& rtf) {
  size_t end = rtf.size();
  while (end > 0 && (rtf[end - 1] == '}' || std::isspace(static_cast<unsigned char>(rtf[end - 1])))) --end;
  std::string_view head(rtf.data(), end);
  return head.size() >= 4 && head.substr(head.size() - 4) == "\\par" &&
         (head.size() == 4 || head[head.size() - 5] != '\\');
}

// "CARTE name;identifier;width;height;scale" (the keyword in any case).
bool ParseMapCode(const std::string& code, MapPicture& out) {
  std::string c = Trim(code);
  if (c.size() < 5 || UCase(c.substr(0, 5)) != "CARTE") return false;
  std::string rest = Trim(c.substr(5));
  auto f = Split(rest, ";");
  auto at = [&](size_t i) { return i < f.size() ? Trim(f[i]) : std::string(); };
  out = MapPicture{at(0), at(1), at(2), at(3), at(4)};
  return !out.name.empty();
}

// A number of millimetres, 0 when the text is not a positive number.
long HundredthsOfMm(const std::string& text) {
  try {
    double d = CDbl(Value(text));
    return d > 0 && d < 10000 ? static_cast<long>(d * 100 + 0.5) : 0;
  } catch (...) {
    return 0;
  }
}

class LoWord : public IWordTwin {
 public:
  LoWord(App& app, int type, std::shared_ptr<Office> office) : app_(app), type_(type), office_(std::move(office)) {}

  ~LoWord() override {
    try {
      release();
    } catch (...) {
    }
  }

  // ---- the word processor

  void connect() override { office_->start(); }

  void release() override {
    office_->impl().releaseDocument(docGeneration_, doc_, [&] { dropDocument(); });
  }

  bool isRunning() override { return office_->alive(); }

  // Headless there is no window to show: what the callers learn from these
  // is whether the word processor is still there. In desktop mode the
  // document is shown to the person: minimised, or maximised in front.
  void minimize() override {
    requireOffice();
    if (office_->options().visible && doc_.is()) run([&](Session&) { office_->impl().showDocument(doc_, true); });
  }
  void maximize() override {
    requireOffice();
    if (office_->options().visible && doc_.is()) run([&](Session&) { office_->impl().showDocument(doc_); });
  }

  void zoomToPage() override {
    run([&](Session&) {
      Reference<css::view::XViewSettingsSupplier> vs(model()->getCurrentController(), UNO_QUERY_THROW);
      Reference<beans::XPropertySet> p = vs->getViewSettings();
      p->setPropertyValue("ZoomType", Any(static_cast<sal_Int16>(css::view::DocumentZoomType::ENTIRE_PAGE)));
    });
  }

  // ---- documents

  void openDocument(const std::string& path) override {
    std::string host;
    if (!path.empty()) {
      if (!app_.fs().fileExists(path)) raise(vberr::FileNotFound, "Fichier introuvable : " + path);
      host = app_.fs().hostPath(path);
    }
    const std::string title = host.empty() ? std::string() : office_->impl().titleFor(BaseNameOf(path));
    auto& o = office_->impl();
    o.call([&](Session& s) {
      OUString url = host.empty() ? OUString("private:factory/swriter") : FileUrl(host);
      Reference<css::lang::XComponent> doc =
          o.loadHidden(s, url, {Prop("AsTemplate", Any(!host.empty()))}, path, "document");
      Reference<ctext::XTextDocument> td(doc, UNO_QUERY);
      std::string filter;
      for (const auto& a : Q<css::frame::XModel>(doc)->getArgs())
        if (a.Name == "FilterName") filter = S(a.Value.get<OUString>());
      // Anything can be read as plain text; a template that is only that is
      // not a document of the word processor.
      bool plain = filter == "Text" || filter == "Text (encoded)";
      if (!td.is() || (plain && !host.empty() && ExtensionOf(host) != ".txt")) {
        Office::Impl::closeQuietly(doc);
        raise(vberr::PathFileAccess, "Le fichier " + path + " n'est pas un document de traitement de texte");
      }
      if (!title.empty())
        if (Reference<css::frame::XTitle> named(doc, UNO_QUERY); named.is()) named->setTitle(U(title));
      if (doc_.is()) o.noteReleased(doc_);
      dropDocument();
      doc_ = doc;
      vc_ = Q<ctext::XTextViewCursorSupplier>(Q<css::frame::XModel>(doc)->getCurrentController())->getViewCursor();
      docGeneration_ = s.generation;
      o.noteActive(doc_);
    });
    baseName_ = path.empty() ? "Document" + std::to_string(++newDocuments_) : BaseNameOf(path);
  }

  void closeDocument(bool ownDocument) override {
    auto& o = office_->impl();
    if (!o.connected) raise(462, kOfficeGone);
    o.call([&](Session& s) {
      Reference<css::lang::XComponent> target = ownDocument ? ownIfCurrent(s) : o.activeText;
      if (!target.is()) return;
      o.noteClosed(target);
      if (target == doc_) {
        dropDocument();
      }
      try {
        Q<css::util::XCloseable>(target)->close(true);
      } catch (const css::lang::DisposedException&) {
        // Already closed.
      }
    });
  }

  void activateDocument() override {
    run([&](Session&) {
      // The model answers only while the document is open.
      if (!model()->getCurrentController().is()) raise(4248, kNoDocument);
      office_->impl().noteActive(doc_);
    });
  }

  void setOrientation(int orientation) override {
    run([&](Session&) {
      bool landscape = orientation == 2;
      Reference<css::container::XNameAccess> pages(
          Q<css::style::XStyleFamiliesSupplier>(doc_)->getStyleFamilies()->getByName("PageStyles"), UNO_QUERY_THROW);
      for (const auto& name : pages->getElementNames()) {
        Reference<css::style::XStyle> style(pages->getByName(name), UNO_QUERY_THROW);
        if (!style->isInUse()) continue;
        Reference<beans::XPropertySet> p(style, UNO_QUERY_THROW);
        sal_Int32 w = p->getPropertyValue("Width").get<sal_Int32>();
        sal_Int32 h = p->getPropertyValue("Height").get<sal_Int32>();
        if ((w > h) != landscape) {
          p->setPropertyValue("Width", Any(h));
          p->setPropertyValue("Height", Any(w));
        }
        p->setPropertyValue("IsLandscape", Any(landscape));
      }
    });
  }

  std::string documentBaseName() override {
    requireDocument();
    return baseName_;
  }

  void saveAs(const std::string& path) override { store(path, false); }
  void saveAsTemplate(const std::string& path) override { store(path, true); }

  bool isSaved() override {
    bool saved = true;
    run([&](Session&) { saved = !Q<css::util::XModifiable>(doc_)->isModified(); });
    return saved;
  }

  long documentLength() override {
    long n = 1;
    run([&](Session&) { n = Q<ctext::XTextDocument>(doc_)->getText()->getString().getLength() + 1; });
    return n;
  }

  // Printing goes to the printer chosen in the printer dialog, else to the
  // default printer. When asked, the office's print dialog is shown to the
  // person on that printer, and what they choose there is printed (or
  // nothing, when they cancel). Headless, nobody could answer it: the letter
  // is printed as without it, and with no printer at all it is written as
  // PDF into TEMP and the log says where.
  void print(int copies, bool showDialog, const std::string& printer) override {
    std::string target;
    run([&](Session& s) {
      Reference<css::awt::XPrinterServer2> server(
          s.ctx->getServiceManager()->createInstanceWithContext("com.sun.star.awt.PrinterServer", s.ctx), UNO_QUERY);
      if (!server.is()) return;
      std::vector<std::string> names;
      for (const auto& n : server->getPrinterNames())
        if (IsRealPrinter(S(n))) names.push_back(S(n));
      if (!printer.empty() && std::find(names.begin(), names.end(), printer) != names.end())
        target = printer;
      else
        target = S(server->getDefaultPrinterName());
      if (!IsRealPrinter(target)) target.clear();
      if (target.empty() && !names.empty()) target = names.front();
    });
    if (showDialog && office_->options().visible) {
      // The dialog is the person's (see OfficeOptions::personWaits).
      WaitingForPerson answering(office_->options());
      run([&](Session& s) {
        if (!target.empty()) Q<css::view::XPrintable>(doc_)->setPrinter(Props({Prop("Name", Any(U(target)))}));
        office_->impl().showDocument(doc_);
        // Without arguments the office takes the command as the person's
        // and shows its dialog; the merge and the reply that follow wait
        // until the person has answered it. Any argument (the copies among
        // them) would make it the program's, printed without the dialog:
        // the dialog opens on the printer, the person sets the copies there.
        Reference<css::frame::XDispatchProvider> frame(model()->getCurrentController()->getFrame(), UNO_QUERY_THROW);
        Reference<css::view::XPrintJobBroadcaster> jobs(doc_, UNO_QUERY_THROW);
        auto* end = new PrintJobEnd;
        Reference<css::view::XPrintJobListener> listening(end);
        jobs->addPrintJobListener(listening);
        css::frame::DispatchHelper::create(s.ctx)->executeDispatch(frame, ".uno:Print", "", 0,
                                                                        Sequence<beans::PropertyValue>());
        while (!end->wait(250) && !office_->impl().ended()) {
        }
        jobs->removePrintJobListener(listening);
      });
      return;
    }
    if (target.empty()) {
      std::string pdf = sFichierTemporaire(app_, ".pdf");
      std::string host = app_.fs().hostPath(pdf);
      run([&](Session&) {
        Q<css::frame::XStorable>(doc_)->storeToURL(FileUrl(host),
                                                   Props({Prop("FilterName", Any(OUString("writer_pdf_Export")))}));
      });
      std::string text = "Aucune imprimante : " + std::to_string(std::max(copies, 1)) + " exemplaire(s) de " +
                         baseName_ + " écrit(s) en PDF dans " + pdf;
      EcrireLog(app_, "office", text);
      DebugKUP(app_, "ApCourrier.print", text);
      // The person at the screen waits for paper: tell them where it went.
      if (office_->options().visible && app_.pf.msgbox)
        app_.pf.msgbox->show("Aucune imprimante n'est installée : " + baseName_ + " a été écrit en PDF dans " + pdf,
                             platform::mb::OKOnly | platform::mb::Information, "Korvane");
      return;
    }
    run([&](Session&) {
      Reference<css::view::XPrintable> pr(doc_, UNO_QUERY_THROW);
      pr->setPrinter(Props({Prop("Name", Any(U(target)))}));
      pr->print(Props({Prop("CopyCount", Any(static_cast<sal_Int16>(std::clamp(copies, 1, 999)))),
                       Prop("Wait", Any(true))}));
    });
  }

  // The e-mail hand-over: a copy of the letter in TEMP, given to the
  // desktop's mailer (xdg-email) as an attachment.
  void sendMail() override {
    requireDocument();
    std::string copy = sJoindreChemin(app_.env().tempFolder(), baseName_ + (type_ == 4 ? ".odt" : ".doc"));
    ReserverFichierTemporaire(app_, copy);
    std::string host = app_.fs().hostPath(copy);
    run([&](Session&) {
      Q<css::frame::XStorable>(doc_)->storeToURL(
          FileUrl(host), Props({Prop("FilterName", Any(U(WriterFilter(ExtensionOf(host), false, type_))))}));
    });
    if (!app_.pf.processes || app_.pf.processes->start({"xdg-email", "--attach", host}) == 0)
      raise(vberr::CantCreateObject, "Aucune messagerie n'est disponible pour envoyer " + copy);
  }

  // ---- fields and bookmarks

  std::vector<std::string> mergeFieldNames(bool onlyInIncludedText) override {
    std::vector<std::string> names;
    run([&](Session&) {
      std::vector<Reference<ctext::XTextRange>> included;
      if (onlyInIncludedText) {
        included = includedTexts();
        if (included.empty()) return;
      }
      for (const auto& g : mergeFieldGroups()) {
        if (!onlyInIncludedText) {
          names.push_back(g.name);
          continue;
        }
        for (const auto& f : g.fields)
          if (insideAny(AnchorOf(f), included)) {
            names.push_back(g.name);
            break;
          }
      }
    });
    return names;
  }

  std::vector<std::string> bookmarkNames() override {
    std::vector<std::string> names;
    run([&](Session&) {
      for (const auto& n : bookmarks()->getElementNames()) {
        std::string name = S(n);
        // Word keeps its own bookmarks ("_GoBack", "_Toc...") hidden.
        if (IsWordType(type_) && !name.empty() && name[0] == '_') continue;
        names.push_back(name);
      }
    });
    return names;
  }

  bool fillBookmark(const std::string& name, const std::vector<ValuePart>& parts) override {
    bool found = false;
    std::vector<std::string> rtfFiles;
    run([&](Session& s) {
      Reference<ctext::XTextContent> bm = bookmark(name);
      if (!bm.is()) return;
      found = true;
      Reference<ctext::XTextRange> r = AnchorOf(bm);
      bool rich = std::any_of(parts.begin(), parts.end(), [](const ValuePart& p) { return p.rtf && LooksLikeRtf(p.text); });
      Reference<ctext::XText> text = r->getText();
      Reference<ctext::XTextCursor> c = text->createTextCursorByRange(r);
      if (!rich) {
        // The cursor selects the text it was given, paragraph breaks included.
        std::string all;
        for (const auto& p : parts) all += p.text;
        c->setString(TextForWriter(all));
        relayBookmark(bm, c);
        return;
      }
      // Rich content goes where the old value was; the pieces follow each
      // other. The selection stays where it was. A place just before the
      // value does not move with what is inserted at the value, so the
      // start of the value is found again from there.
      groups_.reset();
      Reference<ctext::XTextRange> keep = vc_->getStart();
      c->setString(OUString());
      c->collapseToStart();
      Reference<ctext::XTextCursor> before = text->createTextCursorByRange(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW));
      const bool atTextStart = !before->goLeft(1, false);
      for (const auto& p : parts) {
        if (p.rtf && LooksLikeRtf(p.text)) {
          rtfFiles.push_back(writeRtf(p.text));
          pasteFile(s, rtfFiles.back(), "Rich Text Format", Reference<ctext::XTextRange>(c, UNO_QUERY_THROW));
          c->gotoRange(vc_->getEnd(), false);
          if (EndsWithParagraph(p.text))
            c->getText()->insertControlCharacter(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW),
                                                 ctext::ControlCharacter::PARAGRAPH_BREAK, false);
        } else {
          text->insertString(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW), TextForWriter(p.text), false);
        }
      }
      if (atTextStart)
        before->gotoStart(false);
      else
        before->goRight(1, false);
      before->gotoRange(c->getEnd(), true);
      relayBookmark(bm, before);
      try {
        vc_->gotoRange(keep, false);
      } catch (const css::uno::Exception&) {
      }
    });
    for (const auto& f : rtfFiles) std::remove(f.c_str());
    return found;
  }

  void unlinkIncludeText() override {
    if (!IsWordType(type_)) {
      requireDocument();
      return;
    }
    run([&](Session&) {
      groups_.reset();
      for (const auto& s : linkedSections())
        Q<beans::XPropertySet>(s)->setPropertyValue("FileLink", Any(ctext::SectionFileLink()));
      // The field goes, its result stays as ordinary content.
      for (const auto& f : includeTextFields()) {
        Reference<ctext::XTextContent> c(f, UNO_QUERY_THROW);
        AnchorOf(c)->getText()->removeTextContent(c);
      }
    });
  }

  void mergeFields(const std::vector<std::string>& names, const std::vector<std::string>& values,
                   bool withoutFields) override {
    run([&](Session&) {
      Locked lock(model());
      auto valueOf = [&](const std::string& n) -> const std::string* {
        for (size_t i = 0; i < names.size() && i < values.size(); ++i)
          if (EqualsNoCase(names[i], n)) return &values[i];
        return nullptr;
      };
      auto merge = [&](const std::vector<FieldGroup>& groups) {
        for (const auto& g : groups) {
          const std::string* v = valueOf(g.name);
          if (!v) continue;
          OUString value = TextForWriter(*v);
          if (withoutFields) {
            // The fields become their values as plain text.
            for (const auto& f : g.fields) AnchorOf(f)->setString(value);
          } else if (g.user) {
            g.master->setPropertyValue("Content", Any(value));
          } else {
            for (const auto& f : g.fields) {
              Reference<beans::XPropertySet> p(f, UNO_QUERY_THROW);
              p->setPropertyValue("Content", Any(value));
              p->setPropertyValue("CurrentPresentation", Any(value));
            }
          }
        }
      };
      bool known = groups_.has_value();
      try {
        merge(mergeFieldGroups());
      } catch (const css::uno::RuntimeException&) {
        // A field of the known groups went away with a bookmark's text:
        // the fields are read again (a dead office fails here again).
        if (!known) throw;
        groups_.reset();
        merge(mergeFieldGroups());
      }
      if (withoutFields) groups_.reset();
    });
  }

  void replaceMergeFields(const std::vector<FieldReplacement>& replacements) override {
    run([&](Session&) {
      // Whatever happens, the fields known before are not the fields after.
      struct Forget {
        std::optional<std::vector<FieldGroup>>& groups;
        ~Forget() { groups.reset(); }
      } forget{groups_};
      groups_.reset();
      Reference<css::lang::XMultiServiceFactory> factory(doc_, UNO_QUERY_THROW);
      std::vector<std::pair<Reference<ctext::XDependentTextField>, const FieldReplacement*>> todo;
      for (const auto& g : mergeFieldGroups()) {
        if (g.user) continue;
        for (const auto& r : replacements)
          if (EqualsNoCase(r.oldName, g.name) && !r.newNames.empty()) {
            for (const auto& f : g.fields) todo.emplace_back(f, &r);
            break;
          }
      }
      for (auto& [old, rep] : todo) {
        Reference<beans::XPropertySet> oldMaster = old->getTextFieldMaster();
        Reference<ctext::XTextRange> a = AnchorOf(old);
        Reference<ctext::XText> text = a->getText();
        Reference<ctext::XTextCursor> c = text->createTextCursorByRange(a);
        c->setString(OUString());
        for (size_t k = 0; k < rep->newNames.size(); ++k) {
          if (k > 0) {
            text->insertString(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW), OUString(" "), false);
          }
          Reference<beans::XPropertySet> master(factory->createInstance("com.sun.star.text.FieldMaster.Database"),
                                                UNO_QUERY_THROW);
          master->setPropertyValue("DataBaseName", oldMaster->getPropertyValue("DataBaseName"));
          master->setPropertyValue("DataTableName", oldMaster->getPropertyValue("DataTableName"));
          master->setPropertyValue("DataColumnName", Any(U(rep->newNames[k])));
          Reference<ctext::XDependentTextField> f(factory->createInstance("com.sun.star.text.TextField.Database"),
                                                  UNO_QUERY_THROW);
          f->attachTextFieldMaster(master);
          OUString shown = U("\xC2\xAB" + rep->newNames[k] + "\xC2\xBB");
          Q<beans::XPropertySet>(f)->setPropertyValue("Content", Any(shown));
          Q<beans::XPropertySet>(f)->setPropertyValue("CurrentPresentation", Any(shown));
          text->insertTextContent(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW),
                                  Reference<ctext::XTextContent>(f, UNO_QUERY_THROW), false);
        }
      }
    });
  }

  void renameBookmark(const std::string& oldName, const std::string& newName) override {
    run([&](Session&) {
      Reference<ctext::XTextContent> bm = bookmark(oldName);
      if (bm.is()) Q<css::container::XNamed>(bm)->setName(U(newName));
    });
  }

  // ---- insertion

  void insertRtf(const std::string& rtf, const CursorPosition* at, bool paragraphBreak) override {
    if (!LooksLikeRtf(rtf)) return insertText(rtf, at, paragraphBreak);
    std::string file;
    try {
      run([&](Session& s) {
        groups_.reset();
        Reference<ctext::XTextRange> where = insertionPoint(s, at);
        file = writeRtf(rtf);
        pasteFile(s, file, "Rich Text Format", where->getEnd());
        if (EndsWithParagraph(rtf)) breakAfterCursor();
        if (paragraphBreak) breakAfterCursor();
      });
    } catch (...) {
      if (!file.empty()) std::remove(file.c_str());
      throw;
    }
    if (!file.empty()) std::remove(file.c_str());
  }

  void insertText(const std::string& text, const CursorPosition* at, bool paragraphBreak) override {
    run([&](Session& s) {
      groups_.reset();
      Reference<ctext::XTextRange> where = insertionPoint(s, at);
      Reference<ctext::XTextCursor> c = where->getText()->createTextCursorByRange(where);
      Reference<ctext::XText> t = c->getText();
      t->insertString(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW), TextForWriter(text), false);
      if (paragraphBreak)
        t->insertControlCharacter(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW),
                                  ctext::ControlCharacter::PARAGRAPH_BREAK, false);
      vc_->gotoRange(c->getEnd(), false);
    });
  }

  void insertFileRtf(const std::string& path) override {
    if (!app_.fs().fileExists(path)) raise(vberr::FileNotFound, "Fichier introuvable : " + path);
    std::string host = app_.fs().hostPath(path);
    bool closed = false;
    {
      std::ifstream in(host, std::ios::binary);
      std::string head(5, '\0');
      if (in.read(head.data(), 5) && LooksLikeRtf(head)) {
        std::string all((std::istreambuf_iterator<char>(in)), {});
        closed = EndsWithParagraph(head + all);
      }
    }
    run([&](Session& s) {
      groups_.reset();
      // The file is an RTF text or a saved decree in the word processor's own
      // format: Writer recognises which.
      pasteFile(s, host, nullptr, insertionPoint(s, nullptr));
      if (closed) breakAfterCursor();
    });
  }

  void insertTable(const std::string& tabText) override {
    run([&](Session& s) {
      groups_.reset();
      auto cells = Split(tabText, "\t");
      if (cells.empty()) cells.emplace_back();
      Reference<ctext::XTextRange> where = insertionPoint(s, nullptr);
      Reference<ctext::XText> text = where->getText();
      Reference<ctext::XTextTable> table(
          Q<css::lang::XMultiServiceFactory>(doc_)->createInstance("com.sun.star.text.TextTable"), UNO_QUERY_THROW);
      table->initialize(1, static_cast<sal_Int32>(cells.size()));
      // A cursor at the insertion point ends in the paragraph that follows
      // the table: the cursor of the driver goes there.
      Reference<ctext::XTextCursor> after = text->createTextCursorByRange(where);
      text->insertTextContent(Reference<ctext::XTextRange>(after, UNO_QUERY_THROW),
                              Reference<ctext::XTextContent>(table, UNO_QUERY_THROW), false);
      Reference<css::table::XCellRange> range(table, UNO_QUERY_THROW);
      for (size_t i = 0; i < cells.size(); ++i)
        Q<ctext::XText>(range->getCellByPosition(static_cast<sal_Int32>(i), 0))->setString(TextForWriter(cells[i]));
      vc_->gotoRange(after->getStart(), false);
    });
  }

  // ---- cursor and selection

  void gotoStartOfDoc() override {
    run([&](Session&) { vc_->gotoStart(false); });
  }
  void gotoEndOfLine() override {
    run([&](Session&) { Q<css::view::XLineCursor>(vc_)->gotoEndOfLine(false); });
  }
  void gotoStartOfLine() override {
    run([&](Session&) { Q<css::view::XLineCursor>(vc_)->gotoStartOfLine(false); });
  }
  void goUp() override {
    run([&](Session&) { Q<css::view::XViewCursor>(vc_)->goUp(1, false); });
  }
  void goDown() override {
    run([&](Session&) { Q<css::view::XViewCursor>(vc_)->goDown(1, false); });
  }

  void gotoNextCell() override {
    run([&](Session&) {
      Reference<beans::XPropertySet> p(vc_, UNO_QUERY_THROW);
      Reference<ctext::XTextTable> table(p->getPropertyValue("TextTable"), UNO_QUERY);
      Reference<beans::XPropertySet> cell(p->getPropertyValue("Cell"), UNO_QUERY);
      if (!table.is() || !cell.is()) return;
      Reference<ctext::XTextTableCursor> tc =
          table->createCursorByCellName(cell->getPropertyValue("CellName").get<OUString>());
      if (!tc->goRight(1, false)) return;
      Reference<ctext::XText> next(table->getCellByName(tc->getRangeName()), UNO_QUERY_THROW);
      vc_->gotoRange(next->getStart(), false);
      vc_->gotoRange(next->getEnd(), true);
    });
  }

  bool searchWord(const std::string& text) override {
    bool found = false;
    run([&](Session&) {
      if (text.empty()) return;
      Reference<css::util::XSearchable> sr(doc_, UNO_QUERY_THROW);
      Reference<css::util::XSearchDescriptor> d = sr->createSearchDescriptor();
      d->setSearchString(U(text));
      Reference<uno::XInterface> hit = sr->findNext(vc_->getEnd(), d);
      if (!hit.is()) return;
      Reference<ctext::XTextRange> r(hit, UNO_QUERY_THROW);
      vc_->gotoRange(r->getStart(), false);
      vc_->gotoRange(r->getEnd(), true);
      found = true;
    });
    return found;
  }

  void selectCell() override {
    run([&](Session&) {
      Reference<ctext::XText> cell = currentCell();
      vc_->gotoRange(cell->getStart(), false);
      vc_->gotoRange(cell->getEnd(), true);
    });
  }

  std::string cellTextSelected() override {
    std::string text;
    run([&](Session&) { text = ClipboardText(currentCell()->getString()); });
    return text;
  }

  CursorPosition cursorPos() override {
    CursorPosition pos;
    run([&](Session& s) {
      auto p = std::make_shared<LoPosition>();
      p->generation = s.generation;
      p->range = vc_->getStart();
      pos.object = p;
    });
    return pos;
  }

  void setRange(const CursorPosition& start, const CursorPosition& end) override {
    auto a = position(start), b = position(end);
    run([&](Session&) {
      vc_->gotoRange(a->range, false);
      vc_->gotoRange(b->range, true);
    });
  }

  bool selectionInTable() override {
    bool in = false;
    run([&](Session&) {
      for (const auto& r : {vc_->getStart(), vc_->getEnd()}) {
        Reference<beans::XPropertySet> p(r, UNO_QUERY);
        if (p.is() && p->getPropertyValue("TextTable").hasValue()) in = true;
      }
    });
    return in;
  }

  std::string selectionRtf() override {
    std::string rtf;
    run([&](Session&) {
      Sequence<sal_Int8> bytes;
      transferData("text/rtf", cppu::UnoType<Sequence<sal_Int8>>::get()) >>= bytes;
      std::string raw(reinterpret_cast<const char*>(bytes.getConstArray()), static_cast<size_t>(bytes.getLength()));
      while (!raw.empty() && raw.back() == '\0') raw.pop_back();
      rtf = FromCp1252(raw);
    });
    return rtf;
  }

  std::string selectionText() override {
    std::string text;
    run([&](Session&) {
      OUString s;
      transferData("text/plain;charset=utf-16", cppu::UnoType<OUString>::get()) >>= s;
      text = ClipboardText(s);
    });
    return text;
  }

  // ---- map pictures (the Microsoft editor types; Writer's own documents have none)

  std::vector<MapPicture> mapPlaceholders() override {
    std::vector<MapPicture> out;
    if (!IsWordType(type_)) {
      requireDocument();
      return out;
    }
    run([&](Session&) {
      forEachMapField([&](const Reference<ctext::XFormField>&, const MapPicture& m) { out.push_back(m); });
    });
    return out;
  }

  bool replaceMapPlaceholders(const std::vector<MapPicture>& pictures) override {
    if (!IsWordType(type_)) {
      requireDocument();
      return false;
    }
    // The picture identifier names the picture file that the GIS wrote.
    std::vector<std::pair<MapPicture, std::string>> usable;
    for (const auto& p : pictures) {
      if (p.identifier.empty() || !app_.fs().fileExists(p.identifier)) continue;
      usable.emplace_back(p, app_.fs().hostPath(p.identifier));
    }
    bool any = false;
    run([&](Session& s) {
      groups_.reset();
      std::vector<std::pair<Reference<ctext::XFormField>, std::pair<MapPicture, std::string>>> todo;
      forEachMapField([&](const Reference<ctext::XFormField>& f, const MapPicture& m) {
        for (const auto& u : usable)
          if (EqualsNoCase(u.first.name, m.name)) {
            todo.emplace_back(f, u);
            break;
          }
      });
      Reference<css::graphic::XGraphicProvider> provider = css::graphic::GraphicProvider::create(s.ctx);
      Reference<css::lang::XMultiServiceFactory> factory(doc_, UNO_QUERY_THROW);
      for (auto& [field, pic] : todo) {
        const MapPicture& m = pic.first;
        Reference<css::graphic::XGraphic> graphic =
            provider->queryGraphic(Props({Prop("URL", Any(FileUrl(pic.second)))}));
        if (!graphic.is()) continue;
        Reference<beans::XPropertySet> shape(factory->createInstance("com.sun.star.text.TextGraphicObject"),
                                             UNO_QUERY_THROW);
        shape->setPropertyValue("Graphic", Any(graphic));
        shape->setPropertyValue("AnchorType", Any(ctext::TextContentAnchorType_AS_CHARACTER));
        shape->setPropertyValue("Description", Any(U("CARTE " + m.name + ";" + m.identifier + ";" + m.width + ";" +
                                                     m.height + ";" + m.scale)));
        long w = HundredthsOfMm(m.width), h = HundredthsOfMm(m.height);
        if (w > 0 && h > 0) {
          css::awt::Size size;
          size.Width = static_cast<sal_Int32>(w);
          size.Height = static_cast<sal_Int32>(h);
          shape->setPropertyValue("Size", Any(size));
        }
        Reference<ctext::XTextRange> a = AnchorOf(field);
        Reference<ctext::XText> text = a->getText();
        Reference<ctext::XTextCursor> c = text->createTextCursorByRange(a);
        c->setString(OUString());
        text->insertTextContent(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW),
                                Reference<ctext::XTextContent>(shape, UNO_QUERY_THROW), false);
        any = true;
      }
    });
    return any;
  }

 private:
  // ---- plumbing

  void requireOffice() {
    if (!office_->alive()) raise(462, kOfficeGone);
  }

  // The document is ours only in the office generation that opened it.
  void requireDocument() {
    if (doc_.is() && docGeneration_ != office_->generation()) {
      dropDocument();
    }
    if (!doc_.is()) {
      if (!office_->impl().connected) raise(462, kOfficeGone);
      raise(4248, kNoDocument);
    }
  }

  void run(const std::function<void(Session&)>& fn) {
    requireDocument();
    try {
      office_->impl().call([&](Session& s) {
        try {
          fn(s);
        } catch (const css::lang::DisposedException&) {
          // The document was closed under us, or the office went away:
          // the office tells which.
          dropDocument();
          throw;
        }
      });
    } catch (const VbError& e) {
      if (e.number() == 462) throw;
      // The person may have closed the document's window: the office's
      // refusal then says nothing of it, so the document is looked at.
      if (e.number() == vberr::ObjectVariableNotSet || closedUnderUs()) {
        if (e.number() != vberr::ObjectVariableNotSet) DebugKUP(app_, "LibreOffice", e.description());
        dropDocument();
        raise(4248, "Le document " + baseName_ + " a été fermé");
      }
      throw;
    }
  }

  bool closedUnderUs() {
    if (!doc_.is()) return false;
    bool closed = false;
    try {
      office_->impl().call([&](Session&) {
        try {
          closed = !Q<css::frame::XModel>(doc_)->getCurrentController().is();
        } catch (const css::lang::DisposedException&) {
          closed = true;
        }
      });
    } catch (const VbError&) {
      // The office itself is gone: the next call says so.
    }
    return closed;
  }

  Reference<css::lang::XComponent> ownIfCurrent(const Session& s) {
    if (docGeneration_ != s.generation) return {};
    return doc_;
  }

  Reference<css::frame::XModel> model() {
    if (!model_.is()) model_ = Q<css::frame::XModel>(doc_);
    return model_;
  }

  // The document's collections, asked once per document.
  Reference<css::container::XNameAccess> bookmarks() {
    if (!bookmarks_.is()) bookmarks_ = Q<ctext::XBookmarksSupplier>(doc_)->getBookmarks();
    return bookmarks_;
  }

  void dropDocument() {
    doc_.clear();
    vc_.clear();
    model_.clear();
    bookmarks_.clear();
    masters_.clear();
    groups_.reset();
  }

  // A bookmark holds its value: laid again over the value, under its own
  // name, so that the next fill replaces the value instead of adding to it
  // (a bookmark that was a point stays a point while text goes in at it).
  void relayBookmark(const Reference<ctext::XTextContent>& bm, const Reference<ctext::XTextCursor>& over) {
    Reference<ctext::XText> text = over->getText();
    OUString name = Q<css::container::XNamed>(bm)->getName();
    try {
      text->removeTextContent(bm);
    } catch (const css::uno::Exception&) {
      // The rich content took it away already.
    }
    Reference<css::container::XNamed> fresh(
        Q<css::lang::XMultiServiceFactory>(doc_)->createInstance("com.sun.star.text.Bookmark"), UNO_QUERY_THROW);
    fresh->setName(name);
    text->insertTextContent(Reference<ctext::XTextRange>(over, UNO_QUERY_THROW),
                            Reference<ctext::XTextContent>(fresh, UNO_QUERY_THROW), true);
    bookmarks_.clear();
  }

  // Where an insertion goes: the given position, else the end of the
  // selection (the selection itself is kept, as the text goes after it).
  Reference<ctext::XTextRange> insertionPoint(const Session&, const CursorPosition* at) {
    if (at && at->isObject()) return position(*at)->range;
    return vc_->getEnd();
  }

  std::shared_ptr<LoPosition> position(const CursorPosition& p) {
    auto lp = std::static_pointer_cast<LoPosition>(p.object);
    if (!lp || lp->magic != LoPosition::kMagic)
      raise(vberr::TypeMismatch, "Incompatibilité de type");
    if (lp->generation != office_->generation() || !lp->range.is()) raise(4248, kNoDocument);
    return lp;
  }

  Reference<ctext::XText> currentCell() {
    Reference<beans::XPropertySet> p(vc_, UNO_QUERY_THROW);
    Reference<ctext::XText> cell(p->getPropertyValue("Cell"), UNO_QUERY);
    if (!cell.is())
      raise(4605, "Cette méthode ou propriété n'est pas disponible car la sélection n'est pas dans un tableau.");
    return cell;
  }

  Reference<ctext::XTextContent> bookmark(const std::string& name) {
    Reference<css::container::XNameAccess> all = bookmarks();
    OUString exact = U(name);
    try {
      Reference<ctext::XTextContent> bm;
      Any a = all->getByName(exact);
      if (!(a >>= bm)) bm.set(a, UNO_QUERY);
      if (bm.is()) return bm;
    } catch (const css::container::NoSuchElementException&) {
    }
    // Bookmark names are compared without regard to case, as Word does.
    for (const auto& n : all->getElementNames())
      if (EqualsNoCase(S(n), name)) return Q<ctext::XTextContent>(all->getByName(n));
    return {};
  }

  // Merge fields: database fields (Word's MERGEFIELDs) by column name, user
  // fields by their master's name. Read master by master, each with its
  // fields, in the order of the masters (the order the fields came in).
  // The view is not redrawn while a batch of changes goes in.
  struct Locked {
    Reference<css::frame::XModel> m;
    explicit Locked(Reference<css::frame::XModel> model) : m(std::move(model)) { m->lockControllers(); }
    ~Locked() {
      try {
        m->unlockControllers();
      } catch (...) {
      }
    }
  };

  struct FieldGroup {
    std::string name;
    bool user = false;
    Reference<beans::XPropertySet> master;
    std::vector<Reference<ctext::XDependentTextField>> fields;
  };

  // The groups stay known until an operation that can change the fields.
  const std::vector<FieldGroup>& mergeFieldGroups() {
    if (!groups_) groups_ = readFieldGroups();
    return *groups_;
  }

  std::vector<FieldGroup> readFieldGroups() {
    static const std::string kDb = "com.sun.star.text.fieldmaster.DataBase.";
    static const std::string kUser = "com.sun.star.text.fieldmaster.User.";
    std::vector<FieldGroup> out;
    if (!masters_.is()) masters_ = Q<ctext::XTextFieldsSupplier>(doc_)->getTextFieldMasters();
    Reference<css::container::XNameAccess> masters = masters_;
    for (const auto& n : masters->getElementNames()) {
      std::string full = S(n);
      bool db = full.rfind(kDb, 0) == 0, user = full.rfind(kUser, 0) == 0;
      if (!db && !user) continue;
      FieldGroup g;
      g.user = user;
      if (!(masters->getByName(n) >>= g.master) || !g.master.is()) continue;
      Sequence<Reference<ctext::XDependentTextField>> deps;
      g.master->getPropertyValue("DependentTextFields") >>= deps;
      if (deps.getLength() == 0) continue;
      // The master's name ends with the field's name; only a name of a
      // foreign data source needs the master asked.
      std::string rest = full.substr(db ? kDb.size() : kUser.size());
      if (user || rest.find('.') == std::string::npos) {
        g.name = rest;
      } else if (rest.rfind(kOwnSource, 0) == 0) {
        g.name = rest.substr(kOwnSource.size());
      } else {
        OUString name;
        g.master->getPropertyValue("DataColumnName") >>= name;
        g.name = S(name);
      }
      if (g.name.empty()) continue;
      for (const auto& f : deps)
        if (f.is()) g.fields.push_back(f);
      out.push_back(std::move(g));
    }
    return out;
  }

  // Word fields that Writer keeps as they were (unhandled), with their code.
  void forEachWordField(const std::function<void(const Reference<ctext::XFormField>&, const std::string&)>& fn) {
    Reference<css::container::XEnumeration> e =
        Q<ctext::XTextFieldsSupplier>(doc_)->getTextFields()->createEnumeration();
    while (e->hasMoreElements()) {
      Reference<ctext::XFormField> f(e->nextElement(), UNO_QUERY);
      if (!f.is()) continue;
      // The field's parameters are the only way to its Word field code.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
      Reference<css::container::XNameContainer> params = f->getParameters();
#pragma GCC diagnostic pop
      OUString key("vnd.oasis.opendocument.field.code");
      if (!params.is() || !params->hasByName(key)) continue;
      OUString code;
      params->getByName(key) >>= code;
      fn(f, S(code));
    }
  }

  void forEachMapField(const std::function<void(const Reference<ctext::XFormField>&, const MapPicture&)>& fn) {
    forEachWordField([&](const Reference<ctext::XFormField>& f, const std::string& code) {
      MapPicture m;
      if (ParseMapCode(code, m)) fn(f, m);
    });
  }

  // Sections linked to a file: what Word's included texts become in Writer.
  std::vector<Reference<ctext::XTextSection>> linkedSections() {
    std::vector<Reference<ctext::XTextSection>> out;
    Reference<css::container::XIndexAccess> all(Q<ctext::XTextSectionsSupplier>(doc_)->getTextSections(),
                                                UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < all->getCount(); ++i) {
      Reference<ctext::XTextSection> s(all->getByIndex(i), UNO_QUERY);
      if (!s.is()) continue;
      ctext::SectionFileLink link;
      if ((Q<beans::XPropertySet>(s)->getPropertyValue("FileLink") >>= link) && !link.FileURL.isEmpty())
        out.push_back(s);
    }
    return out;
  }

  // Word's included texts as Writer keeps them: INCLUDETEXT fields (from
  // RTF and .docx) and sections linked to their file (from .doc).
  std::vector<Reference<ctext::XFormField>> includeTextFields() {
    std::vector<Reference<ctext::XFormField>> out;
    forEachWordField([&](const Reference<ctext::XFormField>& f, const std::string& code) {
      if (UCase(Trim(code)).rfind("INCLUDETEXT", 0) == 0) out.push_back(f);
    });
    return out;
  }

  std::vector<Reference<ctext::XTextRange>> includedTexts() {
    std::vector<Reference<ctext::XTextRange>> out;
    for (const auto& s : linkedSections()) out.push_back(AnchorOf(s));
    for (const auto& f : includeTextFields()) out.push_back(AnchorOf(f));
    return out;
  }

  static bool insideAny(const Reference<ctext::XTextRange>& r, const std::vector<Reference<ctext::XTextRange>>& areas) {
    for (const auto& area : areas) {
      try {
        Reference<ctext::XTextRangeCompare> cmp(area->getText(), UNO_QUERY);
        if (cmp.is() && cmp->compareRegionStarts(area, r) >= 0 && cmp->compareRegionEnds(r, area) >= 0) return true;
      } catch (const css::uno::Exception&) {
        // Not in the same text: not inside.
      }
    }
    return false;
  }

  // Puts the content of a file at a place of the document: the file is
  // opened as a document of its own and its whole text handed over as the
  // office hands content over between documents (copy and paste, without
  // the clipboard). Writer's own insertion of a file into a document leaves
  // the ends of the bookmarks it brings at the end of the document; this way
  // they stay where they were. The view cursor ends after the content.
  void pasteFile(Session& s, const std::string& hostFile, const char* filter, const Reference<ctext::XTextRange>& at) {
    std::vector<beans::PropertyValue> args = {Prop("Hidden", Any(true)), Prop("MacroExecutionMode", Any(sal_Int16(0)))};
    if (filter) args.push_back(Prop("FilterName", Any(OUString::createFromAscii(filter))));
    Reference<css::lang::XComponent> src;
    try {
      src = Q<css::frame::XComponentLoader>(s.desktop)->loadComponentFromURL(FileUrl(hostFile), "_blank", 0, Props(args));
    } catch (const css::uno::RuntimeException&) {
      throw;
    } catch (const css::uno::Exception& e) {
      raise(vberr::PathFileAccess, "Le texte à insérer ne peut pas être lu (" + UnoMessage(e).substr(0, 120) + ")");
    }
    if (!src.is()) raise(vberr::PathFileAccess, "Le texte à insérer ne peut pas être lu");
    struct Closer {
      Reference<css::lang::XComponent> doc;
      ~Closer() {
        try {
          Q<css::util::XCloseable>(doc)->close(true);
        } catch (...) {
        }
      }
    } closer{src};
    Reference<ctext::XTextDocument> source(src, UNO_QUERY);
    if (!source.is()) raise(vberr::PathFileAccess, "Le texte à insérer n'est pas un texte");
    Reference<ctext::XTextCursor> all = source->getText()->createTextCursor();
    all->gotoStart(false);
    all->gotoEnd(true);
    Reference<css::frame::XController> sc = Q<css::frame::XModel>(src)->getCurrentController();
    Q<css::view::XSelectionSupplier>(sc)->select(Any(all));
    Reference<css::datatransfer::XTransferable> content = Q<css::datatransfer::XTransferableSupplier>(sc)->getTransferable();
    vc_->gotoRange(at->getStart(), false);
    vc_->gotoRange(at->getEnd(), true);
    if (!content.is() || (all->getString().isEmpty() && !hasTables(source))) {
      vc_->collapseToEnd();
      return;
    }
    Q<css::datatransfer::XTransferableSupplier>(model()->getCurrentController())->insertTransferable(content);
  }

  void breakAfterCursor() {
    Reference<ctext::XTextRange> at = vc_->getEnd();
    Reference<ctext::XTextCursor> c = at->getText()->createTextCursorByRange(at);
    c->getText()->insertControlCharacter(Reference<ctext::XTextRange>(c, UNO_QUERY_THROW),
                                         ctext::ControlCharacter::PARAGRAPH_BREAK, false);
    vc_->gotoRange(c->getEnd(), false);
  }

  static bool hasTables(const Reference<ctext::XTextDocument>& d) {
    Reference<ctext::XTextTablesSupplier> ts(d, UNO_QUERY);
    return ts.is() && ts->getTextTables()->hasElements();
  }

  // RTF goes into Writer through its import filter, from a file of the
  // office's profile folder (deleted by the caller).
  std::string writeRtf(const std::string& rtf) {
    static std::atomic<int> counter{0};
    std::string dir = office_->impl().profileDir;
    std::string path = dir + "/insert-" + std::to_string(++counter) + ".rtf";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << RtfBytes(rtf);
    out.close();
    if (!out) raise(vberr::PathFileAccess, "Erreur d'accès au chemin/fichier (" + path + ")");
    return path;
  }

  Any transferData(const char* mime, const uno::Type& type) {
    Reference<css::datatransfer::XTransferableSupplier> ts(model()->getCurrentController(), UNO_QUERY_THROW);
    Reference<css::datatransfer::XTransferable> t = ts->getTransferable();
    if (!t.is()) return Any();
    css::datatransfer::DataFlavor flavor;
    flavor.MimeType = OUString::createFromAscii(mime);
    flavor.DataType = type;
    if (!t->isDataFlavorSupported(flavor)) return Any();
    return t->getTransferData(flavor);
  }

  void store(const std::string& path, bool asTemplate) {
    std::string host = app_.fs().hostPath(path);
    std::string filter = WriterFilter(ExtensionOf(host), asTemplate, type_);
    try {
      run([&](Session&) {
        // Word's merge fields carry no database name; Writer's own format
        // drops such fields, so they are given one first.
        if (IsOdfFilter(filter)) nameDatabaseFields();
        auto args = Props({Prop("FilterName", Any(U(filter)))});
        // An export (PDF) writes a copy; the document stays bound where it was.
        if (filter.find("_Export") != std::string::npos)
          Q<css::frame::XStorable>(doc_)->storeToURL(FileUrl(host), args);
        else
          Q<css::frame::XStorable>(doc_)->storeAsURL(FileUrl(host), args);
      });
    } catch (const VbError& e) {
      if (e.number() == 462 || e.number() == 4248) throw;
      RaiseIfNoRoom(path + " ne peut pas être enregistré", {FolderOf(host)});
      // The office's own words (its function, the URL, an error code) are
      // for the trace; the person is told which file.
      DebugKUP(app_, "LibreOffice", e.description());
      raise(vberr::PathFileAccess, "Le fichier " + path + " ne peut pas être écrit");
    }
  }

  void nameDatabaseFields() {
    Reference<css::container::XNameAccess> masters = Q<ctext::XTextFieldsSupplier>(doc_)->getTextFieldMasters();
    for (const auto& n : masters->getElementNames()) {
      if (!S(n).starts_with("com.sun.star.text.fieldmaster.DataBase.")) continue;
      Reference<beans::XPropertySet> m(masters->getByName(n), UNO_QUERY);
      if (!m.is()) continue;
      OUString db;
      m->getPropertyValue("DataBaseName") >>= db;
      if (!db.isEmpty()) continue;
      m->setPropertyValue("DataBaseName", Any(OUString("Korvane")));
      OUString table;
      m->getPropertyValue("DataTableName") >>= table;
      if (table.isEmpty()) m->setPropertyValue("DataTableName", Any(OUString("Courrier")));
      groups_.reset();
    }
  }

  App& app_;
  int type_;
  std::shared_ptr<Office> office_;
  Reference<css::lang::XComponent> doc_;
  Reference<ctext::XTextViewCursor> vc_;
  Reference<css::frame::XModel> model_;
  Reference<css::container::XNameAccess> bookmarks_, masters_;
  std::optional<std::vector<FieldGroup>> groups_;
  int docGeneration_ = 0;
  std::string baseName_;
  int newDocuments_ = 0;
};

}  // namespace

WordTwinFactory LibreOfficeWordTwinFactory(std::shared_ptr<Office> office) {
  return [office](App& app, int editorType) -> std::unique_ptr<IWordTwin> {
    if (editorType == 2 || editorType == 3 || editorType == 4) return std::make_unique<LoWord>(app, editorType, office);
    return nullptr;
  };
}

}  // namespace kup::lo
