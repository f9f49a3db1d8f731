#include <gtest/gtest.h>

#include "core/Core.h"
#include "core/Dispatcher.h"
#include "core/SsoKeys.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "tests/TestApp.h"

using namespace kup;

namespace {

// One settings record: fields 0-3 unused, section 4, key 5, 6-7 unused, value 8.
std::string Rec(const std::string& section, const std::string& key, const std::string& value) {
  std::vector<std::string> f = {"1", "x", "x", "x", section, key, "x", "x", value, "tail"};
  return Join(f, Sep240());
}

std::string Params(const std::vector<std::string>& records) { return Join(records, Sep241()); }

int gSorviCalls = 0;
int32_t FakeSorviDLL() {
  ++gSorviCalls;
  return 0;
}

}  // namespace

TEST(Settings, StoreKeepsFieldsFourFiveEightSkipsShortRecordsAndKeepsFirstDuplicate) {
  TestApp t;
  std::string shortRec = Join({"1", "x", "x", "x", "EDITION", "COURT", "x", "x"}, Sep240());
  size_t skipped = RemplirApParametre(
      t.app, Params({Rec("EDITION", "REP_MODELE", "C:\\Modeles"), shortRec, Rec("edition", "rep_modele", "D:\\Autre"),
                     Rec("DDE", "MODE", "2"), ""}));
  EXPECT_EQ(skipped, 1u);
  EXPECT_EQ(t.app.G_Parametres.size(), 2u);
  EXPECT_EQ(Gen_LireParametreKUP(t.app, "Edition", "Rep_Modele"), "C:\\Modeles");
  EXPECT_FALSE(t.app.G_Parametres.has("EDITION", "COURT"));

  // A new parameter text replaces the whole store.
  RemplirApParametre(t.app, Params({Rec("DDE", "FicDDE", "f.txt")}));
  EXPECT_EQ(Gen_LireParametreKUP(t.app, "EDITION", "REP_MODELE", "def"), "def");
  std::string r = "old";
  Gen_LireParametreKUP(t.app, "DDE", "FICDDE", r, "def");
  EXPECT_EQ(r, "f.txt");
}

TEST(Settings, UniformiserValeur) {
  for (const char* yes : {"1", "vrai", "Vrai", "TRUE", "true", "oui", "OUI"}) EXPECT_TRUE(Gen_UniformiserValeur(yes)) << yes;
  for (const char* no : {"", "0", "2", "non", "faux", " 1", "yes", "oui "}) EXPECT_FALSE(Gen_UniformiserValeur(no)) << no;
}

TEST(Settings, ReaderFillsGlobalsWithDefaultsAndSetsTheEditorType) {
  TestApp t;
  gSorviCalls = 0;
  EXPECT_EQ(t.app.G_TypeFusionArrete, "");  // empty until the settings arrive
  int editorType = -1;
  t.app.hooks.setEditorType = [&](App&, int type) { editorType = type; };
  RemplirApParametre(t.app, Params({Rec("EDITION", "REP_MODELE", "C:\\Modeles"),
                                    Rec("EDITION", "REP_FICREGLEMENT", "C:\\Regl"),
                                    Rec("EDITION", "TYPE_EDITEUR", "4"),
                                    Rec("EDITION", "REP_COURRIERATTENTE", "C:\\Attente"),
                                    Rec("DDE", "MODE", "1"), Rec("DDE", "FICDDE", "C:\\dde.txt"),
                                    Rec("ATTACHE_FICHIER", "REP_STOCKAGE", "C:\\Pieces;D:\\Archives\\"),
                                    Rec("ATTACHE_FICHIER", "TAILLE_MAX", "2048"),
                                    Rec("ATTACHE_FICHIER", "COMPRESSION", "Oui"),
                                    Rec("ATTACHE_FICHIER", "CRYPTAGE", "non"),
                                    Rec("ATTACHE_FICHIER", "CODE_INSTRUCTEUR", "TRUE")}));
  Gen_LireParametres(t.app);
  EXPECT_EQ(t.app.G_RepModele, "C:\\Modeles");
  EXPECT_EQ(t.app.G_RepFicReglement, "C:\\Regl");
  EXPECT_EQ(t.app.G_TypeFusionArrete, "0");
  EXPECT_EQ(t.app.G_RepCourrierAttente, "C:\\Attente");
  EXPECT_EQ(t.app.G_ModeDDE, "1");
  EXPECT_EQ(t.app.G_FicDDE, "C:\\dde.txt");
  EXPECT_EQ(t.app.G_RepStockage, (std::vector<std::string>{"C:\\Pieces", "D:\\Archives\\"}));
  EXPECT_EQ(t.app.G_TailleMax, "2048");
  EXPECT_TRUE(t.app.G_Compression);
  EXPECT_FALSE(t.app.G_Cryptage);
  EXPECT_FALSE(t.app.G_AttacheActif);
  EXPECT_TRUE(t.app.G_CodeInstructeur);
  EXPECT_EQ(editorType, 4);
  EXPECT_EQ(t.app.G_TypeEditeur, 4);
  EXPECT_EQ(gSorviCalls, 0);

  RemplirApParametre(t.app, "");
  Gen_LireParametres(t.app);
  EXPECT_TRUE(t.app.G_RepStockage.empty());
  EXPECT_EQ(editorType, 0);
}

