// The document commands through the bridge of the real korvane: template
// lists from a real folder, the HTML sheet merge, the temporary pages. The
// merge with a session runs korvane_fakedb (korvane whose Connexion reaches
// a scripted database) under the bridge client, as the interface would.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/e2e/Child.h"
#include "tools/bridge_client/Session.h"

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
    for (size_t gt; (gt = v.find("&gt;")) != std::string::npos;) v.replace(gt, 4, ">");
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

  // What the bridge client printed for one session run by korvane_fakedb.
  struct Transcript {
    std::string text;
    int code = -1;
    std::vector<std::vector<std::string>> rets, calls;  // decoded values; an empty RET gives {}
  };

  Transcript client(const std::string& session, const std::string& script, const std::string& opener) {
    fs::path sessionFile = racine_ / "session.txt", scriptFile = racine_ / "script.txt";
    Ecrire(sessionFile, session);
    Ecrire(scriptFile, script);
    Child c({e2e::ProgramPath("kup_bridge_client"), "--session", sessionFile.string(), "--timeout", "20", "--",
             e2e::ProgramPath("korvane_fakedb")},
            true, {}, {"KUP_FAKEDB_SCRIPT=" + scriptFile.string(), "KUP_FAKEDB_OPENER=" + opener});
    Transcript t;
    if (!c.started()) return t;
    t.text = c.readAll(60000);
    auto status = c.wait(60000);
    if (status && WIFEXITED(*status)) t.code = WEXITSTATUS(*status);
    std::istringstream lines(t.text);
    for (std::string l; std::getline(lines, l);) {
      bool ret = l.rfind("< RET ", 0) == 0, call = l.rfind("< CALL ", 0) == 0;
      if (!ret && !call) continue;
      std::vector<std::string> values;
      if (l != "< RET (no value)") {
        std::string rest = l.substr(ret ? 6 : 7);
        for (size_t pos = 0;;) {
          size_t bar = rest.find(" | ", pos);
          values.push_back(kup::bridgeclient::UnescapeField(rest.substr(pos, bar - pos)));
          if (bar == std::string::npos) break;
          pos = bar + 3;
        }
      }
      (ret ? t.rets : t.calls).push_back(values);
    }
    return t;
  }

  // The settings request of a session file: the template root, no GIS route.
  std::string parametres() const {
    auto reglage = [](const std::string& section, const std::string& key, const std::string& value) {
      return "0{240}1{240}2{240}3{240}" + section + "{240}" + key + "{240}6{240}7{240}" + value;
    };
    return "KUP_Parametres | " + reglage("EDITION", "REP_MODELE", modeles_.string()) + "{241}" +
           reglage("DDE", "MODE", "0") + "\n";
  }

  // The pages of the temporary folder, foreign ones included.
  std::set<std::string> pages() const {
    std::set<std::string> out;
    for (auto& e : fs::directory_iterator(temp_))
      if (e.path().extension() == ".html") out.insert(e.path().filename().string());
    return out;
  }

  fs::path racine_, modeles_, temp_;
  std::string ancienTemp_;
  std::vector<std::string> appels_;
};

// The host file behind a page path that korvane answered (TEMP & "\" & name).
fs::path Hote(std::string chemin) {
  for (auto& c : chemin)
    if (c == '\\') c = '/';
  return chemin;
}

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

