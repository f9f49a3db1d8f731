// Standard texts inserted at the cursor of the open decree: RTF, plain text
// and a whole saved decree; a closed decree refuses them all.
#include <gtest/gtest.h>

#include "tests/documents/Arrete_TestOutils.h"

using namespace kup;
using arrete_test::Arrete;
using arrete_test::kFerme;
using arrete_test::V;

TEST(Arrete_Insertion, EachKindGoesInAtTheCursorWithoutAnswer) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\vide.dot"});
  a.requete({"KUP_ArreteInsererTexte", "Texte simple. "});
  EXPECT_FALSE(a.repondu());
  a.requete({"KUP_ArreteInsererRTF", "{\\rtf1 Article {\\field{\\*\\fldinst MERGEFIELD DATE}{\\fldrslt }}. }"});
  // Not RTF: inserted as it is.
  a.requete({"KUP_ArreteInsererRTF", "Pas du RTF. "});
  a.requete({"KUP_ArreteInsererArrete", arrete_test::B64("type.dot", "{\\rtf1 Vu le plan.}")});
  EXPECT_FALSE(a.repondu());
  EXPECT_EQ(a.texte(), "Texte simple. Article «DATE». Pas du RTF. Vu le plan.Vu le code.\n");
  EXPECT_EQ(a.word->active()->fieldsOf(MemoryDocument::FieldKind::Merge).size(), 1u);
  EXPECT_TRUE(a.t.fs.fileExists("C:\\Temp\\type.dot"));  // left in the temporary folder
  EXPECT_TRUE(a.erreurs().empty());
}

TEST(Arrete_Insertion, OnlyOneNonEmptyTextIsInserted) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\vide.dot"});
  const std::string avant = a.texte();
  a.requete({"KUP_ArreteInsererTexte", ""});
  a.requete({"KUP_ArreteInsererTexte", "un", "deux"});
  a.requete({"KUP_ArreteInsererRTF", ""});
  a.requete({"KUP_ArreteInsererArrete", ""});
  Args nul{Value::null()};
  KUP_ArreteInsererTexte(a.t.app, nul);
  KUP_ArreteInsererRTF(a.t.app, nul);
  EXPECT_EQ(a.texte(), avant);
  EXPECT_TRUE(a.erreurs().empty());
  // Without any argument the command name is the text.
  a.requete({"KUP_ArreteInsererTexte"});
  EXPECT_EQ(a.texte(), "KUP_ArreteInsererTexteVu le code.\n");

  // A saved decree the library cannot decode inserts nothing and says so.
  a.requete({"KUP_ArreteInsererArrete", "AAAA"});
  ASSERT_EQ(a.erreurs().size(), 1u);
  EXPECT_EQ(a.erreurs()[0][0], "KUP_ArreteInsererArrete");
}

TEST(Arrete_Insertion, ClosedDecreeIsReportedEvenForAnEmptyText) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\vide.dot"});
  a.word->userCloses(a.word->active());
  a.requete({"KUP_ArreteRelancerFusion"});  // finds it closed
  ASSERT_FALSE(a.courrier().G_AccesDocument);
  for (const char* commande : {"KUP_ArreteInsererRTF", "KUP_ArreteInsererTexte", "KUP_ArreteInsererArrete"}) {
    a.requete({commande, ""});
    EXPECT_FALSE(a.repondu());
    EXPECT_EQ(a.erreurs(), (std::vector<V>{kFerme})) << commande;
  }
  a.requete({"KUP_ArreteInsererArrete", arrete_test::B64("type.dot", "{\\rtf1 Vu.}")});
  EXPECT_FALSE(a.t.fs.fileExists("C:\\Temp\\type.dot"));  // nothing decoded either
}
