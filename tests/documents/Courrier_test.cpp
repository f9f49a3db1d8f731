// Letters against the in-memory word processor: opening a template, the
// merge actions with their reply slots, attachment, deferred printing, the
// dialogs and the routings of the command table.
#include <gtest/gtest.h>

#include <ctime>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "documents/Mdl_Courrier.h"
#include "office/ApCourrier.h"
#include "office/MemoryWord.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Requete;
using courrier_test::Valeurs;

namespace {

const char* kSimple =
    "{\\rtf1 Madame {\\field{\\*\\fldinst MERGEFIELD NOM}{\\fldrslt }}\\par "
    "Objet : {\\*\\bkmkstart OBJET}{\\*\\bkmkend OBJET}\\par "
    "{\\field{\\*\\fldinst CARTE carte1;ID7;800;600;2500}{\\fldrslt }}\\par}";

const char* kInclus =
    "{\\rtf1 {\\field{\\*\\fldinst MERGEFIELD NOM}{\\fldrslt }}\\par "
    "{\\field{\\*\\fldinst INCLUDETEXT \"C:\\\\Modeles\\\\bloc.rtf\"}{\\fldrslt "
    "{\\field{\\*\\fldinst MERGEFIELD ADRESSE}{\\fldrslt }}}}\\par}";

const char* kRtf =
    "{\\rtf1 {\\field{\\*\\fldinst MERGEFIELD NOM}{\\fldrslt }}\\par "
    "{\\*\\bkmkstart S_RTF_MOTIF}{\\*\\bkmkend S_RTF_MOTIF}\\par}";

std::time_t Local(int y, int mo, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

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
    t.env.clock = Local(2026, 12, 6, 15, 2, 33);
    auto& c = G_Courrier(t.app);
    c.setTypeEditeur(2);
    c.twinFactory = MemoryWordFactory(word);
    t.app.commands = std::make_shared<CommandTable>();
    RegisterMdl_Courrier(*t.app.commands);
  }
  ApCourrier& courrier() { return G_Courrier(t.app); }
  std::vector<std::string> appeler(void (*h)(App&, Args&), Args a) {
    t.flash.clear();
    h(t.app, a);
    return Valeurs(t.flash.returnValue());
  }
  std::vector<std::string> requete(const std::vector<std::string>& v) {
    t.flash.clear();
    sGetFlashXML(t.app, Requete(v));
    return Valeurs(t.flash.returnValue());
  }
  void initialiser(const std::string& modele) { appeler(KUP_CourrierInitialiser, {modele}); }
  // The eight slots of an action request.
  static std::vector<std::string> Action(const std::string& commande, const std::string& champs,
                                         const std::string& signets, const std::string& piece = "",
                                         const std::string& copies = "1") {
    return {commande, "lettre.dot", "A", "B", "C", copies, piece, champs, signets};
  }
  std::string texte() { return word->active() ? word->active()->dump() : std::string(); }
};

}  // namespace

TEST(Courrier_Initialiser, AnswersTenSlotsWithFieldsBookmarksAndMapPictures) {
  Lettre l;
  auto r = l.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\lettre.dot"});
  ASSERT_EQ(r.size(), 10u);
  EXPECT_EQ(r[0], "KUP_CourrierValeursChampsSignets");
  EXPECT_EQ(r[1], "NOM");
  EXPECT_EQ(r[2], "OBJET");
  // Identifiers first, then names, as the GIS return takes them the other way round.
  EXPECT_EQ((std::vector<std::string>(r.begin() + 3, r.end())),
            (std::vector<std::string>{"ID7", "carte1", "800", "600", "2500", "", ""}));
  EXPECT_EQ(l.word->windowState, 1);
  EXPECT_FALSE(l.courrier().G_MergeFieldIncludeText);

  // No placeholder: slots 3 to 9 stay empty.
  r = l.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\rtf.dot"});
  ASSERT_EQ(r.size(), 10u);
  for (size_t i = 3; i < 10; ++i) EXPECT_EQ(r[i], "") << i;

  // Nothing for an empty path; .shtml is a word-processor template.
  l.t.flash.clear();
  Args vide{""};
  KUP_CourrierInitialiser(l.t.app, vide);
  EXPECT_TRUE(l.t.flash.returns.empty());
  l.t.fs.put("C:\\Modeles\\page.shtml", kSimple);
  r = l.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\page.shtml"});
  EXPECT_EQ(r[0], "KUP_CourrierValeursChampsSignets");
}

