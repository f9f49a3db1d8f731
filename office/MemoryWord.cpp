#include "office/MemoryWord.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>

#include "core/App.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "office/DriverSupport.h"

namespace kup {

namespace {

using Doc = MemoryDocument;

std::u32string U32(std::string_view s) {
  auto cps = CodePoints(s);
  return std::u32string(cps.begin(), cps.end());
}

std::string U8(std::u32string_view s) { return FromCodePoints(std::vector<uint32_t>(s.begin(), s.end())); }

// CR LF, CR and LF all end a paragraph.
std::u32string WithParagraphs(std::u32string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == U'\r') {
      out += Doc::Para;
      if (i + 1 < s.size() && s[i + 1] == U'\n') ++i;
    } else if (s[i] == U'\n') {
      out += Doc::Para;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string TrimBlanks(std::string s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool Contains(const std::u32string& s, char32_t c) { return s.find(c) != std::u32string::npos; }

// ---------------------------------------------------------------- RTF reading
// Enough of RTF for the model: paragraphs, tabs, table rows, Unicode and
// code-page escapes, fields (MERGEFIELD, INCLUDETEXT, CARTE, CARTEIMAGE) and
// bookmarks. Every other destination is skipped.
class RtfReader {
 public:
  explicit RtfReader(std::u32string_view in) : in_(in) {}

  Doc run(bool whole) {
    groups_.push_back(Group{});
    size_t i = 0;
    while (i < in_.size()) {
      char32_t c = in_[i];
      if (c == U'{') {
        Group g = groups_.back();
        g.dest = Dest::None;
        g.field = false;
        g.first = true;
        g.starred = false;
        g.text.clear();
        groups_.push_back(g);
        ++i;
      } else if (c == U'}') {
        closeGroup();
        ++i;
      } else if (c == U'\\') {
        i = control(i);
      } else if (c == U'\r' || c == U'\n') {
        ++i;
      } else {
        text(c);
        ++i;
      }
    }
    while (groups_.size() > 1) closeGroup();
    if (inRow_) out_ += Doc::RowEnd;
    Doc d;
    d.chars = out_;
    if (whole && (d.chars.empty() || d.chars.back() != Doc::Para)) d.chars += Doc::Para;
    d.fields = std::move(fields_);
    d.bookmarks = std::move(bookmarks_);
    d.orientation = orientation_;
    return d;
  }

 private:
  enum class Dest { None, FldInst, FldRslt, BkStart, BkEnd };
  struct Group {
    bool skip = false;
    Dest dest = Dest::None;
    bool field = false;
    bool first = true;
    bool starred = false;
    int uc = 1;
    std::u32string text;
  };
  struct OpenField {
    std::string inst;
    long rsltStart = -1, rsltEnd = -1;
  };

  bool collecting() const {
    Dest d = groups_.back().dest;
    return d == Dest::FldInst || d == Dest::BkStart || d == Dest::BkEnd;
  }

  void emit(char32_t c) {
    if (skipChars_ > 0) {
      --skipChars_;
      return;
    }
    Group& g = groups_.back();
    if (collecting()) {
      g.text += c;
      return;
    }
    if (g.skip) return;
    out_ += c;
  }

  void text(char32_t c) { emit(c); }

  void startRow() {
    if (!inRow_) {
      out_ += Doc::RowStart;
      inRow_ = true;
    }
  }

  size_t control(size_t i) {
    size_t n = in_.size();
    if (i + 1 >= n) return n;
    char32_t c = in_[i + 1];
    Group& g = groups_.back();
    bool letter = (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
    if (!letter) {
      size_t next = i + 2;
      switch (c) {
        case U'\\':
        case U'{':
        case U'}':
          emit(c);
          break;
        case U'\'': {
          if (i + 3 < n) {
            std::string hex{static_cast<char>(in_[i + 2]), static_cast<char>(in_[i + 3])};
            char byte = static_cast<char>(std::strtol(hex.c_str(), nullptr, 16));
            auto cps = CodePoints(FromCp1252(std::string(1, byte)));
            if (!cps.empty()) emit(cps[0]);
            next = i + 4;
          }
          break;
        }
        case U'~':
          emit(0x00A0);
          break;
        case U'_':
          emit(U'-');
          break;
        case U'*':
          g.starred = true;
          return next;  // the destination word follows
        case U'\r':
        case U'\n':
          word("par", false, 0);
          break;
        default:
          break;
      }
      g.first = false;
      return next;
    }
    size_t j = i + 1;
    std::string w;
    while (j < n && ((in_[j] >= U'a' && in_[j] <= U'z') || (in_[j] >= U'A' && in_[j] <= U'Z'))) {
      w += static_cast<char>(in_[j]);
      ++j;
    }
    bool hasParam = false;
    long param = 0;
    bool neg = false;
    if (j < n && in_[j] == U'-') {
      neg = true;
      ++j;
    }
    while (j < n && in_[j] >= U'0' && in_[j] <= U'9') {
      hasParam = true;
      param = param * 10 + static_cast<long>(in_[j] - U'0');
      ++j;
    }
    if (neg) param = -param;
    if (j < n && in_[j] == U' ') ++j;
    word(w, hasParam, param);
    return j;
  }

  void word(const std::string& w, bool hasParam, long param) {
    Group& g = groups_.back();
    bool wasFirst = g.first;
    g.first = false;
    if (wasFirst) {
      static const char* const kSkipped[] = {
          "fonttbl",   "colortbl",       "stylesheet", "info",    "pict",     "header",       "footer",
          "headerl",   "headerr",        "headerf",    "footerl", "footerr",  "footerf",      "footnote",
          "listtable", "listoverridetable", "rsidtbl", "xmlnstbl", "latentstyles", "themedata",
          "colorschememapping", "datastore", "generator", "revtbl", "filetbl", "object", "pgdsctbl"};
      if (w == "fldinst") {
        g.dest = Dest::FldInst;
        return;
      }
      if (g.starred && w == "bkmkstart") {
        g.dest = Dest::BkStart;
        return;
      }
      if (g.starred && w == "bkmkend") {
        g.dest = Dest::BkEnd;
        return;
      }
      if (w == "fldrslt") {
        g.dest = Dest::FldRslt;
        if (!open_.empty()) open_.back().rsltStart = static_cast<long>(out_.size());
        return;
      }
      if (w == "field") {
        g.field = true;
        open_.push_back(OpenField{});
        return;
      }
      if (g.starred) {
        g.skip = true;
        return;
      }
      for (const char* s : kSkipped) {
        if (w == s) {
          g.skip = true;
          return;
        }
      }
    }
    if (w == "u" && hasParam) {
      long cp = param < 0 ? param + 65536 : param;
      emit(static_cast<char32_t>(cp));
      skipChars_ = g.uc;
      return;
    }
    if (w == "uc" && hasParam) {
      g.uc = static_cast<int>(param);
      return;
    }
    if (g.skip || collecting()) return;
    if (w == "par" || w == "line") {
      emit(Doc::Para);
    } else if (w == "tab") {
      emit(U'\t');
    } else if (w == "cell") {
      startRow();
      out_ += Doc::CellEnd;
    } else if (w == "row") {
      if (inRow_) out_ += Doc::RowEnd;
      inRow_ = false;
    } else if (w == "trowd" || w == "intbl") {
      startRow();
    } else if (w == "landscape") {
      orientation_ = 2;
    } else if (w == "emdash") {
      emit(0x2014);
    } else if (w == "endash") {
      emit(0x2013);
    } else if (w == "bullet") {
      emit(0x2022);
    } else if (w == "lquote") {
      emit(0x2018);
    } else if (w == "rquote") {
      emit(0x2019);
    } else if (w == "ldblquote") {
      emit(0x201C);
    } else if (w == "rdblquote") {
      emit(0x201D);
    }
  }

  void closeGroup() {
    if (groups_.size() <= 1) return;
    Group g = std::move(groups_.back());
    groups_.pop_back();
    long here = static_cast<long>(out_.size());
    switch (g.dest) {
      case Dest::FldInst:
        if (!open_.empty()) open_.back().inst += U8(g.text);
        break;
      case Dest::FldRslt:
        if (!open_.empty()) open_.back().rsltEnd = here;
        break;
      case Dest::BkStart:
        bkStarts_[TrimBlanks(U8(g.text))] = here;
        break;
      case Dest::BkEnd: {
        std::string name = TrimBlanks(U8(g.text));
        auto it = bkStarts_.find(name);
        long start = it == bkStarts_.end() ? here : it->second;
        if (it != bkStarts_.end()) bkStarts_.erase(it);
        if (!name.empty()) bookmarks_.push_back({name, start, here});
        break;
      }
      case Dest::None:
        break;
    }
    if (g.field && !open_.empty()) {
      OpenField f = open_.back();
      open_.pop_back();
      if (f.rsltStart < 0) f.rsltStart = f.rsltEnd = here;
      if (f.rsltEnd < f.rsltStart) f.rsltEnd = here;
      makeField(f.inst, f.rsltStart, f.rsltEnd);
    }
  }

  void makeField(const std::string& instruction, long start, long end) {
    std::string inst = TrimBlanks(instruction);
    size_t sp = inst.find_first_of(" \t");
    std::string kw = UCase(inst.substr(0, sp));
    std::string rest = sp == std::string::npos ? std::string() : TrimBlanks(inst.substr(sp));
    bool atEnd = end == static_cast<long>(out_.size());
    Doc::Field f;
    f.start = start;
    f.end = end;
    if (kw == "MERGEFIELD") {
      if (!rest.empty() && rest[0] == '"') {
        size_t q = rest.find('"', 1);
        f.name = rest.substr(1, q == std::string::npos ? std::string::npos : q - 1);
        f.format = q == std::string::npos ? std::string() : TrimBlanks(rest.substr(q + 1));
      } else {
        size_t e = rest.find_first_of(" \t");
        f.name = rest.substr(0, e);
        f.format = e == std::string::npos ? std::string() : TrimBlanks(rest.substr(e));
      }
      if (f.name.empty()) return;
      f.kind = Doc::FieldKind::Merge;
      if (start == end && atEnd) {
        out_ += U32("\xC2\xAB" + f.name + "\xC2\xBB");
        f.end = static_cast<long>(out_.size());
      }
    } else if (kw == "INCLUDETEXT") {
      f.kind = Doc::FieldKind::IncludeText;
      std::string p = rest;
      if (!p.empty() && p[0] == '"') {
        size_t q = p.find('"', 1);
        p = p.substr(1, q == std::string::npos ? std::string::npos : q - 1);
      }
      f.name = p;
    } else if (kw == "CARTE" || kw == "CARTEIMAGE") {
      f.kind = kw == "CARTE" ? Doc::FieldKind::MapPlaceholder : Doc::FieldKind::Picture;
      auto parts = Split(rest, ";");
      parts.resize(5);
      f.picture = {parts[0], parts[1], parts[2], parts[3], parts[4]};
      f.name = parts[0];
      if (start == end && atEnd) {
        out_ += Doc::Object;
        f.end = static_cast<long>(out_.size());
      }
    } else {
      return;  // other fields keep their result as plain text
    }
    fields_.push_back(std::move(f));
  }

  std::u32string_view in_;
  std::u32string out_;
  std::vector<Group> groups_;
  std::vector<OpenField> open_;
  std::vector<Doc::Field> fields_;
  std::vector<Doc::Bookmark> bookmarks_;
  std::map<std::string, long> bkStarts_;
  int skipChars_ = 0;
  bool inRow_ = false;
  int orientation_ = 1;
};

// ---------------------------------------------------------------- RTF writing
void RtfChar(std::string& out, char32_t c) {
  if (c == U'\\' || c == U'{' || c == U'}') {
    out += '\\';
    out += static_cast<char>(c);
  } else if (c == U'\t') {
    out += "\\tab ";
  } else if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c <= 0xFFFF) {
    long v = static_cast<long>(c);
    if (v > 32767) v -= 65536;
    out += "\\u" + std::to_string(v) + "?";
  } else {
    char32_t u = c - 0x10000;
    long hi = 0xD800 + static_cast<long>(u >> 10), lo = 0xDC00 + static_cast<long>(u & 0x3FF);
    out += "\\u" + std::to_string(hi - 65536) + "?\\u" + std::to_string(lo - 65536) + "?";
  }
}

std::string RtfText(std::string_view utf8) {
  std::string out;
  for (char32_t c : U32(utf8)) RtfChar(out, c);
  return out;
}

std::string Instruction(const Doc::Field& f) {
  auto pic = [&] {
    return f.picture.name + ";" + f.picture.identifier + ";" + f.picture.width + ";" + f.picture.height + ";" +
           f.picture.scale;
  };
  switch (f.kind) {
    case Doc::FieldKind::Merge: {
      bool quote = f.name.find(' ') != std::string::npos;
      std::string s = "MERGEFIELD " + (quote ? "\"" + f.name + "\"" : f.name);
      if (!f.format.empty()) s += " " + f.format;
      return s;
    }
    case Doc::FieldKind::IncludeText:
      return "INCLUDETEXT \"" + f.name + "\"";
    case Doc::FieldKind::MapPlaceholder:
      return "CARTE " + pic();
    case Doc::FieldKind::Picture:
      return "CARTEIMAGE " + pic();
  }
  return {};
}

const char* kRtfHeader = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 Times New Roman;}}";

}  // namespace

// ================================================================ MemoryDocument

MemoryDocument::MemoryDocument() { chars = std::u32string(1, Para); }

MemoryDocument MemoryDocument::fromRtf(std::string_view rtf, bool wholeDocument) {
  std::u32string in = U32(rtf);
  return RtfReader(in).run(wholeDocument);
}

MemoryDocument MemoryDocument::fromPlainText(std::string_view text, bool wholeDocument) {
  MemoryDocument d;
  d.chars = WithParagraphs(U32(text));
  if (wholeDocument && (d.chars.empty() || d.chars.back() != Para)) d.chars += Para;
  return d;
}

MemoryDocument MemoryDocument::fromFile(std::string_view bytes, bool wholeDocument) {
  std::string text = SanitizeUtf8(bytes) == bytes ? std::string(bytes) : FromCp1252(bytes);
  if (text.rfind("{\\rtf", 0) == 0) return fromRtf(text, wholeDocument);
  return fromPlainText(text, wholeDocument);
}

std::string MemoryDocument::toRtf() const {
  std::string out = kRtfHeader;
  if (orientation == 2) out += "\\landscape";
  out += "\n";
  out += toRtf(0, length()).substr(std::string(kRtfHeader).size() + 1);
  return out;
}

std::string MemoryDocument::toRtf(long start, long end) const {
  start = std::clamp(start, 0L, length());
  end = std::clamp(end, start, length());
  std::string out = std::string(kRtfHeader) + "\n";
  std::vector<const Field*> fs;
  for (const auto& f : fields)
    if (f.start >= start && f.end <= end) fs.push_back(&f);
  std::vector<const Bookmark*> bs;
  for (const auto& b : bookmarks)
    if (b.start >= start && b.end <= end) bs.push_back(&b);
  auto open = [&](const Field& f) { out += "{\\field{\\*\\fldinst " + RtfText(Instruction(f)) + "}{\\fldrslt "; };
  bool inRow = false;
  for (long p = start; p <= end; ++p) {
    std::vector<const Field*> closing;
    for (auto* f : fs)
      if (f->end == p && f->start < p) closing.push_back(f);
    std::sort(closing.begin(), closing.end(), [](auto* a, auto* b) { return a->start > b->start; });
    for (size_t k = 0; k < closing.size(); ++k) out += "}}";
    for (auto* b : bs)
      if (b->end == p && b->start < p) out += "{\\*\\bkmkend " + RtfText(b->name) + "}";
    for (auto* b : bs)
      if (b->start == p) out += "{\\*\\bkmkstart " + RtfText(b->name) + "}";
    for (auto* b : bs)
      if (b->start == p && b->end == p) out += "{\\*\\bkmkend " + RtfText(b->name) + "}";
    std::vector<const Field*> opening;
    for (auto* f : fs)
      if (f->start == p) opening.push_back(f);
    std::sort(opening.begin(), opening.end(), [](auto* a, auto* b) { return a->end > b->end; });
    for (auto* f : opening) {
      open(*f);
      if (f->end == p) out += "}}";
    }
    if (p == end) break;
    char32_t c = chars[p];
    if (c == Para) {
      out += inRow ? "\\par\\intbl " : "\\par\n";
    } else if (c == RowStart) {
      inRow = true;
      int cells = 0;
      for (long q = p + 1; q < length() && chars[q] != RowEnd; ++q)
        if (chars[q] == CellEnd) ++cells;
      out += "\\trowd";
      for (int k = 1; k <= cells; ++k) out += "\\cellx" + std::to_string(k * 2000);
      out += "\\intbl ";
    } else if (c == CellEnd) {
      out += "\\cell ";
      if (p + 1 < length() && chars[p + 1] != RowEnd) out += "\\intbl ";
    } else if (c == RowEnd) {
      inRow = false;
      out += "\\row\\pard\n";
    } else {
      RtfChar(out, c);
    }
  }
  // A copied selection reaching the end of a paragraph carries its mark.
  if (start < end && end < length() && chars[end] == Para) out += "\\par";
  out += "}";
  return out;
}

std::string MemoryDocument::plainText(long start, long end) const {
  start = std::clamp(start, 0L, length());
  end = std::clamp(end, start, length());
  std::u32string out;
  for (long p = start; p < end; ++p) {
    char32_t c = chars[p];
    if (c == Para || c == RowEnd) {
      out += U"\r\n";
    } else if (c == CellEnd) {
      if (!(p + 1 < length() && chars[p + 1] == RowEnd)) out += U'\t';
    } else if (c == RowStart || c == Object) {
    } else {
      out += c;
    }
  }
  return U8(out);
}

std::string MemoryDocument::dump() const {
  std::u32string out;
  for (char32_t c : chars) {
    if (c == Para || c == RowEnd)
      out += U'\n';
    else if (c == RowStart || c == CellEnd)
      out += U'|';
    else if (c == Object)
      out += U'#';
    else
      out += c;
  }
  return U8(out);
}

std::vector<MemoryDocument::Line> MemoryDocument::lines() const {
  std::vector<Line> ls;
  long lineStart = 0;
  bool inRow = false;
  int row = -1, cell = 0;
  for (long i = 0; i < length(); ++i) {
    char32_t c = chars[i];
    if (c == RowStart) {
      inRow = true;
      ++row;
      cell = 0;
      lineStart = i + 1;
    } else if (c == Para) {
      ls.push_back({lineStart, i, inRow, inRow ? row : -1, inRow ? cell : 0});
      lineStart = i + 1;
    } else if (c == CellEnd) {
      ls.push_back({lineStart, i, true, row, cell});
      ++cell;
      lineStart = i + 1;
    } else if (c == RowEnd) {
      inRow = false;
      lineStart = i + 1;
    }
  }
  if (ls.empty()) ls.push_back({0, 0, false, -1, 0});
  return ls;
}

size_t MemoryDocument::lineAt(const std::vector<Line>& ls, long pos) const {
  for (size_t i = 0; i < ls.size(); ++i)
    if (ls[i].end >= pos) return i;
  return ls.size() - 1;
}

const MemoryDocument::Bookmark* MemoryDocument::bookmark(std::string_view name) const {
  for (const auto& b : bookmarks)
    if (EqualsNoCase(b.name, name)) return &b;
  return nullptr;
}

std::vector<const MemoryDocument::Field*> MemoryDocument::fieldsOf(FieldKind kind) const {
  std::vector<const Field*> out;
  for (const auto& f : fields)
    if (f.kind == kind) out.push_back(&f);
  std::stable_sort(out.begin(), out.end(), [](auto* a, auto* b) { return a->start < b->start; });
  return out;
}

bool MemoryDocument::insideIncludeText(const Field& f) const {
  for (const auto& g : fields)
    if (&g != &f && g.kind == FieldKind::IncludeText && g.start <= f.start && f.end <= g.end) return true;
  return false;
}

void MemoryDocument::insertChars(long pos, const std::u32string& s) {
  pos = std::clamp(pos, 0L, length());
  long n = static_cast<long>(s.size());
  if (n == 0) return;
  chars.insert(static_cast<size_t>(pos), s);
  // Text inserted where a range starts goes before it; where a range ends, after it.
  auto range = [&](long& a, long& b) {
    bool moved = a >= pos;
    if (moved) a += n;
    if (b > pos || (b == pos && moved)) b += n;
  };
  for (auto& f : fields) range(f.start, f.end);
  for (auto& b : bookmarks) range(b.start, b.end);
  if (selStart >= pos) selStart += n;
  if (selEnd >= pos) selEnd += n;
  saved = false;
}

void MemoryDocument::insert(long pos, const MemoryDocument& fragment) {
  pos = std::clamp(pos, 0L, length());
  insertChars(pos, fragment.chars);
  for (auto f : fragment.fields) {
    f.start += pos;
    f.end += pos;
    f.id = 0;
    fields.push_back(std::move(f));
  }
  for (auto b : fragment.bookmarks) {
    b.start += pos;
    b.end += pos;
    bookmarks.push_back(std::move(b));
  }
  saved = false;
}

void MemoryDocument::erase(long start, long end) {
  // The final paragraph mark stays, as in every word processor.
  start = std::clamp(start, 0L, std::max(0L, length() - 1));
  end = std::clamp(end, start, std::max(0L, length() - 1));
  if (start >= end) return;
  long n = end - start;
  chars.erase(static_cast<size_t>(start), static_cast<size_t>(n));
  fields.erase(std::remove_if(fields.begin(), fields.end(),
                              [&](const Field& f) {
                                if (f.start == f.end) return f.start > start && f.start < end;
                                return f.start >= start && f.end <= end;
                              }),
               fields.end());
  auto adj = [&](long& p) {
    if (p >= end)
      p -= n;
    else if (p > start)
      p = start;
  };
  for (auto& f : fields) {
    adj(f.start);
    adj(f.end);
  }
  for (auto& b : bookmarks) {
    adj(b.start);
    adj(b.end);
  }
  adj(selStart);
  adj(selEnd);
  saved = false;
}

void MemoryDocument::replaceRange(long start, long end, const MemoryDocument& fragment) {
  erase(start, end);
  insert(start, fragment);
}

void MemoryDocument::numberFields() {
  for (auto& f : fields)
    if (f.id == 0) f.id = nextFieldId++;
}

long MemoryDocument::fieldIndex(long id) const {
  for (size_t i = 0; i < fields.size(); ++i)
    if (fields[i].id == id) return static_cast<long>(i);
  return -1;
}

// ================================================================ MemoryWordApp

void MemoryWordApp::userQuits() {
  running = false;
  documents.clear();
}

void MemoryWordApp::userCloses(const std::shared_ptr<MemoryDocument>& doc) {
  documents.erase(std::remove(documents.begin(), documents.end(), doc), documents.end());
}

// ================================================================ MemoryWord

namespace {

MemoryDocument EmptyFragment() {
  MemoryDocument d;
  d.chars.clear();
  return d;
}

// Start and end of the table cell of line i.
std::pair<long, long> CellRange(const std::vector<Doc::Line>& ls, size_t i) {
  size_t a = i, b = i;
  while (a > 0 && ls[a - 1].inTable && ls[a - 1].row == ls[i].row && ls[a - 1].cell == ls[i].cell) --a;
  while (b + 1 < ls.size() && ls[b + 1].inTable && ls[b + 1].row == ls[i].row && ls[b + 1].cell == ls[i].cell) ++b;
  return {ls[a].start, ls[b].end};
}

// First (or last) line of cell `cell` of row `row`, or of its last cell.
size_t CellLine(const std::vector<Doc::Line>& ls, int row, int cell, bool last) {
  long found = -1, lastOfRow = -1;
  for (size_t k = 0; k < ls.size(); ++k) {
    if (!ls[k].inTable || ls[k].row != row) continue;
    if (ls[k].cell == cell && (found < 0 || last)) found = static_cast<long>(k);
    if (lastOfRow < 0 || ls[k].cell != ls[lastOfRow].cell) lastOfRow = static_cast<long>(k);
  }
  if (found >= 0) return static_cast<size_t>(found);
  return static_cast<size_t>(lastOfRow < 0 ? 0 : lastOfRow);
}

void NotInTable() { raise(4605, "Cette méthode ou propriété n'est pas disponible car la sélection n'est pas dans un tableau."); }

// The position object an OpenOffice-like word processor hands out.
struct MemoryPosition {
  static constexpr uint32_t kMagic = 0x4D454D50;
  uint32_t magic = kMagic;
  long offset = 0;
};

// The offset behind a position of this word processor: a character offset
// with Word, a position object with OpenOffice; the other kind is refused as
// the real ones refuse it.
long OffsetOf(int editorType, const CursorPosition& p) {
  if (editorType != 4) {
    if (p.isObject()) raise(vberr::TypeMismatch, "Incompatibilité de type");
    return p.offset;
  }
  const auto* m = p.isObject() ? static_cast<const MemoryPosition*>(p.object.get()) : nullptr;
  if (!m || m->magic != MemoryPosition::kMagic) raise(vberr::TypeMismatch, "Incompatibilité de type");
  return m->offset;
}

}  // namespace

MemoryWord::MemoryWord(App& app, int editorType, std::shared_ptr<MemoryWordApp> state)
    : app_(app), editorType_(editorType), state_(std::move(state)) {}

void MemoryWord::requireRunning() const {
  if (!state_->running) raise(462, "Le serveur distant n'existe pas ou n'est pas disponible.");
}

MemoryDocument& MemoryWord::doc() {
  requireRunning();
  if (!own_ || std::find(state_->documents.begin(), state_->documents.end(), own_) == state_->documents.end())
    raise(4248, "Cette commande n'est pas disponible parce qu'aucun document n'est ouvert.");
  return *own_;
}

void MemoryWord::connect() {
  if (!state_->running) {
    state_->running = true;
    ++state_->starts;
    state_->documents.clear();
    state_->windowState = 0;
  }
}

void MemoryWord::release() {}

bool MemoryWord::isRunning() { return state_->running; }

void MemoryWord::minimize() {
  requireRunning();
  state_->windowState = 1;
}

void MemoryWord::maximize() {
  requireRunning();
  state_->windowState = 2;
}

void MemoryWord::zoomToPage() {
  requireRunning();
  state_->zoomWholePage = true;
}

void MemoryWord::openDocument(const std::string& path) {
  requireRunning();
  auto d = std::make_shared<MemoryDocument>();
  if (path.empty()) {
    d->baseName = "Document" + std::to_string(++newDocuments_);
  } else {
    *d = MemoryDocument::fromFile(app_.fs().readFile(path));
    d->baseName = BaseNameOf(path);
  }
  d->path.clear();
  d->saved = true;
  auto ls = d->lines();
  d->selStart = d->selEnd = ls.front().start;
  state_->documents.push_back(d);
  own_ = d;
}

void MemoryWord::closeDocument(bool ownDocument) {
  requireRunning();
  auto target = ownDocument ? own_ : state_->active();
  if (target) state_->userCloses(target);
}

void MemoryWord::activateDocument() {
  doc();
  state_->userCloses(own_);
  state_->documents.push_back(own_);
}

void MemoryWord::setOrientation(int orientation) {
  auto& d = doc();
  d.orientation = orientation;
  d.saved = false;
}

std::string MemoryWord::documentBaseName() { return doc().baseName; }

void MemoryWord::saveAs(const std::string& path) {
  auto& d = doc();
  app_.fs().writeFile(path, d.toRtf());
  d.path = path;
  d.saved = true;
}

void MemoryWord::saveAsTemplate(const std::string& path) { saveAs(path); }

bool MemoryWord::isSaved() { return doc().saved; }

long MemoryWord::documentLength() { return doc().length(); }

void MemoryWord::print(int copies, bool showDialog, const std::string& printer) {
  auto& d = doc();
  state_->printed.push_back({d.baseName, copies, showDialog, printer, d.dump()});
}

void MemoryWord::sendMail() { state_->mailed.push_back(doc().dump()); }

std::vector<std::string> MemoryWord::mergeFieldNames(bool onlyInIncludedText) {
  auto& d = doc();
  std::vector<std::string> names;
  for (auto* f : d.fieldsOf(MemoryDocument::FieldKind::Merge))
    if (!onlyInIncludedText || d.insideIncludeText(*f)) names.push_back(f->name);
  return names;
}

std::vector<std::string> MemoryWord::bookmarkNames() {
  auto& d = doc();
  std::vector<const MemoryDocument::Bookmark*> bs;
  for (const auto& b : d.bookmarks) bs.push_back(&b);
  std::stable_sort(bs.begin(), bs.end(), [](auto* a, auto* b) { return a->start < b->start; });
  std::vector<std::string> names;
  for (auto* b : bs) names.push_back(b->name);
  return names;
}

bool MemoryWord::fillBookmark(const std::string& name, const std::vector<ValuePart>& parts) {
  auto& d = doc();
  const auto* b = d.bookmark(name);
  if (!b) return false;
  long start = b->start, end = b->end;
  // The bookmarks a rich value brought go with it, as its fields do.
  const MemoryDocument::Bookmark* self = b;
  std::vector<MemoryDocument::Bookmark> kept;
  size_t index = 0;
  for (const auto& o : d.bookmarks) {
    bool inside = start <= o.start && o.end <= end && (o.start < o.end || (o.start > start && o.start < end));
    if (&o == self) index = kept.size();
    if (&o == self || !inside) kept.push_back(o);
  }
  d.bookmarks = std::move(kept);
  MemoryDocument frag = EmptyFragment();
  for (const auto& p : parts) {
    MemoryDocument piece = p.rtf ? MemoryDocument::fromRtf(p.text, false) : MemoryDocument::fromPlainText(p.text, false);
    frag.insert(frag.length(), piece);
  }
  d.replaceRange(start, end, frag);
  // The bookmark holds its value, rich content included (which may bring
  // bookmarks and fields of its own), so that a second fill replaces it.
  // Replacing keeps the bookmarks that were there in their places.
  d.bookmarks[index].start = start;
  d.bookmarks[index].end = start + frag.length();
  return true;
}

void MemoryWord::unlinkIncludeText() {
  auto& d = doc();
  auto n = d.fields.size();
  d.fields.erase(std::remove_if(d.fields.begin(), d.fields.end(),
                                [](const auto& f) { return f.kind == MemoryDocument::FieldKind::IncludeText; }),
                 d.fields.end());
  if (n != d.fields.size()) d.saved = false;
}

void MemoryWord::mergeFields(const std::vector<std::string>& names, const std::vector<std::string>& values,
                             bool withoutFields) {
  auto& d = doc();
  d.numberFields();
  std::vector<const MemoryDocument::Field*> merge = d.fieldsOf(MemoryDocument::FieldKind::Merge);
  std::vector<long> ids;
  for (auto it = merge.rbegin(); it != merge.rend(); ++it) ids.push_back((*it)->id);
  for (long id : ids) {
    long idx = d.fieldIndex(id);
    if (idx < 0) continue;
    MemoryDocument::Field f = d.fields[static_cast<size_t>(idx)];
    long k = -1;
    for (size_t i = 0; i < names.size(); ++i)
      if (EqualsNoCase(names[i], f.name)) {
        k = static_cast<long>(i);
        break;
      }
    if (k < 0 || k >= static_cast<long>(values.size())) continue;
    MemoryDocument value = MemoryDocument::fromPlainText(values[static_cast<size_t>(k)], false);
    d.fields.erase(d.fields.begin() + idx);
    d.replaceRange(f.start, f.end, value);
    if (!withoutFields) {
      f.end = f.start + value.length();
      d.fields.push_back(f);
    }
  }
}

void MemoryWord::replaceMergeFields(const std::vector<FieldReplacement>& replacements) {
  auto& d = doc();
  d.numberFields();
  std::vector<long> ids;
  auto merge = d.fieldsOf(MemoryDocument::FieldKind::Merge);
  for (auto it = merge.rbegin(); it != merge.rend(); ++it) ids.push_back((*it)->id);
  for (long id : ids) {
    long idx = d.fieldIndex(id);
    if (idx < 0) continue;
    MemoryDocument::Field f = d.fields[static_cast<size_t>(idx)];
    const FieldReplacement* r = nullptr;
    for (const auto& rep : replacements)
      if (EqualsNoCase(rep.oldName, f.name)) r = &rep;
    if (!r || r->newNames.empty()) continue;
    MemoryDocument frag = EmptyFragment();
    for (size_t k = 0; k < r->newNames.size(); ++k) {
      if (k > 0) frag.chars += U' ';
      MemoryDocument::Field nf;
      nf.kind = MemoryDocument::FieldKind::Merge;
      nf.name = r->newNames[k];
      // The catalogue's switch when it gives one; otherwise the switches the
      // old field carried stay, as only its name was to change.
      nf.format = k < r->formats.size() && !r->formats[k].empty() ? r->formats[k] : f.format;
      nf.start = frag.length();
      frag.chars += U32("\xC2\xAB" + nf.name + "\xC2\xBB");
      nf.end = frag.length();
      frag.fields.push_back(nf);
    }
    d.fields.erase(d.fields.begin() + idx);
    // The new fields take the old one's place within whatever held it: a
    // bookmark or included text around the old field holds the new ones, as
    // when Word rewrites a field's code in place.
    const long s = f.start, e = f.end, n = frag.length(), delta = n - (e - s);
    std::erase_if(d.fields, [&](const MemoryDocument::Field& g) {
      return g.start == g.end ? g.start > s && g.start < e : g.start >= s && g.end <= e;
    });
    auto debut = [&](long& p) {
      if (p >= e) p += delta;
      else if (p > s) p = s;
    };
    auto fin = [&](long& p) {
      if (p >= e) p += delta;
      else if (p > s) p = s + n;
    };
    for (auto& g : d.fields) {
      debut(g.start);
      fin(g.end);
    }
    for (auto& b : d.bookmarks) {
      debut(b.start);
      fin(b.end);
    }
    debut(d.selStart);
    fin(d.selEnd);
    d.chars.replace(static_cast<size_t>(s), static_cast<size_t>(e - s), frag.chars);
    for (auto nf : frag.fields) {
      nf.start += s;
      nf.end += s;
      d.fields.push_back(std::move(nf));
    }
    d.saved = false;
  }
}

void MemoryWord::renameBookmark(const std::string& oldName, const std::string& newName) {
  auto& d = doc();
  auto it = std::find_if(d.bookmarks.begin(), d.bookmarks.end(),
                         [&](const auto& b) { return EqualsNoCase(b.name, oldName); });
  if (it == d.bookmarks.end()) return;
  const auto renamed = static_cast<size_t>(it - d.bookmarks.begin());
  // A name marks one place in a document: as in Word, giving it to this
  // bookmark takes it from any other that had it.
  std::vector<MemoryDocument::Bookmark> kept;
  for (size_t i = 0; i < d.bookmarks.size(); ++i) {
    if (i == renamed) {
      kept.push_back(d.bookmarks[i]);
      kept.back().name = newName;
    } else if (!EqualsNoCase(d.bookmarks[i].name, newName)) {
      kept.push_back(std::move(d.bookmarks[i]));
    }
  }
  d.bookmarks = std::move(kept);
  d.saved = false;
}

void MemoryWord::insertFragment(MemoryDocument& d, long pos, const MemoryDocument& fragment, bool paragraphBreak) {
  MemoryDocument frag = fragment;
  if (paragraphBreak) frag.chars += MemoryDocument::Para;
  pos = std::clamp(pos, 0L, d.length() - 1);
  auto ls = d.lines();
  const auto& line = ls[d.lineAt(ls, pos)];
  if (pos < line.start) pos = line.start;
  if (Contains(frag.chars, MemoryDocument::RowStart)) {
    if (line.inTable) raise(5, "Un tableau ne peut pas être inséré dans un tableau.");
    if (pos != line.start) {
      d.insertChars(pos, std::u32string(1, MemoryDocument::Para));
      ++pos;
    }
  }
  d.insert(pos, frag);
  d.selStart = d.selEnd = pos + frag.length();
}

void MemoryWord::insertRtf(const std::string& rtf, const CursorPosition* at, bool paragraphBreak) {
  auto& d = doc();
  insertFragment(d, at ? OffsetOf(editorType_, *at) : d.selEnd, MemoryDocument::fromRtf(rtf, false), paragraphBreak);
}

void MemoryWord::insertText(const std::string& text, const CursorPosition* at, bool paragraphBreak) {
  auto& d = doc();
  insertFragment(d, at ? OffsetOf(editorType_, *at) : d.selEnd, MemoryDocument::fromPlainText(text, false),
                 paragraphBreak);
}

void MemoryWord::insertFileRtf(const std::string& path) {
  auto& d = doc();
  insertFragment(d, d.selEnd, MemoryDocument::fromFile(app_.fs().readFile(path), false), false);
}

void MemoryWord::insertTable(const std::string& tabText) {
  auto& d = doc();
  MemoryDocument frag = EmptyFragment();
  frag.chars += MemoryDocument::RowStart;
  auto cells = Split(tabText, "\t");
  if (cells.empty()) cells.emplace_back();
  for (const auto& c : cells) {
    frag.chars += WithParagraphs(U32(c));
    frag.chars += MemoryDocument::CellEnd;
  }
  frag.chars += MemoryDocument::RowEnd;
  insertFragment(d, d.selEnd, frag, false);
}

void MemoryWord::gotoStartOfDoc() {
  auto& d = doc();
  d.selStart = d.selEnd = d.lines().front().start;
}

void MemoryWord::gotoEndOfLine() {
  auto& d = doc();
  auto ls = d.lines();
  d.selStart = d.selEnd = ls[d.lineAt(ls, d.selEnd)].end;
}

void MemoryWord::gotoStartOfLine() {
  auto& d = doc();
  auto ls = d.lines();
  d.selStart = d.selEnd = ls[d.lineAt(ls, d.selStart)].start;
}

void MemoryWord::goDown() {
  auto& d = doc();
  auto ls = d.lines();
  size_t i = d.lineAt(ls, d.selEnd);
  long col = std::max(0L, d.selEnd - ls[i].start);
  const auto& L = ls[i];
  size_t target = i;
  if (L.inTable) {
    if (i + 1 < ls.size() && ls[i + 1].inTable && ls[i + 1].row == L.row && ls[i + 1].cell == L.cell) {
      target = i + 1;
    } else {
      size_t j = i + 1;
      while (j < ls.size() && ls[j].inTable && ls[j].row == L.row) ++j;
      if (j >= ls.size()) return;
      target = ls[j].inTable ? CellLine(ls, ls[j].row, L.cell, false) : j;
    }
  } else {
    if (i + 1 >= ls.size()) return;
    target = ls[i + 1].inTable ? CellLine(ls, ls[i + 1].row, 0, false) : i + 1;
  }
  d.selStart = d.selEnd = std::min(ls[target].start + col, ls[target].end);
}

void MemoryWord::goUp() {
  auto& d = doc();
  auto ls = d.lines();
  size_t i = d.lineAt(ls, d.selStart);
  long col = std::max(0L, d.selStart - ls[i].start);
  const auto& L = ls[i];
  size_t target = i;
  if (L.inTable) {
    if (i > 0 && ls[i - 1].inTable && ls[i - 1].row == L.row && ls[i - 1].cell == L.cell) {
      target = i - 1;
    } else {
      long j = static_cast<long>(i) - 1;
      while (j >= 0 && ls[j].inTable && ls[j].row == L.row) --j;
      if (j < 0) return;
      target = ls[j].inTable ? CellLine(ls, ls[j].row, L.cell, true) : static_cast<size_t>(j);
    }
  } else {
    if (i == 0) return;
    target = ls[i - 1].inTable ? CellLine(ls, ls[i - 1].row, 0, true) : i - 1;
  }
  d.selStart = d.selEnd = std::min(ls[target].start + col, ls[target].end);
}

void MemoryWord::gotoNextCell() {
  auto& d = doc();
  auto ls = d.lines();
  size_t i = d.lineAt(ls, d.selStart);
  if (!ls[i].inTable) return;
  for (size_t j = i + 1; j < ls.size(); ++j) {
    if (!ls[j].inTable) return;
    if (ls[j].row == ls[i].row && ls[j].cell == ls[i].cell) continue;
    auto r = CellRange(ls, j);
    d.selStart = r.first;
    d.selEnd = r.second;
    return;
  }
}

bool MemoryWord::searchWord(const std::string& text) {
  auto& d = doc();
  std::u32string t = U32(text);
  if (t.empty()) return false;
  size_t p = d.chars.find(t, static_cast<size_t>(std::max(0L, d.selEnd)));
  if (p == std::u32string::npos) return false;
  d.selStart = static_cast<long>(p);
  d.selEnd = static_cast<long>(p + t.size());
  return true;
}

void MemoryWord::selectCell() {
  auto& d = doc();
  auto ls = d.lines();
  size_t i = d.lineAt(ls, d.selStart);
  if (!ls[i].inTable) NotInTable();
  auto r = CellRange(ls, i);
  d.selStart = r.first;
  d.selEnd = r.second;
}

std::string MemoryWord::cellTextSelected() {
  auto& d = doc();
  auto ls = d.lines();
  size_t i = d.lineAt(ls, d.selStart);
  if (!ls[i].inTable) NotInTable();
  auto r = CellRange(ls, i);
  return d.plainText(r.first, r.second);
}

CursorPosition MemoryWord::cursorPos() {
  CursorPosition p;
  long at = doc().selStart;
  if (editorType_ == 4)
    p.object = std::make_shared<MemoryPosition>(MemoryPosition{MemoryPosition::kMagic, at});
  else
    p.offset = at;
  return p;
}

void MemoryWord::setRange(const CursorPosition& start, const CursorPosition& end) {
  auto& d = doc();
  long a = std::clamp(OffsetOf(editorType_, start), 0L, d.length() - 1);
  long b = std::clamp(OffsetOf(editorType_, end), 0L, d.length() - 1);
  d.selStart = std::min(a, b);
  d.selEnd = std::max(a, b);
}

bool MemoryWord::selectionInTable() {
  auto& d = doc();
  auto ls = d.lines();
  return ls[d.lineAt(ls, d.selStart)].inTable || ls[d.lineAt(ls, d.selEnd)].inTable;
}

std::string MemoryWord::selectionRtf() {
  auto& d = doc();
  return d.toRtf(d.selStart, d.selEnd);
}

std::string MemoryWord::selectionText() {
  auto& d = doc();
  return d.plainText(d.selStart, d.selEnd);
}

std::vector<MapPicture> MemoryWord::mapPlaceholders() {
  std::vector<MapPicture> out;
  for (auto* f : doc().fieldsOf(MemoryDocument::FieldKind::MapPlaceholder)) out.push_back(f->picture);
  return out;
}

bool MemoryWord::replaceMapPlaceholders(const std::vector<MapPicture>& pictures) {
  auto& d = doc();
  bool any = false;
  for (auto& f : d.fields) {
    if (f.kind != MemoryDocument::FieldKind::MapPlaceholder) continue;
    for (const auto& p : pictures) {
      if (!EqualsNoCase(p.name, f.picture.name)) continue;
      f.kind = MemoryDocument::FieldKind::Picture;
      f.picture = p;
      f.picture.name = f.name;
      any = true;
      break;
    }
  }
  if (any) d.saved = false;
  return any;
}

WordTwinFactory MemoryWordFactory(std::shared_ptr<MemoryWordApp> state) {
  return [state](App& app, int editorType) -> std::unique_ptr<IWordTwin> {
    if (editorType == 2 || editorType == 3 || editorType == 4)
      return std::make_unique<MemoryWord>(app, editorType, state);
    return nullptr;
  };
}

}  // namespace kup
