// Letters against the in-memory word processor: opening a template, the
// merge actions with their reply slots, attachment, deferred printing, the
// dialogs and the routings of the command table.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/Dispatcher.h"
#include "documents/Mdl_Courrier.h"
#include "office/ApCourrier.h"
#include "office/MemoryWord.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Valeurs;
using V = std::vector<std::string>;

namespace {

const char* kSimple =
    "{\\rtf1 Madame {\\field{\\*\\fldinst MERGEFIELD NOM}{\\fldrslt }}\\par "
    "Objet : {\\*\\bkmkstart OBJET}{\\*\\bkmkend OBJET}\\par "
    "{\\field{\\*\\fldinst CARTE carte1;ID7;800;600;2500}{\\fldrslt }}\\par}";
const char* kInclus =
    "{\\rtf1 {\\field{\\*\\fldinst MERGEFIELD NOM}{\\fldrslt }}\\par "
    "{\\field{\\*\\fldinst INCLUDETEXT \"C:\\\\Modeles\\\\bloc.rtf\"}{\\fldrslt "
    "{\\field{\\*\\fldinst MERGEFIELD ADRESSE}{\\fldrslt }}}}\\par}";
const char* kRtf = "{\\rtf1 {\\*\\bkmkstart S_RTF_MOTIF}{\\*\\bkmkend S_RTF_MOTIF}\\par}";

struct Lettre {
  TestApp t;
  std::shared_ptr<MemoryWordApp> word = std::make_shared<MemoryWordApp>();

  Lettre() {
    t.app.G_RepModele = "C:\\Modeles";
    t.app.G_TypeEditeur = 2;
    t.app.G_RepCourrierAttente = "C:\\Attente";
    t.fs.createFolder("C:\\Attente");
    t.fs.put("C:\\Modeles\\lettre.dot", kSimple);
    t.fs.put("C:\\Modeles\\inclus.dot", kInclus);
    t.fs.put("C:\\Modeles\\rtf.dot", kRtf);
    t.env.clock = courrier_test::Local(2026, 12, 6, 15, 2, 33);
    G_Courrier(t.app).twinFactory = MemoryWordFactory(word);
    t.app.commands = std::make_shared<CommandTable>();
    RegisterMdl_Courrier(*t.app.commands);
  }
  ApCourrier& courrier() { return G_Courrier(t.app); }
  V requete(const V& v) {
    t.flash.clear();
    sGetFlashXML(t.app, courrier_test::Requete(v));
    return Valeurs(t.flash.returnValue());
  }
  // An action request of eight arguments.
  V action(const std::string& commande, const std::string& champs, const std::string& signets = "",
           const std::string& piece = "", const std::string& copies = "1") {
    return requete({commande, "lettre.dot", "A", "B", "C", copies, piece, champs, signets});
  }
  std::string texte() { return word->active() ? word->active()->dump() : std::string(); }
};

}  // namespace

TEST(Courrier_Initialiser, TenSlotsWithFieldsBookmarksAndMapPictures) {
  Lettre l;
  auto r = l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  // Identifiers before names: the GIS return takes them the other way round.
  EXPECT_EQ(r, (V{"KUP_CourrierValeursChampsSignets", "NOM", "OBJET", "ID7", "carte1", "800", "600", "2500", "", ""}));
  EXPECT_EQ(l.word->windowState, 1);
  r = l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\rtf.dot"});
  EXPECT_EQ(r, (V{"KUP_CourrierValeursChampsSignets", "", "S_RTF_MOTIF", "", "", "", "", "", "", ""}));
  l.requete({"KUP_CourrierInitialiser", ""});
  EXPECT_TRUE(l.t.flash.returns.empty());
  // A template that does not open is reported and answered by nothing, not
  // by the fields of the letter opened before.
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\absent.dot"});
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_EQ(Erreurs(l.t).size(), 1u);
}

TEST(Courrier_Fusion, OpenAnswersThirteenSlotsAndShowsTheMergedLetter) {
  Lettre l;
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  auto r = l.action("KUP_CourrierOuvrir", "Durand", "Permis");
  EXPECT_EQ(r, (V{"KUP_CourrierOuvrir", "lettre.dot", "A", "B", "C", "1", "", "Durand", "", "", "", "", ""}));
  EXPECT_NE(l.texte().find("Madame Durand"), std::string::npos);
  EXPECT_NE(l.texte().find("Objet : Permis"), std::string::npos);
  EXPECT_EQ(l.word->windowState, 2);
  EXPECT_TRUE(Erreurs(l.t).empty());
}

