// The file opener: shell verbs, the word processor, and the reply of
// KUP_OuvrirCourrier / appelAide.
#include <gtest/gtest.h>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "documents/Mdl_Fichier.h"
#include "office/ApCourrier.h"
#include "office/MemoryWord.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Requete;
using courrier_test::Valeurs;

namespace {

struct Ouvreur {
  TestApp t;
  std::shared_ptr<MemoryWordApp> word = std::make_shared<MemoryWordApp>();
  Ouvreur() {
    t.app.KUP_MDI.hWnd = 4242;
    t.app.G_TypeEditeur = 2;
    auto& c = G_Courrier(t.app);
    c.setTypeEditeur(2);
    c.twinFactory = MemoryWordFactory(word);
    t.app.commands = std::make_shared<CommandTable>();
    RegisterMdl_Fichier(*t.app.commands);
  }
  std::vector<std::string> requete(const std::vector<std::string>& v) {
    t.flash.clear();
    sGetFlashXML(t.app, Requete(v));
    return Valeurs(t.flash.returnValue());
  }
};

}  // namespace

TEST(Fichier_Ouvrir, HelpOpensWithTheShellAndAnswersUnderKupOuvrirCourrier) {
  Ouvreur o;
  auto r = o.requete({"appelAide", "C:\\Korvane\\aide.chm"});
  EXPECT_EQ(r, (std::vector<std::string>{"KUP_OuvrirCourrier", "C:\\Korvane\\aide.chm", "", ""}));
  ASSERT_EQ(o.t.shell.calls.size(), 1u);
  auto& c = o.t.shell.calls[0];
  EXPECT_EQ(c.owner, 4242);
  EXPECT_EQ(c.verb, "open");
  EXPECT_EQ(c.file, "C:\\Korvane\\aide.chm");
  EXPECT_EQ(c.parameters, "");
  EXPECT_EQ(c.folder, "");
  EXPECT_EQ(c.show, 1);
}

TEST(Fichier_Ouvrir, ModesPrintOpenAndWordProcessor) {
  Ouvreur o;
  auto r = o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\a.pdf", "", "", "3"});
  EXPECT_EQ(r.size(), 4u);
  ASSERT_EQ(o.t.shell.calls.size(), 1u);
  EXPECT_EQ(o.t.shell.calls[0].verb, "print");

  o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\a.pdf", "", "", "7"});
  ASSERT_EQ(o.t.shell.calls.size(), 2u);
  EXPECT_EQ(o.t.shell.calls[1].verb, "open");

  o.t.fs.put("C:\\Docs\\lettre.doc", "{\\rtf1 Bonjour\\par}");
  r = o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\lettre.doc", "", "", "2"});
  EXPECT_EQ(r.size(), 4u);
  EXPECT_EQ(o.t.shell.calls.size(), 2u);
  ASSERT_NE(o.word->active(), nullptr);
  EXPECT_NE(o.word->active()->dump().find("Bonjour"), std::string::npos);
  EXPECT_EQ(o.word->windowState, 2);
}

TEST(Fichier_Ouvrir, FailuresOfTheOpeningAreSilentButABadModeIsReported) {
  Ouvreur o;
  // The shell cannot open it, the word processor cannot read it: still answered.
  o.t.shell.defaultResult = 2;
  EXPECT_EQ(o.requete({"KUP_OuvrirCourrier", "C:\\absent.xyz"}).size(), 4u);
  o.t.fs.fail("C:\\Docs\\verrou.doc", 70);
  EXPECT_EQ(o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\verrou.doc", "", "", "2"}).size(), 4u);
  EXPECT_EQ(o.word->windowState, 2);
  size_t avant = o.t.shell.calls.size();
  // Nothing at all for an empty path.
  o.requete({"KUP_OuvrirCourrier", ""});
  EXPECT_TRUE(o.t.flash.returns.empty());
  EXPECT_TRUE(Erreurs(o.t).empty());

  for (auto [mode, numero] : {std::pair{"abc", "13"}, std::pair{"40000", "6"}}) {
    o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\a.pdf", "", "", mode});
    EXPECT_TRUE(o.t.flash.returns.empty()) << mode;
    auto e = Erreurs(o.t);
    ASSERT_EQ(e.size(), 1u) << mode;
    EXPECT_EQ(e[0][0], "KUP_OuvrirCourrier");
    EXPECT_EQ(e[0][1], numero);
  }
  EXPECT_EQ(o.t.shell.calls.size(), avant);
}
