// The strings the map, theme and thematic commands send, their routing by
// MODE and their answers.
#include <gtest/gtest.h>

#include "GisTestApp.h"
#include "core/Core.h"
#include "vb/VbError.h"
#include "gis/SIG_Partenaire.h"
#include "gis/SIG_Thematique.h"
#include "gis/SIG_Theme.h"

using kup::Args;
using kup::Value;
using Strings = std::vector<std::string>;

namespace {

const std::string kRef1 = "590350    A0123";  // 59 0 350, no prefix, section " A", number 123
const std::string kRef2 = "591100   AB0004";
const std::string kSig1 = "590350-   -A-00123";
const std::string kSig2 = "591100-   -AB-00004";

struct Route : GisTestApp {
  Route() {
    configurerSig();
    initialiser();
    dde->addServer("SIG|CARTO");
  }
  std::string defaut(const Strings& args) {
    Strings r = args;
    r.emplace_back();
    r.emplace_back();
    return kup::sSetReturnValueXML(r);
  }
  static Args A(const Strings& s) { return Args(s.begin(), s.end()); }
  void ajouterZezora() {
    kup::ChargerTxtDDE(app, 4);
    kup::DDE_ClientCreer(app, "ZEZORA", "ZezORA", "", "ZEZORA|VIEWER", 4, 5, "XX", "", "XXX", "", "", "", "XX", "",
                         "XXXX");
    dde->addServer("ZEZORA|VIEWER");
  }
};

}  // namespace

TEST(CommandesCarte, MultipleParcelFraming) {
  Route t;
  t.commande("SIG_ParcelleMultipleCadrer", Route::A({kRef1 + ";" + kRef2}));
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_ParcelleInitialiser", "SIG_ParcelleAjouter(59350#" + kSig1 + ")",
                                  "SIG_ParcelleAjouter(59100#" + kSig2 + ")", "SIG_ParcelleCadrer"}));
  ASSERT_EQ(t.dde->executes.size(), 4u);
  EXPECT_EQ(t.dde->executes[0].timeout, 3);
  EXPECT_EQ(t.dde->executes[2].timeout, 3);
  EXPECT_EQ(t.dde->executes[3].timeout, 0);
  EXPECT_EQ(t.flash.returnValue(), t.defaut({kRef1 + ";" + kRef2}));

  // An empty list frames nothing in between.
  t.dde->executes.clear();
  t.commande("SIG_ParcelleMultipleCadrer", Route::A({""}));
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_ParcelleInitialiser", "SIG_ParcelleCadrer"}));

  // A refused parcel ends the framing there.
  t.dde->executes.clear();
  t.dde->scriptExecute("SIG|CARTO", 0);
  t.dde->scriptExecute("SIG|CARTO", kup::vberr::DdeRefused);
  t.commande("SIG_ParcelleMultipleCadrer", Route::A({kRef1 + ";" + kRef2}));
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_ParcelleInitialiser", "SIG_ParcelleAjouter(59350#" + kSig1 + ")"}));
}

TEST(CommandesCarte, SingleArgumentCommands) {
  Route t;
  t.commande("SIG_ParcelleUniqueCadrer", Route::A({kRef1}));
  t.commande("SIG_NomDossierCadrer", Route::A({"PC 059 350 24 A0001"}));
  t.commande("SIG_CoordonneesCadrer", Route::A({"702345.5;7059876.25"}));
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_ParcelleUniqueCadrer(" + kSig1 + ")", "SIG_NomDossierCadrer(PC 059 350 24 A0001)",
                                  "SIG_CoordonneesCadrer(702345.5;7059876.25)"}));
  for (auto& e : t.dde->executes) EXPECT_EQ(e.timeout, 0);
  EXPECT_EQ(t.flash.returnValue(), t.defaut({"702345.5;7059876.25"}));

  // Two arguments: nothing sent, the default answer all the same.
  t.dde->executes.clear();
  t.commande("SIG_ParcelleUniqueCadrer", Route::A({kRef1, "en trop"}));
  t.commande("SIG_NomDossierCadrer", Route::A({"a", "b"}));
  t.commande("SIG_CoordonneesCadrer", Route::A({"a", "b"}));
  EXPECT_TRUE(t.dde->executes.empty());
  EXPECT_EQ(t.flash.returnValue(), t.defaut({"a", "b"}));
}

