#include <gtest/gtest.h>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "vb/VbString.h"
#include "core/table/CommandTable.h"
#include "tests/TestApp.h"

using namespace kup;

namespace {
std::string Req(const std::vector<std::string>& values) {
  std::string s = "<invoke name=\"sGetFlashXML\" returntype=\"xml\"><arguments><array>";
  for (size_t i = 0; i < values.size(); ++i)
    s += "<property id=\"" + std::to_string(i) + "\"><string>" + values[i] + "</string></property>";
  return s + "</array></arguments></invoke>";
}
}  // namespace

TEST(CoreCommands, SettingsAndUnloadThroughTheDispatcher) {
  TestApp t;
  t.app.commands = BuildCommandTable();
  std::string record = Join({"1", "", "", "", "EDITION", "REP_MODELE", "", "", "C:\\Modeles &amp; Co"}, Sep240());
  sGetFlashXML(t.app, Req({"kup_parametres", record}));
  EXPECT_EQ(t.app.G_RepModele, "C:\\Modeles & Co");
  EXPECT_TRUE(t.flash.returns.empty());  // the settings command has no answer

  sGetFlashXML(t.app, Req({"KUP_UtilisateurUnique", "a", "b"}));
  sGetFlashXML(t.app, Req({"unload"}));
  EXPECT_TRUE(t.app.quitRequested);
}

// The dispatcher's particular routings, through the program's own table.
TEST(CoreCommands, ParticularRoutingsAndDeferredIntervals) {
  TestApp t;
  t.app.commands = BuildCommandTable();
  const std::string defaut = sSetReturnValueXML({"D1", "3", "", ""});

  // Map framing on the template route without templates: the default answer all the same.
  sGetFlashXML(t.app, "<invoke name=\"f\"><arguments><array><property id=\"0\"><string>SIG_NomDossierCadrer</string>"
                      "</property><property id=\"1\"><string>D1</string></property><property id=\"2\"><number>3"
                      "</number></property></array></arguments></invoke>");
  EXPECT_EQ(t.flash.returnValue(), defaut);
  t.flash.clear();
  sGetFlashXML(t.app, Req({"ZezORA_ThematiqueProprietaire", "D1"}));
  EXPECT_EQ(t.flash.returnValue(), sSetReturnValueXML({"D1", "", ""}));

  // No answer at all for these.
  t.flash.clear();
  sGetFlashXML(t.app, Req({"ZezORA_ParcelleMultipleCadrer", "330010000A0001"}));
  sGetFlashXML(t.app, Req({"KUP_CourrierLiasse", "x"}));
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_TRUE(t.flash.calls.empty());

  // The thematic file: the conversion flag is argument 2 compared with the
  // text the player writes for true; without it the text goes as sent.
  t.env.set("TEMP", "C:\\Tmp");
  t.fs.createFolder("C:\\Tmp");
  t.random.script = {0.25, 0.5};
  sGetFlashXML(t.app, Req({"KUP_LireThematiqueFichier", "a", "L1\r\n\r\nL2", "true"}));
  sGetFlashXML(t.app, "<invoke name=\"f\"><arguments><array><property id=\"0\"><string>KUP_LireThematiqueFichier"
                      "</string></property><property id=\"1\"><string>a</string></property><property id=\"2\">"
                      "<string>L1\r\n\r\nL2</string></property><property id=\"3\"><true/></property></array>"
                      "</arguments></invoke>");
  EXPECT_EQ(t.fs.readFile("C:\\Tmp\\250001.txt"), "L1\r\n\r\nL2\r\n");
  EXPECT_EQ(t.fs.readFile("C:\\Tmp\\500001.txt"), "L1\r\nL2\r\n");
  EXPECT_TRUE(t.flash.returns.empty());

  // Dialog commands wait for the timer.
  for (const char* cmd : {"KUP_CourrierChoixModele", "kup_choiximprimante"}) {
    t.timer.setEnabled(false);
    t.timer.setInterval(0);
    sGetFlashXML(t.app, Req({cmd, "x"}));
    EXPECT_TRUE(t.timer.enabled()) << cmd;
    EXPECT_EQ(t.timer.interval(), 500) << cmd;
  }
  EXPECT_TRUE(t.flash.returns.empty());
}
