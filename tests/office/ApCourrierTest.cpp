// The word-processor driver against the in-memory word processor.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestApp.h"
#include "core/Core.h"
#include "vb/VbString.h"
#include "office/ApCourrier.h"
#include "office/ApTableur.h"
#include "office/MemoryWord.h"

using kup::ApCourrier;
using kup::CursorPosition;
using kup::MemoryWordApp;

namespace {

// A letter template: merge fields (one inside an included text, one used
// twice), a text bookmark, an RTF bookmark and a map placeholder.
const char* kLettre = R"({\rtf1\ansi
Madame {\field{\*\fldinst MERGEFIELD NOM}{\fldrslt «NOM»}} {\field{\*\fldinst MERGEFIELD PRENOM}}\par
{\*\bkmkstart B_OBJET}objet{\*\bkmkend B_OBJET}\par
{\field{\*\fldinst INCLUDETEXT "adr.doc"}{\fldrslt Rue {\field{\*\fldinst MERGEFIELD ADRESSE}}}}\par
{\*\bkmkstart S_RTF_CORPS}corps{\*\bkmkend S_RTF_CORPS}\par
Sign\'e9 {\field{\*\fldinst MERGEFIELD NOM}}\par
{\field{\*\fldinst CARTE CARTE1;ID7;800;600;1000}}\par
})";

struct CourrierTest : ::testing::Test {
  TestApp t;
  std::shared_ptr<MemoryWordApp> word = std::make_shared<MemoryWordApp>();

  ApCourrier& drv(int type = 2) {
    ApCourrier& d = kup::G_Courrier(t.app);
    d.setTypeEditeur(type);
    d.twinFactory = kup::MemoryWordFactory(word);
    return d;
  }
  ApCourrier& opened(int type = 2) {
    t.fs.put("C:\\Modeles\\lettre.dot", kLettre);
    ApCourrier& d = drv(type);
    d.OpenEditor();
    d.OpenDocument("C:\\Modeles\\lettre.dot");
    return d;
  }
  std::string dump() { return word->active()->dump(); }
  std::vector<std::string> errors() {
    std::vector<std::string> out;
    for (const auto& c : t.flash.calls)
      if (c.find("KUP_ErreurContainer") != std::string::npos) out.push_back(c);
    return out;
  }
  bool reported(const std::string& source, int number, const std::string& description) {
    auto xml = kup::sInvokeXML("KUP_ErreurContainer", {source, std::to_string(number), description});
    return std::count(t.flash.calls.begin(), t.flash.calls.end(), xml) > 0;
  }
};

TEST_F(CourrierTest, EditorTypeChoosesTheTwinAndUnknownTypesAreReported) {
  ApCourrier& d = drv(7);
  EXPECT_TRUE(d.G_AccesDocument);
  EXPECT_TRUE(d.ExtensionListeModeles().empty());
  d.OpenEditor();
  EXPECT_TRUE(reported("OpenEditor", 5, "Type éditeur inconnu : 7"));
  EXPECT_EQ(d.twin(), nullptr);
  EXPECT_FALSE(word->running);

  // Without a twin for the type: a clear report, nothing connected.
  d.setTypeEditeur(2);
  d.twinFactory = nullptr;
  d.OpenEditor();
  EXPECT_TRUE(reported("OpenEditor", 429, "Aucun traitement de texte n'est disponible pour le type éditeur 2"));

  ApCourrier& w = drv(3);
  w.OpenEditor();
  ASSERT_NE(w.twin(), nullptr);
  EXPECT_EQ(word->starts, 1);
  EXPECT_EQ(w.ExtensionListeModeles(), (std::vector<std::string>{".dot", ".dotx"}));
  w.setTypeEditeur(4);
  EXPECT_EQ(w.ExtensionListeModeles(), (std::vector<std::string>{".ott"}));
  EXPECT_EQ(&kup::G_Courrier(t.app), &w);  // one instance

  // The settings reader's hook reaches both drivers.
  kup::InstallOfficeHooks(t.app);
  t.app.hooks.setEditorType(t.app, 4);
  EXPECT_EQ(t.app.G_TypeEditeur, 4);
  EXPECT_EQ(kup::G_Courrier(t.app).TypeEditeur(), 4);
  EXPECT_EQ(kup::G_Tableur(t.app).TypeEditeur(), 4);

  // Unload lets go of both drivers; the word processor stays for the user.
  t.app.hooks.unload(t.app);
  EXPECT_EQ(t.app.G_Courrier, nullptr);
  EXPECT_EQ(t.app.G_Tableur, nullptr);
  EXPECT_TRUE(word->running);
}

