// Rich bookmark values, insertion at the cursor, tables, and a text library
// written and read back with the cursor moves, the selection as RTF and text.
#include "tests/office_lo/LoTestSupport.h"

using namespace lotest;

namespace {

const std::string kBodyRtf =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard {\\b Gras} et \\'e9t\\'e9\\par\\pard suite " +
    MergeField("NOUVEAU") + " " + Bookmark("NOUVEAU_SIGNET", "x") + "\\par}";

TEST(LoWordText, RichBookmarkValueStaysInItsBookmarkAndBringsItsFields) {
  LoApp t(4);
  t.put("C:\\Modeles\\lettre.rtf", LetterRtf());
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  w.FindMergeFields(false);
  w.FindBookMarks();
  // A value made of parts: plain text, then RTF (with raw accents, which
  // keep their meaning), in order.
  w.BookMarksValues = {"simple", "TXT" + kup::Sep241() + "Début : " + kup::Sep242() + "RTF" + kup::Sep241() +
                                     kBodyRtf.substr(0, kBodyRtf.size() - 1) + "Église\\par}"};
  EXPECT_TRUE(w.InsertBookMarksValues());
  w.FindMergeFields(false);
  EXPECT_EQ(w.MergeFields, (std::vector<std::string>{"NOM_DEMANDEUR", "ADRESSE", "NOUVEAU"}));
  w.FindBookMarks();
  EXPECT_EQ(w.BookMarks, (std::vector<std::string>{"SIGNET_UN", "S_RTF_CORPS", "NOUVEAU_SIGNET"}));
  // The next pass fills them all again, the same RTF in place of itself, and merges.
  w.BookMarksValues = {"encore", w.BookMarksValues[1], "y"};
  EXPECT_FALSE(w.InsertBookMarksValues());
  w.MergeFieldsValues = {"A", "B", "C"};
  w.MailMerge();
  std::string text = t.documentText(t.wtwin());
  EXPECT_NE(text.find("Signet : encore fin"), std::string::npos) << text;
  EXPECT_NE(text.find("Encore A et Début : Gras et été\nsuite C y\nÉglise\n."), std::string::npos) << text;
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

// The reader of a text library: the cursor moves the library commands make.
struct Item {
  std::vector<std::string> cells;
  std::string body;
  bool end = false;
};

Item ReadItem(kup::ApCourrier& w, bool first, int cellCount, bool rtf) {
  Item it;
  if (first) {
    w.UpdateActiveDocument();
    w.GotoStartOfDoc();
    w.GotoStartOfDoc();
    w.GotoStartOfDoc();
    w.SearchWord("{DEBUT_BIBLE_ARRETE}");
    w.GotoEndOfLine();
  }
  w.GotoEndOfLine();
  if (!w.SearchWord("{DEBUT_ARRETE}")) {
    it.end = true;
    return it;
  }
  w.GotoStartOfLine();
  w.GoDown();
  for (int i = 1; i <= cellCount; ++i) {
    w.SelectCell();
    it.cells.push_back(w.CellTextSelected());
    if (i == cellCount) {
      w.GoDown();
      w.GotoStartOfLine();
    } else {
      w.GotoNextCell();
    }
  }
  kup::CursorPosition start = w.GetCursorPos()[0];
  if (w.SearchWord("{DEBUT_ARRETE}")) {
    w.GotoStartOfLine();
    w.GoUp();
    w.GotoEndOfLine();
  } else {
    w.SearchWord("{FIN_BIBLE_ARRETE}");
    w.GoUp();
    w.GotoEndOfLine();
  }
  kup::CursorPosition end = w.GetCursorPos()[0];
  if (!w.SelectionInTable()) {
    w.SetRange(start, end);
    it.body = rtf ? w.SelectionToRTF() : w.SelectionToText();
  }
  return it;
}

TEST(LoWordText, TextLibraryWrittenAtTheCursorReadsBackItemByItem) {
  LoApp t(4);
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("");
  EXPECT_EQ(t.wtwin().documentBaseName(), "Document1");
  w.Orientation(2);
  w.InsertTextToTable("Code commune\tModèle\tType");
  w.InsertText("{DEBUT_BIBLE_ARRETE}", true, nullptr);
  const std::vector<std::vector<std::string>> rows = {{"59350", "ARR", "Art. 1"}, {"59000", "", "vide"}, {"1", "2", "3"}};
  for (size_t i = 0; i < rows.size(); ++i) {
    w.InsertText("{DEBUT_ARRETE}", true, nullptr);
    w.InsertTextToTable(kup::Join(rows[i], "\t"));
    if (i == 0) w.InsertTextRTF(kBodyRtf, nullptr, false);
    if (i == 2) w.InsertTextRTF("pas du RTF", nullptr, true);  // plain text, as it is
  }
  w.InsertText("{FIN_BIBLE_ARRETE}", false, nullptr);
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];

  Item a = ReadItem(w, true, 3, true);
  ASSERT_FALSE(a.end);
  EXPECT_EQ(a.cells, rows[0]);
  EXPECT_EQ(a.body.rfind("{\\rtf", 0), 0u) << a.body;
  EXPECT_NE(a.body.find("Gras"), std::string::npos);
  EXPECT_NE(a.body.find("suite"), std::string::npos) << "the whole body, its last line included";
  EXPECT_NE(a.body.find("\\b"), std::string::npos) << "the bold run keeps its formatting";
  EXPECT_EQ(t.clipboard().getText("rtf"), a.body) << "the selection went through the clipboard";
  Item b = ReadItem(w, false, 3, true);
  EXPECT_EQ(b.cells, rows[1]);
  EXPECT_EQ(b.body, "") << "an item without body";
  Item c = ReadItem(w, false, 3, false);
  EXPECT_EQ(c.cells, rows[2]);
  EXPECT_EQ(c.body, "pas du RTF");
  EXPECT_TRUE(ReadItem(w, false, 3, false).end);
  // Reading again from the start gives the first item again.
  EXPECT_EQ(ReadItem(w, true, 3, true).cells, rows[0]);
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];

