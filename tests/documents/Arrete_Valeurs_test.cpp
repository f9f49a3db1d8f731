// The values of an open decree: merge and show, print, save as compressed
// base64 and load again, the names asked for again after included texts or
// RTF values, the printed flag and closing without saving.
#include <gtest/gtest.h>

#include "tests/documents/Arrete_TestOutils.h"

using namespace kup;
using arrete_test::Arrete;
using arrete_test::kFerme;
using arrete_test::V;

namespace {

const std::string kNoms = "KUP_ArreteValeursChampsSignets";

size_t ChampsRestants(Arrete& a) {
  return a.word->active() ? a.word->active()->fieldsOf(MemoryDocument::FieldKind::Merge).size() : 0;
}

}  // namespace

TEST(Arrete_Valeurs, OpenEchoesAllButTheLastArgumentAndFollowsTheMergeChoice) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  auto r = a.requete({"KUP_ArreteOuvrir", "Durand", "le code", "fin"});
  EXPECT_EQ(r, (V{"KUP_ArreteOuvrir", "Durand", "le code", "", ""}));
  EXPECT_NE(a.texte().find("Arrete de Durand"), std::string::npos) << a.texte();
  EXPECT_NE(a.texte().find("Vu : le code"), std::string::npos) << a.texte();
  EXPECT_EQ(a.word->windowState, 2);
  EXPECT_EQ(ChampsRestants(a), 1u);  // no setting: the fields stay for the next values

  a.t.app.G_TypeFusionArrete = "1";
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  r = a.requete({"KUP_ArreteOuvrir", "Martin", ""});
  EXPECT_EQ(r, (V{"KUP_ArreteOuvrir", "Martin", "", ""}));
  EXPECT_EQ(ChampsRestants(a), 0u);
  EXPECT_TRUE(a.erreurs().empty());

  // Empty value arguments are empty lists for the driver.
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  a.requete({"KUP_ArreteOuvrir", "", ""});
  EXPECT_TRUE(a.courrier().MergeFieldsValues.empty());
  EXPECT_TRUE(a.courrier().BookMarksValues.empty());

  // A setting that is no Boolean fails on the merging path only; one value
  // argument fails on reading the second.
  a.t.app.G_TypeFusionArrete = "peut-être";
  for (const V& demande : {V{"KUP_ArreteOuvrir", "x", ""}, V{"KUP_ArreteImprimer", "x", ""}, V{"KUP_ArreteOuvrir", "x"}}) {
    a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
    a.requete(demande);
    EXPECT_FALSE(a.repondu());
    ASSERT_FALSE(a.erreurs().empty());
    EXPECT_EQ(a.erreurs()[0][0], demande[0]);
    EXPECT_EQ(a.erreurs()[0][1], demande.size() == 2 ? "9" : "13");
  }
  EXPECT_TRUE(a.word->printed.empty());
}

TEST(Arrete_Valeurs, IncludedTextsAndRtfValuesAskForTheNamesAgain) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\inclus.dot"});
  auto r = a.requete({"KUP_ArreteOuvrir", "1 rue Haute", ""});
  EXPECT_EQ(r, (V{kNoms, "NOM" + Sep240() + "ADRESSE", "", "", ""}));
  EXPECT_FALSE(a.courrier().G_MergeFieldIncludeText);
  EXPECT_EQ(a.word->windowState, 1);  // nothing merged nor shown
  r = a.requete({"KUP_ArreteOuvrir", "Durand" + Sep240() + "1 rue Haute", ""});
  EXPECT_EQ(r, (V{"KUP_ArreteOuvrir", "Durand" + Sep240() + "1 rue Haute", "", ""}));

  // An RTF value in an S_RTF bookmark: new names, nothing printed, yet the
  // decree counts as printed.
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\riche.dot"});
  r = a.requete({"KUP_ArreteImprimer", "Durand",
                 "{\\rtf1 Article 1 : {\\field{\\*\\fldinst MERGEFIELD DATE}{\\fldrslt }}}"});
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0], kNoms);
  EXPECT_EQ(r[1], "NOM" + Sep240() + "DATE");
  EXPECT_TRUE(a.word->printed.empty());
  EXPECT_TRUE(a.docs().arreteImprime);

  r = a.requete({"KUP_ArreteImprimer", "Durand" + Sep240() + "12/03/2026", "{\\rtf1 Article 1 : {\\field{\\*\\fldinst MERGEFIELD DATE}{\\fldrslt }}}"});
  EXPECT_EQ(r, (V{"", "", "", "", ""}));
  ASSERT_EQ(a.word->printed.size(), 1u);
  EXPECT_EQ(a.word->printed[0].copies, 1);
  EXPECT_TRUE(a.word->printed[0].dialog);
  EXPECT_NE(a.word->printed[0].text.find("Article 1 : 12/03/2026"), std::string::npos);
  ASSERT_TRUE(a.word->active());  // still open, shown
  EXPECT_EQ(a.word->active()->baseName, "riche");
  EXPECT_EQ(a.word->windowState, 2);
}