TEST_F(CourrierTest, ClosedDocumentOrWordProcessorClearsTheAccessFlagSilently) {
  ApCourrier& d = opened(2);
  EXPECT_TRUE(d.UpdateActiveDocument());
  word->userCloses(word->active());
  EXPECT_FALSE(d.UpdateActiveDocument());
  EXPECT_FALSE(d.G_AccesDocument);

  d.G_AccesDocument = true;
  word->userQuits();
  EXPECT_FALSE(d.EditeurToujoursOuvert());
  d.MinimizeEditor();
  EXPECT_FALSE(d.G_AccesDocument);
  EXPECT_TRUE(errors().empty());

  // OpenOffice: the document is always taken as reachable.
  ApCourrier& o = opened(4);
  word->userCloses(word->active());
  EXPECT_TRUE(o.UpdateActiveDocument());

  // Nothing connected: members report it, status queries just answer.
  o.CloseEditor();
  o.InsertText("x", false, nullptr);
  EXPECT_TRUE(reported("InsertText", 91, "Le traitement de texte n'est pas ouvert"));
  EXPECT_FALSE(o.EditeurToujoursOuvert());
  o.CloseDocument(true);  // closing nothing is not a failure
  EXPECT_EQ(errors().size(), 1u);
}

// What OpenOffice Writer answers without a document to ask: the length 1,
// no included texts to unlink, no map pictures. Word, not connected, reports.
TEST_F(CourrierTest, OpenOfficeAnswersWithoutTheWordProcessorConnected) {
  ApCourrier& o = drv(4);
  ASSERT_EQ(o.twin(), nullptr);
  EXPECT_EQ(o.OpenedDocumentLength(), 1);
  o.UnlinkIncludeText();
  kup::StrArray n{"x"}, id, w, h, s;
  EXPECT_FALSE(o.trouverFusionObject(n, id, w, h, s));
  EXPECT_TRUE(n.empty());
  EXPECT_FALSE(o.remplacerFusionObject({"CARTE1"}, {"ID"}, {"1"}, {"1"}, {"1"}));
  EXPECT_TRUE(errors().empty());

  o.setTypeEditeur(2);
  EXPECT_EQ(o.OpenedDocumentLength(), 0);
  EXPECT_TRUE(reported("OpenedDocumentLength", 91, "Le traitement de texte n'est pas ouvert"));
  o.UnlinkIncludeText();
  EXPECT_TRUE(reported("UnlinkIncludeText", 91, "Le traitement de texte n'est pas ouvert"));
}

// A word processor failing in a way the twin did not translate still ends
// as a report under the member's name, never as an exception to the caller.
TEST_F(CourrierTest, UntranslatedFailuresAreReportedNotRaised) {
  struct Unruly : kup::MemoryWord {
    using kup::MemoryWord::MemoryWord;
    void zoomToPage() override { throw 42; }
    void maximize() override { throw std::runtime_error("pont rompu"); }
  };
  ApCourrier& d = drv(2);
  d.twinFactory = [](kup::App&, int) -> std::unique_ptr<kup::IWordTwin> { throw std::runtime_error("démarrage"); };
  EXPECT_NO_THROW(d.OpenEditor());
  EXPECT_TRUE(reported("OpenEditor", 429, "démarrage"));
  d.twinFactory = [](kup::App&, int) -> std::unique_ptr<kup::IWordTwin> { throw 7; };
  EXPECT_NO_THROW(d.OpenEditor());
  EXPECT_TRUE(reported("OpenEditor", 429, kup::vbErrorText(429)));

  d.twinFactory = [this](kup::App& a, int type) -> std::unique_ptr<kup::IWordTwin> {
    return std::make_unique<Unruly>(a, type, word);
  };
  d.OpenEditor();
  ASSERT_NE(d.twin(), nullptr);
  EXPECT_NO_THROW(d.ZoomToPage());
  EXPECT_TRUE(reported("ZoomToPage", 51, "Erreur interne"));
  EXPECT_NO_THROW(d.MaximizeEditor());
  EXPECT_TRUE(reported("MaximizeEditor", 5, "pont rompu"));
}

