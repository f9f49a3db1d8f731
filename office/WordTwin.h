#pragma once
// What the word-processor driver asks of a word processor. One twin per
// office suite (the LibreOffice twin for real documents, the in-memory model
// for tests); the driver keeps the rules common to all of them (value lists,
// error reports, the attachment copy, the merge sequence).
//
// Twin methods raise kup::VbError when the word processor fails or has been
// closed; the driver decides what becomes of the failure.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kup {

struct App;

// A cursor position as the twin gives it: a character offset (Word-like
// twins) or an opaque position object (OpenOffice-like twins). Callers keep
// it and hand it back unchanged to SetRange.
struct CursorPosition {
  long offset = 0;
  std::shared_ptr<void> object;
  bool isObject() const { return object != nullptr; }
};

// One piece of a bookmark value: plain text or RTF.
struct ValuePart {
  bool rtf = false;
  std::string text;
};

// One map-picture placeholder of a letter: all texts, as the GIS exchanges them.
struct MapPicture {
  std::string name, identifier, width, height, scale;
};

// How a V2 merge field became V3 names (filled by the driver from the
// catalogue lookups and handed to the twin to rewrite the fields).
struct FieldReplacement {
  std::string oldName;
  std::vector<std::string> newNames;  // one field per name, in order
  std::vector<std::string> formats;   // field format switch of each new name ("" for none)
};

class IWordTwin {
 public:
  virtual ~IWordTwin() = default;

  // ---- the word processor (the factory made the twin for one editor type;
  // the extensions and the Word/OpenOffice differences are the driver's)
  virtual void connect() = 0;
  virtual void release() = 0;     // lets go of the word processor, which stays open for the user
  virtual bool isRunning() = 0;   // false once the user has closed it
  virtual void minimize() = 0;
  virtual void maximize() = 0;
  virtual void zoomToPage() = 0;

  // ---- documents
  // A new document based on the file (a template); "" for an empty document.
  virtual void openDocument(const std::string& path) = 0;
  virtual void closeDocument(bool ownDocument) = 0;
  // Re-activates the driver's document; raises when it is gone.
  virtual void activateDocument() = 0;
  virtual void setOrientation(int orientation) = 0;  // 1 portrait, 2 landscape
  // Name of the document without extension: the template's name for a
  // document made from a template ("lettre" for lettre.dot).
  virtual std::string documentBaseName() = 0;
  virtual void saveAs(const std::string& path) = 0;          // document format; binds the document to it
  virtual void saveAsTemplate(const std::string& path) = 0;  // template format; binds the document to it
  virtual bool isSaved() = 0;
  virtual long documentLength() = 0;
  virtual void print(int copies, bool showDialog, const std::string& printer) = 0;
  virtual void sendMail() = 0;

  // ---- fields and bookmarks
  // Merge-field names in document order (repeats allowed; the driver keeps each once).
  virtual std::vector<std::string> mergeFieldNames(bool onlyInIncludedText) = 0;
  virtual std::vector<std::string> bookmarkNames() = 0;
  // Replaces the bookmark's content by the parts; false when there is no such bookmark.
  virtual bool fillBookmark(const std::string& name, const std::vector<ValuePart>& parts) = 0;
  virtual void unlinkIncludeText() = 0;
  // Puts the values into the merge fields of those names (paired by
  // position). withoutFields: the fields become plain text; otherwise they
  // stay fields showing the values.
  virtual void mergeFields(const std::vector<std::string>& names, const std::vector<std::string>& values,
                           bool withoutFields) = 0;
  virtual void replaceMergeFields(const std::vector<FieldReplacement>& replacements) = 0;
  virtual void renameBookmark(const std::string& oldName, const std::string& newName) = 0;

  // ---- insertion at the cursor (or at a given position)
  virtual void insertRtf(const std::string& rtf, const CursorPosition* at, bool paragraphBreak) = 0;
  virtual void insertText(const std::string& text, const CursorPosition* at, bool paragraphBreak) = 0;
  virtual void insertFileRtf(const std::string& path) = 0;
  // A one-row table from tab-separated text; the cursor ends below the table.
  virtual void insertTable(const std::string& tabText) = 0;

  // ---- cursor and selection
  virtual void gotoStartOfDoc() = 0;
  virtual void gotoEndOfLine() = 0;
  virtual void gotoStartOfLine() = 0;
  virtual void goUp() = 0;
  virtual void goDown() = 0;
  virtual void gotoNextCell() = 0;
  virtual bool searchWord(const std::string& text) = 0;
  virtual void selectCell() = 0;
  virtual std::string cellTextSelected() = 0;
  virtual CursorPosition cursorPos() = 0;
  virtual void setRange(const CursorPosition& start, const CursorPosition& end) = 0;
  virtual bool selectionInTable() = 0;
  virtual std::string selectionRtf() = 0;
  virtual std::string selectionText() = 0;

  // ---- map pictures (Word only; OpenOffice-like twins find none)
  virtual std::vector<MapPicture> mapPlaceholders() = 0;
  // Replaces the placeholder of each picture's name; true when any was replaced.
  virtual bool replaceMapPlaceholders(const std::vector<MapPicture>& pictures) = 0;
};

// Makes the twin for an editor type (2 or 3 Microsoft, 4 OpenOffice), or
// nullptr when this build has none for it.
using WordTwinFactory = std::function<std::unique_ptr<IWordTwin>(App&, int editorType)>;

// The factory a new driver starts with: the office suite this build drives
// (none yet: OpenEditor then reports that no word processor is available).
WordTwinFactory DefaultWordTwinFactory();

}  // namespace kup
