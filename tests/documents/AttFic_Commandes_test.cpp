// The attachment commands over the fake platform: the envelope, the
// library's count and window, and the start of the command-line companion.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbString.h"
#include "documents/AttacheFichier.h"
#include "documents/Courrier_TestOutils.h"
#include "tests/TestApp.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Requete;
using courrier_test::Valeurs;

namespace {

// The library entries the commands use, recording what they were given.
struct Bibliotheque {
  std::vector<std::string> appels;       // "Count" / "Attachement", in order
  std::vector<std::string> enveloppes;   // as received (Windows-1252)
  int32_t compte = 0;
};
Bibliotheque& Biblio() {
  static Bibliotheque b;
  return b;
}
int32_t FauxCount(const char* enveloppe, int32_t reserve) {
  Biblio().appels.push_back("Count:" + std::to_string(reserve));
  Biblio().enveloppes.push_back(enveloppe);
  return Biblio().compte;
}
int32_t FauxAttachement(const char* enveloppe, int32_t reserve) {
  Biblio().appels.push_back("Attachement:" + std::to_string(reserve));
  Biblio().enveloppes.push_back(enveloppe);
  return 1;
}

class AttFic : public ::testing::Test {
 protected:
  void SetUp() override {
    Biblio() = {};
    t.libraries.add("AttacheFichier.dll", "Count", &FauxCount);
    t.libraries.add("AttacheFichier.dll", "Attachement", &FauxAttachement);
    t.app.G_AttacheActif = true;
    t.app.G_RepStockage = {"C:\\Pieces", "D:\\Archives\\"};
    t.app.G_TailleMax = "2048";
    t.app.KUP_MDI.hWnd = 77;
    auto table = std::make_shared<CommandTable>();
    RegisterAttacheFichier(*table);
    t.app.commands = table;
    t.fs.put("C:\\Korvane\\AttacheLigneCommande.exe", "");
    t.fs.put("C:\\Docs\\plan.pdf", "%PDF");
  }
  std::string Enveloppe(std::string id, const std::string& hab = "2") {
    return sXMLAttacheFichier(t.app, id, hab);
  }
  TestApp t;
};

const char* kEnveloppeComplete =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" standalone=\"no\" ?>"
    "<AttacheFichier><Application><NomAppli>KORVANE</NomAppli></Application>"
    "<Identifiant>AB 12 CD 1234 F</Identifiant><Habilitation>Ecriture</Habilitation>"
    "<Repertoire>C:\\Pieces\\</Repertoire><Repertoire>D:\\Archives\\</Repertoire>"
    "<Compression Niveau=\"1\" Password=\"AB 12 CD 1234 F\">oui</Compression>"
    "<Cryptage Type=\"1\" Password=\"AB 12 CD 1234 F\">non</Cryptage>"
    "<Taille>2048</Taille></AttacheFichier>";

TEST_F(AttFic, EnvelopeShortensTheIdentifierAndEndsEveryStorageFolder) {
  t.app.G_Compression = true;
  std::string id = "AB 12 CD E1234 F";
  EXPECT_EQ(sXMLAttacheFichier(t.app, id, "2"), kEnveloppeComplete);
  EXPECT_EQ(id, "AB 12 CD 1234 F") << "the caller's identifier keeps the shortening";
  EXPECT_EQ(t.app.G_RepStockage, (std::vector<std::string>{"C:\\Pieces\\", "D:\\Archives\\"}));

  auto identifiant = [&](std::string i) {
    sXMLAttacheFichier(t.app, i, "2");
    return i;
  };
  EXPECT_EQ(identifiant("A B C E1234 E1234"), "A B C 1234 1234");
  EXPECT_EQ(identifiant("AB 12 CD E123 F"), "AB 12 CD E123 F");
  EXPECT_EQ(identifiant("AB 12 CD E12345 F"), "AB 12 CD E12345 F");
  EXPECT_EQ(identifiant("AB 12 E1234"), "AB 12 E1234");
  EXPECT_EQ(identifiant(""), "");
  t.app.G_CodeInstructeur = true;
  EXPECT_EQ(identifiant("AB 12 CD E1234 F"), "AB 12 CD E1234 F");

  EXPECT_EQ(MotHabilitation("0"), "Rien");
  EXPECT_EQ(MotHabilitation("1"), "Lecture");
  EXPECT_EQ(MotHabilitation("2"), "Ecriture");
  EXPECT_EQ(MotHabilitation("7"), "Ecriture");
  EXPECT_NE(Enveloppe("X", "1").find("<Habilitation>Lecture</Habilitation>"), std::string::npos);

  // The setting split as the settings reader does: empty gives no folder.
  t.app.G_RepStockage = Split("", ";");
  EXPECT_EQ(Enveloppe("X").find("<Repertoire>"), std::string::npos);
}

TEST_F(AttFic, EnvelopeStaysReadableWhateverTheValuesHold) {
  t.app.G_RepStockage = {"\\\\srv\\R&D <2>"};
  const std::string xml = Enveloppe("PC \"A&B\" <1> E1234");
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(xml.c_str())) << xml;
  auto racine = doc.child("AttacheFichier");
  EXPECT_STREQ(racine.child_value("Identifiant"), "PC \"A&B\" <1> 1234");
  EXPECT_STREQ(racine.child("Compression").attribute("Password").value(), "PC \"A&B\" <1> 1234");
  EXPECT_STREQ(racine.child("Cryptage").attribute("Password").value(), "PC \"A&B\" <1> 1234");
  EXPECT_STREQ(racine.child_value("Repertoire"), "\\\\srv\\R&D <2>\\");
}