TEST(Arrete_Valeurs, SavedDecreeTravelsBackAndOpensTheSame) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  a.docs().arreteImprime = true;
  auto r = a.requete({"KUP_ArreteSauver", "Durand", "le code"});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_ArreteSauver");
  EXPECT_EQ((V{r[2], r[3]}), (V{"", ""}));
  const std::string fichier = a.docs().arreteFichier;
  EXPECT_EQ(fichier.rfind("C:\\Temp\\", 0), 0u);
  EXPECT_EQ(fichier.substr(fichier.size() - 4), ".dot");
  EXPECT_TRUE(a.t.fs.fileExists(fichier));
  EXPECT_FALSE(a.docs().arreteImprime);
  // Still open for editing, from the saved file, with its fields.
  ASSERT_EQ(a.word->documents.size(), 1u);
  EXPECT_NE(a.texte().find("Arrete de Durand"), std::string::npos);
  EXPECT_EQ(ChampsRestants(a), 1u);
  EXPECT_TRUE(a.erreurs().empty());

  Arrete b;
  auto noms = b.requete({"KUP_ArreteCharger", r[1]});
  EXPECT_EQ(noms, (V{kNoms, "NOM", "VISAS", "", ""}));
  EXPECT_EQ(b.texte(), a.texte());
}

TEST(Arrete_Valeurs, SaveAnswersItsOwnFailures) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  EXPECT_EQ(a.requete({"KUP_ArreteSauver", "Durand"}),
            (V{"KUP_ArreteSauver", "", "9", vbErrorText(9), ""}));
  EXPECT_TRUE(a.erreurs().empty());

  // The save gives no path: number 0 and no text; the working file of the
  // last load is kept for the leave to delete.
  a.docs().arreteFichier = "C:\\Temp\\decret.dot";
  a.docs().arreteImprime = true;
  a.t.env.set("TEMP", "C:\\Absent");
  EXPECT_EQ(a.requete({"KUP_ArreteSauver", "Durand", ""}), (V{"KUP_ArreteSauver", "", "0", "", ""}));
  EXPECT_EQ(a.docs().arreteFichier, "C:\\Temp\\decret.dot");
  EXPECT_TRUE(a.docs().arreteImprime);
  ASSERT_EQ(a.erreurs().size(), 1u);
  EXPECT_EQ(a.erreurs()[0][0], "SaveTemp");  // the driver says why
  a.t.env.set("TEMP", "C:\\Temp");

  // Saved but not encoded: no empty decree answered as saved, and the decree
  // is back in the word processor.
  arrete_test::EncodeurEnPanne() = true;
  auto r = a.requete({"KUP_ArreteSauver", "Durand", ""});
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ((V{r[0], r[1], r[2]}), (V{"KUP_ArreteSauver", "", "75"}));
  EXPECT_EQ(r[3], "L'arrêté enregistré dans " + a.docs().arreteFichier + " n'a pas pu être encodé");
  EXPECT_EQ(a.word->documents.size(), 1u);
  EXPECT_TRUE(a.docs().arreteImprime);
  arrete_test::EncodeurEnPanne() = false;

  // A closed decree: reported, not answered.
  a.word->userCloses(a.word->active());
  a.requete({"KUP_ArreteSauver", "Durand", ""});
  EXPECT_FALSE(a.repondu());
  EXPECT_EQ(a.erreurs(), (std::vector<V>{kFerme}));
}

