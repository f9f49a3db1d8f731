// Reading a text library back item by item, with the character offsets of
// the Word editor types and the position objects of OpenOffice.
#include <gtest/gtest.h>

#include "tests/documents/Bible_TestOutils.h"

using namespace kup;
using namespace bible_test;

namespace {

// An article library of three items: a two-paragraph body, an empty body
// and a last body without a final paragraph mark; one null field.
void EcrireArticles(Bible& b) {
  b.requete({"KUP_BibleInitialiser"});
  b.requete({"KUP_ArticleEditerDebut"});
  Req premier = Champs("a", 9);
  premier[2] = std::nullopt;
  b.article(premier, std::string("{\\rtf1 Vu le code\\par Article 2\\par}"));
  b.article(Champs("b", 9), std::string(""));
  b.article(Champs("c", 9), std::string("{\\rtf1 Dernier}"));
  b.requete({"KUP_ArticleEditerFin"});
}

// The end answer: the name and count empty slots.
V Fin(size_t count) {
  V r(count + 1);
  r[0] = "KUP_IntegrerFin";
  return r;
}

V Cellules(const V& r, size_t n) { return V(r.begin() + 1, r.begin() + 1 + static_cast<long>(n)); }

}  // namespace

class Bible_RelectureTypes : public ::testing::TestWithParam<int> {};

TEST_P(Bible_RelectureTypes, WholeArticleLibraryReadBack) {
  Bible b(GetParam());
  EcrireArticles(b);

  V r = b.requete({"KUP_ArticleIntegrer"});
  ASSERT_EQ(r.size(), 13u);
  EXPECT_EQ(r[0], "KUP_ArticleIntegrer");
  EXPECT_EQ(Cellules(r, 9), (V{"a1", "a2", "", "a4", "a5", "a6", "a7", "a8", "a9"}));
  EXPECT_EQ(Montre(r[10]), "Vu le code\nArticle 2\n");
  EXPECT_EQ(r[11], "");
  EXPECT_EQ(r[12], "");

  r = b.requete({"KUP_ArticleIntegrerSuivant"});
  ASSERT_EQ(r.size(), 13u);
  EXPECT_EQ(r[0], "KUP_ArticleIntegrerSuivant");
  EXPECT_EQ(Cellules(r, 9), (V{"b1", "b2", "b3", "b4", "b5", "b6", "b7", "b8", "b9"}));
  EXPECT_EQ(r[10], "");  // no body: not the text of the cells

  r = b.requete({"KUP_ArticleIntegrerSuivant"});
  EXPECT_EQ(r[1], "c1");
  EXPECT_EQ(Montre(r[10]), "Dernier\n");  // ends on the line above the end marker

  r = b.requete({"KUP_ArticleIntegrerSuivant"});
  EXPECT_EQ(r, Fin(12));  // every slot but the name empty
  EXPECT_EQ(b.requete({"KUP_ArticleIntegrerSuivant"})[0], "KUP_IntegrerFin");

  // The first-item command starts over whatever happened before.
  EXPECT_EQ(b.requete({"KUP_ArticleIntegrer"})[1], "a1");
  EXPECT_EQ(b.requete({"KUP_ArticleIntegrer"})[1], "a1");
  EXPECT_TRUE(b.erreurs().empty());
}

TEST_P(Bible_RelectureTypes, PieceLibraryReadBack) {
  Bible b(GetParam());
  b.requete({"KUP_BibleInitialiser"});
  b.requete({"KUP_PieceEditerDebut"});
  b.piece(Champs("p", 7), std::string("Pièce une\r\nligne deux"));
  b.piece(Champs("q", 7), std::string(""));
  b.requete({"KUP_PieceEditerFin"});

  V r = b.requete({"KUP_PieceIntegrer"});
  ASSERT_EQ(r.size(), 11u);
  EXPECT_EQ(r[0], "KUP_PieceIntegrer");
  EXPECT_EQ(Cellules(r, 7), (V{"p1", "p2", "p3", "p4", "p5", "p6", "p7"}));
  EXPECT_EQ(r[8], "Pièce une\r\nligne deux");
  EXPECT_EQ(r[9], "");
  EXPECT_EQ(r[10], "");
  r = b.requete({"KUP_PieceIntegrerSuivante"});
  EXPECT_EQ(r[0], "KUP_PieceIntegrerSuivante");
  EXPECT_EQ(r[7], "q7");
  EXPECT_EQ(r[8], "");
  r = b.requete({"KUP_PieceIntegrerSuivante"});
  EXPECT_EQ(r, Fin(10));
}