TEST(Courrier_Fusion, IncludedTextOrRtfValuesFirstAnswerTheFullLists) {
  Lettre l;
  auto r = l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\inclus.dot"});
  EXPECT_EQ(r[1], "ADRESSE");  // only the fields inside included text
  EXPECT_TRUE(l.courrier().G_MergeFieldIncludeText);
  r = l.action("KUP_CourrierOuvrir", "1 rue Haute");
  EXPECT_EQ(r, (V{"KUP_CourrierValeursChampsSignets", "NOM" + Sep240() + "ADRESSE", "", "", ""}));
  EXPECT_FALSE(l.courrier().G_MergeFieldIncludeText);
  EXPECT_EQ(l.word->windowState, 1);  // nothing shown
  r = l.action("KUP_CourrierOuvrir", "Durand" + Sep240() + "1 rue Haute");
  ASSERT_EQ(r.size(), 13u);
  EXPECT_NE(l.texte().find("1 rue Haute"), std::string::npos);

  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\rtf.dot"});
  r = l.action("KUP_CourrierOuvrir", "", "{\\rtf1 Vu {\\field{\\*\\fldinst MERGEFIELD ARTICLE}{\\fldrslt }}}");
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[1], "ARTICLE");
}

TEST(Courrier_Fusion, AttachmentGetsTheDatedNameAndTravelsInBase64) {
  Lettre l;
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  // An earlier attachment within the same second is replaced.
  l.t.fs.put("C:\\Temp\\lettre-06-12-2026-15-02-33.doc", "ancienne");
  auto r = l.action("KUP_CourrierAttacher", "Durand");
  ASSERT_EQ(r.size(), 13u);
  EXPECT_EQ(r[0], "KUP_CourrierAttacher");
  EXPECT_EQ((V(r.begin() + 8, r.begin() + 10)), (V{"lettre-06-12-2026-15-02-33.doc", "C:\\Temp\\lettre-06-12-2026-15-02-33.doc"}));
  std::string octets = l.t.fs.readFile(r[9]);
  EXPECT_NE(octets.find("Durand"), std::string::npos);
  EXPECT_EQ(decodeBase64(r[10]), octets);
  EXPECT_FALSE(l.t.fs.fileExists("C:\\Temp\\lettre.doc"));  // moved, not copied
  EXPECT_TRUE(Erreurs(l.t).empty());

  // Slot 5 asks for it too, here with printing (which also closes the editor).
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  r = l.action("KUP_CourrierImprimer", "Martin", "", "KUP_AttFicAttacher", "3");
  ASSERT_EQ(r.size(), 13u);
  EXPECT_NE(decodeBase64(r[10]).find("Martin"), std::string::npos);
  ASSERT_EQ(l.word->printed.size(), 1u);
  EXPECT_EQ(l.word->printed[0].copies, 3);
  EXPECT_EQ(l.courrier().twin(), nullptr);

  // The word processor gone: its failures say why, and the missing letter
  // adds no error of its own.
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  l.word->userQuits();
  EXPECT_TRUE(l.action("KUP_CourrierAttacher", "Durand").empty());
  ASSERT_FALSE(Erreurs(l.t).empty());
  for (const auto& e : Erreurs(l.t)) EXPECT_EQ(e[1], "462") << e[0];
}

TEST(Courrier_Fusion, DeferredPrintingNameAndFailuresUnderTheCommandName) {
  Lettre l;
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  EXPECT_EQ(l.action("KUP_CourrierImpressionDifferee", "Durand").size(), 13u);
  EXPECT_TRUE(l.t.fs.fileExists("C:\\Attente\\lettre_B_1_C_A.dot"));

  // Slot 0 without ".", a short request, copies not a number: no answer, one report.
  auto sansPoint = V{"KUP_CourrierImpressionDifferee", "lettre", "A", "B", "C", "1", "", "x", ""};
  auto courte = V{"KUP_CourrierOuvrir", "lettre.dot", "A", "B", "C", "1", "", "x"};
  for (auto [demande, numero] : {std::pair{sansPoint, "9"}, std::pair{courte, "9"}}) {
    l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
    l.requete(demande);
    EXPECT_TRUE(l.t.flash.returns.empty());
    ASSERT_EQ(Erreurs(l.t).size(), 1u);
    EXPECT_EQ(Erreurs(l.t)[0], (V{demande[0], numero, vbErrorText(9)}));
  }
  for (const char* commande : {"KUP_CourrierOuvrir", "KUP_CourrierMail", "KUP_CourrierImprimer"}) {
    l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
    l.action(commande, "x", "", "", "abc");
    EXPECT_TRUE(l.t.flash.returns.empty());
    ASSERT_EQ(Erreurs(l.t).size(), 1u);
    EXPECT_EQ(Erreurs(l.t)[0][0], commande);
    EXPECT_EQ(Erreurs(l.t)[0][1], "13");
  }
}

