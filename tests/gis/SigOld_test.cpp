// The template route: settings, conversation, reference formatting and the
// map commands with their templates and URL forms.
#include <gtest/gtest.h>

#include "GisTestApp.h"
#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "gis/Mdl_SIG_Old.h"
#include "gis/SIG_Partenaire.h"

using kup::Args;
using Strings = std::vector<std::string>;

namespace {

// 59 0 350, no prefix, section " A", number 12 / section "AB", number 7.
const std::string kRef1 = "590350    A0012";
const std::string kRef2 = "591100   AB0007";

struct Modele : GisTestApp {
  long fenetreSig = 0;

  explicit Modele(const std::string& sigtype = "2") {
    kup::InstallSigOld(app);
    set("DDE_OLD", "SIGTYPE", sigtype);
    set("DDE_OLD", "SIGCNT", "CARTO|SIG");
    set("DDE_OLD", "SIGAPP", "Carto");
    set("DDE_OLD", "SIGCMD", "Cadrer(?)");
    set("DDE_OLD", "SIGDEEInit", "Init");
    set("DDE_OLD", "SIGDDEFin", "Fin");
    set("DDE_OLD", "SIGCMDA", "Ajout(?)");
    set("DDE_OLD", "SIGCREER", "Creer(?)");
    set("DDE_OLD", "SIGCADRERCOORD", "XYCadrer(?)");
    set("DDE_OLD", "SIGCADRERDOSS", "Dossier(?)");
    set("DDE_OLD", "CODEINSEE", "XXXXX");
    set("DDE_OLD", "SIG_SEP", "-");
    set("DDE_OLD", "DDECONNECT", "ZEZ|VUE");
    app.G_ModeDDE = "1";
    kup::SIG_Initialiser(app);
    dde->addServer("CARTO|SIG");
    dde->addServer("ZEZ|VUE");
    fenetreSig = windows.addForeignWindow("Carto");
  }
  Strings sent() const { return dde->sent("CARTO|SIG"); }
  static Args A(const Strings& s) { return Args(s.begin(), s.end()); }
  const std::vector<int>& activations() { return windows.get(fenetreSig)->shows; }
  kup::platform::IDdeLink& lien() { return *app.KUP_MDI.Txt_DDE.at(0); }
};

}  // namespace

TEST(SigOld, SettingsAreReadInOrderAndAFailureKeepsTheRest) {
  Modele t;
  auto& s = kup::SigOld(t.app);
  EXPECT_EQ(s.SIGTYPE, 2);
  EXPECT_EQ(s.CAR_NBNUM, 4);  // default
  EXPECT_EQ(s.lgCODEINSEE, 5);
  EXPECT_EQ(s.lien, 0);

  // An empty SIGTYPE keeps the number; a CAR_NBNUM that is no number stops
  // the reading there: SIG_SEP keeps its earlier value.
  t.set("DDE_OLD", "SIGTYPE", "");
  t.app.G_Parametres.set("DDE_OLD", "SIGCMD", "Autre(?)");
  t.set("DDE_OLD", "CAR_NBNUM", "quatre");
  t.set("DDE_OLD", "SIG_SEP", "/");
  kup::SIG_Initialiser(t.app);
  EXPECT_EQ(s.SIGTYPE, 2);
  EXPECT_EQ(s.SIGCMD, "Autre(?)");
  EXPECT_EQ(s.SIG_SEP, "-");
  EXPECT_TRUE(t.erreurSignalee("SIG_Initialis "));
}

