#pragma once
// An in-memory word processor for tests: documents as a flat text with
// paragraphs, one-row-at-a-time tables, merge fields, included-text fields,
// map-picture placeholders and bookmarks, a cursor and a selection. It keeps
// its files as RTF (merge fields as MERGEFIELD fields, included texts as
// INCLUDETEXT fields, bookmarks as bkmkstart/bkmkend, map placeholders as
// CARTE fields: "CARTE name;identifier;width;height;scale"), so tests write
// templates as RTF text and documents it saves open again.
//
// Not an editor type of the program: tests install MemoryWordFactory as the
// driver's twin factory.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "office/WordTwin.h"

namespace kup {

class MemoryDocument {
 public:
  // The special characters of the flat text.
  static constexpr char32_t Para = U'\r';
  static constexpr char32_t RowStart = 0xE000;
  static constexpr char32_t CellEnd = 0xE001;
  static constexpr char32_t RowEnd = 0xE002;
  static constexpr char32_t Object = 0xFFFC;  // a map placeholder or a picture

  enum class FieldKind { Merge, IncludeText, MapPlaceholder, Picture };
  // A field covers its displayed result [start, end) of the text.
  struct Field {
    FieldKind kind = FieldKind::Merge;
    std::string name;    // merge field name, included file, placeholder name
    std::string format;  // merge field switches, e.g. \@ "dd/MM/yyyy"
    long start = 0, end = 0;
    MapPicture picture;  // placeholders and pictures
    long id = 0;         // identity inside the document (0 until numbered)
  };
  struct Bookmark {
    std::string name;
    long start = 0, end = 0;
  };
  // A line: one paragraph, or one paragraph of a table cell; end is the
  // offset of its terminating character.
  struct Line {
    long start = 0, end = 0;
    bool inTable = false;
    int row = -1;  // ordinal of the table row in the document
    int cell = 0;
  };

  MemoryDocument();  // one empty paragraph

  // A whole document (always ends with a paragraph mark) or a fragment to
  // insert (exactly what the text holds).
  static MemoryDocument fromRtf(std::string_view rtf, bool wholeDocument = true);
  static MemoryDocument fromPlainText(std::string_view text, bool wholeDocument = true);
  // A file's bytes: RTF when they begin with "{\rtf", else plain text
  // (UTF-8 when valid, else Windows-1252).
  static MemoryDocument fromFile(std::string_view bytes, bool wholeDocument = true);

  std::string toRtf() const;
  // The range as RTF; a range ending at the end of a paragraph carries its
  // paragraph mark, as a copied selection does.
  std::string toRtf(long start, long end) const;
  // The range as clipboard text: CR LF between paragraphs and rows, TAB between cells.
  std::string plainText(long start, long end) const;
  // The whole document for test assertions: paragraphs end with "\n",
  // a table row is "|cell|cell|\n", a map object is "#".
  std::string dump() const;

  long length() const { return static_cast<long>(chars.size()); }
  std::vector<Line> lines() const;
  // Index of the line holding the position (a position between two rows or
  // on a row mark counts as the next line).
  size_t lineAt(const std::vector<Line>& ls, long pos) const;
  const Bookmark* bookmark(std::string_view name) const;
  // Fields of a kind in document order.
  std::vector<const Field*> fieldsOf(FieldKind kind) const;
  bool insideIncludeText(const Field& f) const;

  // ---- editing (positions are offsets into chars)
  void insert(long pos, const MemoryDocument& fragment);
  void insertChars(long pos, const std::u32string& s);
  void erase(long start, long end);
  void replaceRange(long start, long end, const MemoryDocument& fragment);
  // Gives every field without an identity a new one.
  void numberFields();
  long fieldIndex(long id) const;  // -1 when gone

