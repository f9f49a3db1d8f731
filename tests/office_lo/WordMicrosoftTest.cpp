// The Microsoft editor types served by the same engine in Word's formats:
// .dot/.dotx templates, hidden bookmarks, included texts, map pictures,
// the document length and re-activation.
#include "tests/office_lo/LoTestSupport.h"

using namespace lotest;

namespace {

// A 2x2 PNG picture.
const std::string kPng = std::string(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x02\x00\x00\x00\x02"
    "\x08\x02\x00\x00\x00\xfd\xd4\x9a\x73\x00\x00\x00\x10\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\xc0"
    "\x00\x44\x0c\x10\x0a\x00\x1f\xee\x03\xfd\x8b\x5f\x14\xd4\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42"
    "\x60\x82",
    73);

TEST(LoWordMicrosoft, DotAndDotxTemplatesMergeAndSaveInWordFormats) {
  LoApp t(2);
  auto& w = t.word();
  w.OpenEditor();
  ASSERT_NE(w.twin(), nullptr);
  // Word templates made by the engine itself from the test letter; Word's
  // hidden bookmark "_GoBack" is not one of the letter's.
  t.put("C:\\Modeles\\src.rtf", Rtf("\\pard " + Bookmark("_GoBack", "") + "Objet : " + MergeField("NOM") +
                                    " " + Bookmark("SIGNET", "x") + "\\par"));
  w.OpenDocument("C:\\Modeles\\src.rtf");
  t.wtwin().saveAsTemplate("C:\\Modeles\\lettre.dot");
  t.wtwin().saveAsTemplate("C:\\Modeles\\lettre.dotx");
  EXPECT_EQ(t.read("C:\\Modeles\\lettre.dot").substr(0, 4), "\xD0\xCF\x11\xE0");  // a Word 97 file
  EXPECT_EQ(t.read("C:\\Modeles\\lettre.dotx").substr(0, 2), "PK");

  for (std::string ext : {".dot", ".dotx"}) {
    SCOPED_TRACE(ext);
    w.OpenDocument("C:\\Modeles\\lettre" + ext);
    EXPECT_EQ(t.wtwin().documentBaseName(), "lettre");
    EXPECT_TRUE(w.FindMergeFields(false));  // Word: true when a field was found
    EXPECT_EQ(w.MergeFields, std::vector<std::string>{"NOM"});
    w.FindBookMarks();
    EXPECT_EQ(w.BookMarks, std::vector<std::string>{"SIGNET"});
    EXPECT_GT(w.OpenedDocumentLength(), 5);
    EXPECT_TRUE(w.UpdateActiveDocument());
    w.MergeFieldsValues = {"Durand"};
    w.BookMarksValues = {"valeur"};
    // The attachment copy: the template's name in the Word document format.
    std::string name = w.MailMergeOpen(false, true);
    EXPECT_EQ(name, "lettre.doc");
    std::string copy = t.read("C:\\Temp\\lettre.doc");
    EXPECT_EQ(copy.substr(0, 4), "\xD0\xCF\x11\xE0");
    w.OpenDocument("C:\\Temp\\lettre.doc");
    w.FindMergeFields(false);
    EXPECT_EQ(w.MergeFields, std::vector<std::string>{"NOM"}) << "the fields stay, showing their values";
    EXPECT_NE(t.documentText(t.wtwin()).find("Objet : Durand valeur"), std::string::npos);
  }
  // The driver's own document closed: re-activation fails and says so.
  w.CloseDocument(true);
  EXPECT_FALSE(w.UpdateActiveDocument());
  EXPECT_FALSE(w.G_AccesDocument);
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

TEST(LoWordMicrosoft, IncludedTextFieldsAreFoundFirstThenUnlinked) {
  LoApp t(3);
  t.put("C:\\Modeles\\inclus.rtf", Rtf("\\pard Inclus " + MergeField("CHAMP_INCLUS") + "\\par"));
  std::string inc = kup::Replace(t.host("C:\\Modeles\\inclus.rtf"), "\\", "\\\\\\\\");
  t.put("C:\\Modeles\\maitre.rtf",
        Rtf("\\pard Avant " + MergeField("CHAMP_MAITRE") + "\\par\n" + "{\\field{\\*\\fldinst{ INCLUDETEXT \"" + inc +
            "\" }}{\\fldrslt {\\pard Inclus " + MergeField("CHAMP_INCLUS") + "\\par}}}\\pard Apres\\par"));
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\maitre.rtf");
  ASSERT_TRUE(w.FindMergeFields(true));
  EXPECT_EQ(w.MergeFields, std::vector<std::string>{"CHAMP_INCLUS"});
  w.UnlinkIncludeText();
  EXPECT_FALSE(w.FindMergeFields(true));
  EXPECT_TRUE(w.FindMergeFields(false));
  EXPECT_EQ(w.MergeFields, (std::vector<std::string>{"CHAMP_MAITRE", "CHAMP_INCLUS"}));
}

TEST(LoWordMicrosoft, MapPicturePlaceholdersAreFoundAndReplaced) {
  LoApp t(2);
  t.put("C:\\Modeles\\carte.rtf",
        Rtf("\\pard Plan : {\\field{\\*\\fldinst{ CARTE PLAN1;ID_1;80;60;2000 }}{\\fldrslt {[plan]}}} et "
            "{\\field{\\*\\fldinst{ carte SITUATION;ID_2;;;5000 }}{\\fldrslt {[situation]}}}\\par"));
  t.put("C:\\Temp\\plan1.png", kPng);
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\carte.rtf");
  t.wtwin().saveAsTemplate("C:\\Modeles\\carte.dotx");
  w.OpenDocument("C:\\Modeles\\carte.dotx");
  kup::StrArray names, ids, widths, heights, scales;
  ASSERT_TRUE(w.trouverFusionObject(names, ids, widths, heights, scales));
  EXPECT_EQ(names, (kup::StrArray{"PLAN1", "SITUATION"}));
  EXPECT_EQ(ids, (kup::StrArray{"ID_1", "ID_2"}));
  EXPECT_EQ(widths, (kup::StrArray{"80", ""}));
  EXPECT_EQ(scales, (kup::StrArray{"2000", "5000"}));

  // Only the placeholder whose picture exists is replaced.
  EXPECT_TRUE(w.remplacerFusionObject({"plan1", "SITUATION"}, {"C:\\Temp\\plan1.png", "C:\\Temp\\absente.png"},
                                      {"80", "50"}, {"60", "40"}, {"2000", "5000"}));
  ASSERT_TRUE(w.trouverFusionObject(names, ids, widths, heights, scales));
  EXPECT_EQ(names, kup::StrArray{"SITUATION"});
  t.wtwin().saveAs("C:\\Temp\\carte.docx");
  EXPECT_NE(t.read("C:\\Temp\\carte.docx").find("word/media/"), std::string::npos) << "the picture is in the file";
  EXPECT_FALSE(w.remplacerFusionObject({"AUCUN"}, {"C:\\Temp\\plan1.png"}, {""}, {""}, {""}));

  // Writer's own documents (editor type 4) have no map placeholders.
  LoApp oo(4);
  oo.put("C:\\Modeles\\carte.dotx", t.read("C:\\Modeles\\carte.dotx"));
  oo.word().OpenEditor();
  oo.word().OpenDocument("C:\\Modeles\\carte.dotx");
  EXPECT_FALSE(oo.word().trouverFusionObject(names, ids, widths, heights, scales));
  EXPECT_TRUE(names.empty());
}

}  // namespace