TEST(Courrier_Commandes, ValueListsMapReturnListsAndRoutings) {
  Lettre l;
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  l.requete({"KUP_CourrierValeursChamps", "ignoré", "a" + Sep240() + "b"});
  EXPECT_EQ(l.courrier().MergeFieldsValues, (V{"a", "b"}));
  EXPECT_EQ(l.courrier().BookMarksValues, (V{"OBJET"}));
  l.requete({"KUP_CourrierValeursSignets", "un", "deux"});
  EXPECT_EQ(l.courrier().BookMarksValues, (V{"un", "deux"}));
  EXPECT_TRUE(l.t.flash.returns.empty());

  // The map return: the placeholder replaced, then the default answer.
  auto r = l.requete({"Retour_SIG_FusionCartoParcelle", "carte1", "ID7", "800", "600", "2500"});
  EXPECT_EQ(r, (V{"carte1", "ID7", "800", "600", "2500", "", ""}));
  EXPECT_TRUE(l.word->active()->fieldsOf(MemoryDocument::FieldKind::MapPlaceholder).empty());
  Args a{"carte1", "ID7", "800", "600", "2500"};
  l.t.flash.clear();
  Retour_SIG_FusionCartoParcelle(l.t.app, a);
  EXPECT_EQ(Valeurs(l.t.flash.returnValue()).size(), 8u);

  l.t.fs.put("C:\\Modeles\\V\\Courrier\\33_accord.dot", "x");
  l.t.fs.put("C:\\Modeles\\V\\Courrier\\33_refus.dotx", "x");
  l.t.fs.put("C:\\Modeles\\V\\Courrier\\33_vieux.ott", "x");
  l.t.fs.put("C:\\Modeles\\V\\Courrier\\34_autre.dot", "x");
  l.t.fs.put("C:\\Modeles\\V\\Courrier\\aa_commun.dot", "x");
  l.t.fs.put("C:\\Modeles\\Courrier\\33_racine.dot", "x");
  r = l.requete({"KUP_CourrierListeModele", "Courrier", "33", "V", ""});
  ASSERT_EQ(r.size(), 4u);
  // The preferred sub-folder's templates of the editor, with the prefix or AA_.
  V enregistrements = Split(r[1], Sep242());
  std::sort(enregistrements.begin(), enregistrements.end());
  const std::string dossier = "C:\\Modeles\\V\\Courrier\\" + Sep241();
  EXPECT_EQ(enregistrements, (V{dossier + "33_accord.dot", dossier + "33_refus.dotx", dossier + "aa_commun.dot"}));
  EXPECT_EQ(r[0], "KUP_CourrierListeModele");
  EXPECT_EQ(r[2] + r[3], "");
  l.requete({"KUP_CourrierListeModele", "Courrier"});  // one argument: nothing at all
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_EQ(l.requete({"KUP_CourrierAttenteLister", "a", "b", "c"}), (V{"KUP_CourrierAttenteLister", "a", "b", "", ""}));
  l.requete({"KUP_CourrierLiasse", "a"});
  l.requete({"KUP_CourrierAttenteImprimer", "a"});
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_TRUE(Erreurs(l.t).empty());
  l.requete({"KUP_CourrierValeursChamps", "seul"});
  ASSERT_EQ(Erreurs(l.t).size(), 1u);
  EXPECT_EQ(Erreurs(l.t)[0][0], "KUP_CourrierMajValeursChamps");
}

TEST(Courrier_Dialogues, TemplateDialogRunsFromTheTimerAndCancelSendsNothing) {
  Lettre l;
  l.t.dialog.answerFile("C:\\Modeles\\V\\accord.dot");
  l.requete({"KUP_CourrierChoixModele"});
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_EQ(l.t.timer.interval(), 500);
  l.t.timer.fire();
  ASSERT_EQ(l.t.flash.calls.size(), 1u);
  EXPECT_NE(l.t.flash.calls[0].find("\"KUP_CourrierChoixModele\""), std::string::npos);
  EXPECT_EQ(Valeurs(l.t.flash.calls[0]), (V{"C:\\Modeles\\V\\" + Sep241() + "accord.dot", "", ""}));

  l.t.flash.clear();
  l.t.dialog.answerCancel();
  l.requete({"KUP_CourrierChoixModele"});
  l.t.timer.fire();
  EXPECT_TRUE(l.t.flash.calls.empty());

  // A template root on a web server: a failing step moves it to the program folder.
  l.t.app.G_RepModele = "http://serveur/modeles";
  l.t.flash.failCalls = true;
  l.t.dialog.answerFile("C:\\Korvane\\accord.dot");
  l.requete({"KUP_CourrierChoixModele"});
  l.t.timer.fire();
  EXPECT_EQ(l.t.app.G_RepModele, "C:\\Korvane");
  EXPECT_TRUE(l.t.msgbox.boxes.empty());
}

