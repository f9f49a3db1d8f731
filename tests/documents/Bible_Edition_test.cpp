// Writing a text library into the word processor: the document's layout,
// the echoed replies and the closed word processor.
#include <gtest/gtest.h>

#include "tests/documents/Bible_TestOutils.h"

using namespace kup;
using namespace bible_test;

namespace {
const char* kEnteteArticles = "|Code commune|Modèle|Type|Code|Thème|Titre|Décision|\n";
const char* kEntetePieces = "|ID1|ID2|Code commune|Modèle|Type|Nom|Défaut|\n";
}  // namespace

TEST(Bible_Edition, ArticleLibraryLayoutAndReplies) {
  Bible b;
  EXPECT_FALSE(b.envoyer({"KUP_BibleInitialiser"}));  // answers nothing
  EXPECT_EQ(b.word->windowState, 2);
  EXPECT_EQ(b.requete({"KUP_ArticleEditerDebut"}), (V{"KUP_ArticleEditerDebut", "", ""}));
  EXPECT_EQ(b.document()->orientation, 2);
  EXPECT_EQ(b.word->windowState, 2);  // unlike the piece library, not minimised

  Req champs = Champs("a", 9);
  champs[4] = std::nullopt;  // a null field: an empty cell, an empty echo
  V r = b.article(champs, std::string("{\\rtf1 Vu le code\\par Article 2\\par}"));
  EXPECT_EQ(r, (V{"KUP_ArticleEditer", "a1", "a2", "a3", "a4", "", "a6", "a7", "a8", "a9", "", ""}));
  r = b.article(Champs("b", 9), std::string("Texte brut"));
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[10], "");

  EXPECT_EQ(b.requete({"KUP_ArticleEditerFin", "x", "y"}), (V{"KUP_ArticleEditerFin", "x", "", ""}));
  EXPECT_EQ(b.word->windowState, 2);
  EXPECT_TRUE(b.word->zoomWholePage);
  // Every marker on a line of its own, even after a body that does not end
  // its last paragraph.
  EXPECT_EQ(b.texte(), std::string(kEnteteArticles) +
                           "{DEBUT_BIBLE_ARRETE}\n"
                           "{DEBUT_ARRETE}\n|a1|a2|a3|a4||a6|a7|a8|a9|\nVu le code\nArticle 2\n"
                           "{DEBUT_ARRETE}\n|b1|b2|b3|b4|b5|b6|b7|b8|b9|\nTexte brut\n"
                           "{FIN_BIBLE_ARRETE}\n");
  EXPECT_TRUE(b.erreurs().empty());
}

TEST(Bible_Edition, PieceLibraryLayoutEmptyLibraryAndTabsInFields) {
  Bible b;
  b.requete({"KUP_BibleInitialiser"});
  EXPECT_EQ(b.requete({"KUP_PieceEditerDebut", "p"}), (V{"KUP_PieceEditerDebut", "", ""}));
  EXPECT_EQ(b.word->windowState, 1);  // minimised while it is written
  Req champs = Champs("p", 7);
  champs[5] = std::string("Nom\tavec tabulation");
  EXPECT_EQ(b.piece(champs, std::string("Ligne un\r\nLigne deux")).size(), 10u);
  b.piece(Champs("q", 7), std::string(""));
  b.requete({"KUP_PieceEditerFin"});
  EXPECT_EQ(b.texte(), std::string(kEntetePieces) +
                           "{DEBUT_BIBLE_PIECE}\n"
                           "{DEBUT_PIECE}\n|p1|p2|p3|p4|p5|Nom avec tabulation|p7|\nLigne un\nLigne deux\n"
                           "{DEBUT_PIECE}\n|q1|q2|q3|q4|q5|q6|q7|\n\n"
                           "{FIN_BIBLE_PIECE}\n");

  // A library without items: header, begin and end markers.
  Bible vide;
  vide.requete({"KUP_BibleInitialiser"});
  vide.requete({"KUP_ArticleEditerDebut"});
  vide.requete({"KUP_ArticleEditerFin"});
  EXPECT_EQ(vide.texte(), std::string(kEnteteArticles) + "{DEBUT_BIBLE_ARRETE}\n{FIN_BIBLE_ARRETE}\n");
}