TEST_F(CourrierTest, FindsMergeFieldsOnceAndThoseOfIncludedTexts) {
  ApCourrier& d = opened(2);
  EXPECT_EQ(dump(), "Madame «NOM» «PRENOM»\nobjet\nRue «ADRESSE»\ncorps\nSigné «NOM»\n#\n");
  EXPECT_TRUE(d.FindMergeFields(true));
  EXPECT_EQ(d.MergeFields, (std::vector<std::string>{"ADRESSE"}));
  EXPECT_TRUE(d.FindMergeFields(false));
  EXPECT_EQ(d.MergeFields, (std::vector<std::string>{"NOM", "PRENOM", "ADRESSE"}));
  d.FindBookMarks();
  EXPECT_EQ(d.BookMarks, (std::vector<std::string>{"B_OBJET", "S_RTF_CORPS"}));

  d.UnlinkIncludeText();
  EXPECT_FALSE(d.FindMergeFields(true));
  EXPECT_TRUE(d.MergeFields.empty());

  // OpenOffice lists the fields but always answers false.
  ApCourrier& o = opened(4);
  EXPECT_FALSE(o.FindMergeFields(false));
  EXPECT_EQ(o.MergeFields.size(), 3u);
}

TEST_F(CourrierTest, BookmarksHoldTheirValuesTextOrRtf) {
  ApCourrier& d = opened(2);
  d.FindBookMarks();
  d.BookMarksValues = {"Permis de construire", R"({\rtf1 Vu {\field{\*\fldinst MERGEFIELD DATE_DEPOT}}\par})"};
  EXPECT_TRUE(d.InsertBookMarksValues());
  EXPECT_EQ(dump(), "Madame «NOM» «PRENOM»\nPermis de construire\nRue «ADRESSE»\nVu «DATE_DEPOT»\n\nSigné «NOM»\n#\n");
  d.FindBookMarks();
  EXPECT_EQ(d.BookMarks, (std::vector<std::string>{"B_OBJET", "S_RTF_CORPS"}));
  d.FindMergeFields(false);
  EXPECT_EQ(d.MergeFields, (std::vector<std::string>{"NOM", "PRENOM", "ADRESSE", "DATE_DEPOT"}));

  // Filled again, each takes its new value; the same RTF brings nothing new.
  d.BookMarksValues[0] = "Déclaration préalable";
  EXPECT_FALSE(d.InsertBookMarksValues());
  EXPECT_EQ(dump(), "Madame «NOM» «PRENOM»\nDéclaration préalable\nRue «ADRESSE»\nVu «DATE_DEPOT»\n\nSigné «NOM»\n#\n");

  // Value parts: kind, Chr(241), content, joined by Chr(242); a name holding
  // Chr(241) stays whole.
  using kup::Sep241;
  using kup::Sep242;
  d.BookMarksValues = {"TXT" + Sep241() + "A " + Sep242() + "RTF" + Sep241() + "{\\rtf1 B}"};
  d.InsertBookMarksValues();
  EXPECT_NE(dump().find("\nA B\n"), std::string::npos);
  d.BookMarksValues = {"Muñoz"};
  EXPECT_FALSE(d.InsertBookMarksValues());
  EXPECT_NE(dump().find("\nMuñoz\n"), std::string::npos);
}

TEST_F(CourrierTest, TheTwoMergeRoutinesAndTheAttachmentCopy) {
  ApCourrier& d = opened(2);
  d.FindMergeFields(false);
  d.MergeFieldsValues = {"Durand", "Anne", "1 rue Haute"};
  EXPECT_EQ(d.MailMergeOpen(false, false), "");
  EXPECT_EQ(dump(), "Madame Durand Anne\nobjet\nRue 1 rue Haute\ncorps\nSigné Durand\n#\n");
  EXPECT_EQ(word->windowState, 2);
  EXPECT_TRUE(d.FindMergeFields(false));  // the fields stay, showing their values

  d.MergeFieldsValues = {"Martin", "Paul", "2 place Basse"};
  std::string name = d.MailMergeOpen(true, true);
  EXPECT_EQ(name, "lettre.doc");
  EXPECT_FALSE(d.FindMergeFields(false));  // now plain text
  ASSERT_TRUE(t.fs.fileExists("C:\\Temp\\lettre.doc"));
  auto copy = kup::MemoryDocument::fromFile(t.fs.readFile("C:\\Temp\\lettre.doc"));
  EXPECT_EQ(copy.dump(), "Madame Martin Paul\nobjet\nRue 2 place Basse\ncorps\nSigné Martin\n#\n");

  ApCourrier& o = opened(4);
  EXPECT_EQ(o.MailMergeOpen(true, true), "lettre.odt");
  EXPECT_EQ(o.MailMergeMail(true, false), "");
  EXPECT_EQ(word->mailed.size(), 1u);
}