TEST(CommandesCarte, DossierImplantation) {
  Route t;
  t.commande("SIG_ImplanterDossier",
             Route::A({"ignoré", "d1", "d2", "d3", "d4", "d5", "d6", "d7", kRef1 + ";" + kRef2, "ignoré aussi"}));
  EXPECT_EQ(t.sentSig(), (Strings{"DDE_ImplenterDossier(d1;d2;d3;d4;d5;d6;d7;" + kSig1 + "," + kSig2 + ")"}));
  t.dde->executes.clear();
  t.commande("SIG_ImplanterDossier", Route::A({"", "d1", "d2", "d3", "d4", "d5", "d6", "d7", ""}));
  EXPECT_EQ(t.sentSig(), (Strings{"DDE_ImplenterDossier(d1;d2;d3;d4;d5;d6;d7;)"}));

  // Too few arguments: the error goes to the dispatcher, nothing sent, no answer.
  t.dde->executes.clear();
  t.flash.clear();
  Args court = Route::A({"", "d1", "d2"});
  try {
    t.commande("SIG_ImplanterDossier", court);
    ADD_FAILURE() << "no error";
  } catch (const kup::VbError& e) {
    EXPECT_EQ(e.number(), kup::vberr::SubscriptOutOfRange);
  }
  EXPECT_TRUE(t.dde->executes.empty());
  EXPECT_TRUE(t.flash.returns.empty());
}

TEST(CommandesCarte, BlanksAroundAConvertedReference) {
  GisTestApp t;
  // A GIS layout that starts with the blank prefix: "    A0123".
  t.set("DDE_NEW", "SIG_TOPIC", "SIG|CARTO");
  t.set("DDE_NEW", "SIG_REF_PREFIX", "   ");
  t.set("DDE_NEW", "SIG_REF_SECTION", "BB");
  t.set("DDE_NEW", "SIG_REF_NUMERO", "XXXX");
  t.initialiser();
  t.dde->addServer("SIG|CARTO");
  t.commande("SIG_ParcelleUniqueCadrer", {Value(kRef1)});
  t.commande("SIG_ParcelleMultipleCadrer", {Value(kRef1)});
  t.commande("SIG_ImplanterDossier", Args{"", "1", "2", "3", "4", "5", "6", "7", kRef1});
  t.commande("SIG_FusionCartoParcelle", {"c", "", "e", "l", "h", kRef1});
  kup::SIG_ParcelleAjouter(t.app, {Value(kRef1)});
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_ParcelleUniqueCadrer(A0123)", "SIG_ParcelleInitialiser",
                                  "SIG_ParcelleAjouter(59350#    A0123)", "SIG_ParcelleCadrer",
                                  "DDE_ImplenterDossier(1;2;3;4;5;6;7;    A0123)",
                                  "SIG_FusionCartoParcelle(c;e;l;h|    A0123)", "SIG_ParcelleAjouter(A0123)"}));
}

TEST(CommandesCarte, MapMerge) {
  Route t;
  Strings args{"c1;c2;c3", "non envoyé", "e1;e2;e3", "l1;l2;l3", "h1;h2;h3", kRef1 + ";" + kRef2};
  t.commande("SIG_FusionCarto", Route::A(args));
  const std::string parcelles = "|" + kSig1 + ";" + kSig2 + ")";
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_FusionCartoParcelle(c1;e1;l1;h1" + parcelles,
                                  "SIG_FusionCartoParcelle(c2;e2;l2;h2" + parcelles,
                                  "SIG_FusionCartoParcelle(c3;e3;l3;h3" + parcelles}));
  for (auto& e : t.dde->executes) EXPECT_EQ(e.timeout, 3);
  Strings reponse{"SIG_FusionCartoParcelle"};
  reponse.insert(reponse.end(), args.begin(), args.end());
  reponse.insert(reponse.end(), {"", ""});
  EXPECT_EQ(t.flash.returns, (Strings{kup::sSetReturnValueXML(reponse)}));

  // Fewer than six arguments: nothing at all.
  t.dde->executes.clear();
  t.flash.clear();
  t.commande("SIG_FusionCartoParcelle", Route::A({"c1", "", "e1", "l1", "h1"}));
  EXPECT_TRUE(t.dde->executes.empty());
  EXPECT_TRUE(t.flash.returns.empty());

  // A list shorter than list 0: what was sent stays sent, the error is
  // reported under the handler's name, and no answer.
  t.commande("SIG_FusionCartoParcelle", Route::A({"c1;c2", "", "e1", "l1;l2", "h1;h2", ""}));
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_FusionCartoParcelle(c1;e1;l1;h1|)"}));
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_TRUE(t.erreurSignalee("SIG_FusionCartoParcelle"));

  // The map merge takes the partner route whatever MODE holds.
  t.app.G_ModeDDE = "1";
  t.dde->executes.clear();
  t.commande("SIG_FusionCartoParcelle", Route::A({"c", "", "e", "l", "h", ""}));
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_FusionCartoParcelle(c;e;l;h|)"}));
}