  // The page is landscape (the PDF export shows the page size).
  t.wtwin().saveAs("C:\\Temp\\bible.pdf");
  std::string pdf = t.read("C:\\Temp\\bible.pdf");
  size_t box = pdf.find("/MediaBox");
  ASSERT_NE(box, std::string::npos);
  double x0, y0, x1, y1;
  ASSERT_EQ(std::sscanf(pdf.c_str() + box, "/MediaBox [%lf %lf %lf %lf]", &x0, &y0, &x1, &y1) == 4 ||
                std::sscanf(pdf.c_str() + box, "/MediaBox[%lf %lf %lf %lf]", &x0, &y0, &x1, &y1) == 4,
            true);
  EXPECT_GT(x1 - x0, y1 - y0);
}

TEST(LoWordText, InsertionAtPositionsFilesAndSelections) {
  LoApp t(4);
  t.put("C:\\Modeles\\lettre.rtf", LetterRtf());
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  // A decree saved by the word processor, inserted whole at the cursor.
  w.OpenDocument("");
  w.InsertText("Article inséré", false, nullptr);
  std::string decree = w.SaveTemp();
  ASSERT_FALSE(decree.empty());
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  w.GotoStartOfDoc();
  kup::CursorPosition top = w.GetCursorPos()[0];
  EXPECT_TRUE(top.isObject());
  EXPECT_TRUE(w.SearchWord("Dernier"));
  EXPECT_EQ(w.SelectionToText(), "Dernier");
  w.GotoEndOfLine();
  w.InsertFileRTF(decree);
  t.put("C:\\Temp\\morceau.rtf", Rtf("\\pard {\\i italique}\\par"));
  w.InsertFileRTF("C:\\Temp\\morceau.rtf");
  w.InsertText("[en tête]", true, &top);
  w.InsertTextRTF(Rtf("\\pard {\\b en gras}"), &top, false);
  EXPECT_FALSE(w.SearchWord("introuvable"));
  EXPECT_FALSE(w.SelectionInTable());
  std::string text = t.documentText(t.wtwin());
  // Both went to the same position: the later one comes first, as with a
  // character offset.
  EXPECT_EQ(text.rfind("en gras[en tête]\nObjet : ", 0), 0u) << text;
  EXPECT_NE(text.find("Dernier paragrapheArticle inséré"), std::string::npos) << text;
  EXPECT_NE(text.find("italique"), std::string::npos) << text;
  // Selecting from the top to the end of the first line, as text.
  w.GotoStartOfDoc();
  w.GotoEndOfLine();
  w.SetRange(top, w.GetCursorPos()[0]);
  EXPECT_EQ(w.SelectionToText(), "en gras[en tête]");
  // Table cells outside a table are refused, and reported.
  w.SelectCell();
  ASSERT_EQ(t.errors().size(), 1u);
  EXPECT_NE(t.errors()[0].find("SelectCell"), std::string::npos);
  EXPECT_NE(t.errors()[0].find("4605"), std::string::npos);
}

}  // namespace