TEST_F(AttFic, CountAnswersTheLibraryCountWithMinusOneAsNone) {
  Biblio().compte = 5;
  sGetFlashXML(t.app, Requete({"KUP_AttFicCompter", "AB 12 CD E1234 F", "1"}));
  EXPECT_EQ(Valeurs(t.flash.returnValue()),
            (std::vector<std::string>{"KUP_AttFicCompter", "AB 12 CD 1234 F", "1", "5", "", ""}));
  ASSERT_EQ(Biblio().enveloppes.size(), 1u);
  EXPECT_EQ(Biblio().appels[0], "Count:0");
  std::string id = "AB 12 CD E1234 F";
  EXPECT_EQ(FromCp1252(Biblio().enveloppes[0]), sXMLAttacheFichier(t.app, id, "1"));

  Biblio().compte = -1;
  sGetFlashXML(t.app, Requete({"KUP_AttFicCompter", "X", "2"}));
  EXPECT_EQ(Valeurs(t.flash.returnValue())[3], "0");

  // A count a 16-bit number cannot hold is an error, not a wrong number.
  t.flash.clear();
  Biblio().compte = 40000;
  sGetFlashXML(t.app, Requete({"KUP_AttFicCompter", "X", "2"}));
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_AttFicCompter");
  EXPECT_EQ(Erreurs(t)[0][1], "6");

  // Switched off, or no identifier: nothing at all.
  t.flash.clear();
  Biblio() = {};
  sGetFlashXML(t.app, Requete({"KUP_AttFicCompter", "", "2"}));
  t.app.G_AttacheActif = false;
  sGetFlashXML(t.app, Requete({"KUP_AttFicCompter", "X", "2"}));
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_TRUE(t.flash.calls.empty());
  EXPECT_TRUE(Biblio().appels.empty());
}

TEST_F(AttFic, CountWithoutTheLibraryIsReportedUnderItsName) {
  TestApp sans;
  sans.app.G_AttacheActif = true;
  KUP_AttFicCompter(sans.app, "X", "2");
  EXPECT_TRUE(sans.flash.returns.empty());
  ASSERT_EQ(Erreurs(sans).size(), 1u);
  EXPECT_EQ(Erreurs(sans)[0][0], "KUP_AttFicCompter");
  EXPECT_EQ(Erreurs(sans)[0][1], "48");
}

