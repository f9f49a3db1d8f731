// The document commands through the bridge of the real korvane: template
// lists from a real folder, the HTML sheet merge, the temporary pages.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/e2e/Child.h"

namespace fs = std::filesystem;
using e2e::Child;
using e2e::Invoke;

namespace {

const std::string kSep240 = "\xC3\xB0", kSep241 = "\xC3\xB1", kSep242 = "\xC3\xB2";

// The values of a reply XML, in order.
std::vector<std::string> Valeurs(const std::string& xml) {
  std::vector<std::string> out;
  for (size_t pos = 0; (pos = xml.find("<string>", pos)) != std::string::npos;) {
    pos += 8;
    size_t fin = xml.find("</string>", pos);
    if (fin == std::string::npos) break;
    std::string v = xml.substr(pos, fin - pos);
    for (size_t lt; (lt = v.find("&lt;")) != std::string::npos;) v.replace(lt, 4, "<");
    out.push_back(v);
    pos = fin;
  }
  return out;
}

void Ecrire(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string Lire(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// One settings record: section in field 4, key in field 5, value in field 8.
std::string Reglage(const std::string& section, const std::string& key, const std::string& value) {
  std::string r = "0" + kSep240 + "1" + kSep240 + "2" + kSep240 + "3" + kSep240 + section + kSep240 + key + kSep240 +
                  "6" + kSep240 + "7" + kSep240 + value;
  return r;
}

class Documents : public ::testing::Test {
 protected:
  void SetUp() override {
    racine_ = fs::temp_directory_path() / ("kup_documents_e2e_" + std::to_string(::getpid()));
    fs::remove_all(racine_);
    modeles_ = racine_ / "Modeles";
    temp_ = racine_ / "Temp";
    fs::create_directories(temp_);
    Ecrire(modeles_ / "RapportHTML" / "bilan.html", "<p>bilan</p>");
    Ecrire(modeles_ / "FicheHTML" / "33_fiche.html", "<html>\r\n<p>Dossier {IDENT} \xE9t\xE9</p>\r\n</html>\r\n");
    Ecrire(modeles_ / "FicheHTML" / "34_autre.html", "x");
    Ecrire(modeles_ / "Courrier" / "AA_accord.ott", "x");
    Ecrire(modeles_ / "Courrier" / "refus.ott", "x");
    Ecrire(temp_ / "autre_programme.html", "pas à nous");
    // korvane takes its TEMP from the environment it inherits.
    ancienTemp_ = std::getenv("TEMP") ? std::getenv("TEMP") : "";
    ::setenv("TEMP", temp_.c_str(), 1);
  }
  void TearDown() override {
    if (ancienTemp_.empty()) ::unsetenv("TEMP");
    else ::setenv("TEMP", ancienTemp_.c_str(), 1);
    fs::remove_all(racine_);
  }

  std::vector<std::string> demander(Child& k, const std::string& name, const std::vector<std::string>& args) {
    EXPECT_TRUE(k.request(Invoke(name, args)));
    auto frames = k.untilRet();
    EXPECT_FALSE(frames.empty()) << k.log();
    if (frames.empty() || frames.back().kind != "RET") return {"<pas de RET>"};
    for (auto& f : frames)
      if (f.kind == "CALL") appels_.push_back(f.payload);
    return Valeurs(frames.back().payload);
  }

  fs::path racine_, modeles_, temp_;
  std::string ancienTemp_;
  std::vector<std::string> appels_;
};

}  // namespace

TEST_F(Documents, ListsTemplatesFromARealFolderAndAnswersTheSheetWithoutSession) {
  Child k({e2e::ProgramPath("korvane")});
  ASSERT_TRUE(k.started());
  std::string reglages = Reglage("EDITION", "REP_MODELE", modeles_.string()) + kSep241 +
                         Reglage("EDITION", "TYPE_EDITEUR", "4") + kSep241 + Reglage("DDE", "MODE", "0");
  demander(k, "KUP_Parametres", {reglages});

  auto r = demander(k, "KUP_RapportHtmlLister", {});
  ASSERT_EQ(r.size(), 4u) << k.log();
  EXPECT_EQ(r[0], "KUP_RapportHtmlLister");
  EXPECT_EQ(r[1], modeles_.string() + "\\\\RapportHTML\\" + kSep241 + "bilan.html");

  r = demander(k, "KUP_FicheHtmlLister", {"", "33", "", ""});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_NE(r[1].find(kSep241 + "33_fiche.html"), std::string::npos) << r[1];
  EXPECT_EQ(r[1].find("34_autre"), std::string::npos);

  // Letter templates of the OpenOffice editor: AA_ whatever the prefix.
  r = demander(k, "KUP_CourrierListeModele", {"Courrier", "33", "", ""});
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[1], modeles_.string() + "\\\\Courrier\\" + kSep241 + "AA_accord.ott");

  // Not connected: the template's text comes back, its lines joined.
  std::string fiche = (modeles_ / "FicheHTML" / "33_fiche.html").string();
  r = demander(k, "KUP_FicheHtmlOuvrir", {fiche, "PC 33 12"});
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[2], "<html><p>Dossier {IDENT} \xC3\xA9t\xC3\xA9</p></html>");

  // The cleaning leaves the other programs' pages alone.
  demander(k, "KUP_RapportHtmlNettoyer", {});
  EXPECT_TRUE(fs::exists(temp_ / "autre_programme.html"));
  EXPECT_TRUE(appels_.empty()) << appels_.front();

  k.closeInput();
  auto status = k.wait();
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << k.log();
}
