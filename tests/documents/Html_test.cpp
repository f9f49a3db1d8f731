// HTML reports and sheets: the template lists, the merge through the
// session, the temporary pages and their cleaning.
#include <gtest/gtest.h>

#include <map>

#include "core/Core.h"
#include "data/ApOraSession.h"
#include "data/FakeOraBackend.h"
#include "documents/Mdl_Courrier.h"
#include "documents/Mdl_Html.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Valeurs;

namespace {

// The database's merge puts the identifier list where the template says {IDENT}.
struct Html {
  TestApp t;
  std::shared_ptr<FakeOraDatabase> base = std::make_shared<FakeOraDatabase>();
  bool echec = false;
  Html() {
    t.app.G_RepModele = "C:\\Modeles";
    base->addProcedure("PK_RAP_HTML.FUSIONNERHTML", [this](FakeOraCall& c) {
      if (echec) c.fail(-20001, "ORA-20001: modèle refusé");
      c.out("fic_res", Replace(CStr(c.in("fic_html")), "{IDENT}", CStr(c.in("LIST_IDENT"))));
    });
  }
  void connecter() {
    t.app.G_OraSession = std::make_shared<ApOraSession>(t.app, std::make_unique<FakeOraBackend>(base));
    t.app.G_OraSession->logon("BASE", "u", "p");
  }
  std::vector<std::string> appeler(void (*h)(App&, Args&), Args a) {
    t.flash.clear();
    h(t.app, a);
    return Valeurs(t.flash.returnValue());
  }
};

}  // namespace

TEST(Html_Listes, ReportsListEveryHtmlFileAndSheetsFollowPrefixAndSubFolder) {
  Html h;
  h.t.fs.put("C:\\Modeles\\RapportHTML\\bilan.html", "x");
  h.t.fs.put("C:\\Modeles\\RapportHTML\\ancien.HTM", "x");
  h.t.fs.put("C:\\Modeles\\RapportHTML\\lettre.dot", "x");
  auto r = h.appeler(KUP_RapportHtmlLister, {"ignoré", "33"});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_RapportHtmlLister");
  auto enr = Split(r[1], Sep242());
  EXPECT_EQ(enr.size(), 2u);
  // The empty preferred sub-folder leaves two backslashes in the folder text.
  EXPECT_NE(r[1].find("C:\\Modeles\\\\RapportHTML\\" + Sep241() + "bilan.html"), std::string::npos);
  EXPECT_NE(r[1].find("ancien.HTM"), std::string::npos);
  EXPECT_EQ(r[2], "");

  h.t.fs.put("C:\\Modeles\\Ville\\FicheHTML\\33_dossier.html", "x");
  h.t.fs.put("C:\\Modeles\\Ville\\FicheHTML\\330_autre.html", "x");
  h.t.fs.put("C:\\Modeles\\Ville\\FicheHTML\\aa_commun.htm", "x");
  r = h.appeler(KUP_FicheHtmlLister, {"", "33", "Ville", ""});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_FicheHtmlLister");
  EXPECT_EQ(Split(r[1], Sep242()).size(), 2u);
  EXPECT_EQ(r[1].find("330_autre"), std::string::npos);

  // Fewer than four arguments: the failure reply.
  r = h.appeler(KUP_FicheHtmlLister, {"", "33", "Ville"});
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_FicheHtmlLister", "", "9", vbErrorText(9)}));
  EXPECT_TRUE(Erreurs(h.t).empty());
}

TEST(Html_Fusion, WithoutSessionAnswersTheTemplateJoinedAndOpensNothing) {
  Html h;
  h.t.fs.put("C:\\Modeles\\FicheHTML\\fiche.html", "<html>\r\n<body>\r\n</body></html>\n");
  auto r = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\FicheHTML\\fiche.html", "12;13"});
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_FicheHtmlOuvrir", "", "<html><body></body></html>", "", ""}));
  EXPECT_TRUE(h.t.shell.calls.empty());

  // Nothing at all for an empty path.
  h.t.flash.clear();
  Args vide{""};
  KUP_FicheHtmlOuvrir(h.t.app, vide);
  EXPECT_TRUE(h.t.flash.returns.empty());
}

TEST(Html_Fusion, MissingTemplateAnswersTheFileErrorAndOpensNothing) {
  Html h;
  h.connecter();
  h.t.fs.createFolder("C:\\Modeles");
  auto r = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\absent.html", "12"});
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_FicheHtmlOuvrir", "", "53", vbErrorText(53)}));
  EXPECT_TRUE(h.t.shell.calls.empty());
  EXPECT_TRUE(h.base->executed.empty());
  EXPECT_TRUE(Erreurs(h.t).empty());
}

