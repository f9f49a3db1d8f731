// HTML reports and sheets: the template lists, the merge through the
// session, the temporary pages and their cleaning.
#include <gtest/gtest.h>

#include "data/ApOraSession.h"
#include "data/FakeOraBackend.h"
#include "documents/Mdl_Courrier.h"
#include "documents/Mdl_Html.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Valeurs;
using V = std::vector<std::string>;

namespace {

// The database's merge puts the identifier list where the template says {IDENT}.
struct Html {
  TestApp t;
  std::shared_ptr<FakeOraDatabase> base = std::make_shared<FakeOraDatabase>();
  bool echec = false;
  Html() {
    t.app.G_RepModele = "C:\\Modeles";
    t.fs.createFolder("C:\\Modeles");
    base->addProcedure("PK_RAP_HTML.FUSIONNERHTML", [this](FakeOraCall& c) {
      if (echec) c.fail(-20001, "ORA-20001: modèle refusé");
      c.out("fic_res", Replace(CStr(c.in("fic_html")), "{IDENT}", CStr(c.in("LIST_IDENT"))));
    });
  }
  void connecter() {
    t.app.G_OraSession = std::make_shared<ApOraSession>(t.app, std::make_unique<FakeOraBackend>(base));
    t.app.G_OraSession->logon("BASE", "u", "p");
  }
  V appeler(void (*h)(App&, Args&), Args a) {
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
  EXPECT_EQ(Split(r[1], Sep242()).size(), 2u);
  // The empty preferred sub-folder leaves two backslashes in the folder text.
  EXPECT_NE(r[1].find("C:\\Modeles\\\\RapportHTML\\" + Sep241() + "bilan.html"), std::string::npos);

  h.t.fs.put("C:\\Modeles\\Ville\\FicheHTML\\33_dossier.html", "x");
  h.t.fs.put("C:\\Modeles\\Ville\\FicheHTML\\330_autre.html", "x");
  r = h.appeler(KUP_FicheHtmlLister, {"", "33", "Ville", ""});
  EXPECT_EQ(r, (V{"KUP_FicheHtmlLister", "C:\\Modeles\\Ville\\FicheHTML\\" + Sep241() + "33_dossier.html", "", ""}));
  EXPECT_EQ(h.appeler(KUP_FicheHtmlLister, {"", "33", "Ville"}), (V{"KUP_FicheHtmlLister", "", "9", vbErrorText(9)}));
}

TEST(Html_Fusion, WithoutSessionOrTemplate) {
  Html h;
  h.t.fs.put("C:\\Modeles\\fiche.html", "<html>\r\n<body>\r\n</body></html>\n");
  EXPECT_EQ(h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\fiche.html", "12"}),
            (V{"KUP_FicheHtmlOuvrir", "", "<html><body></body></html>", "", ""}));
  h.connecter();
  EXPECT_EQ(h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\absent.html", "12"}),
            (V{"KUP_FicheHtmlOuvrir", "", "53", vbErrorText(53)}));
  h.appeler(KUP_FicheHtmlOuvrir, {""});
  EXPECT_TRUE(h.t.flash.returns.empty());
  EXPECT_TRUE(h.t.shell.calls.empty());
  EXPECT_TRUE(h.base->executed.empty());
}

TEST(Html_Fusion, BindsTheFiveParametersInOrderWritesTheCp1252PageAndOpensIt) {
  Html h;
  h.connecter();
  h.t.fs.put("C:\\Modeles\\fiche.html", "<p>Dossier {IDENT}\r\n \xE9t\xE9</p>\r\n");
  auto r = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\fiche.html", "PC 33 12"});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_FicheHtmlOuvrir");
  EXPECT_EQ(r[1].rfind("C:\\Temp\\", 0), 0u);
  EXPECT_EQ(Right(r[1], 5), ".html");