TEST_F(CourrierTest, PrintSaveAndTemporaryTemplate) {
  ApCourrier& d = opened(2);
  t.dialog.answerPrinter("Imprimante 2", 4);
  d.ChoicePrint(*t.app.pf.dialog);
  d.ChoicePrint(*t.app.pf.dialog);  // opened again on that choice, then cancelled
  EXPECT_EQ(t.dialog.shown.back().state.Copies, 4);
  EXPECT_EQ(t.dialog.shown.back().state.PrinterName, "Imprimante 2");
  d.FindMergeFields(false);
  d.MergeFieldsValues = {"Durand"};
  d.MailMergePrint(3, true, false, false);
  ASSERT_EQ(word->printed.size(), 1u);
  EXPECT_EQ(word->printed[0].copies, 4);  // the dialog's, for this printing
  EXPECT_EQ(word->printed[0].printer, "Imprimante 2");
  EXPECT_NE(word->printed[0].text.find("Madame Durand «PRENOM»"), std::string::npos);
  EXPECT_TRUE(word->documents.empty());  // closed after printing

  // Deferred printing: saved under the waiting-letters folder, then closed.
  opened(2);
  t.app.G_RepCourrierAttente = "C:\\Attente";
  t.fs.createFolder("C:\\Attente");
  EXPECT_EQ(d.MailMergeSave("lettre_B_1_C_A.dot", false), "");
  EXPECT_TRUE(t.fs.fileExists("C:\\Attente\\lettre_B_1_C_A.dot"));
  EXPECT_TRUE(word->documents.empty());
  // A name from the request never leaves that folder.
  opened(2);
  EXPECT_EQ(d.MailMergeSave("..\\..\\evil.dot", false), "");
  EXPECT_TRUE(reported("MailMergeSave", 52, "Nom de fichier incorrect : ..\\..\\evil.dot"));
  EXPECT_FALSE(t.fs.fileExists("C:\\evil.dot"));
  EXPECT_EQ(word->documents.size(), 1u);

  // SaveTemp: a random name in TEMP, reopened with its fields.
  t.random.script = {0.25};
  d.InsertText("ajout ", false, nullptr);
  EXPECT_FALSE(d.Saved());
  std::string path = d.SaveTemp();
  EXPECT_EQ(path, "C:\\Temp\\250001.dot");
  EXPECT_TRUE(d.Saved());
  d.CloseDocument(false);
  d.OpenDocument(path);
  EXPECT_EQ(dump(), "ajout Madame «NOM» «PRENOM»\nobjet\nRue «ADRESSE»\ncorps\nSigné «NOM»\n#\n");
  EXPECT_TRUE(d.FindMergeFields(true));
  d.setTypeEditeur(4);
  d.OpenEditor();
  d.OpenDocument(path);
  EXPECT_NE(d.SaveTemp().find(".ott"), std::string::npos);
  EXPECT_EQ(d.OpenedDocumentLength(), 1);
}