TEST_P(Bible_RelectureTypes, ArticlesReadBackAndWrittenAgainKeepTheirBodies) {
  Bible b(GetParam());
  EcrireArticles(b);
  std::vector<V> items{b.requete({"KUP_ArticleIntegrer"})};
  for (V r; (r = b.requete({"KUP_ArticleIntegrerSuivant"}))[0] != "KUP_IntegrerFin";) items.push_back(r);
  ASSERT_EQ(items.size(), 3u);

  Bible c(GetParam());
  c.requete({"KUP_BibleInitialiser"});
  c.requete({"KUP_ArticleEditerDebut"});
  for (const auto& it : items) {
    Req champs(it.begin() + 1, it.begin() + 10);
    c.article(champs, it[10]);
  }
  c.requete({"KUP_ArticleEditerFin"});
  EXPECT_EQ(c.texte(), b.texte());
}

TEST_P(Bible_RelectureTypes, EmptyLibraryAndOtherKind) {
  Bible b(GetParam());
  b.requete({"KUP_BibleInitialiser"});
  b.requete({"KUP_ArticleEditerDebut"});
  b.requete({"KUP_ArticleEditerFin"});
  EXPECT_EQ(b.requete({"KUP_ArticleIntegrer"}), Fin(12));
  V r = b.requete({"KUP_PieceIntegrer"});
  EXPECT_EQ(r, Fin(10));
  EXPECT_TRUE(b.erreurs().empty());
}

TEST_P(Bible_RelectureTypes, BlanksAreTrimmedAndTheCursorIsTheReadingPoint) {
  Bible b(GetParam());
  b.requete({"KUP_BibleInitialiser"});
  b.requete({"KUP_PieceEditerDebut"});
  Req champs = Champs("p", 7);
  champs[0] = std::string("  p1  ");
  EXPECT_EQ(b.piece(champs, std::string("  corps  "))[1], "p1");
  b.piece(Champs("q", 7), std::string("second"));
  b.requete({"KUP_PieceEditerFin"});

  V r = b.requete({"KUP_PieceIntegrer"});
  EXPECT_EQ(r[1], "p1");
  EXPECT_EQ(r[8], "corps");
  // Moved back to the top, the next-item command starts over.
  G_Courrier(b.t.app).GotoStartOfDoc();
  r = b.requete({"KUP_PieceIntegrerSuivante"});
  EXPECT_EQ(r[0], "KUP_PieceIntegrerSuivante");
  EXPECT_EQ(r[2], "p2");
  EXPECT_EQ(b.requete({"KUP_PieceIntegrerSuivante"})[1], "q1");
  EXPECT_TRUE(b.erreurs().empty());
}

INSTANTIATE_TEST_SUITE_P(TypesEditeur, Bible_RelectureTypes, ::testing::Values(2, 4));

TEST(Bible_Relecture, FailuresAnswerNothing) {
  // The library document closed by the user.
  Bible b(4);
  EcrireArticles(b);
  b.requete({"KUP_ArticleIntegrer"});
  b.word->userCloses(b.document());
  EXPECT_FALSE(b.envoyer({"KUP_ArticleIntegrerSuivant"}));
  ASSERT_EQ(b.erreurs().size(), 1u);
  EXPECT_EQ(b.erreurs()[0][0], "KUP_BibleArticlePieceIntegrer");

  // The word processor quit.
  Bible q;
  EcrireArticles(q);
  q.word->userQuits();
  EXPECT_FALSE(q.envoyer({"KUP_ArticleIntegrer"}));
  ASSERT_EQ(q.erreurs().size(), 1u);
  EXPECT_EQ(q.erreurs()[0], (V{"KUP_BibleArticlePieceIntegrer", "462",
                               "L'éditeur a été fermé, impossible de continuer"}));

  // The end marker deleted: the last body has no end.
  Bible f;
  f.requete({"KUP_BibleInitialiser"});
  f.requete({"KUP_ArticleEditerDebut"});
  f.article(Champs("a", 9), std::string("{\\rtf1 Corps\\par}"));
  EXPECT_FALSE(f.envoyer({"KUP_ArticleIntegrer"}));
  ASSERT_EQ(f.erreurs().size(), 1u);
  EXPECT_EQ(f.erreurs()[0][0], "KUP_BibleArticlePieceIntegrer");
  EXPECT_NE(f.erreurs()[0][2].find("{FIN_BIBLE_ARRETE}"), std::string::npos);

  // An item marker whose row table was deleted.
  Bible t;
  t.t.fs.put("C:\\Bible\\abimee.rtf",
             "{\\rtf1 \\{DEBUT_BIBLE_ARRETE\\}\\par \\{DEBUT_ARRETE\\}\\par Corps\\par \\{FIN_BIBLE_ARRETE\\}\\par}");
  G_Courrier(t.t.app).OpenEditor();
  G_Courrier(t.t.app).OpenDocument("C:\\Bible\\abimee.rtf");
  EXPECT_FALSE(t.envoyer({"KUP_ArticleIntegrer"}));
  ASSERT_EQ(t.erreurs().size(), 1u);
  EXPECT_EQ(t.erreurs()[0][0], "KUP_BibleArticlePieceIntegrer");
}