TEST_F(AttFic, ShowRunsFromTheTimerAndCallsTheHidingIntoThePlayer) {
  Biblio().compte = -1;
  sGetFlashXML(t.app, Requete({"KUP_AttFicAfficher", "AB 12 CD E1234 F", "3"}));
  EXPECT_TRUE(Biblio().appels.empty()) << "the window is not opened inside the player's call";
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_TRUE(t.timer.enabled());
  EXPECT_EQ(t.timer.interval(), 500);

  TimerAppelDiffere_Timer(t.app);
  EXPECT_EQ(Biblio().appels, (std::vector<std::string>{"Attachement:0", "Count:0"}));
  EXPECT_EQ(Biblio().enveloppes[0], Biblio().enveloppes[1]);
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_EQ(t.flash.calls[0], sInvokeXML("KUP_AttFicMasquer", {"AB 12 CD 1234 F", "3", "-1", "", ""}));
  EXPECT_TRUE(t.flash.returns.empty());

  // A library without its window still counts and answers.
  TestApp sansFenetre;
  sansFenetre.libraries.add("AttacheFichier.dll", "Count", &FauxCount);
  sansFenetre.app.G_AttacheActif = true;
  Biblio().compte = 2;
  KUP_AttFicAfficher(sansFenetre.app, "X", "1");
  ASSERT_EQ(sansFenetre.flash.calls.size(), 1u);
  EXPECT_EQ(sansFenetre.flash.calls[0], sInvokeXML("KUP_AttFicMasquer", {"X", "1", "2", "", ""}));

  // No identifier, or switched off: nothing.
  t.flash.clear();
  Biblio() = {};
  sGetFlashXML(t.app, Requete({"KUP_AttFicAfficher", "", "3"}));
  TimerAppelDiffere_Timer(t.app);
  t.app.G_AttacheActif = false;
  sGetFlashXML(t.app, Requete({"KUP_AttFicAfficher", "X", "3"}));
  TimerAppelDiffere_Timer(t.app);
  EXPECT_TRUE(t.flash.calls.empty());
  EXPECT_TRUE(Biblio().appels.empty());
}

TEST_F(AttFic, AttachStartsTheCompanionWithExactlyFiveCommas) {
  t.app.G_RepStockage = {"C:\\Pieces,2024"};
  t.app.G_TailleMax = "10,5\r\n";
  t.fs.put("C:\\Docs\\a,b.pdf", "x");
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "AB, 12 CD E1234 F", "2", "C:\\Docs\\a,b.pdf", "x,y", "", "z"}));

  ASSERT_EQ(t.shell.calls.size(), 1u);
  const auto& appel = t.shell.calls[0];
  EXPECT_EQ(appel.owner, 77);
  EXPECT_EQ(appel.verb, "open");
  EXPECT_EQ(appel.file, "C:\\Korvane\\AttacheLigneCommande.exe");
  EXPECT_EQ(appel.folder, "C:\\Korvane");
  EXPECT_EQ(appel.show, 1);
  // The text travels as the one argument of the command line.
  const auto arguments = platform::SplitCommandLine("x " + appel.parameters);
  ASSERT_EQ(arguments.size(), 2u) << appel.parameters;
  const std::string& texte = arguments[1];
  EXPECT_EQ(std::count(texte.begin(), texte.end(), ','), 5);
  EXPECT_EQ(texte.find_first_of("\r\n"), std::string::npos);
  std::string id = "AB, 12 CD E1234 F";
  std::string attendue = Replace(Replace(sXMLAttacheFichier(t.app, id, "2"), ",", ";"), "\r\n", "");
  EXPECT_EQ(texte, "AB; 12 CD 1234 F,C:\\Docs\\a;b.pdf,x;y,,z," + attendue);
  EXPECT_NE(texte.find("<Repertoire>C:\\Pieces;2024\\</Repertoire>"), std::string::npos);
  EXPECT_NE(texte.find("<Taille>10;5</Taille>"), std::string::npos);

  EXPECT_EQ(Valeurs(t.flash.returnValue()),
            (std::vector<std::string>{"AB, 12 CD E1234 F", "2", "42", "", ""}));
  EXPECT_TRUE(Erreurs(t).empty());

  // Blanks in a row, quotes and backslashes before them arrive as built.
  t.shell.calls.clear();
  const std::string chemin = "C:\\Docs\\devis  \"final\".pdf";
  t.fs.put(chemin, "x");
  KUP_AttFicAttacher(t.app, "X", "2", chemin, Value("a \\"), Value("b\\\"c"), Value("  "));
  ASSERT_EQ(t.shell.calls.size(), 1u);
  const auto exacts = platform::SplitCommandLine("x " + t.shell.calls[0].parameters);
  ASSERT_EQ(exacts.size(), 2u);
  EXPECT_EQ(exacts[1].substr(0, exacts[1].find("<?xml")), "X," + chemin + ",a \\,b\\\"c,  ,");

  // The shell's failure code is the answer; rights above 2 go ahead too.
  t.shell.results.push_back(2);
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "X", "3", "C:\\Docs\\plan.pdf", "", "", ""}));
  EXPECT_EQ(Valeurs(t.flash.returnValue())[2], "2");
}