TEST(Arrete_Valeurs, PrintedFlagIsReportedOnceThenTheDocumentsOwnState) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  EXPECT_EQ(a.requete({"KUP_ArreteEstModifie"}), (V{"KUP_ArreteEstModifie", "0", "", ""}));
  a.requete({"KUP_ArreteImprimer", "Durand", ""});
  a.word->active()->saved = true;  // the word processor sees nothing to save
  EXPECT_EQ(a.requete({"KUP_ArreteEstModifie"}), (V{"KUP_ArreteEstModifie", "1", "", ""}));
  EXPECT_EQ(a.requete({"KUP_ArreteEstModifie"}), (V{"KUP_ArreteEstModifie", "0", "", ""}));
  a.word->active()->saved = false;
  EXPECT_EQ(a.requete({"KUP_ArreteEstModifie"}), (V{"KUP_ArreteEstModifie", "1", "", ""}));
}

TEST(Arrete_Valeurs, DeleteClosesWithoutSavingAndKeepsTheWorkingFile) {
  Arrete a;
  a.requete({"KUP_ArreteCharger", arrete_test::B64("decret.dot", arrete_test::kModele)});
  a.requete({"KUP_ArreteOuvrir", "Durand", ""});
  EXPECT_EQ(a.requete({"KUP_ArreteSupprimer"}), (V{"KUP_ArreteSupprimer", "", ""}));
  EXPECT_TRUE(a.word->documents.empty());
  EXPECT_TRUE(a.t.fs.fileExists("C:\\Temp\\decret.dot"));
  EXPECT_EQ(a.t.fs.readFile("C:\\Temp\\decret.dot"), arrete_test::kModele);
  // Nothing left to close: still answered.
  EXPECT_EQ(a.requete({"KUP_ArreteSupprimer"}), (V{"KUP_ArreteSupprimer", "", ""}));
  EXPECT_TRUE(a.erreurs().empty());
}

TEST(Arrete_Valeurs, SaveAskingForNamesAgainSavesNothingButClearsThePrintedFlag) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\inclus.dot"});
  a.docs().arreteFichier = "C:\\Temp\\decret.dot";
  a.docs().arreteImprime = true;
  auto r = a.requete({"KUP_ArreteSauver", "1 rue Haute", ""});
  EXPECT_EQ(r, (V{kNoms, "NOM" + Sep240() + "ADRESSE", "", "", ""}));
  EXPECT_FALSE(a.docs().arreteImprime);
  EXPECT_EQ(a.docs().arreteFichier, "C:\\Temp\\decret.dot");
  EXPECT_FALSE(a.courrier().G_MergeFieldIncludeText);

  // A merge choice that is no Boolean is answered as a failed save, not reported.
  a.t.app.G_TypeFusionArrete = "peut-être";
  a.docs().arreteImprime = true;
  r = a.requete({"KUP_ArreteSauver", "Durand" + Sep240() + "1 rue Haute", ""});
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ((V{r[0], r[1], r[2], r[4]}), (V{"KUP_ArreteSauver", "", "13", ""}));
  EXPECT_EQ(a.docs().arreteFichier, "C:\\Temp\\decret.dot");
  EXPECT_TRUE(a.docs().arreteImprime);
  EXPECT_TRUE(a.erreurs().empty());
}

TEST(Arrete_Valeurs, FailedPrintLeavesThePrintedFlagAndOpenTracesTheSizeEitherWay) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  a.t.app.G_TypeFusionArrete = "peut-être";
  a.requete({"KUP_ArreteImprimer", "Durand", ""});
  EXPECT_FALSE(a.docs().arreteImprime);
  a.t.app.G_TypeFusionArrete = "0";

  a.t.app.G_Debug = true;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\inclus.dot"});
  a.requete({"KUP_ArreteOuvrir", "1 rue Haute", ""});  // names asked for again
  a.requete({"KUP_ArreteOuvrir", "Durand" + Sep240() + "1 rue Haute", ""});
  const std::string& traces = a.t.app.debugWindow;
  const std::string trace = "KUP_ArreteOuvrir (taille document) : ";
  const size_t premiere = traces.find(trace);
  ASSERT_NE(premiere, std::string::npos) << traces;
  EXPECT_NE(traces.find(trace, premiere + 1), std::string::npos) << traces;
}