TEST(CommandesCarte, ViewerFraming) {
  Route t;
  // The settings create no viewer partner: the first lookup fails.
  EXPECT_THROW(t.commande("ZezORA_ParcelleMultipleCadrer", Route::A({kRef1})), kup::VbError);
  EXPECT_TRUE(t.dde->executes.empty());

  t.ajouterZezora();
  t.commande("ZezORA_ParcelleMultipleCadrer", Route::A({kRef1 + ";" + kRef2}));
  EXPECT_EQ(t.dde->sent("zezora|viewer"),
            (Strings{"ZezORA_ParcelleInitialiser", "ZezORA_ParcelleAjouter(59350#59350A0123)",
                     "ZezORA_ParcelleAjouter(59100#59100AB0004)", "ZezORA_ParcelleRechercher"}));
  EXPECT_EQ(t.dde->executes[0].timeout, 5);
  EXPECT_EQ(t.dde->executes[3].timeout, 0);
  EXPECT_TRUE(t.flash.returns.empty());  // never answered

  // A parcel that fails ends it without the search.
  t.dde->executes.clear();
  t.dde->scriptExecute("ZEZORA|VIEWER", 0);
  t.dde->scriptExecute("ZEZORA|VIEWER", kup::vberr::DdeTimeout);
  t.commande("ZezORA_ParcelleMultipleCadrer", Route::A({kRef1 + ";" + kRef2}));
  EXPECT_EQ(t.dde->sent("ZEZORA|VIEWER"),
            (Strings{"ZezORA_ParcelleInitialiser", "ZezORA_ParcelleAjouter(59350#59350A0123)"}));
  EXPECT_EQ(t.messages(), (Strings{"DDESRV_Executer : délai de la commande ZezORA_ParcelleAjouter(59350#59350A0123) expiré."}));
}

TEST(CommandesCarte, OtherModesGoToTheTemplateRoute) {
  Route t;
  t.app.G_ModeDDE = "1";
  Strings appels;
  auto& route = kup::Gis(t.app).routeModele;
  route["SIG_PARCELLEUNIQUECADRER"] = [&](kup::App&, Args& a) { appels.push_back("unique " + kup::CStr(a[0])); };
  route["ZEZORA_PARCELLEMULTIPLECADRER"] = [&](kup::App&, Args&) { appels.push_back("zezora"); };
  t.commande("SIG_ParcelleUniqueCadrer", Route::A({kRef1}));
  EXPECT_EQ(t.flash.returnValue(), t.defaut({kRef1}));
  t.flash.clear();
  t.commande("ZezORA_ParcelleMultipleCadrer", Route::A({kRef1}));
  EXPECT_TRUE(t.flash.returns.empty());
  // Without a handler of that route: nothing but the default answer.
  t.commande("SIG_CoordonneesCadrer", Route::A({"1;2"}));
  EXPECT_EQ(t.flash.returnValue(), t.defaut({"1;2"}));
  EXPECT_EQ(appels, (Strings{"unique " + kRef1, "zezora"}));
  EXPECT_TRUE(t.dde->executes.empty());
}