TEST(Settings, ParametresCommandStartsTheRouteOfModeAtEveryCall) {
  TestApp t;
  std::vector<std::string> routes;
  t.app.hooks.SIG_Initialiser = [&](App&) { routes.push_back("SIG"); };
  t.app.hooks.DDE_Initialiser = [&](App& app) {
    routes.push_back("DDE");
    raise(282, "pas de partenaire");
  };
  for (const char* mode : {"1", "4", "2", "3", "", "2"}) {
    Args a{Value(Params({Rec("DDE", "MODE", mode)}))};
    KUP_Parametres(t.app, a);
  }
  EXPECT_EQ(routes, (std::vector<std::string>{"SIG", "SIG", "DDE", "DDE"}));
  // The route's failure goes to the error routine under the command's name.
  ASSERT_EQ(t.flash.calls.size(), 2u);
  EXPECT_EQ(t.flash.calls[0], sInvokeXML("KUP_ErreurContainer", {"KUP_Parametres", "282", "pas de partenaire"}));

  // Without hooks nothing is started and nothing fails.
  t.app.hooks = {};
  Args a{Value(Params({Rec("DDE", "MODE", "2")}))};
  KUP_Parametres(t.app, a);
  EXPECT_EQ(t.flash.calls.size(), 2u);
}

TEST(Settings, AttachmentLibraryStartsWhenActive) {
  TestApp t;
  gSorviCalls = 0;
  t.env.set("PATH", "/usr/bin");
  t.env.current = "C:\\Ailleurs";
  std::vector<std::string> loaded;
  t.app.hooks.loadProcInDLL = [&](App&, const std::string& lib, const std::string& entry) {
    loaded.push_back(lib + "!" + entry);
    return 0L;
  };
  t.libraries.add("AttacheFichier.dll", "SorviDLL", &FakeSorviDLL);
  Args a{Value(Params({Rec("ATTACHE_FICHIER", "ACTIF", "vrai")}))};
  KUP_Parametres(t.app, a);
  EXPECT_EQ(gSorviCalls, 1);
  EXPECT_EQ(loaded, (std::vector<std::string>{"AttacheFichier.dll!SorviDLL"}));
  EXPECT_EQ(t.env.get("PATH"), "C:\\Korvane:/usr/bin");
  EXPECT_EQ(t.env.current, "C:\\Korvane");
  KUP_Parametres(t.app, a);
  EXPECT_EQ(t.env.get("PATH"), "C:\\Korvane:/usr/bin");  // not stacked again
  EXPECT_TRUE(t.flash.calls.empty());
}

TEST(Settings, MissingAttachmentLibraryIsReported) {
  TestApp t;
  Args a{Value(Params({Rec("ATTACHE_FICHIER", "ACTIF", "1")}))};
  KUP_Parametres(t.app, a);
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_NE(t.flash.calls[0].find("<string>Gen_InitFichierAttache</string><string>48</string>"), std::string::npos);
  EXPECT_TRUE(t.app.G_AttacheActif);  // the settings themselves are kept
}