  ASSERT_EQ(h.base->executed.size(), 1u);
  auto& x = h.base->executed[0];
  EXPECT_NE(x.block.find("PK_RAP_HTML.FUSIONNERHTML"), std::string::npos);
  V noms;
  for (auto& p : x.parameters) noms.push_back(p.name + ":" + std::to_string(p.direction) + ":" + std::to_string(p.serverType));
  EXPECT_EQ(noms, (V{"fic_html:3:112", "LIST_IDENT:1:9", "fic_res:3:112", "coderr:2:9", "liberr:2:9"}));
  EXPECT_EQ(x.inValues.at("LIST_IDENT"), Value("PC 33 12"));
  EXPECT_EQ(x.inValues.at("fic_res"), Value(" "));
  EXPECT_TRUE(x.inValues.at("coderr").isNull());

  // Windows-1252 bytes, the template's lines joined, one CR LF at the end.
  EXPECT_EQ(h.t.fs.readFile(r[1]), "<p>Dossier PC 33 12 \xE9t\xE9</p>\r\n");
  ASSERT_EQ(h.t.shell.calls.size(), 1u);
  EXPECT_EQ(h.t.shell.calls[0].verb, "open");
  EXPECT_EQ(h.t.shell.calls[0].file, r[1]);

  // A database failure: reported by the session, nothing answered or opened.
  h.echec = true;
  h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\fiche.html", "1"});
  EXPECT_TRUE(h.t.flash.returns.empty());
  EXPECT_EQ(h.t.shell.calls.size(), 1u);
  ASSERT_EQ(Erreurs(h.t).size(), 1u);
  EXPECT_EQ(Erreurs(h.t)[0][0], "bExecuteSQL");
}

TEST(Html_Nettoyer, RemovesEveryPageOfOursAndNothingElse) {
  Html h;
  h.connecter();
  h.t.fs.put("C:\\Modeles\\fiche.html", "<p/>");
  const std::vector<std::string> autres = {"autre_programme.html", "0123.html", "1000002.html", "12a.html",
                                           "123456.htm", "123456.html.bak", ".html"};
  for (const auto& nom : autres) h.t.fs.put("C:\\Temp\\" + nom, "pas à nous");
  h.t.fs.put("C:\\Temp\\1000001.html", "une page d'une session d'avant");
  auto r1 = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\fiche.html", "1"});
  auto r2 = h.appeler(KUP_FicheHtmlOuvrir, {"C:\\Modeles\\fiche.html", "2"});
  ASSERT_EQ(r1.size(), 4u);
  ASSERT_EQ(r2.size(), 4u);
  EXPECT_NE(r1[1], r2[1]);
  std::string page3 = "C:\\Temp\\" + sEcrireHtmlTemp(h.t.app, "x");  // the name only
  EXPECT_TRUE(h.t.fs.fileExists(page3));

  h.t.fs.removeFile(r1[1]);  // already gone: does not stop the others
  h.appeler(KUP_RapportHtmlNettoyer, {"KUP_RapportHtmlNettoyer"});
  EXPECT_FALSE(h.t.fs.fileExists(r2[1]));
  EXPECT_FALSE(h.t.fs.fileExists(page3));
  EXPECT_FALSE(h.t.fs.fileExists("C:\\Temp\\1000001.html"));
  for (const auto& nom : autres) EXPECT_TRUE(h.t.fs.fileExists("C:\\Temp\\" + nom)) << nom;
  h.appeler(KUP_RapportHtmlNettoyer, {"KUP_RapportHtmlNettoyer"});
  EXPECT_TRUE(h.t.flash.returns.empty());
  EXPECT_TRUE(Erreurs(h.t).empty());
}

TEST(Html_Courrier, LetterTemplatesEndingInHtmlTakeTheHtmlRoute) {
  Html h;
  h.connecter();
  h.t.fs.put("C:\\Modeles\\lettre.HTM", "<p>lettre {IDENT}</p>");
  auto r = h.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\lettre.HTM", "12"});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0], "KUP_Courrier_Edite");
  EXPECT_EQ(h.t.fs.readFile(r[1]), "<p>lettre 12</p>\r\n");
  // The identifier list is argument 1: without it, the failure reply.
  EXPECT_EQ(h.appeler(KUP_CourrierInitialiser, {"C:\\Modeles\\lettre.HTM"}),
            (V{"KUP_Courrier_Edite", "", "9", vbErrorText(9)}));
}