TEST(CommandesTheme, StringsSentToTheGis) {
  Route t;
  long fenetre = t.windows.addForeignWindow("Carte SIG");
  kup::SIG_DemanderCouleur(t.app);
  kup::SIG_CreerCollection(t.app, {"Zone A", "12", "0"});
  kup::SIG_ParcelleInitialiser(t.app);
  kup::SIG_ParcelleAjouter(t.app, {kRef1});
  kup::SIG_ParcelleCadrer(t.app);
  kup::SIG_SupprimerTheme(t.app, {"Zone A"});
  kup::SIG_AfficherTheme(t.app, {"Zone A", "1"});
  kup::SIG_MasquerTheme(t.app, {"Zone,B)"});
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_DemanderCouleur()", "DDE_CreerTheme(Zone A,12,0)", "SIG_ParcelleInitialiser()",
                                  "SIG_ParcelleAjouter(" + kSig1 + ")", "SIG_ParcelleCadrer()",
                                  "DDE_SupprimerTheme(Zone A)", "DDE_AfficherTheme(Zone A,1)",
                                  "DDE_MasquerTheme(Zone,B))"}));
  for (auto& e : t.dde->executes) EXPECT_EQ(e.timeout, 0);
  EXPECT_EQ(t.windows.get(fenetre)->shows.size(), 16u);  // brought up after each
  EXPECT_TRUE(t.flash.calls.empty());
}

TEST(CommandesTheme, FailuresAreReportedUnderTheirNames) {
  Route t;
  kup::SIG_CreerCollection(t.app, {"Zone A", "12"});
  EXPECT_TRUE(t.erreurSignalee("SIG_CreerCollection"));
  t.flash.clear();
  kup::SIG_ParcelleAjouter(t.app, {kRef1, kRef2});
  kup::SIG_AfficherTheme(t.app, {"Zone A", Value::null()});
  EXPECT_TRUE(t.erreurSignalee("SIG_AfficherTheme"));
  EXPECT_FALSE(t.erreurSignalee("SIG_ParcelleAjouter"));
  EXPECT_TRUE(t.dde->executes.empty());

  GisTestApp sansPartenaires;
  kup::SIG_DemanderCouleur(sansPartenaires.app);
  kup::SIG_MasquerTheme(sansPartenaires.app, {"Z"});
  EXPECT_TRUE(sansPartenaires.erreurSignalee("SIG_DemanderCouleur"));
  EXPECT_TRUE(sansPartenaires.erreurSignalee("SIG_MasquerTheme"));
}

TEST(CommandesTheme, OwnerThematic) {
  Route t;
  std::vector<Args> remis;
  kup::Gis(t.app).setTabThematiqueZezora = [&](kup::App&, Args& a) { remis.push_back(a); };
  t.commande("ZezORA_ThematiqueProprietaire", Route::A({"lignes", "x"}));
  EXPECT_EQ(remis.size(), 1u);
  EXPECT_EQ(t.sentSig(), (Strings{"SIG_DemanderCouleur()"}));
  EXPECT_EQ(t.flash.returnValue(), t.defaut({"lignes", "x"}));

  t.app.G_ModeDDE = "4";
  t.flash.clear();
  t.commande("ZezORA_ThematiqueProprietaire", Route::A({"lignes"}));
  EXPECT_EQ(remis.size(), 1u);
  EXPECT_EQ(t.sentSig().size(), 1u);
  EXPECT_EQ(t.flash.returnValue(), t.defaut({"lignes"}));
}

namespace {
std::string FichierEnvoye(Route& t) {
  auto sent = t.sentSig();
  EXPECT_FALSE(sent.empty());
  if (sent.empty()) return {};
  const std::string debut = "DDE_LireThematiqueFichier(";
  EXPECT_EQ(sent.back().rfind(debut, 0), 0u);
  std::string chemin = sent.back().substr(debut.size(), sent.back().size() - debut.size() - 1);
  EXPECT_EQ(chemin.rfind("C:\\Temp\\", 0), 0u) << chemin;
  EXPECT_EQ(chemin.substr(chemin.size() - 4), ".txt");
  return t.fs.readFile(chemin);
}
}  // namespace