TEST(SigOld, TemplatesAndReferenceFormatting) {
  Modele t;
  auto& app = t.app;
  auto& s = kup::SigOld(app);
  EXPECT_EQ(kup::sRemplacerParametre("Cadrer(?,?)", "AB12"), "Cadrer(AB12,?)");
  EXPECT_EQ(kup::sRemplacerParametre("Cadrer()", "AB12"), "Cadrer()");
  EXPECT_EQ(kup::sRemplacerParametre("C(?)", "a?b"), "C(a?b)");

  EXPECT_EQ(kup::sRefCadFormaterSIG(app, "12345", "AB12"), "12345-AB-0012");
  EXPECT_EQ(kup::sRefCadFormaterSIG(app, "12345", "0012"), "123450012");  // no section: no separator
  EXPECT_EQ(kup::sRefCadFormaterSIG(app, "12345", "AB"), "12345-AB-");
  s.CODEINSEE = "XX_";
  s.lgCODEINSEE = 3;
  EXPECT_EQ(kup::sRefCadFormaterSIG(app, "12345", "AB12"), "45-AB-0012");
  s.CODEINSEE = "XXXXXX";
  s.lgCODEINSEE = 6;
  EXPECT_EQ(kup::sRefCadFormaterSIG(app, "59350", "AB12"), "059350-AB-0012");
  EXPECT_THROW(kup::sRefCadFormaterSIG(app, "2A004", "AB12"), kup::VbError);
  s.CODEINSEE.clear();
  s.lgCODEINSEE = 0;
  s.CAR_NBNUM = 1;
  EXPECT_EQ(kup::sRefCadFormaterSIG(app, "", "AB0012"), "AB-12");
  s.CAR_NBNUM = 3;
  EXPECT_EQ(kup::sRefCadFormaterSIG(app, "", "A7"), "A-007");
  s.CAR_NBNUM = 9;
  EXPECT_EQ(kup::sRefCadFormaterSIG(app, "", "A99999999999999999999"), "A-99999999999999999999");

  EXPECT_EQ(kup::sRefCadFormaterKUP("AB7"), "AB0007");
  EXPECT_EQ(kup::sRefCadFormaterKUP("AB"), "AB");
  EXPECT_EQ(kup::sRefCadFormaterKUP("123"), "0123");
  EXPECT_EQ(kup::sRefCadFormaterKUP("12345-AB-12"), "12345-AB-0012");
  EXPECT_EQ(kup::sRefCadFormaterKUP(""), "");

  EXPECT_EQ(kup::sRefCadEDI2RefCadSimple(app, kRef1), "A0012");
  EXPECT_EQ(kup::sRefCadEDI2RefCadSimple(app, ""), "");
  EXPECT_EQ(kup::sRefCadEDI2RefCadSimple(app, "59"), "");

  std::string texte = "59-350-AB-12";
  kup::sSupprimerSepSIG(app, texte);
  EXPECT_EQ(texte, "59350AB12");
  s.SIG_SEP = "--";  // one character goes per occurrence found
  texte = "A--B";
  kup::sSupprimerSepSIG(app, texte);
  EXPECT_EQ(texte, "A-B");
  s.SIG_SEP.clear();
  texte = "A-B";
  kup::sSupprimerSepSIG(app, texte);
  EXPECT_EQ(texte, "A-B");
}

TEST(SigOld, ConversationOpensOnceAndSigtypeGatesExecution) {
  Modele t("1");
  EXPECT_EQ(kup::SIG_Connection(t.app), 1);
  EXPECT_EQ(t.lien().linkTopic(), "CARTO|SIG");
  EXPECT_EQ(t.lien().linkMode(), 2);
  EXPECT_EQ(kup::SIG_Connection(t.app), 1);
  EXPECT_EQ(t.dde->connects.size(), 1u);
  EXPECT_EQ(kup::SIG_Executer(t.app, "X"), 2);
  EXPECT_TRUE(t.sent().empty());
  kup::SigOld(t.app).SIGTYPE = 5;
  EXPECT_EQ(kup::SIG_Executer(t.app, "X"), 1);
  EXPECT_EQ(t.sent(), Strings{"X"});
  EXPECT_EQ(kup::SIG_Deconnexion(t.app), 1);
  EXPECT_EQ(t.lien().linkMode(), 0);

  // A refused command: the box, result 2.
  kup::SIG_Connection(t.app);
  t.dde->scriptExecute("CARTO|SIG", kup::vberr::DdeRefused);
  EXPECT_EQ(kup::DDE_ExecuterCommande(t.app, "Y"), 2);
  ASSERT_EQ(t.messages().size(), 1u);
  EXPECT_EQ(t.messages()[0], "Err commande DDE Y");
  // No partner on the viewer topic: number, "   29 ", description.
  kup::SIG_Deconnexion(t.app);
  t.dde->removeServer("ZEZ|VUE");
  EXPECT_EQ(kup::DDE_ConnecterSujet(t.app, "ZEZ|VUE"), 2);
  EXPECT_EQ(t.messages().back().rfind("282   29 ", 0), 0u);
}

