// The file opener: shell verbs, the word processor, and the reply of
// KUP_OuvrirCourrier / appelAide.
#include <gtest/gtest.h>

#include "core/Dispatcher.h"
#include "documents/Mdl_Fichier.h"
#include "office/ApCourrier.h"
#include "office/MemoryWord.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::Valeurs;
using V = std::vector<std::string>;

namespace {
struct Ouvreur {
  TestApp t;
  std::shared_ptr<MemoryWordApp> word = std::make_shared<MemoryWordApp>();
  Ouvreur() {
    t.app.KUP_MDI.hWnd = 4242;
    t.app.G_TypeEditeur = 2;
    G_Courrier(t.app).twinFactory = MemoryWordFactory(word);
    t.app.commands = std::make_shared<CommandTable>();
    RegisterMdl_Fichier(*t.app.commands);
  }
  V requete(const V& v) {
    t.flash.clear();
    sGetFlashXML(t.app, courrier_test::Requete(v));
    return Valeurs(t.flash.returnValue());
  }
};
}  // namespace

TEST(Fichier_Ouvrir, ShellVerbsWordProcessorAndTheReply) {
  Ouvreur o;
  EXPECT_EQ(o.requete({"appelAide", "C:\\Korvane\\aide.chm"}), (V{"KUP_OuvrirCourrier", "C:\\Korvane\\aide.chm", "", ""}));
  o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\a.pdf", "", "", "3"});
  o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\a.pdf", "", "", "7"});
  ASSERT_EQ(o.t.shell.calls.size(), 3u);
  auto& c = o.t.shell.calls[0];
  EXPECT_EQ(std::make_tuple(c.owner, c.verb, c.file, c.parameters, c.folder, c.show),
            std::make_tuple(4242L, std::string("open"), std::string("C:\\Korvane\\aide.chm"), std::string(),
                            std::string(), 1));
  EXPECT_EQ(o.t.shell.calls[1].verb, "print");
  EXPECT_EQ(o.t.shell.calls[2].verb, "open");

  o.t.fs.put("C:\\Docs\\lettre.doc", "{\\rtf1 Bonjour\\par}");
  EXPECT_EQ(o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\lettre.doc", "", "", "2"}).size(), 4u);
  EXPECT_EQ(o.t.shell.calls.size(), 3u);
  ASSERT_NE(o.word->active(), nullptr);
  EXPECT_NE(o.word->active()->dump().find("Bonjour"), std::string::npos);
  EXPECT_EQ(o.word->windowState, 2);
}

TEST(Fichier_Ouvrir, OpeningFailuresAreSilentButABadModeIsReported) {
  Ouvreur o;
  o.t.shell.defaultResult = 2;  // the shell cannot open it: answered all the same
  EXPECT_EQ(o.requete({"KUP_OuvrirCourrier", "C:\\absent.xyz"}).size(), 4u);
  o.requete({"KUP_OuvrirCourrier", ""});
  EXPECT_TRUE(o.t.flash.returns.empty());
  EXPECT_TRUE(Erreurs(o.t).empty());
  for (auto [mode, numero] : {std::pair{"abc", "13"}, std::pair{"40000", "6"}}) {
    o.requete({"KUP_OuvrirCourrier", "C:\\Docs\\a.pdf", "", "", mode});
    EXPECT_TRUE(o.t.flash.returns.empty()) << mode;
    ASSERT_EQ(Erreurs(o.t).size(), 1u) << mode;
    EXPECT_EQ(Erreurs(o.t)[0][0], "KUP_OuvrirCourrier");
    EXPECT_EQ(Erreurs(o.t)[0][1], numero);
  }
  EXPECT_EQ(o.t.shell.calls.size(), 1u);
}