TEST_F(AttFic, AttachRefusesAMissingFileAndLowRightsThenAnswers) {
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "X", "2", "C:\\Docs\\absent.pdf", "", "", ""}));
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0], (std::vector<std::string>{"KUP_AttFicAttacher", "0",
                                                     "Le fichier\r\nC:\\Docs\\absent.pdf\r\n n'existe pas."}));
  EXPECT_EQ(Valeurs(t.flash.returnValue()), (std::vector<std::string>{"X", "2", "", "", ""}));

  t.flash.clear();
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "X", "1", "C:\\Docs\\plan.pdf", "", "", ""}));
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][2], "Habilitations insuffisantes, veuillez contacter votre administrateur.");
  EXPECT_EQ(Valeurs(t.flash.returnValue()), (std::vector<std::string>{"X", "1", "", "", ""}));

  // A rights code that is no number: an error and no answer.
  t.flash.clear();
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "X", "admin", "C:\\Docs\\plan.pdf", "", "", ""}));
  EXPECT_TRUE(t.flash.returns.empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_AttFicAttacher");
  EXPECT_EQ(Erreurs(t)[0][1], "13");

  // Switched off: checked, answered, nothing started.
  t.flash.clear();
  t.app.G_AttacheActif = false;
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "X", "2", "C:\\Docs\\plan.pdf", "", "", ""}));
  EXPECT_EQ(Valeurs(t.flash.returnValue()), (std::vector<std::string>{"X", "2", "", "", ""}));
  EXPECT_TRUE(t.shell.calls.empty());

  // No identifier: nothing at all.
  t.flash.clear();
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "", "2", "C:\\Docs\\absent.pdf", "", "", ""}));
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_TRUE(t.flash.calls.empty());
}

TEST_F(AttFic, MissingCompanionAsksToRetryAndCancelGivesMinusOne) {
  t.fs.removeFile("C:\\Korvane\\AttacheLigneCommande.exe");
  t.msgbox.answers = {platform::mb::Retry, platform::mb::Cancel};
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "X", "2", "C:\\Docs\\plan.pdf", "", "", ""}));
  ASSERT_EQ(t.msgbox.boxes.size(), 2u);
  EXPECT_EQ(t.msgbox.boxes[0].title, "Attachement impossible");
  EXPECT_EQ(t.msgbox.boxes[0].prompt, "Impossible de trouver AttacheLigneCommande.exe dans C:\\Korvane");
  EXPECT_EQ(t.msgbox.boxes[0].buttons, platform::mb::RetryCancel);
  EXPECT_TRUE(t.shell.calls.empty());
  EXPECT_EQ(Valeurs(t.flash.returnValue()), (std::vector<std::string>{"X", "2", "-1", "", ""}));

  // Put in place while the box is up, a retry finds it.
  t.msgbox.boxes.clear();
  t.msgbox.answers = {platform::mb::Retry};
  t.msgbox.onShow = [&](const platform::FakeMessageBox::Box&) { t.fs.put("C:\\Korvane\\AttacheLigneCommande", ""); };
  sGetFlashXML(t.app, Requete({"KUP_AttFicAttacher", "X", "2", "C:\\Docs\\plan.pdf", "", "", ""}));
  EXPECT_EQ(t.msgbox.boxes.size(), 1u);
  EXPECT_EQ(t.shell.calls.size(), 1u);
  EXPECT_EQ(Valeurs(t.flash.returnValue())[2], "42");
}

}  // namespace