  std::u32string chars;
  std::vector<Field> fields;
  std::vector<Bookmark> bookmarks;
  int orientation = 1;  // 1 portrait, 2 landscape
  long selStart = 0, selEnd = 0;
  bool saved = true;
  std::string path;      // the file the document is bound to ("" for a new one)
  std::string baseName;  // name without extension
  long nextFieldId = 1;
};

// The state of the word processor itself, which outlives the driver's
// connection: tests keep it to look at documents, prints and mails, and to
// act as the user (closing a document or the whole word processor).
struct MemoryWordApp {
  struct PrintJob {
    std::string document;  // base name
    int copies = 1;
    bool dialog = false;
    std::string printer;
    std::string text;  // dump() of the printed document
  };

  bool running = false;
  int starts = 0;        // word processors started by connect()
  int windowState = 0;   // 0 normal, 1 minimised, 2 maximised
  bool zoomWholePage = false;
  std::vector<std::shared_ptr<MemoryDocument>> documents;  // open documents; the last is active
  std::vector<PrintJob> printed;
  std::vector<std::string> mailed;  // dump() of each mailed document

  std::shared_ptr<MemoryDocument> active() const { return documents.empty() ? nullptr : documents.back(); }
  // The user quits the word processor (its documents go with it).
  void userQuits();
  void userCloses(const std::shared_ptr<MemoryDocument>& doc);
};

class MemoryWord : public IWordTwin {
 public:
  MemoryWord(App& app, int editorType, std::shared_ptr<MemoryWordApp> state);

  // The driver's document (nullptr before OpenDocument).
  std::shared_ptr<MemoryDocument> document() const { return own_; }
  MemoryWordApp& state() { return *state_; }

  void connect() override;
  void release() override;
  bool isRunning() override;
  void minimize() override;
  void maximize() override;
  void zoomToPage() override;

  void openDocument(const std::string& path) override;
  void closeDocument(bool ownDocument) override;
  void activateDocument() override;
  void setOrientation(int orientation) override;
  std::string documentBaseName() override;
  void saveAs(const std::string& path) override;
  void saveAsTemplate(const std::string& path) override;
  bool isSaved() override;
  long documentLength() override;
  void print(int copies, bool showDialog, const std::string& printer) override;
  void sendMail() override;

  std::vector<std::string> mergeFieldNames(bool onlyInIncludedText) override;
  std::vector<std::string> bookmarkNames() override;
  bool fillBookmark(const std::string& name, const std::vector<ValuePart>& parts) override;
  void unlinkIncludeText() override;
  void mergeFields(const std::vector<std::string>& names, const std::vector<std::string>& values,
                   bool withoutFields) override;
  void replaceMergeFields(const std::vector<FieldReplacement>& replacements) override;
  void renameBookmark(const std::string& oldName, const std::string& newName) override;

  void insertRtf(const std::string& rtf, const CursorPosition* at, bool paragraphBreak) override;
  void insertText(const std::string& text, const CursorPosition* at, bool paragraphBreak) override;
  void insertFileRtf(const std::string& path) override;
  void insertTable(const std::string& tabText) override;

  void gotoStartOfDoc() override;
  void gotoEndOfLine() override;
  void gotoStartOfLine() override;
  void goUp() override;
  void goDown() override;
  void gotoNextCell() override;
  bool searchWord(const std::string& text) override;
  void selectCell() override;
  std::string cellTextSelected() override;
  CursorPosition cursorPos() override;
  void setRange(const CursorPosition& start, const CursorPosition& end) override;
  bool selectionInTable() override;
  std::string selectionRtf() override;
  std::string selectionText() override;

  std::vector<MapPicture> mapPlaceholders() override;
  bool replaceMapPlaceholders(const std::vector<MapPicture>& pictures) override;

 private:
  void requireRunning() const;
  MemoryDocument& doc();  // the driver's document, still open
  void insertFragment(MemoryDocument& d, long pos, const MemoryDocument& fragment, bool paragraphBreak);

  App& app_;
  int editorType_;
  std::shared_ptr<MemoryWordApp> state_;
  std::shared_ptr<MemoryDocument> own_;
  int newDocuments_ = 0;
};

// A factory for the driver: a MemoryWord on the shared state for the known
// editor types (2, 3, 4), nullptr for any other.
WordTwinFactory MemoryWordFactory(std::shared_ptr<MemoryWordApp> state);

}  // namespace kup