TEST(SigOld, BeforeAnyReadingTheConversationFailsWithTheConfigurationMessage) {
  GisTestApp t;
  kup::InstallSigOld(t.app);
  EXPECT_EQ(kup::SIG_Connection(t.app), 2);
  EXPECT_TRUE(t.erreurSignalee("SIG_Connection"));
  bool message = false;
  for (auto& c : t.flash.calls) message |= c.find("Votre SIG n'est pas correctement configuré.") != std::string::npos;
  EXPECT_TRUE(message);

  // The map command stops there: nothing executed, nothing opened.
  Args a{kRef1};
  kup::OLD_ParcelleUniqueCadrer(t.app, a);
  EXPECT_TRUE(t.dde->executes.empty());
}

TEST(SigOld, SingleParcelAndListFramings) {
  Modele t;
  Args a = Modele::A({kRef1});
  kup::OLD_ParcelleUniqueCadrer(t.app, a);
  EXPECT_EQ(t.sent(), Strings{"Cadrer(59350-A-0012)"});
  EXPECT_EQ(t.lien().linkMode(), 0);                // closed after the command
  EXPECT_EQ(t.activations(), (std::vector<int>{0, 9}));  // GIS window brought up

  t.dde->executes.clear();
  Args l = Modele::A({kRef1 + ";" + kRef2});
  kup::OLD_ParcelleMultipleCadrer(t.app, l);
  EXPECT_EQ(t.sent(), (Strings{"Init", "Ajout(59350-A-0012)", "Ajout(59100-AB-0007)", "Fin"}));

  // SIGTYPE 4: the whole list in SIGCMD, blank-separated; never Ajout or Fin.
  t.dde->executes.clear();
  kup::SigOld(t.app).SIGTYPE = 4;
  kup::OLD_ParcelleMultipleCadrer(t.app, l);
  EXPECT_EQ(t.sent(), (Strings{"Init", "Cadrer(59350-A-0012 59100-AB-0007)"}));

  // Two arguments: nothing at all.
  t.dde->executes.clear();
  Args deux = Modele::A({kRef1, kRef2});
  kup::OLD_ParcelleUniqueCadrer(t.app, deux);
  kup::OLD_ParcelleMultipleCadrer(t.app, deux);
  EXPECT_TRUE(t.sent().empty());
}

TEST(SigOld, BelowSigtype2NothingIsExecutedAndTheWindowStaysPut) {
  Modele t("1");
  Args a = Modele::A({kRef1});
  kup::OLD_ParcelleUniqueCadrer(t.app, a);
  EXPECT_TRUE(t.sent().empty());
  EXPECT_EQ(t.dde->connects.size(), 1u);  // opened and closed all the same
  EXPECT_TRUE(t.activations().empty());
}