TEST(Bible_Edition, RtfBodiesEndingTheirParagraphGetNoExtraLine) {
  struct Cas {
    std::string corps, montre;
  } cas[] = {
      {"{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Un\\par}", "Un\n"},
      {"{\\rtf1 Un\\par\\pard\\plain\\f0 }", "Un\n"},
      {"{\\rtf1 Un\\par{\\*\\datastore 0105000002000000}}\r\n", "Un\n"},
      {"{\\rtf1 Un\\line}", "Un\n"},
      {"{\\rtf1 Un\\par Deux \\'e9}", "Un\nDeux é\n"},
      {"{\\rtf1 Un{\\field{\\*\\fldinst MERGEFIELD X}{\\fldrslt Valeur}}}", "UnValeur\n"},
      {"{\\rtf1 Un\\par\\{}", "Un\n{\n"},
      {"{\\rtf1 }", ""},
  };
  for (const auto& c : cas) {
    Bible b;
    b.requete({"KUP_BibleInitialiser"});
    b.requete({"KUP_ArticleEditerDebut"});
    b.article(Champs("a", 9), c.corps);
    b.requete({"KUP_ArticleEditerFin"});
    std::string texte = b.texte();
    std::string corps = texte.substr(texte.find("a9|\n") + 4);
    EXPECT_EQ(corps, c.montre + "{FIN_BIBLE_ARRETE}\n") << c.corps;
  }
}

TEST(Bible_Edition, ClosedWordProcessorOrDocument) {
  Bible b;
  // Never connected: the piece library does not connect by itself.
  EXPECT_EQ(b.requete({"KUP_PieceEditerDebut"}),
            (V{"KUP_PieceEditerDebut", "-1", "L'éditeur a été fermé, impossible de continuer"}));

  b.requete({"KUP_BibleInitialiser"});
  b.requete({"KUP_ArticleEditerDebut"});
  std::string avant = b.texte();
  auto document = b.document();
  b.word->userQuits();
  V r = b.article(Champs("a", 9), std::string("{\\rtf1 Corps\\par}"));
  EXPECT_EQ(r, (V{"KUP_ArticleEditer", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "-1",
                  "L'éditeur a été fermé, impossible de continuer"}));
  EXPECT_EQ(document->dump(), avant);
  EXPECT_EQ(b.piece(Champs("p", 7), std::string("x"))[8], "-1");
  EXPECT_TRUE(b.erreurs().empty());
  // The end command cannot write its marker: no reply rather than success.
  EXPECT_FALSE(b.envoyer({"KUP_ArticleEditerFin"}));
  ASSERT_EQ(b.erreurs().size(), 1u);
  EXPECT_EQ(b.erreurs()[0][0], "KUP_ArticleEditerFin");

  // No word processor for the editor type: the article library cannot
  // connect and answers the closed status after the driver's own report.
  Bible u(7);
  EXPECT_EQ(u.requete({"KUP_ArticleEditerDebut", "x", "y"}),
            (V{"KUP_ArticleEditerDebut", "x", "-1", "L'éditeur a été fermé, impossible de continuer"}));
  ASSERT_EQ(u.erreurs().size(), 1u);
  EXPECT_EQ(u.erreurs()[0][0], "OpenEditor");

  // The word processor still runs but the library document was closed.
  Bible c;
  c.requete({"KUP_BibleInitialiser"});
  c.requete({"KUP_ArticleEditerDebut"});
  c.word->userCloses(c.document());
  EXPECT_FALSE(c.envoyer({"KUP_ArticleEditer", "a", "b"}));
  ASSERT_FALSE(c.erreurs().empty());
  EXPECT_EQ(c.erreurs().back()[0], "KUP_ArticleEditer");
}

TEST(Bible_Edition, NullBodyIsReportedAndTheItemAnswered) {
  Bible b;
  b.requete({"KUP_BibleInitialiser"});
  b.requete({"KUP_PieceEditerDebut"});
  V r = b.piece(Champs("p", 7), std::nullopt);
  EXPECT_EQ(r, (V{"KUP_PieceEditer", "p1", "p2", "p3", "p4", "p5", "p6", "p7", "", ""}));
  ASSERT_EQ(b.erreurs().size(), 1u);
  EXPECT_EQ(b.erreurs()[0], (V{"KUP_BibleArticlePieceEditer", "94", b.erreurs()[0][2]}));
  // The marker and the row stay; the next item follows them directly.
  b.piece(Champs("q", 7), std::string("Corps"));
  b.requete({"KUP_PieceEditerFin"});
  EXPECT_NE(b.texte().find("{DEBUT_PIECE}\n|p1|p2|p3|p4|p5|p6|p7|\n{DEBUT_PIECE}\n|q1|"), std::string::npos);
}
