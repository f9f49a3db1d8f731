// Letters on LibreOffice Writer: templates opened as new documents, merge
// fields and bookmarks found and filled, the two merge routes, saving, all
// read back from the files written.
#include "tests/office_lo/LoTestSupport.h"

using namespace lotest;
using kup::ValuePart;

namespace {

TEST(LoWordMerge, TemplateOpensAsNewDocumentWithFieldsAndBookmarksInOrder) {
  LoApp t(4);
  t.put("C:\\Modeles\\lettre.rtf", LetterRtf());
  auto& w = t.word();
  w.OpenEditor();
  ASSERT_NE(w.twin(), nullptr) << (t.errors().empty() ? "" : t.errors()[0]);
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  EXPECT_FALSE(w.FindMergeFields(false));  // OpenOffice: the list is filled, the answer false
  EXPECT_EQ(w.MergeFields, (std::vector<std::string>{"NOM_DEMANDEUR", "ADRESSE"}));
  w.FindBookMarks();
  EXPECT_EQ(w.BookMarks, (std::vector<std::string>{"SIGNET_UN", "S_RTF_CORPS"}));
  EXPECT_EQ(t.wtwin().documentBaseName(), "lettre");
  EXPECT_TRUE(w.Saved());
  EXPECT_EQ(w.OpenedDocumentLength(), 1);
  EXPECT_TRUE(w.EditeurToujoursOuvert());

  // The template itself is never written: saving binds the new document.
  std::string before = t.read("C:\\Modeles\\lettre.rtf");
  w.BookMarksValues = {"Premier signet", "ignoré"};
  w.MergeFieldsValues = {"Dupont & Fils <SARL>", "1 rue de l'Église"};
  EXPECT_FALSE(w.InsertBookMarksValues());
  EXPECT_FALSE(w.Saved());
  w.MailMerge();
  std::string out = "C:\\Temp\\fusion.odt";
  t.wtwin().saveAs(out);
  EXPECT_TRUE(w.Saved());
  EXPECT_EQ(t.read("C:\\Modeles\\lettre.rtf"), before);
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];

  // Read back from the saved file.
  w.OpenDocument(out);
  std::string text = t.documentText(t.wtwin());
  EXPECT_NE(text.find("Objet : Dupont & Fils <SARL> et 1 rue de l'Église\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Signet : Premier signet fin\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Encore Dupont & Fils <SARL> et "), std::string::npos) << text;
  w.FindMergeFields(false);
  EXPECT_TRUE(w.MergeFields.empty()) << "the merge without fields leaves text only";
  w.FindBookMarks();
  EXPECT_EQ(w.BookMarks, (std::vector<std::string>{"SIGNET_UN", "S_RTF_CORPS"}));
}

TEST(LoWordMerge, ShowFieldsRouteKeepsFieldsThroughATemplateSavedAndReopened) {
  LoApp t(4);
  t.put("C:\\Modeles\\lettre.rtf", LetterRtf());
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  w.FindMergeFields(false);
  w.FindBookMarks();
  w.MergeFieldsValues = {"Martin", "Lyon"};
  w.BookMarksValues = {"un", ""};
  // Filling twice replaces, it does not add: the text stays in its bookmark.
  w.InsertBookMarksValues();
  w.BookMarksValues = {"deux\r\nlignes", ""};
  std::string name = w.MailMergeOpen(false, false);
  EXPECT_EQ(name, "");
  std::string saved = w.SaveTemp();
  ASSERT_FALSE(saved.empty()) << (t.errors().empty() ? "" : t.errors()[0]);
  EXPECT_EQ(kup::Right(saved, 4), ".ott");
  EXPECT_EQ(kup::Left(saved, 8), "C:\\Temp\\");
  EXPECT_TRUE(std::filesystem::exists(t.host(saved)));

  w.CloseDocument(false);
  w.OpenDocument(saved);
  w.FindMergeFields(false);
  EXPECT_EQ(w.MergeFields, (std::vector<std::string>{"NOM_DEMANDEUR", "ADRESSE"}));
  std::string text = t.documentText(t.wtwin());
  EXPECT_NE(text.find("Objet : Martin et Lyon\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Signet : deux\nlignes fin\n"), std::string::npos) << text;
  // The fields and the bookmark take new values in the reopened document;
  // the bookmark still spans the whole of its two-line value.
  w.MergeFieldsValues = {"Bernard", "Nice"};
  w.BookMarksValues = {"trois", ""};
  w.FindBookMarks();
  w.MailMergeOpen(false, false);
  text = t.documentText(t.wtwin());
  EXPECT_NE(text.find("Objet : Bernard et Nice\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Signet : trois fin\n"), std::string::npos) << text;
  // The merge without fields, the letter route, ends the fields.
  w.MergeFieldsValues = {"Petit", "Brest"};
  w.MailMergeOpen(true, false);
  w.FindMergeFields(false);
  EXPECT_TRUE(w.MergeFields.empty());
  text = t.documentText(t.wtwin());
  EXPECT_NE(text.find("Objet : Petit et Brest\n"), std::string::npos) << text;
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

TEST(LoWordMerge, ABookmarkValueOverAMergeFieldTakesTheFieldAway) {
  LoApp t(4);
  t.put("C:\\Modeles\\enveloppe.rtf",
        Rtf("\\pard A " + Bookmark("ENVELOPPE", "avant " + MergeField("DANS_SIGNET") + " apres") + " B " +
            MergeField("HORS_SIGNET") + "\\par"));
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\enveloppe.rtf");
  w.FindMergeFields(false);
  EXPECT_EQ(w.MergeFields, (std::vector<std::string>{"DANS_SIGNET", "HORS_SIGNET"}));
  w.FindBookMarks();
  w.BookMarksValues = {"remplacé"};
  w.MergeFieldsValues = {"perdu", "gardé"};
  EXPECT_FALSE(w.InsertBookMarksValues());
  w.MailMerge();
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
  EXPECT_EQ(t.documentText(t.wtwin()), "A remplacé B gardé\n");
}

TEST(LoWordMerge, OldFieldsAndBookmarksTakeTheirNewNames) {
  LoApp t(2);
  t.put("C:\\Modeles\\v2.rtf", Rtf("\\pard " + MergeField("ANCIEN") + " / " + MergeField("GARDE") + " / " +
                                       MergeField("ANCIEN") + " " + Bookmark("SIG_V2", "x") + "\\par"));
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\v2.rtf");
  kup::FieldReplacement r;
  r.oldName = "ancien";
  r.newNames = {"NOUVEAU_1", "NOUVEAU_2"};
  r.formats = {"", ""};
  t.wtwin().replaceMergeFields({r});
  t.wtwin().renameBookmark("sig_v2", "SIG_V3");
  w.FindMergeFields(false);
  EXPECT_EQ(w.MergeFields, (std::vector<std::string>{"GARDE", "NOUVEAU_1", "NOUVEAU_2"}));
  w.FindBookMarks();
  EXPECT_EQ(w.BookMarks, std::vector<std::string>{"SIG_V3"});
  w.MergeFieldsValues = {"g", "n1", "n2"};
  w.MailMerge();
  EXPECT_EQ(t.documentText(t.wtwin()), "n1 n2 / g / n1 n2 x\n");
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

}  // namespace