namespace {

// A word processor whose chosen member fails on its n-th call: once, or
// because the user closed the document just before.
struct Panne {
  std::string membre;
  int appel = 1;
  bool fermer = false;
};

class MemoryWordEnPanne : public MemoryWord {
 public:
  MemoryWordEnPanne(App& app, int type, std::shared_ptr<MemoryWordApp> etat, std::shared_ptr<Panne> panne)
      : MemoryWord(app, type, std::move(etat)), panne_(std::move(panne)) {}

  bool searchWord(const std::string& t) override { return (verifier("searchWord"), MemoryWord::searchWord(t)); }
  std::string cellTextSelected() override { return (verifier("cellTextSelected"), MemoryWord::cellTextSelected()); }
  std::string selectionRtf() override { return (verifier("selectionRtf"), MemoryWord::selectionRtf()); }
  std::string selectionText() override { return (verifier("selectionText"), MemoryWord::selectionText()); }

 private:
  void verifier(const std::string& membre) {
    if (membre != panne_->membre || --panne_->appel != 0) return;
    if (!panne_->fermer) throw VbError(5, "Panne de " + membre);
    state().userCloses(document());
  }
  std::shared_ptr<Panne> panne_;
};

struct BibleEnPanne : Bible {
  std::shared_ptr<Panne> panne = std::make_shared<Panne>();
  explicit BibleEnPanne(int type = 2) : Bible(type) {
    G_Courrier(t.app).twinFactory = [etat = word, p = panne](App& app, int type) {
      return std::make_unique<MemoryWordEnPanne>(app, type, etat, p);
    };
  }
  // Arms the failure and empties the calls seen so far.
  void echouer(const std::string& membre, int appel, bool fermer = false) {
    *panne = {membre, appel, fermer};
    t.flash.clear();
  }
};

}  // namespace

TEST(Bible_Relecture, FailedDriverCallAnswersNothing) {
  // The user closes the library document while the body is being copied:
  // the driver reports it, and no item with an empty body is answered.
  BibleEnPanne b;
  EcrireArticles(b);
  b.echouer("selectionRtf", 1, true);
  EXPECT_FALSE(b.envoyer({"KUP_ArticleIntegrer"}));
  ASSERT_EQ(b.erreurs().size(), 1u);
  EXPECT_EQ(b.erreurs()[0][0], "SelectionToRTF");

  // A failed search for the next item is not the end of the library.
  BibleEnPanne s(4);
  EcrireArticles(s);
  s.echouer("searchWord", 2);  // after the begin marker
  EXPECT_FALSE(s.envoyer({"KUP_ArticleIntegrer"}));
  ASSERT_EQ(s.erreurs().size(), 1u);
  EXPECT_EQ(s.erreurs()[0][0], "SearchWord");
  // The failure was the call's own: the next read goes on normally.
  EXPECT_EQ(s.requete({"KUP_ArticleIntegrer"})[1], "a1");

  // A cell that could not be read: one report, from the driver, and no
  // second one from the reader for what it then failed to find.
  BibleEnPanne c;
  EcrireArticles(c);
  c.echouer("cellTextSelected", 3);
  EXPECT_FALSE(c.envoyer({"KUP_ArticleIntegrer"}));
  ASSERT_EQ(c.erreurs().size(), 1u);
  EXPECT_EQ(c.erreurs()[0][0], "CellTextSelected");
  c.echouer("cellTextSelected", 1, true);
  EXPECT_FALSE(c.envoyer({"KUP_ArticleIntegrerSuivant"}));
  ASSERT_FALSE(c.erreurs().empty());
  EXPECT_EQ(c.erreurs()[0][0], "CellTextSelected");
  for (const auto& e : c.erreurs()) EXPECT_NE(e[0], "KUP_BibleArticlePieceIntegrer");

  // Pieces: the plain-text body.
  BibleEnPanne p;
  p.requete({"KUP_BibleInitialiser"});
  p.requete({"KUP_PieceEditerDebut"});
  p.piece(Champs("p", 7), std::string("corps"));
  p.requete({"KUP_PieceEditerFin"});
  p.echouer("selectionText", 1);
  EXPECT_FALSE(p.envoyer({"KUP_PieceIntegrer"}));
  ASSERT_EQ(p.erreurs().size(), 1u);
  EXPECT_EQ(p.erreurs()[0][0], "SelectionToText");
}

TEST(Bible_Echange, FailedSelectionCopyAnswersNothing) {
  BibleEnPanne b(4);
  b.requete({"KUP_BibleInitialiser"});
  b.envoyer({"KUP_BibleInsererTexte", "Bonjour"});
  b.echouer("selectionText", 1);
  EXPECT_FALSE(b.envoyer({"KUP_BibleRecupererTexte"}));
  ASSERT_EQ(b.erreurs().size(), 1u);
  EXPECT_EQ(b.erreurs()[0][0], "SelectionToText");
  b.echouer("selectionRtf", 1, true);
  EXPECT_FALSE(b.envoyer({"KUP_BibleRecupererRTF"}));
  ASSERT_EQ(b.erreurs().size(), 1u);
  EXPECT_EQ(b.erreurs()[0][0], "SelectionToRTF");
}