TEST(SingleSignOn, DecryptsUserWithFirstKeyAndPasswordWithSecond) {
  TestApp t;
  std::vector<std::string> keys;
  t.app.hooks.sDecrypterChaineSSO = [&](App&, const std::string& text, const std::string& key) {
    keys.push_back(key);
    return "clair:" + text;
  };
  Args a{Value("dXNlcg=="), Value("cGFzcw==")};
  KUP_UtilisateurUnique(t.app, a);
  EXPECT_EQ(t.app.G_UtilisateurUnique, "clair:dXNlcg==");
  EXPECT_EQ(t.app.G_MotDePasseUnique, "clair:cGFzcw==");
  EXPECT_EQ(keys, (std::vector<std::string>{kCleSSO1, kCleSSO2}));
  for (std::string k : {std::string(kCleSSO1), std::string(kCleSSO2)}) {
    ASSERT_EQ(k.size(), 19u);
    for (size_t i = 0; i < 9; ++i) EXPECT_TRUE(k[i] >= 'a' && k[i] <= 'z') << k;
    for (size_t i = 9; i < 19; ++i) EXPECT_TRUE(k[i] >= '0' && k[i] <= '9') << k;
  }
  EXPECT_NE(std::string(kCleSSO1), std::string(kCleSSO2));
}

TEST(Unload, ReleasesThroughTheHookAndAsksTheHostToEnd) {
  TestApp t;
  int released = 0;
  t.app.hooks.unload = [&](App&) { ++released; };
  t.app.G_Courrier = std::shared_ptr<ApCourrier>(reinterpret_cast<ApCourrier*>(new int(1)), [&](ApCourrier* p) {
    delete reinterpret_cast<int*>(p);
    ++released;
  });
  Args a{Value("unload")};
  unload(t.app, a);
  EXPECT_EQ(released, 2);
  EXPECT_EQ(t.app.G_Courrier, nullptr);
  EXPECT_TRUE(t.app.quitRequested);
}

TEST(StartUp, CommandLineSwitchesWithoutRegardToCase) {
  auto lc = AnalyserLigneCommande("-args user=a&dossier=PC 1 -Swif \"C:\\Mes films\\k.swf\" -debug");
  EXPECT_EQ(lc.args, "user=a&dossier=PC 1");
  EXPECT_EQ(lc.swif, "C:\\Mes films\\k.swf");
  EXPECT_TRUE(lc.debug);
  EXPECT_FALSE(lc.perf);

  lc = AnalyserLigneCommande("-PERF -ARGS x-DEBUG=1 -DEBUGGER");
  EXPECT_TRUE(lc.perf);
  EXPECT_FALSE(lc.debug);  // only a word of its own is a switch
  EXPECT_EQ(lc.args, "x-DEBUG=1 -DEBUGGER");

  lc = AnalyserLigneCommande("");
  EXPECT_EQ(lc.args, "");
  EXPECT_EQ(lc.swif, "");
}

TEST(StartUp, MainShowsTheWindowLoadsTheCatalogueOnceAndReportsUnderMain) {
  TestApp t;
  int loads = 0;
  t.app.hooks.sub_ChargerEquivalences = [&](App&) {
    ++loads;
    raise(53, "Var_Catalogue_V3.csv");
  };
  EXPECT_EQ(Main(t.app, "-ARGS a=1 -PERF"), 0);
  Main(t.app, "-ARGS a=1 -PERF");
  EXPECT_EQ(loads, 1);
  EXPECT_TRUE(t.app.KUP_MDI.Visible);
  EXPECT_NE(t.app.KUP_MDI.hWnd, 0);
  EXPECT_TRUE(t.app.G_Perf);
  EXPECT_FALSE(t.app.G_Debug);
  EXPECT_EQ(t.flash.FlashVars, "a=1");
  EXPECT_EQ(t.flash.Movie, "C:\\Korvane\\korvane.swf");
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_EQ(t.flash.calls[0], sInvokeXML("KUP_ErreurContainer", {"main", "53", "Var_Catalogue_V3.csv"}));

  // The timer is wired to the deferred-call routine.
  t.app.G_AppelDiffere = "<invoke name=\"x\"><arguments><array><property id=\"0\"><string>KUP_Rien</string>"
                         "</property></array></arguments></invoke>";
  t.app.commands = std::make_shared<CommandTable>();
  bool ran = false;
  t.app.commands->add("KUP_Rien", [&](App&, Args&) { ran = true; });
  t.timer.setEnabled(true);
  t.timer.fire();
  EXPECT_TRUE(ran);
}