TEST(SigOld, CoordinatesDossierAndImplantation) {
  Modele t;
  Args c = Modele::A({"100.5,200"});
  kup::OLD_CoordonneesCadrer(t.app, c);
  kup::SigOld(t.app).SIGTYPE = 4;
  kup::OLD_CoordonneesCadrer(t.app, c);
  Args n = Modele::A({"PC 12"});
  kup::OLD_NomDossierCadrer(t.app, n);
  EXPECT_EQ(t.sent(), (Strings{"XYCadrer(100.5,200)", "XYCadrer(100.5 200)", "Dossier(PC 12)"}));
  Args un = Modele::A({"100"});
  EXPECT_THROW(kup::OLD_CoordonneesCadrer(t.app, un), kup::VbError);

  t.dde->executes.clear();
  Args imp = Modele::A({kRef1 + ";" + kRef2, "D"});
  kup::OLD_ImplanterDossier(t.app, imp);
  // An empty reference in the list leaves no doubled comma.
  Args trou = Modele::A({kRef1 + ";;" + kRef2, "D"});
  kup::OLD_ImplanterDossier(t.app, trou);
  Args seul = Modele::A({kRef1});
  kup::OLD_ImplanterDossier(t.app, seul);
  EXPECT_EQ(t.sent(), (Strings{"Creer(D,59350-A-0012,59100-AB-0007)", "Creer(D,59350-A-0012,59100-AB-0007)",
                               "Creer()"}));
}

TEST(SigOld, Mode4OpensUrlTemplates) {
  Modele t;
  t.app.G_ModeDDE = "4";
  auto& s = kup::SigOld(t.app);
  s.SIGCMD = "http://sig/?ref=#REFCAD#&x=#REFCAD#";
  s.SIGCADRERCOORD = "http://sig/xy=XY";
  s.SIGCADRERDOSS = "http://sig/d=#DOSSIER#";
  Args a = Modele::A({kRef1});
  kup::OLD_ParcelleUniqueCadrer(t.app, a);
  Args l = Modele::A({kRef1 + ";" + kRef2});
  kup::OLD_ParcelleMultipleCadrer(t.app, l);
  Args c = Modele::A({"1,2"});
  kup::OLD_CoordonneesCadrer(t.app, c);
  Args d = Modele::A({"PC1"});
  kup::OLD_NomDossierCadrer(t.app, d);
  ASSERT_EQ(t.shell.calls.size(), 4u);
  EXPECT_EQ(t.shell.calls[0].file, "http://sig/?ref=A0012&x=A0012");  // section and number only
  EXPECT_EQ(t.shell.calls[1].file, "http://sig/?ref=59350-A-0012;59100-AB-0007;&x=59350-A-0012;59100-AB-0007;");
  EXPECT_EQ(t.shell.calls[2].file, "http://sig/xy=1,2");
  EXPECT_EQ(t.shell.calls[3].file, "http://sig/d=PC1");
  EXPECT_EQ(t.shell.calls[0].verb, "open");
  EXPECT_TRUE(t.dde->executes.empty());
}

TEST(SigOld, ViewerFramingExecutesWhateverSigtype) {
  Modele t("0");
  Args l = Modele::A({kRef1 + ";" + kRef2});
  kup::OLD_ZezORAParcelleMultipleCadrer(t.app, l);
  EXPECT_EQ(t.dde->sent("ZEZ|VUE"),
            (Strings{"DDE_CadrerMulParcelleInit", "DDE_CadrerMulParcelleAjout(59350-A-0012)",
                     "DDE_CadrerMulParcelleAjout(59100-AB-0007)", "DDE_CadrerMulParcelleFin"}));
  EXPECT_EQ(t.activations(), (std::vector<int>{0, 9}));
}