// Writes a text library the way the library commands do, then reads it back
// the way the read-back command walks it, through the cursor members only:
// with Word's character offsets and with OpenOffice's position objects.
TEST_F(CourrierTest, CursorMembersWalkALibraryDocument) {
  for (int type : {2, 4}) {
    SCOPED_TRACE(type);
    ApCourrier& d = drv(type);
    d.OpenEditor();
    d.OpenDocument("");
    d.Orientation(2);
    d.InsertTextToTable("Code commune\tModèle");
    d.InsertText("{DEBUT_BIBLE_ARRETE}", true, nullptr);
    d.InsertText("{DEBUT_ARRETE}", true, nullptr);
    d.InsertTextToTable("33001\tM1\tT");
    d.InsertTextRTF("{\\rtf1 Article un\\par Suite \\'e9t\\'e9\\par}", nullptr, false);
    d.InsertText("{DEBUT_ARRETE}", true, nullptr);
    d.InsertTextToTable("33002\tM2\tT");
    d.InsertText("{FIN_BIBLE_ARRETE}", false, nullptr);
    EXPECT_EQ(dump(),
              "|Code commune|Modèle|\n{DEBUT_BIBLE_ARRETE}\n{DEBUT_ARRETE}\n|33001|M1|T|\nArticle un\nSuite été\n"
              "{DEBUT_ARRETE}\n|33002|M2|T|\n{FIN_BIBLE_ARRETE}\n");

    auto readItem = [&](bool first, bool rtf) {
      std::vector<std::string> out;
      if (first) {
        d.UpdateActiveDocument();
        d.GotoStartOfDoc();
        d.SearchWord("{DEBUT_BIBLE_ARRETE}");
        d.GotoEndOfLine();
      }
      d.GotoEndOfLine();
      if (!d.SearchWord("{DEBUT_ARRETE}")) return std::vector<std::string>{"FIN"};
      d.GotoStartOfLine();
      d.GoDown();
      for (int i = 1; i <= 3; ++i) {
        d.SelectCell();
        out.push_back(d.CellTextSelected());
        if (i == 3) {
          d.GoDown();
          d.GotoStartOfLine();
        } else {
          d.GotoNextCell();
        }
      }
      CursorPosition start = d.GetCursorPos()[0];
      if (d.SearchWord("{DEBUT_ARRETE}")) {
        d.GotoStartOfLine();
        d.GoUp();
        d.GotoEndOfLine();
      } else {
        d.SearchWord("{FIN_BIBLE_ARRETE}");
        d.GoUp();
        d.GotoEndOfLine();
      }
      CursorPosition end = d.GetCursorPos()[0];
      if (d.SelectionInTable()) {
        out.push_back("");
      } else {
        d.SetRange(start, end);
        out.push_back(rtf ? d.SelectionToRTF() : d.SelectionToText());
      }
      return out;
    };
    EXPECT_EQ(readItem(true, false), (std::vector<std::string>{"33001", "M1", "T", "Article un\r\nSuite été"}));
    EXPECT_EQ(t.clipboard.getText("text"), "Article un\r\nSuite été");
    EXPECT_EQ(readItem(false, false), (std::vector<std::string>{"33002", "M2", "T", ""}));
    EXPECT_EQ(readItem(false, false), (std::vector<std::string>{"FIN"}));

    // The body read as RTF goes back in as the same paragraphs.
    auto again = readItem(true, true);
    ASSERT_EQ(again.size(), 4u);
    auto body = kup::MemoryDocument::fromRtf(again[3], false);
    EXPECT_EQ(body.dump(), "Article un\nSuite été\n");
    EXPECT_EQ(word->active()->orientation, 2);

    // A position of the other kind is refused, as the word processor would.
    EXPECT_EQ(d.GetCursorPos()[0].isObject(), type == 4);
    CursorPosition other;
    if (type != 4) other.object = std::make_shared<long>(0);
    d.SetRange(other, other);
    EXPECT_TRUE(reported("SetRange", 13, "Incompatibilité de type"));
    t.flash.clear();
  }
}

TEST_F(CourrierTest, MapPlaceholdersAreFoundAndReplacedWithWordOnly) {
  ApCourrier& d = opened(2);
  kup::StrArray n, id, w, h, s;
  EXPECT_TRUE(d.trouverFusionObject(n, id, w, h, s));
  EXPECT_EQ(n, kup::StrArray{"CARTE1"});
  EXPECT_EQ(id, kup::StrArray{"ID7"});
  EXPECT_EQ(w, kup::StrArray{"800"});
  EXPECT_EQ(h, kup::StrArray{"600"});
  EXPECT_EQ(s, kup::StrArray{"1000"});
  EXPECT_TRUE(d.remplacerFusionObject({"CARTE1"}, {"IMG42"}, {"810"}, {"610"}, {"2000"}));
  EXPECT_FALSE(d.trouverFusionObject(n, id, w, h, s));
  auto pictures = word->active()->fieldsOf(kup::MemoryDocument::FieldKind::Picture);
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0]->picture.identifier, "IMG42");

  ApCourrier& o = opened(4);
  EXPECT_FALSE(o.trouverFusionObject(n, id, w, h, s));
  EXPECT_TRUE(n.empty());
}

TEST_F(CourrierTest, ChoiceFileOpensOnTheTemplateRoot) {
  ApCourrier& d = drv(2);
  t.app.G_RepModele = "C:\\Modeles";
  t.dialog.answerFile("C:\\Modeles\\lettre.dot");
  EXPECT_EQ(d.ChoiceFile(*t.app.pf.dialog), "C:\\Modeles\\lettre.dot");
  EXPECT_EQ(t.dialog.shown.back().state.InitDir, "C:\\Modeles");
  EXPECT_NE(t.dialog.shown.back().state.Filter.find("*.dot;*.dotx"), std::string::npos);
  t.dialog.answerCancel();
  EXPECT_EQ(d.ChoiceFile(*t.app.pf.dialog), "");
  EXPECT_TRUE(errors().empty());
}