TEST(Courrier_Fusion, MailSlotFiveAttachmentPrinterDialogAndValueOrder) {
  Lettre l;
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  auto r = l.action("KUP_CourrierMail", "Durand");
  EXPECT_EQ(r, (V{"KUP_CourrierMail", "lettre.dot", "A", "B", "C", "1", "", "Durand", "", "", "", "", ""}));
  ASSERT_EQ(l.word->mailed.size(), 1u);
  EXPECT_NE(l.word->mailed[0].find("Madame Durand"), std::string::npos);

  // Slot 5 asks KUP_CourrierOuvrir to attach: the reply keeps its own name.
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  r = l.action("KUP_CourrierOuvrir", "Martin", "", "KUP_AttFicAttacher");
  ASSERT_EQ(r.size(), 13u);
  EXPECT_EQ(r[0], "KUP_CourrierOuvrir");
  EXPECT_EQ(r[6], "KUP_AttFicAttacher");
  EXPECT_EQ(r[8], "lettre-06-12-2026-15-02-33.doc");
  EXPECT_NE(decodeBase64(r[10]).find("Martin"), std::string::npos);

  // The printer dialog runs from the timer, sends nothing, and its printer
  // and copies are those of the next printing; the one after it takes its
  // own copies again, on the same printer.
  l.t.flash.clear();
  l.t.dialog.answerPrinter("Bureau 2", 3);
  l.requete({"KUP_ChoixImprimante"});
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_EQ(l.t.timer.interval(), 500);
  l.t.timer.fire();
  EXPECT_TRUE(l.t.flash.calls.empty());
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  l.action("KUP_CourrierImprimer", "Durand", "", "", "2");
  ASSERT_EQ(l.word->printed.size(), 1u);
  EXPECT_EQ(l.word->printed[0].printer, "Bureau 2");
  EXPECT_EQ(l.word->printed[0].copies, 3);
  EXPECT_FALSE(l.word->printed[0].dialog);
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  l.action("KUP_CourrierImprimer", "Durand", "", "", "2");
  ASSERT_EQ(l.word->printed.size(), 2u);
  EXPECT_EQ(l.word->printed[1].printer, "Bureau 2");
  EXPECT_EQ(l.word->printed[1].copies, 2);
  l.t.dialog.answerPrinter("Bureau 2", 1);  // one copy chosen is one printed
  l.courrier().ChoicePrint(l.t.dialog);
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  l.action("KUP_CourrierImprimer", "Durand", "", "", "2");
  EXPECT_EQ(l.word->printed.back().copies, 1);

  // The merge-field values are taken before the bookmark values are read:
  // a request cut after slot 6 leaves them set, and fails.
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  l.requete({"KUP_CourrierOuvrir", "lettre.dot", "A", "B", "C", "1", "", "x" + Sep240() + "y"});
  EXPECT_EQ(l.courrier().MergeFieldsValues, (V{"x", "y"}));
  EXPECT_TRUE(l.t.flash.returns.empty());
  ASSERT_EQ(Erreurs(l.t).size(), 1u);
  EXPECT_EQ(Erreurs(l.t)[0][0], "KUP_CourrierOuvrir");
}

TEST(Courrier_Initialiser, OnlyHtmlAndHtmEndingsTakeTheHtmlRoute) {
  Lettre l;
  l.t.fs.put("C:\\Modeles\\page.shtml", kSimple);
  auto r = l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\page.shtml"});
  ASSERT_EQ(r.size(), 10u);
  EXPECT_EQ(r[0], "KUP_CourrierValeursChampsSignets");
  EXPECT_EQ(r[1], "NOM");
}

TEST(Courrier_Commandes, ShortListRequestAndEmptyMapReturn) {
  Lettre l;
  // Argument 3 is read: two or three arguments are a failure, reported, not answered.
  for (V demande : {V{"KUP_CourrierListeModele", "Courrier", "33"}, V{"KUP_CourrierListeModele", "Courrier", "33", "V"}}) {
    l.requete(demande);
    EXPECT_TRUE(l.t.flash.returns.empty());
    ASSERT_EQ(Erreurs(l.t).size(), 1u);
    EXPECT_EQ(Erreurs(l.t)[0], (V{"KUP_CourrierListeModele", "9", vbErrorText(9)}));
  }

  // An empty first list leaves the letter alone; the default answer still comes.
  l.requete({"KUP_CourrierInitialiser", "C:\\Modeles\\lettre.dot"});
  auto r = l.requete({"Retour_SIG_FusionCartoParcelle", "", "ID7", "800", "600", "2500"});
  EXPECT_EQ(r, (V{"", "ID7", "800", "600", "2500", "", ""}));
  EXPECT_EQ(l.word->active()->fieldsOf(MemoryDocument::FieldKind::MapPlaceholder).size(), 1u);
  EXPECT_TRUE(Erreurs(l.t).empty());
}
