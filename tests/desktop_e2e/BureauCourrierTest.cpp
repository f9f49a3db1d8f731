// Desktop mode with a visible office, under a virtual X server (xvfb-run):
// a letter is merged and shown in LibreOffice, a person types into it, the
// letter is merged and saved, and the saved document holds what was typed;
// a decree is printed through the office's print dialog; the program ends as
// it should when signalled or when the screen goes away. A window manager
// (openbox) runs on the screen. Pictures of the screen are kept under the
// build folder.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <zip.h>

#include <gtest/gtest.h>

#include "tests/e2e/Child.h"

namespace fs = std::filesystem;

namespace {

const std::string kSep240 = "\xC3\xB0", kSep241 = "\xC3\xB1";

std::string Setting(const std::string& section, const std::string& key, const std::string& value) {
  return "0" + kSep240 + "1" + kSep240 + "2" + kSep240 + "3" + kSep240 + section + kSep240 + key + kSep240 + "6" +
         kSep240 + "7" + kSep240 + value;
}

// Runs a program with an argument vector; its standard output.
std::string Lancer(const std::vector<std::string>& argv, int* status = nullptr) {
  std::string cmd;
  for (auto& a : argv) cmd += "'" + a + "' ";
  std::string out;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[512];
    size_t n;
    while ((n = ::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int s = ::pclose(p);
    if (status) *status = s;
  }
  return out;
}

std::string ContentXml(const fs::path& odt) {
  int err = 0;
  zip_t* z = zip_open(odt.c_str(), ZIP_RDONLY, &err);
  if (!z) return {};
  std::string out;
  if (zip_file_t* f = zip_fopen(z, "content.xml", 0)) {
    char buf[4096];
    zip_int64_t n;
    while ((n = zip_fread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    zip_fclose(f);
  }
  zip_close(z);
  return out;
}

void CaptureScreen(const std::string& name) {
  if (QScreen* s = QGuiApplication::primaryScreen())
    s->grabWindow(0).save(QString::fromUtf8(KUP_SCREENSHOT_DIR) + "/" + QString::fromStdString(name) + ".png");
}

}  // namespace

// korvane in desktop mode with its settings; a letter merged and shown in
// the office, and text typed into it by the person.
struct LettreTapee {
  const fs::path tmp = fs::temp_directory_path() / ("kup_bureau_" + std::to_string(::getpid()));
  const std::string modeles = std::string(KUP_SOURCE_DIR) + "/samples/modeles";
  const std::string tape = "Texte saisi par la personne";
  const std::string champs = "Wattrelos" + kSep240 + "Mme Durand" + kSep240 + "3 rue des Lilas" + kSep240 +
                             "59150" + kSep240 + "Wattrelos" + kSep240 + "PC 059 650 24 A0042" + kSep240 +
                             "06/12/2026" + kSep240 + "une extension";
  const std::string signets = "6 décembre 2026" + kSep240 + "Accusé de réception" + kSep240 + "Deux mois." +
                              kSep240 + "Le maire";
  std::unique_ptr<e2e::Child> k;
  std::string id;  // the letter's window

  LettreTapee() { fs::create_directories(tmp / "attente"); }
  ~LettreTapee() {
    k.reset();
    fs::remove_all(tmp);
  }

  // The id of the first visible window whose name matches, "" when none
  // comes within the time given.
  std::string fenetre(const std::string& nom, int secondes = 180) {
    std::string trouve;  // looked for again when xdotool loses a window that goes meanwhile
    for (auto fin = std::chrono::steady_clock::now() + std::chrono::seconds(secondes);
         trouve.empty() && std::chrono::steady_clock::now() < fin; std::this_thread::sleep_for(std::chrono::milliseconds(100)))
      trouve = Lancer({"xdotool", "search", "--onlyvisible", "--name", nom});
    return trouve.substr(0, trouve.find('\n'));
  }

  // korvane in desktop mode, with its settings (env: more of its environment).
  void demarrer(const std::vector<std::string>& env = {}, const std::string& modeDde = "0") {
    std::vector<std::string> tout{"TEMP=" + tmp.string(), "SAL_USE_VCLPLUGIN=gen", "QT_QPA_PLATFORM=xcb"};
    tout.insert(tout.end(), env.begin(), env.end());
    k = std::make_unique<e2e::Child>(std::vector<std::string>{e2e::ProgramPath("korvane"), "--desktop"}, true,
                                     std::string(), tout);
    ASSERT_TRUE(k->started());
    ASSERT_TRUE(k->request(e2e::Invoke(
        "KUP_Parametres",
        {Setting("EDITION", "REP_MODELE", modeles) + kSep241 + Setting("EDITION", "TYPE_EDITEUR", "4") + kSep241 +
         Setting("EDITION", "REP_COURRIERATTENTE", (tmp / "attente").string()) + kSep241 +
         Setting("DDE", "MODE", modeDde) + kSep241 + Setting("ATTACHE_FICHIER", "ACTIF", "0")})));
    ASSERT_FALSE(k->untilRet(120000).empty()) << k->log();
  }

  // The letter merged and shown.
  void ouvrir(const std::vector<std::string>& env = {}) {
    ASSERT_NO_FATAL_FAILURE(demarrer(env));
    ASSERT_TRUE(k->request(e2e::Invoke("KUP_CourrierInitialiser", {modeles + "/courrier/AA_lettre_demande.ott"})));
    auto frames = k->untilRet(120000);
    ASSERT_FALSE(frames.empty()) << k->log();
    // Its merge fields come back.
    ASSERT_NE(frames.back().payload.find("<string>"), std::string::npos) << frames.back().payload << k->log();

    // Merged and shown to the person, in front.
    ASSERT_TRUE(
        k->request(e2e::Invoke("KUP_CourrierOuvrir", {"lettre.odt", "A", "B", "C", "1", "", champs, signets})));
    ASSERT_FALSE(k->untilRet(120000).empty()) << k->log();
  }

  void ouvrirEtTaper(const std::vector<std::string>& env = {}) {
    ASSERT_NO_FATAL_FAILURE(ouvrir(env));
    // The person types at the cursor of the letter's window.
    id = fenetre("LibreOffice");
    ASSERT_FALSE(id.empty()) << "no LibreOffice window on the screen\n" << k->log();
    Lancer({"xdotool", "windowfocus", "--sync", id});
    Lancer({"xdotool", "type", "--delay", "15", tape});
    Lancer({"xdotool", "key", "Return"});
    // Keys and UNO calls reach the office on two roads. The office handles
    // its keys in order: once the search window that the last key opens is
    // there, the text is in the letter.
    Lancer({"xdotool", "key", "ctrl+h"});
    std::string recherche = fenetre("Find|Rechercher");
    ASSERT_FALSE(recherche.empty()) << "the office did not take its keys\n" << k->log();
    Lancer({"xdotool", "windowfocus", "--sync", recherche});
    Lancer({"xdotool", "key", "Escape"});
    for (int i = 0; i < 600 && !Lancer({"xdotool", "search", "--onlyvisible", "--name", "Find|Rechercher"}).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
};

TEST(DesktopOffice, TextTypedIntoTheShownLetterIsSaved) {
  LettreTapee l;
  ASSERT_NO_FATAL_FAILURE(l.ouvrirEtTaper());
  CaptureScreen("bureau_courrier");
  auto& k = *l.k;
  // Shown maximised by the window manager, in an office that speaks French.
  const std::string etat = Lancer({"xprop", "-id", l.id, "_NET_WM_STATE"});
  EXPECT_NE(etat.find("_NET_WM_STATE_MAXIMIZED_VERT"), std::string::npos) << etat;
  EXPECT_NE(etat.find("_NET_WM_STATE_MAXIMIZED_HORZ"), std::string::npos) << etat;
  // ... and the letter fills the screen, not a frame it was put beside.
  const std::string geo = Lancer({"xwininfo", "-id", l.id});
  auto valeur = [&](const std::string& cle) {
    auto p = geo.find(cle);
    return p == std::string::npos ? -1 : std::atoi(geo.c_str() + p + cle.size());
  };
  const QRect ecran = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(valeur("Absolute upper-left X:"), 0) << geo;
  EXPECT_EQ(valeur("Width:"), ecran.width()) << geo;
  EXPECT_LE(valeur("Absolute upper-left Y:") + valeur("Height:"), ecran.height()) << geo;
  const std::string titre = Lancer({"xdotool", "getwindowname", l.id});
  EXPECT_EQ(titre.rfind("AA_lettre_demande - ", 0), 0u) << titre;

  // Merged again and saved for deferred printing: lettre_B_1_C_A.odt.
  ASSERT_TRUE(k.request(e2e::Invoke("KUP_CourrierImpressionDifferee",
                                    {"lettre.odt", "A", "B", "C", "1", "", l.champs, l.signets})));
  ASSERT_FALSE(k.untilRet(120000).empty()) << k.log();
  const fs::path saved = l.tmp / "attente" / "lettre_B_1_C_A.odt";
  ASSERT_TRUE(fs::exists(saved)) << k.log();
  const std::string xml = ContentXml(saved);
  EXPECT_NE(xml.find(l.tape), std::string::npos) << xml.substr(0, 2000);
  EXPECT_NE(xml.find("Mme Durand"), std::string::npos);

  // Nothing left unsaved: the session ends without a question.
  k.closeInput();
  auto end = k.wait(120000);
  ASSERT_TRUE(end && WIFEXITED(*end) && WEXITSTATUS(*end) == 0) << k.log();
  EXPECT_EQ(k.log().find("modifications non enregistrées"), std::string::npos) << k.log();
}

TEST(DesktopOffice, EndOfSessionAsksBeforeTypedTextIsLost) {
  LettreTapee l;
  ASSERT_NO_FATAL_FAILURE(l.ouvrirEtTaper());
  auto& k = *l.k;
  k.closeInput();

  // The question is on the screen, and the office with the letter still runs.
  int status = 0;
  std::string id =
      Lancer({"timeout", "180", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^Korvane$"}, &status);
  ASSERT_EQ(status, 0) << "no question on the screen\n" << k.log();
  id = id.substr(0, id.find('\n'));
  EXPECT_FALSE(k.wait(300).has_value()) << k.log();
  EXPECT_EQ(Lancer({"xdotool", "search", "--onlyvisible", "--name", "LibreOffice"}).empty(), false);
  CaptureScreen("bureau_question");

  // "Oui" (the default is "Non"): the person lets the changes go.
  Lancer({"xdotool", "windowfocus", "--sync", id});
  Lancer({"xdotool", "key", "shift+Tab", "space"});
  auto end = k.wait(120000);
  ASSERT_TRUE(end && WIFEXITED(*end) && WEXITSTATUS(*end) == 0) << k.log();
  EXPECT_NE(k.log().find("modifications non enregistrées"), std::string::npos) << k.log();
  EXPECT_NE(k.log().find("-> Oui"), std::string::npos) << k.log();
}

// The office's process from the program's log (0 when not found).
pid_t OfficeDuJournal(const std::string& log) {
  const std::string demarre = "LibreOffice démarré, processus ";
  const size_t at = log.find(demarre);
  return at == std::string::npos ? 0 : static_cast<pid_t>(std::atol(log.c_str() + at + demarre.size()));
}

bool ProcessusVivant(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string ligne;
  if (!std::getline(stat, ligne)) return false;
  const size_t fin = ligne.rfind(')');
  return fin != std::string::npos && fin + 2 < ligne.size() && ligne[fin + 2] != 'Z';
}

// A signal while the question waits is written down; a second one ends the
// program at once, and the office keeps the person's letter.
TEST(DesktopOffice, SecondSignalDuringTheQuestionLeavesTheOfficeOpen) {
  LettreTapee l;
  // Its profile in our folder: the office left open goes with it at the end.
  ASSERT_NO_FATAL_FAILURE(l.ouvrirEtTaper({"TMPDIR=" + l.tmp.string()}));
  auto& k = *l.k;
  k.closeInput();
  int status = 0;
  Lancer({"timeout", "180", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^Korvane$"}, &status);
  ASSERT_EQ(status, 0) << "no question on the screen\n" << k.log();

  ::kill(k.pid(), SIGTERM);
  for (int i = 0; i < 1200 && k.log().find("reçu pendant la fin de session") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_NE(k.log().find("reçu pendant la fin de session"), std::string::npos) << k.log();
  EXPECT_FALSE(k.wait(300).has_value()) << k.log();

  ::kill(k.pid(), SIGTERM);
  auto end = k.wait(120000);
  ASSERT_TRUE(end && WIFEXITED(*end)) << k.log();
  EXPECT_EQ(WEXITSTATUS(*end), 4) << k.log();
  const pid_t office = OfficeDuJournal(k.log());
  ASSERT_GT(office, 0) << k.log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(::kill(office, 0), 0) << "the office was ended with the program";
  EXPECT_FALSE(l.fenetre("LibreOffice").empty()) << "the letter is no longer on the screen";
  // Ours to end now: its process group, and what it leaves in /tmp is swept
  // by the next program's start.
  ::kill(-office, SIGKILL);
}

// The screen the office and the program show on goes away in the middle of
// the session: the program ends with its own code and the reason, and takes
// the office and its profile folder with it.
TEST(DesktopOffice, TheDisplayGoingAwayEndsTheOfficeToo) {
  int n = 600 + ::getpid() % 300;
  while (fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) ++n;
  const std::string display = ":" + std::to_string(n);
  auto x = std::make_unique<e2e::Child>(
      std::vector<std::string>{"/usr/bin/Xvfb", display, "-nolisten", "tcp", "-noreset", "-screen", "0", "1280x1024x24"});
  for (int i = 0; i < 2400 && std::system(("DISPLAY=" + display + " xdpyinfo >/dev/null 2>&1").c_str()) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  LettreTapee l;
  ASSERT_NO_FATAL_FAILURE(l.ouvrir({"DISPLAY=" + display, "TMPDIR=" + l.tmp.string()}));
  auto& k = *l.k;
  const pid_t office = OfficeDuJournal(k.log());
  ASSERT_GT(office, 0) << k.log();
  auto profils = [&] {
    int nb = 0;
    for (auto& e : fs::directory_iterator(l.tmp))
      if (e.path().filename().string().rfind("kup-lo-", 0) == 0) ++nb;
    return nb;
  };
  ASSERT_EQ(profils(), 1) << k.log();

  ::kill(x->pid(), SIGTERM);
  x->wait(60000);
  auto end = k.wait(120000);
  ASSERT_TRUE(end && WIFEXITED(*end)) << k.log();
  EXPECT_EQ(WEXITSTATUS(*end), 3) << k.log();
  EXPECT_NE(k.log().find("connexion à l'écran perdue"), std::string::npos) << k.log();
  for (int i = 0; i < 1200 && ProcessusVivant(office); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(ProcessusVivant(office));
  EXPECT_EQ(profils(), 0) << k.log();
  if (ProcessusVivant(office)) ::kill(-office, SIGKILL);
}

// A decree printed as the person asks: the office's print dialog is on the
// screen, and cancelling it prints nothing.
TEST(DesktopOffice, TheDecreeIsPrintedThroughThePrintDialog) {
  LettreTapee l;
  const fs::path dde = l.tmp / "dde";
  fs::create_directories(dde);
  fs::permissions(dde, fs::perms::owner_all);
  ASSERT_NO_FATAL_FAILURE(l.demarrer({"KUP_DDE_DIR=" + dde.string()}, "2"));  // our topic open
  auto& k = *l.k;
  ASSERT_TRUE(k.request(e2e::Invoke("KUP_ArreteInitialiser", {l.modeles + "/courrier/AA_lettre_demande.ott"})));
  ASSERT_FALSE(k.untilRet(120000).empty()) << k.log();
  std::vector<std::string> appels;  // the program's calls into the interface
  auto repondu = [&](int ms) {       // true once the request's RET came
    for (auto& f : k.untilRet(ms)) {
      if (f.kind == "RET") return true;
      appels.push_back(f.payload);
    }
    return false;
  };
  // Printed twice, then shown: each reply waits for the person's answer,
  // and the decree stays in place on the screen, nothing over it. A partner
  // that sends meanwhile is answered at once, its command run after.
  bool partenaire = true;
  for (const std::string commande : {"KUP_ArreteImprimer", "KUP_ArreteImprimer", "KUP_ArreteOuvrir"}) {
    ASSERT_TRUE(k.request(e2e::Invoke(commande, {l.champs, l.signets})));
    if (commande == "KUP_ArreteImprimer") {
      const std::string dialogue = l.fenetre("^Imprimer$");
      ASSERT_FALSE(dialogue.empty()) << "no print dialog on the screen\n" << k.log();
      CaptureScreen("bureau_impression");
      EXPECT_TRUE(Lancer({"xdotool", "search", "--onlyvisible", "--name", "^Traitement en cours$"}).empty());
      EXPECT_FALSE(repondu(3000)) << "answered before the person did\n" << k.log();
      if (std::exchange(partenaire, false)) {
        std::ofstream(l.tmp / "envoi") << "ZezORA_ParcelleAjouter(350001000AB0012)\n";
        e2e::Child sig({e2e::ProgramPath("kup_gis_standin"), "--app", "SIG", "--no-server", "--no-window", "--dir",
                        dde.string(), "--send", (l.tmp / "envoi").string(), "--to", "Korvane|ZEDERA",
                        "--send-timeout-ms", "10000", "--quit-after-send", "--send-log", (l.tmp / "envois").string()},
                       true, {}, {"KUP_DDE_DIR=" + dde.string()});
        EXPECT_TRUE(sig.wait(30000).has_value());
        std::ifstream envois(l.tmp / "envois");
        std::string issue;
        std::getline(envois, issue);
        EXPECT_EQ(issue.rfind("ACK ", 0), 0u) << issue << "\n" << k.log();
        EXPECT_TRUE(appels.empty());
      }
      Lancer({"xdotool", "windowfocus", "--sync", dialogue});
      Lancer({"xdotool", "key", "Escape"});
    }
    ASSERT_TRUE(repondu(120000)) << k.log();
    EXPECT_TRUE(Lancer({"xdotool", "search", "--onlyvisible", "--name", "^Imprimer$"}).empty());
    const std::string geo = Lancer({"xwininfo", "-id", l.fenetre("LibreOffice", 10)});
    EXPECT_NE(geo.find("Absolute upper-left X:  0\n"), std::string::npos) << geo;
  }
  ASSERT_EQ(appels.size(), 1u);
  EXPECT_NE(appels[0].find("ZezORA_ParcelleAjouter"), std::string::npos) << appels[0];
  EXPECT_EQ(k.log().find("Aucune imprimante"), std::string::npos) << k.log();
  // The decree stays in front of the person, who let it go unsaved (when
  // the end asks: the program ends or asks, whichever comes).
  k.closeInput();
  std::optional<int> end;
  const auto limite = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (!end && std::chrono::steady_clock::now() < limite) {
    const std::string question = Lancer({"xdotool", "search", "--onlyvisible", "--name", "^Korvane$"});
    if (!question.empty()) {
      Lancer({"xdotool", "windowfocus", "--sync", question.substr(0, question.find('\n'))});
      Lancer({"xdotool", "key", "shift+Tab", "space"});
      end = k.wait(120000);
    } else {
      end = k.wait(500);
    }
  }
  EXPECT_TRUE(end && WIFEXITED(*end) && WEXITSTATUS(*end) == 0) << k.log();
}

// While a request holds the program (here it waits for a GIS that does not
// come), the busy indicator says so in words, not as an empty frame, and
// takes no click; the box that follows is not under it.
TEST(DesktopOffice, TheBusyIndicatorIsDrawnWhileTheProgramWorks) {
  const fs::path tmp = fs::temp_directory_path() / ("kup_occupe_" + std::to_string(::getpid()));
  fs::create_directories(tmp / "dde");
  fs::permissions(tmp / "dde", fs::perms::owner_all);
  e2e::Child k({e2e::ProgramPath("korvane"), "--desktop"}, true, std::string(),
               {"TEMP=" + tmp.string(), "KUP_DDE_DIR=" + (tmp / "dde").string(), "QT_QPA_PLATFORM=xcb"});
  ASSERT_TRUE(k.started());
  ASSERT_TRUE(k.request(e2e::Invoke(
      "KUP_Parametres", {Setting("DDE", "MODE", "2") + kSep241 + Setting("DDE_NEW", "SIG_NOMAPPLI", "Carte SIG") +
                         kSep241 + Setting("DDE_NEW", "SIG_TOPIC", "SIG|CARTO") + kSep241 +
                         Setting("DDE_NEW", "SIG_NOMEXE", "/bin/true")})));
  ASSERT_FALSE(k.untilRet(120000).empty()) << k.log();
  ASSERT_TRUE(k.request(e2e::Invoke("SIG_ParcelleUniqueCadrer", {"350001000AB0012"})));

  int status = 0;
  std::string occupe = Lancer(
      {"timeout", "60", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^Traitement en cours$"}, &status);
  ASSERT_EQ(status, 0) << "no busy indicator on the screen\n" << k.log();
  occupe = occupe.substr(0, occupe.find('\n'));
  // Out of the window manager's hands: no frame to take a click.
  EXPECT_NE(Lancer({"xwininfo", "-id", occupe}).find("Override Redirect State: yes"), std::string::npos);
  // Drawn: more than the one colour of an empty window (looked at until the
  // wait for the GIS ends). The window's own pixels, as xwd reads them.
  auto couleurs = [&] {
    const std::string xwd = Lancer({"xwd", "-silent", "-id", occupe});
    auto mot = [&](size_t i) {
      const auto* b = reinterpret_cast<const unsigned char*>(xwd.data()) + 4 * i;
      return size_t(b[0]) << 24 | size_t(b[1]) << 16 | size_t(b[2]) << 8 | size_t(b[3]);
    };
    std::set<std::string> vues;
    if (xwd.size() < 100) return vues.size();
    const size_t debut = mot(0) + 12 * mot(19), largeur = mot(4), hauteur = mot(5), octets = mot(11) / 8,
                 ligne = mot(12);
    for (size_t y = 0; y < hauteur; ++y)
      for (size_t x = 0; x < largeur; ++x)
        if (debut + y * ligne + (x + 1) * octets <= xwd.size())
          vues.insert(xwd.substr(debut + y * ligne + x * octets, octets));
    return vues.size();
  };
  size_t vues = 0;
  for (int i = 0; i < 100 && (vues = couleurs()) < 3 &&
                  !Lancer({"xdotool", "search", "--onlyvisible", "--name", "^Traitement en cours$"}).empty();
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_GE(vues, 3u) << "the busy indicator is an empty frame";

  // The GIS does not come: the box says so, with no indicator over it.
  const std::string boite = Lancer({"timeout", "60", "xdotool", "search", "--sync", "--onlyvisible", "--name",
                                    "^Erreur lien DDE$"});
  ASSERT_FALSE(boite.empty()) << k.log();
  EXPECT_TRUE(Lancer({"xdotool", "search", "--onlyvisible", "--name", "^Traitement en cours$"}).empty());
  Lancer({"xdotool", "windowfocus", "--sync", boite.substr(0, boite.find('\n'))});
  Lancer({"xdotool", "key", "Return"});
  ASSERT_FALSE(k.untilRet(120000).empty()) << k.log();
  k.closeInput();
  auto end = k.wait(120000);
  EXPECT_TRUE(end && WIFEXITED(*end) && WEXITSTATUS(*end) == 0) << k.log();
  fs::remove_all(tmp);
}

namespace {

// A window manager on the virtual screen, as on a person's desktop:
// maximising a window is its business.
pid_t DemarrerGestionnaireDeFenetres() {
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    if (Lancer({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  fs::create_directories(KUP_SCREENSHOT_DIR);
  ::testing::InitGoogleTest(&argc, argv);
  const pid_t wm = ::testing::GTEST_FLAG(list_tests) ? 0 : DemarrerGestionnaireDeFenetres();
  int rc = RUN_ALL_TESTS();
  if (wm > 0) {
    ::kill(wm, SIGTERM);
    ::waitpid(wm, nullptr, 0);
  }
  return rc;
}