TEST_F(CourrierTest, SubstitutionGoesThroughTheCatalogueLookups) {
  ApCourrier& d = drv(2);
  d.OpenEditor();
  d.OpenDocument("");
  d.InsertTextRTF(R"({\rtf1 {\field{\*\fldinst MERGEFIELD ADR}} {\field{\*\fldinst MERGEFIELD NOMV2}} )"
                  R"({\field{\*\fldinst MERGEFIELD INCONNU}} {\*\bkmkstart SIGV2}x{\*\bkmkend SIGV2}})",
                  nullptr, false);
  // Stand-ins for the catalogue objects: the lookups below never look inside them.
  alignas(8) char cat[8], eq[8], err[8];
  auto* catalogue = reinterpret_cast<kup::Catal_V3*>(cat);
  auto* equivalences = reinterpret_cast<kup::Equivalence_V3*>(eq);
  auto* collector = reinterpret_cast<kup::ErreurTxt*>(err);
  std::vector<std::string> rows;
  auto& lk = d.equivalenceLookups;
  lk.sNomVariableV3 = [](std::string& n, const std::string& code, kup::Equivalence_V3&) {
    if (n == "ADR" || n == "NOMV2") return n + "_" + code;
    return std::string();
  };
  lk.vNomsEquivalence = [](const std::string& key, kup::Equivalence_V3&) {
    return key == "ADR_AA" ? std::vector<std::string>{"ADR_NUM", "ADR_VOIE"} : std::vector<std::string>{"NOM_V3", "X"};
  };
  lk.sModeEquivalence = [](const std::string& key, kup::Equivalence_V3&) { return key == "ADR_AA" ? "c" : "r"; };
  lk.signetEquivalent = [](const std::string& n, kup::Equivalence_V3&) { return n == "SIGV2" ? "SIG_V3" : ""; };
  lk.erreurChargement = [&](kup::ErreurTxt&, const std::string& row) { rows.push_back(row); };

  d.SubstituteMergeFieldsDocument("AA", catalogue, equivalences, collector);
  d.SubstituteBookMarks(equivalences, collector);
  d.FindMergeFields(false);
  EXPECT_EQ(d.MergeFields, (std::vector<std::string>{"ADR_NUM", "ADR_VOIE", "NOM_V3", "INCONNU"}));
  d.FindBookMarks();
  EXPECT_EQ(d.BookMarks, (std::vector<std::string>{"SIG_V3"}));
  EXPECT_EQ(rows, (std::vector<std::string>{"0;INCONNU;AA;champ de fusion sans équivalence V3"}));

  // Without the lookups the member says so and changes nothing.
  d.equivalenceLookups = {};
  d.SubstituteMergeFieldsDocument("AA", catalogue, equivalences, collector);
  EXPECT_TRUE(reported("SubstituteMergeFieldsDocument", 91, "Le catalogue V3 et ses équivalences ne sont pas disponibles"));
}

}  // namespace

// Callers tell a failed member from an empty answer by the failure count:
// it follows the reports, and what is not reported does not count.
TEST_F(CourrierTest, FailureCountFollowsTheReports) {
  ApCourrier& d = drv(2);
  EXPECT_EQ(d.Echecs(), 0);
  d.GotoStartOfDoc();  // nothing connected
  EXPECT_EQ(d.Echecs(), 1);
  d.setTypeEditeur(9);
  d.OpenEditor();  // unknown type
  EXPECT_EQ(d.Echecs(), 2);

  opened(2);
  d.SelectionToText();  // an empty selection is an answer
  d.ChoicePrint(*t.app.pf.dialog);  // cancelled by the user
  EXPECT_EQ(d.Echecs(), 2);
  word->userCloses(word->active());
  d.SelectionToText();  // the twin fails
  EXPECT_EQ(d.Echecs(), 3);
  d.CloseEditor();
  d.CloseDocument(true);  // nothing connected: silent
  EXPECT_FALSE(d.UpdateActiveDocument());
  EXPECT_FALSE(d.EditeurToujoursOuvert());
  EXPECT_EQ(d.Echecs(), 3);
  EXPECT_EQ(errors().size(), 3u);
}