TEST(CommandesThematique, WritesTheFileAndTellsTheGis) {
  Route t;
  t.commande("KUP_LireThematiqueFichier", Route::A({"", "TITRE é\r\nVAL=A" + kRef1 + "\r\nfin", "true"}));
  EXPECT_EQ(FichierEnvoye(t), "TITRE \xE9\r\nVAL=A" + kRef1 + "\r\nfin\r\n");
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_EQ(t.dde->executes.back().timeout, 0);

  t.dde->executes.clear();
  std::string texte = "TITRE\r\n\r\nVAL=A" + kRef1 + ";rouge\r\nVAL=12\r\nval=" + kRef1 + "\r\nVAL=#" + kRef1 +
                      "|" + kRef1;
  t.commande("KUP_LireThematiqueFichier", Route::A({"", texte, "<true/>"}));
  EXPECT_EQ(FichierEnvoye(t), "TITRE\r\nVAL=A" + kSig1 + ";rouge\r\n;VAL=12\r\nval=" + kRef1 + "\r\nVAL=#" + kSig1 +
                                  "|" + kSig1 + "\r\n");
}

TEST(CommandesThematique, WithoutTheGisPartner) {
  GisTestApp t;
  kup::KUP_LireThematiqueFichier(t.app, "", "VAL=A" + kRef1, true);
  kup::KUP_LireThematiqueFichier(t.app, "", "ligne", false);
  // The conversion and each send fail with the same message; the files are written.
  ASSERT_EQ(t.msgbox.boxes.size(), 3u);
  EXPECT_EQ(t.msgbox.boxes[0].prompt, "Erreur DDE_Fichier " + kup::vbErrorText(kup::vberr::ObjectVariableNotSet));
  EXPECT_EQ(t.msgbox.boxes[0].buttons, kup::platform::mb::OKOnly);
  EXPECT_TRUE(t.dde->executes.empty());
  int fichiers = 0;
  for (auto& f : t.fs.allFiles())
    if (f.size() > 4 && f.substr(f.size() - 4) == ".txt") ++fichiers;
  EXPECT_EQ(fichiers, 2);
}

TEST(CommandesThematique, OnlyTheTextTrueConvertsAndFailuresCarryTheApplicationTitle) {
  Route t;
  // A Null flag is no "<true/>": a plain copy, sent like any other.
  t.commande("KUP_LireThematiqueFichier", Args{Value(""), Value("VAL=A" + kRef1), Value::null()});
  EXPECT_EQ(FichierEnvoye(t), "VAL=A" + kRef1 + "\r\n");
  EXPECT_TRUE(t.msgbox.boxes.empty());

  GisTestApp sansPartenaires;
  kup::KUP_LireThematiqueFichier(sansPartenaires.app, "", "ligne", false);
  ASSERT_EQ(sansPartenaires.msgbox.boxes.size(), 1u);
  EXPECT_EQ(sansPartenaires.msgbox.boxes[0].title, "Korvane");
}

namespace {
// A bridge to the interface that breaks while answering.
struct FlashEnPanne : kup::platform::FakeFlash {
  void SetReturnValue(const std::string&) override { throw std::runtime_error("pont coupé"); }
};
}  // namespace

TEST(CommandesCarte, MapMergeReportsEveryFailureUnderItsOwnName) {
  Route t;
  auto flash = std::make_unique<FlashEnPanne>();
  auto* enPanne = flash.get();
  t.app.pf.flash = std::move(flash);
  EXPECT_NO_THROW(t.commande("SIG_FusionCartoParcelle", Route::A({"c", "", "e", "l", "h", kRef1})));
  EXPECT_EQ(t.sentSig().size(), 1u);
  ASSERT_EQ(enPanne->calls.size(), 1u);
  EXPECT_NE(enPanne->calls[0].find("<string>SIG_FusionCartoParcelle</string>"), std::string::npos);
  EXPECT_NE(enPanne->calls[0].find("pont coupé"), std::string::npos);
}

TEST(CommandesCarte, TrimmingCoversTheWholeTextForTheGisButOnlyTheReferenceForTheViewer) {
  Route t;
  t.ajouterZezora();
  const std::string ref = "  0350    A0123";  // blanks where the department goes
  t.commande("SIG_ParcelleMultipleCadrer", Route::A({ref}));
  t.commande("ZezORA_ParcelleMultipleCadrer", Route::A({ref}));
  EXPECT_EQ(t.sentSig()[1], "SIG_ParcelleAjouter(350#  0350-   -A-00123)");
  EXPECT_EQ(t.dde->sent("ZEZORA|VIEWER")[1], "ZezORA_ParcelleAjouter(  350#350A0123)");
}
