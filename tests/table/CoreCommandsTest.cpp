#include <gtest/gtest.h>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "core/VbString.h"
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