TEST_F(Documents, MergesASheetWithADatabaseAndCleansEveryPageOfItsOwn) {
  // The database fills the template with the identifiers; the euro sign
  // shows the page is written in Windows-1252, not Latin-1.
  const std::string script =
      "# the merge of the sheets\n"
      "PK_RAP_HTML.FUSIONNERHTML -> fic_res = <body id=\"${LIST_IDENT}\">${fic_html} \xE2\x82\xAC</body>\n";
  // The viewer: writes down each page it is given.
  fs::path vus = racine_ / "vus.txt", viewer = racine_ / "viewer.sh";
  Ecrire(viewer, "#!/bin/sh\necho \"$1\" >> '" + vus.string() + "'\n");
  fs::permissions(viewer, fs::perms::owner_all);
  std::string fiche = (modeles_ / "FicheHTML" / "33_fiche.html").string();

  Transcript a = client(parametres() +
                            "KUP_FicheHtmlLister | | 33 | |\n"
                            "KUP_FicheHtmlOuvrir | " + fiche + " | PC 33 12\n"
                            "Connexion | urba | secret\n"
                            "KUP_FicheHtmlOuvrir | " + fiche + " | PC 33 12\n"
                            "KUP_FicheHtmlOuvrir | " + fiche + " | PC 33 13\n",
                        script, viewer.string());
  ASSERT_EQ(a.code, 0) << a.text;
  EXPECT_TRUE(a.calls.empty()) << a.text;
  ASSERT_EQ(a.rets.size(), 6u) << a.text;
  ASSERT_EQ(a.rets[1].size(), 4u);
  EXPECT_EQ(a.rets[1][1], modeles_.string() + "\\\\FicheHTML\\" + kSep241 + "33_fiche.html");
  // Before the logon the template comes back as it is, and no page is written.
  EXPECT_EQ(a.rets[2], (std::vector<std::string>{"KUP_FicheHtmlOuvrir", "",
                                                 "<html><p>Dossier {IDENT} \xC3\xA9t\xC3\xA9</p></html>", "", ""}));
  EXPECT_EQ(a.rets[3], (std::vector<std::string>{"Connexion", "", ""}));

  std::vector<fs::path> ecrites;
  for (size_t i : {4u, 5u}) {
    ASSERT_EQ(a.rets[i].size(), 4u) << a.text;
    EXPECT_EQ(a.rets[i][0], "KUP_FicheHtmlOuvrir");
    EXPECT_EQ(a.rets[i][1].rfind(temp_.string() + "\\", 0), 0u) << a.rets[i][1];
    EXPECT_EQ(a.rets[i][2], "");
    EXPECT_EQ(a.rets[i][3], "");
    ecrites.push_back(Hote(a.rets[i][1]));
  }
  ASSERT_NE(ecrites[0], ecrites[1]);
  // The template's lines were sent joined; the page ends with CR LF.
  EXPECT_EQ(Lire(ecrites[0]), "<body id=\"PC 33 12\"><html><p>Dossier {IDENT} \xE9t\xE9</p></html> \x80</body>\r\n");
  EXPECT_EQ(Lire(ecrites[1]), "<body id=\"PC 33 13\"><html><p>Dossier {IDENT} \xE9t\xE9</p></html> \x80</body>\r\n");
  EXPECT_EQ(pages(), (std::set<std::string>{"autre_programme.html", ecrites[0].filename().string(),
                                            ecrites[1].filename().string()}));
  // Each page was handed to the viewer (started without being waited for).
  std::string montrees;
  for (int i = 0; i < 500 && std::count(montrees.begin(), montrees.end(), '\n') < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    montrees = Lire(vus);
  }
  EXPECT_NE(montrees.find(ecrites[0].string() + "\n"), std::string::npos) << montrees;
  EXPECT_NE(montrees.find(ecrites[1].string() + "\n"), std::string::npos) << montrees;

  // Another session's cleaning takes the first session's pages too, each
  // with its dossiers and user; the other program's page is not ours.
  Transcript b = client(parametres() +
                            "Connexion | urba | secret\n"
                            "KUP_FicheHtmlOuvrir | " + fiche + " | PC 33 14\n"
                            "KUP_RapportHtmlNettoyer\n"
                            "KUP_RapportHtmlNettoyer\n",
                        script, "/bin/true");
  ASSERT_EQ(b.code, 0) << b.text;
  EXPECT_TRUE(b.calls.empty()) << b.text;
  ASSERT_EQ(b.rets.size(), 5u) << b.text;
  ASSERT_EQ(b.rets[2].size(), 4u) << b.text;
  fs::path troisieme = Hote(b.rets[2][1]);
  EXPECT_EQ(b.rets[3], std::vector<std::string>{});
  EXPECT_EQ(b.rets[4], std::vector<std::string>{});  // nothing left to clean: still no answer
  EXPECT_FALSE(fs::exists(troisieme));
  EXPECT_EQ(pages(), std::set<std::string>{"autre_programme.html"});
}

TEST_F(Documents, ADatabaseFailureIsReportedAndTheMergeAnswersNothing) {
  fs::path vus = racine_ / "vus.txt", viewer = racine_ / "viewer.sh";
  Ecrire(viewer, "#!/bin/sh\necho \"$1\" >> '" + vus.string() + "'\n");
  fs::permissions(viewer, fs::perms::owner_all);
  std::string fiche = (modeles_ / "FicheHTML" / "33_fiche.html").string();
  Transcript t = client(parametres() +
                            "Connexion | urba | secret\n"
                            "KUP_FicheHtmlOuvrir | " + fiche + " | PC 33 12\n"
                            "KUP_FicheHtmlOuvrir | " + (modeles_ / "FicheHTML" / "absente.html").string() +
                            " | PC 33 12\n",
                        "PK_RAP_HTML.FUSIONNERHTML -> ! 20001 ORA-20001: mod\xC3\xA8le refus\xC3\xA9\n",
                        viewer.string());
  ASSERT_EQ(t.code, 0) << t.text;
  ASSERT_EQ(t.rets.size(), 4u) << t.text;
  EXPECT_EQ(t.rets[1], (std::vector<std::string>{"Connexion", "", ""}));
  EXPECT_EQ(t.rets[2], std::vector<std::string>{});
  EXPECT_EQ(t.calls, (std::vector<std::vector<std::string>>{
                         {"KUP_ErreurContainer", "bExecuteSQL", "20001", "ORA-20001: mod\xC3\xA8le refus\xC3\xA9"}}));
  // A missing template never reaches the database: the failure reply.
  ASSERT_EQ(t.rets[3].size(), 4u) << t.text;
  EXPECT_EQ(t.rets[3][0], "KUP_FicheHtmlOuvrir");
  EXPECT_EQ(t.rets[3][1], "");
  EXPECT_EQ(t.rets[3][2], "53");
  EXPECT_EQ(pages(), std::set<std::string>{"autre_programme.html"});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(fs::exists(vus));
}