TEST(Courrier_Fusion, OpenAnswersThirteenSlotsAndShowsTheMergedLetter) {
  Lettre l;
  l.initialiser("C:\\Modeles\\lettre.dot");
  auto r = l.requete(Lettre::Action("KUP_CourrierOuvrir", "Durand", "Permis"));
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_CourrierOuvrir", "lettre.dot", "A", "B", "C", "1", "", "Durand", "",
                                         "", "", "", ""}));
  EXPECT_NE(l.texte().find("Madame Durand"), std::string::npos);
  EXPECT_NE(l.texte().find("Objet : Permis"), std::string::npos);
  EXPECT_EQ(l.word->windowState, 2);
  EXPECT_TRUE(Erreurs(l.t).empty());
}

TEST(Courrier_Fusion, IncludedTextFieldsFirstAnswerTheFullListsThenMerge) {
  Lettre l;
  auto r = l.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\inclus.dot"});
  EXPECT_EQ(r[1], "ADRESSE");
  EXPECT_TRUE(l.courrier().G_MergeFieldIncludeText);

  auto demande = Lettre::Action("KUP_CourrierOuvrir", "1 rue Haute", "");
  r = l.requete(demande);
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_CourrierValeursChampsSignets", "NOM" + Sep240() + "ADRESSE", "", "",
                                         ""}));
  EXPECT_FALSE(l.courrier().G_MergeFieldIncludeText);
  EXPECT_EQ(l.word->windowState, 1);  // nothing shown yet

  r = l.requete(Lettre::Action("KUP_CourrierOuvrir", "Durand" + Sep240() + "1 rue Haute", ""));
  ASSERT_EQ(r.size(), 13u);
  EXPECT_NE(l.texte().find("Durand"), std::string::npos);
  EXPECT_NE(l.texte().find("1 rue Haute"), std::string::npos);
}

TEST(Courrier_Fusion, RtfBookmarkValueAnswersTheFiveSlotReplyInstead) {
  Lettre l;
  l.initialiser("C:\\Modeles\\rtf.dot");
  std::string rtf = "{\\rtf1 Vu {\\field{\\*\\fldinst MERGEFIELD ARTICLE}{\\fldrslt }}}";
  auto r = l.requete(Lettre::Action("KUP_CourrierOuvrir", "Durand", rtf));
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0], "KUP_CourrierValeursChampsSignets");
  EXPECT_NE(r[1].find("ARTICLE"), std::string::npos);
  EXPECT_TRUE(l.word->printed.empty());
  EXPECT_EQ(l.word->windowState, 1);  // no letter shown
}

TEST(Courrier_Fusion, AttachRenamesTheCopyWithDateAndTimeAndSendsItInBase64) {
  Lettre l;
  l.initialiser("C:\\Modeles\\lettre.dot");
  // An attachment of the same letter in the same second is replaced.
  l.t.fs.put("C:\\Temp\\lettre-06-12-2026-15-02-33.doc", "ancienne");
  auto r = l.requete(Lettre::Action("KUP_CourrierAttacher", "Durand", "Permis"));
  ASSERT_EQ(r.size(), 13u);
  EXPECT_EQ(r[0], "KUP_CourrierAttacher");
  EXPECT_EQ(r[7], "Durand");
  EXPECT_EQ(r[8], "lettre-06-12-2026-15-02-33.doc");
  EXPECT_EQ(r[9], "C:\\Temp\\lettre-06-12-2026-15-02-33.doc");
  std::string octets = l.t.fs.readFile(r[9]);
  EXPECT_NE(octets, "ancienne");
  EXPECT_EQ(decodeBase64(r[10]), octets);
  EXPECT_NE(octets.find("Durand"), std::string::npos);
  EXPECT_FALSE(l.t.fs.fileExists("C:\\Temp\\lettre.doc"));  // moved, not copied
  EXPECT_EQ(r[11], "");
  EXPECT_EQ(r[12], "");
  EXPECT_TRUE(Erreurs(l.t).empty());

  // Slot 5 asks for it with KUP_CourrierOuvrir as well.
  l.initialiser("C:\\Modeles\\lettre.dot");
  r = l.requete(Lettre::Action("KUP_CourrierOuvrir", "Martin", "", "KUP_AttFicAttacher"));
  ASSERT_EQ(r.size(), 13u);
  EXPECT_EQ(r[8], "lettre-06-12-2026-15-02-33.doc");
  EXPECT_NE(decodeBase64(r[10]).find("Martin"), std::string::npos);
}