TEST(Html_Fusion, BindsTheFiveParametersInOrderWritesTheCp1252PageAndOpensIt) {
  Html h;
  h.connecter();
  h.t.fs.put("C:\\Modeles\\FicheHTML\\fiche.html", "<p>Dossier {IDENT}\r\n \xE9t\xE9</p>\r\n");
  auto r = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\FicheHTML\\fiche.html", "PC 33 12"});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_FicheHtmlOuvrir");
  EXPECT_EQ(r[1].rfind("C:\\Temp\\", 0), 0u);
  EXPECT_EQ(r[1].substr(r[1].size() - 5), ".html");
  EXPECT_EQ(r[2], "");
  EXPECT_EQ(r[3], "");

  ASSERT_EQ(h.base->executed.size(), 1u);
  EXPECT_NE(h.base->executed[0].block.find("PK_RAP_HTML.FUSIONNERHTML"), std::string::npos);
  auto& p = h.base->executed[0].parameters;
  ASSERT_EQ(p.size(), 5u);
  const char* noms[] = {"fic_html", "LIST_IDENT", "fic_res", "coderr", "liberr"};
  const int dirs[] = {3, 1, 3, 2, 2};
  const int types[] = {112, 9, 112, 9, 9};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(p[i].name, noms[i]);
    EXPECT_EQ(p[i].direction, dirs[i]) << noms[i];
    EXPECT_EQ(p[i].serverType, types[i]) << noms[i];
  }
  EXPECT_EQ(p[1].value, Value("PC 33 12"));
  EXPECT_EQ(h.base->executed[0].inValues.at("fic_res"), Value(" "));
  EXPECT_TRUE(h.base->executed[0].inValues.at("coderr").isNull());

  // Windows-1252 bytes, the lines of the template joined, one CR LF at the end.
  EXPECT_EQ(h.t.fs.readFile(r[1]), "<p>Dossier PC 33 12 \xE9t\xE9</p>\r\n");
  ASSERT_EQ(h.t.shell.calls.size(), 1u);
  EXPECT_EQ(h.t.shell.calls[0].verb, "open");
  EXPECT_EQ(h.t.shell.calls[0].file, r[1]);
  EXPECT_EQ(h.t.shell.calls[0].show, 1);
}

TEST(Html_Fusion, DatabaseFailureAnswersNothingAndIsReportedBySession) {
  Html h;
  h.connecter();
  h.echec = true;
  h.t.fs.put("C:\\Modeles\\fiche.html", "<p/>");
  auto r = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\fiche.html", "1"});
  EXPECT_TRUE(h.t.flash.returns.empty());
  EXPECT_TRUE(h.t.shell.calls.empty());
  auto e = Erreurs(h.t);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0][0], "bExecuteSQL");
}

TEST(Html_Nettoyer, RemovesOnlyThePagesThisProcessWrote) {
  Html h;
  h.connecter();
  h.t.fs.put("C:\\Modeles\\fiche.html", "<p/>");
  h.t.fs.put("C:\\Temp\\autre_programme.html", "pas à nous");
  auto r1 = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\fiche.html", "1"});
  auto r2 = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\fiche.html", "2"});
  ASSERT_EQ(r1.size(), 4u);
  ASSERT_EQ(r2.size(), 4u);
  EXPECT_NE(r1[1], r2[1]);
  EXPECT_TRUE(h.t.fs.fileExists(r1[1]));
  EXPECT_TRUE(h.t.fs.fileExists(r2[1]));

  // A page the user already deleted does not stop the others.
  h.t.fs.removeFile(r1[1]);
  h.t.flash.clear();
  Args rien{"KUP_RapportHtmlNettoyer"};
  KUP_RapportHtmlNettoyer(h.t.app, rien);
  EXPECT_FALSE(h.t.fs.fileExists(r2[1]));
  EXPECT_TRUE(h.t.fs.fileExists("C:\\Temp\\autre_programme.html"));
  EXPECT_TRUE(h.t.flash.returns.empty());

  KUP_RapportHtmlNettoyer(h.t.app, rien);
  EXPECT_TRUE(h.t.flash.returns.empty());
  EXPECT_TRUE(Erreurs(h.t).empty());

  // sEcrireHtmlTemp gives the name only.
  std::string nom = sEcrireHtmlTemp(h.t.app, "x");
  EXPECT_EQ(nom.find('\\'), std::string::npos);
  EXPECT_TRUE(h.t.fs.fileExists("C:\\Temp\\" + nom));
}

TEST(Html_Courrier, LetterTemplatesEndingInHtmlTakeTheHtmlRoute) {
  Html h;
  h.t.fs.put("C:\\Modeles\\lettre.HTM", "<p>lettre</p>");
  auto r = h.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\lettre.HTM", "12"});
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_Courrier_Edite", "", "<p>lettre</p>", "", ""}));
  h.connecter();
  h.t.fs.put("C:\\Modeles\\lettre.Html", "<p>autre {IDENT}</p>");
  r = h.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\lettre.Html", "12"});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_Courrier_Edite");
  EXPECT_EQ(h.t.fs.readFile(r[1]), "<p>autre 12</p>\r\n");
  // The identifier list is read from argument 1: without it, the failure reply.
  r = h.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\lettre.Html"});
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_Courrier_Edite", "", "9", vbErrorText(9)}));
}