TEST(SigOld, DispatcherRoutesToTheTemplateRouteUnlessMode2) {
  Modele t;
  t.app.commands = std::make_shared<kup::CommandTable>(t.table);
  auto req = [](const Strings& v) {
    std::string s = "<invoke name=\"sGetFlashXML\" returntype=\"xml\"><arguments><array>";
    for (size_t i = 0; i < v.size(); ++i)
      s += "<property id=\"" + std::to_string(i) + "\"><string>" + v[i] + "</string></property>";
    return s + "</array></arguments></invoke>";
  };
  kup::sGetFlashXML(t.app, req({"SIG_NomDossierCadrer", "PC 9"}));
  EXPECT_EQ(t.sent(), Strings{"Dossier(PC 9)"});
  EXPECT_EQ(t.flash.returnValue(), kup::sSetReturnValueXML({"PC 9", "", ""}));

  // The viewer framing gets no answer on this route.
  t.flash.returns.clear();
  kup::sGetFlashXML(t.app, req({"ZezORA_ParcelleMultipleCadrer", kRef1}));
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_EQ(t.dde->sent("ZEZ|VUE").size(), 3u);

  // A coordinate text with one item fails in the handler: no answer.
  kup::sGetFlashXML(t.app, req({"SIG_CoordonneesCadrer", "12"}));
  EXPECT_TRUE(t.flash.returns.empty());
  EXPECT_TRUE(t.erreurSignalee("sGetFlashXML"));
}

TEST(SigOld, ParcelSentBackByTheGis) {
  Modele t;
  kup::DDE_SelDossierParcelle(t.app, "59350-A-12");
  ASSERT_EQ(t.flash.calls.size(), 1u);
  EXPECT_EQ(t.flash.calls[0], kup::sInvokeXML("KUP_ListeDossierParParcelleAjouter", {"59350-A-0012"}));
}

TEST(SigOld, AStepThatFailsStopsTheSequenceWhereItShould) {
  // The opening fails: the configuration message, nothing executed, nothing
  // to close.
  Modele t;
  t.dde->scriptConnect("CARTO|SIG", kup::vberr::DdeNoForeignApp);
  Args l = Modele::A({kRef1 + ";" + kRef2});
  kup::OLD_ParcelleMultipleCadrer(t.app, l);
  EXPECT_TRUE(t.sent().empty());
  EXPECT_TRUE(t.erreurSignalee("SIG_Connection"));
  EXPECT_TRUE(t.messages().empty());

  // The opening command is refused: no parcel, no end, closed, the GIS
  // window left where it is.
  t.dde->scriptExecute("CARTO|SIG", kup::vberr::DdeRefused);
  kup::OLD_ParcelleMultipleCadrer(t.app, l);
  EXPECT_EQ(t.sent(), Strings{"Init"});
  EXPECT_EQ(t.messages(), Strings{"Err commande DDE Init"});
  EXPECT_EQ(t.lien().linkMode(), 0);
  EXPECT_TRUE(t.activations().empty());

  // Closing without a link text box: the box names the failure.
  GisTestApp sans;
  EXPECT_EQ(kup::SIG_Deconnexion(sans.app), 2);
  ASSERT_EQ(sans.messages().size(), 1u);
  EXPECT_EQ(sans.messages()[0].rfind("ERR fin connexion DDE ", 0), 0u);
  EXPECT_GT(sans.messages()[0].size(), std::string("ERR fin connexion DDE ").size());
}

TEST(SigOld, Mode4KeepsTheDdeFormsOfImplantationAndViewerAndItsMarkersKeepTheirCase) {
  Modele t;
  t.app.G_ModeDDE = "4";
  auto& s = kup::SigOld(t.app);
  s.SIGCMD = "http://sig/?ref=#refcad#|#REFCAD#";
  Args imp = Modele::A({kRef1, "D"});
  kup::OLD_ImplanterDossier(t.app, imp);
  Args l = Modele::A({kRef1});
  kup::OLD_ZezORAParcelleMultipleCadrer(t.app, l);
  kup::OLD_ParcelleUniqueCadrer(t.app, l);
  EXPECT_EQ(t.sent(), Strings{"Creer(D,59350-A-0012)"});
  EXPECT_EQ(t.dde->sent("ZEZ|VUE").size(), 3u);
  ASSERT_EQ(t.shell.calls.size(), 1u);
  EXPECT_EQ(t.shell.calls[0].file, "http://sig/?ref=#refcad#|A0012");
}