TEST(Courrier_Fusion, PrintPrintsTheCopiesClosesTheEditorAndMayAttach) {
  Lettre l;
  l.initialiser("C:\\Modeles\\lettre.dot");
  auto r = l.requete(Lettre::Action("KUP_CourrierImprimer", "Durand", "", "KUP_AttFicAttacher", "3"));
  ASSERT_EQ(r.size(), 13u);
  ASSERT_EQ(l.word->printed.size(), 1u);
  EXPECT_EQ(l.word->printed[0].copies, 3);
  EXPECT_NE(l.word->printed[0].text.find("Durand"), std::string::npos);
  EXPECT_EQ(r[8], "lettre-06-12-2026-15-02-33.doc");
  EXPECT_EQ(l.courrier().twin(), nullptr);
}

TEST(Courrier_Fusion, MailHandsTheLetterToTheMailFunction) {
  Lettre l;
  l.initialiser("C:\\Modeles\\lettre.dot");
  auto r = l.requete(Lettre::Action("KUP_CourrierMail", "Durand", ""));
  ASSERT_EQ(r.size(), 13u);
  ASSERT_EQ(l.word->mailed.size(), 1u);
  EXPECT_NE(l.word->mailed[0].find("Durand"), std::string::npos);
}

TEST(Courrier_Fusion, DeferredPrintingSavesUnderTheNameBuiltFromTheSlots) {
  Lettre l;
  l.initialiser("C:\\Modeles\\lettre.dot");
  auto r = l.requete(Lettre::Action("KUP_CourrierImpressionDifferee", "Durand", ""));
  ASSERT_EQ(r.size(), 13u);
  EXPECT_TRUE(l.t.fs.fileExists("C:\\Attente\\lettre_B_1_C_A.dot"));

  // Slot 0 without any ".": reported, no answer.
  l.initialiser("C:\\Modeles\\lettre.dot");
  auto demande = Lettre::Action("KUP_CourrierImpressionDifferee", "Durand", "");
  demande[1] = "lettre";
  r = l.requete(demande);
  EXPECT_TRUE(l.t.flash.returns.empty());
  auto e = Erreurs(l.t);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0][0], "KUP_CourrierImpressionDifferee");
}

TEST(Courrier_Fusion, BadCopiesOrShortRequestsAreReportedUnderTheCommandName) {
  for (const char* commande : {"KUP_CourrierOuvrir", "KUP_CourrierAttacher", "KUP_CourrierMail",
                               "KUP_CourrierImprimer", "KUP_CourrierImpressionDifferee"}) {
    for (const char* copies : {"", "abc"}) {
      Lettre l;
      l.initialiser("C:\\Modeles\\lettre.dot");
      l.requete(Lettre::Action(commande, "Durand", "", "", copies));
      EXPECT_TRUE(l.t.flash.returns.empty()) << commande;
      auto e = Erreurs(l.t);
      ASSERT_EQ(e.size(), 1u) << commande;
      EXPECT_EQ(e[0][0], commande);
      EXPECT_EQ(e[0][1], "13");
    }
  }
  Lettre l;
  l.initialiser("C:\\Modeles\\lettre.dot");
  auto courte = Lettre::Action("KUP_CourrierOuvrir", "Durand", "");
  courte.pop_back();
  l.requete(courte);
  EXPECT_TRUE(l.t.flash.returns.empty());
  ASSERT_EQ(Erreurs(l.t).size(), 1u);
  EXPECT_EQ(Erreurs(l.t)[0][1], "9");
}

TEST(Courrier_Valeurs, ValueListsOfTheTwoSmallCommands) {
  Lettre l;
  l.initialiser("C:\\Modeles\\lettre.dot");
  auto r = l.requete({"KUP_CourrierValeursChamps", "ignoré", "a" + Sep240() + "b"});
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_EQ(l.courrier().MergeFieldsValues, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(l.courrier().BookMarksValues, (std::vector<std::string>{"OBJET"}));

  l.requete({"KUP_CourrierValeursChamps", "x", ""});
  EXPECT_EQ(l.courrier().MergeFieldsValues, (std::vector<std::string>{""}));

  l.requete({"KUP_CourrierValeursSignets", "un", "deux", "trois"});
  EXPECT_EQ(l.courrier().BookMarksValues, (std::vector<std::string>{"un", "deux", "trois"}));
  EXPECT_TRUE(Erreurs(l.t).empty());

  l.requete({"KUP_CourrierValeursChamps", "seul"});
  ASSERT_EQ(Erreurs(l.t).size(), 1u);
  EXPECT_EQ(Erreurs(l.t)[0][0], "KUP_CourrierMajValeursChamps");
}

TEST(Courrier_Carte, ReturnOfTheMapMergeReplacesPlaceholdersThenTheDefaultAnswer) {
  Lettre l;
  l.initialiser("C:\\Modeles\\lettre.dot");
  auto r = l.appeler(Retour_SIG_FusionCartoParcelle, {"carte1", "ID7", "800", "600", "2500"});
  EXPECT_EQ(r, (std::vector<std::string>{"Retour_SIG_FusionCartoParcelle", "carte1", "ID7", "800", "600", "2500",
                                         "", ""}));
  EXPECT_TRUE(l.word->active()->fieldsOf(MemoryDocument::FieldKind::MapPlaceholder).empty());

  // Through the table the default answer takes its place, also when nothing is done.
  r = l.requete({"Retour_SIG_FusionCartoParcelle", "", "x"});
  EXPECT_EQ(r, (std::vector<std::string>{"", "x", "", ""}));
  EXPECT_TRUE(Erreurs(l.t).empty());
}

TEST(Courrier_Listes, TemplateListAndWaitingLetters) {
  Lettre l;
  l.t.fs.put("C:\\Modeles\\Ville\\Courrier\\33_accord.dot", "x");
  l.t.fs.put("C:\\Modeles\\Ville\\Courrier\\33_refus.dotx", "x");
  l.t.fs.put("C:\\Modeles\\Ville\\Courrier\\33_vieux.ott", "x");
  auto r = l.requete({"KUP_CourrierListeModele", "Courrier", "33", "Ville", ""});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(Split(r[1], Sep242()).size(), 2u);
  EXPECT_EQ(r[1].find("33_vieux"), std::string::npos);

  // One argument: nothing at all; two: reported.
  l.requete({"KUP_CourrierListeModele", "Courrier"});
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_TRUE(Erreurs(l.t).empty());
  l.requete({"KUP_CourrierListeModele", "Courrier", "33"});
  EXPECT_TRUE(l.t.flash.returns.empty());
  ASSERT_EQ(Erreurs(l.t).size(), 1u);
  EXPECT_EQ(Erreurs(l.t)[0][0], "KUP_CourrierListeModele");

  r = l.requete({"KUP_CourrierAttenteLister", "a", "b", "c"});
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_CourrierAttenteLister", "a", "b", "", ""}));
  l.requete({"KUP_CourrierAttenteImprimer", "a"});
  l.requete({"KUP_CourrierLiasse", "a"});
  EXPECT_TRUE(l.t.flash.returns.empty());
}

TEST(Courrier_Dialogues, TemplateDialogRunsFromTheTimerAndCancelSendsNothing) {
  Lettre l;
  l.t.dialog.answerFile("C:\\Modeles\\Ville\\accord.dot");
  l.requete({"KUP_CourrierChoixModele"});
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_TRUE(l.t.flash.calls.empty());
  EXPECT_EQ(l.t.timer.interval(), 500);
  ASSERT_TRUE(l.t.timer.fire());
  ASSERT_EQ(l.t.flash.calls.size(), 1u);
  EXPECT_NE(l.t.flash.calls[0].find("\"KUP_CourrierChoixModele\""), std::string::npos);
  EXPECT_EQ(Valeurs(l.t.flash.calls[0]),
            (std::vector<std::string>{"C:\\Modeles\\Ville\\" + Sep241() + "accord.dot", "", ""}));

  l.t.flash.clear();
  l.t.dialog.answerCancel();
  l.requete({"KUP_CourrierChoixModele"});
  l.t.timer.fire();
  EXPECT_TRUE(l.t.flash.calls.empty());
  EXPECT_TRUE(l.t.flash.returns.empty());

  l.t.dialog.answerPrinter("Bureau 2", 2);
  l.requete({"KUP_ChoixImprimante"});
  EXPECT_TRUE(l.t.dialog.shown.size() == 2u);
  l.t.timer.fire();
  EXPECT_EQ(l.t.dialog.shown.back().kind, "printer");
  EXPECT_TRUE(l.t.flash.returns.empty());
  EXPECT_TRUE(Erreurs(l.t).empty());
}
