// Tax documents against the in-memory spreadsheet: opening a template and
// reporting its fields, filling them, reading them back with the document
// as compressed base64, loading a stored document, and what a closed
// document or an unknown editor type answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>

#include "core/Dispatcher.h"
#include "documents/AttacheFichierTestOutils.h"
#include "documents/DocumentState.h"
#include "documents/Mdl_Commun.h"
#include "documents/Mdl_TaxeExterne.h"
#include "office/ApTableur.h"
#include "office/MemoryCalc.h"
#include "platform/RealFileSystem.h"
#include "tests/documents/Courrier_TestOutils.h"

using namespace kup;
using courrier_test::Erreurs;
using courrier_test::FsCourant;
using courrier_test::Valeurs;
using V = std::vector<std::string>;

namespace {

// Sheet 1 holds what is read back, sheet 2 what the template asks for.
const char* kModele =
    "KUPCALC 1\n"
    "SHEET\tCalcul\n"
    "CELL\t1\t1\tTotal\n"
    "CELL\t2\t1\t0\n"
    "SHEET\tSaisie\n"
    "NAME\tTOTAL\t1\t2\t1\t2\t1\n"
    "NAME\tSURFACE\t2\t2\t2\t2\t2\n"
    "NAME\tTAUX\t2\t3\t2\t3\t2\n"
    "NAME\tMONTANT\t1\t3\t1\t3\t1\n";

// The compressed transfer of the attachment library, over the test's own
// file system: the name, a zero byte and the content, in base64.
int32_t FauxVersB64(const char* dossier, const char* nom, const char*, const char* sortie) {
  try {
    std::string contenu = FsCourant()->readFile(FromCp1252(dossier) + "\\" + FromCp1252(nom));
    FsCourant()->writeFile(FromCp1252(sortie), encodeBase64("KUPZ" + std::string(nom) + '\0' + contenu));
    return 1;
  } catch (...) {
    return 0;
  }
}
int32_t FauxDepuisB64(const char* texte, const char* temp, char* tampon, int32_t taille) {
  try {
    std::string octets = decodeBase64(texte);
    if (octets.rfind("KUPZ", 0) != 0) return 0;
    size_t zero = octets.find('\0');
    std::string nom = octets.substr(4, zero - 4);
    FsCourant()->writeFile(FromCp1252(temp) + "\\" + FromCp1252(nom), octets.substr(zero + 1));
    std::strncpy(tampon, nom.c_str(), static_cast<size_t>(taille));
    return 1;
  } catch (...) {
    return 0;
  }
}

struct Taxe : ::testing::Test {
  TestApp t;
  std::shared_ptr<MemoryCalcApp> calc = std::make_shared<MemoryCalcApp>();

  void SetUp() override {
    FsCourant() = &t.fs;
    t.libraries.add("AttacheFichier.dll", "FichierVersBase64Compressee", &FauxVersB64);
    t.libraries.add("AttacheFichier.dll", "Base64CompresseeVersFichier", &FauxDepuisB64);
    t.fs.put("C:\\Modeles\\taxe.xlt", kModele);
    t.fs.put("C:\\Modeles\\vide.xlt", "KUPCALC 1\nSHEET\tA\nSHEET\tB\nNAME\tX\t1\t1\t1\t1\t1\n");
    t.fs.createFolder("C:\\Temp");
    t.app.commands = std::make_shared<CommandTable>();
    RegisterMdl_TaxeExterne(*t.app.commands);
    type(2);
  }
  void type(int editeur) {
    ApTableur& d = G_Tableur(t.app);
    d.setTypeEditeur(editeur);
    d.twinFactory = MemoryCalcFactory(calc);
  }
  ApTableur& tableur() { return G_Tableur(t.app); }
  V requete(const V& v) {
    t.flash.clear();
    sGetFlashXML(t.app, courrier_test::Requete(v));
    return Valeurs(t.flash.returnValue());
  }
  std::shared_ptr<MemoryWorkbook> classeur() { return calc->active(); }
  std::vector<std::string> temp() {
    std::vector<std::string> v = t.fs.listFiles("C:\\Temp");
    std::sort(v.begin(), v.end());
    return v;
  }
  std::string liste(const V& v) { return Join(v, Sep240()); }
};

TEST_F(Taxe, InitialiserReportsTheFieldsOfTheSecondSheet) {
  EXPECT_EQ(requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"}),
            (V{"KUP_TaxeValeursChamps", liste({"SURFACE", "TAUX"}), "", ""}));
  EXPECT_EQ(calc->windowState, 1);
  EXPECT_EQ(classeur()->active, 1);

  // No named range on sheet 2: an empty list, still answered.
  EXPECT_EQ(requete({"KUP_TaxeInitialiser", "C:\\Modeles\\vide.xlt"}), (V{"KUP_TaxeValeursChamps", "", "", ""}));
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(Taxe, InitialiserWithoutTemplateOpensNothingButRestoresDocumentAccess) {
  tableur().G_AccesDocument = false;
  EXPECT_TRUE(requete({"KUP_TaxeInitialiser", ""}).empty());
  EXPECT_FALSE(calc->running);
  EXPECT_TRUE(tableur().G_AccesDocument);
}

TEST_F(Taxe, OuvrirFillsTheFieldsFoundAtInitialisationAndEchoesAllButTheLastArgument) {
  requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"});
  EXPECT_EQ(requete({"KUP_TaxeOuvrir", "D1", "Taxe", liste({"250", "3,5"})}), (V{"KUP_TaxeOuvrir", "D1", "Taxe", "", ""}));
  EXPECT_EQ(classeur()->cell("Saisie", 2, 2), "250");
  EXPECT_EQ(classeur()->cell("Saisie", 3, 2), "3,5");
  EXPECT_EQ(classeur()->active, 0);  // back on the first sheet
  EXPECT_EQ(calc->windowState, 2);

  // Too few arguments: reported, nothing answered.
  EXPECT_TRUE(requete({"KUP_TaxeOuvrir", "D1", "Taxe"}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0], (V{"KUP_TaxeOuvrir", "9", vbErrorText(9)}));
}

TEST_F(Taxe, OuvrirV2FillsTheNamedFieldsOnBothSheetsAndAnswersUnderTheOldName) {
  requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"});
  auto r = requete({"KUP_TaxeOuvrirV2", "D1", "Taxe", liste({"TAUX", "TOTAL"}), liste({"12", "999"})});
  EXPECT_EQ(r, (V{"KUP_TaxeOuvrir", "D1", "Taxe", liste({"TAUX", "TOTAL"}), "", ""}));
  EXPECT_EQ(classeur()->cell("Saisie", 3, 2), "12");
  EXPECT_EQ(classeur()->cell("Calcul", 2, 1), "999");
  EXPECT_EQ(calc->windowState, 2);

  EXPECT_TRUE(requete({"KUP_TaxeOuvrirV2", "D1", "Taxe", "TAUX"}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_TaxeOuvrirV2");
}

TEST_F(Taxe, ValiderReadsTheFirstSheetBackAndSendsTheDocument) {
  requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"});
  requete({"KUP_TaxeOuvrirV2", "", "", liste({"TOTAL", "MONTANT"}), liste({"1500", "75"})});
  t.random.script = {0.1, 0.2};
  auto r = requete({"KUP_TaxeValider"});
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0], "KUP_TaxeValider");
  EXPECT_EQ(r[1], liste({"TOTAL", "MONTANT"}));
  EXPECT_EQ(r[2], liste({"1500", "75"}));
  EXPECT_EQ(r[4], "");
  EXPECT_EQ(r[5], "");
  EXPECT_EQ(calc->windowState, 1);

  // The first copy went out and is gone; the document stays open on the second.
  EXPECT_EQ(temp(), V{"200001.xlt"});
  EXPECT_EQ(classeur()->path, "C:\\Temp\\200001.xlt");
  std::string fichier = sCommunB64VersFichier(t.app, r[3]);
  EXPECT_EQ(fichier, "C:\\Temp\\100001.xlt");
  auto relu = MemoryWorkbook::parse(t.fs.readFile(fichier), "x");
  EXPECT_EQ(relu.cell("Calcul", 2, 1), "1500");
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(Taxe, ValiderOnAClosedDocumentReportsItAndSavesNothing) {
  requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"});
  calc->userCloses(classeur());
  EXPECT_TRUE(requete({"KUP_TaxeValider"}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0], (V{"Communication", "1", "Document fermé"}));
  EXPECT_TRUE(temp().empty());
  EXPECT_FALSE(tableur().G_AccesDocument);
}

// A workbook gone by validation, whatever took it and whichever spreadsheet,
// gives the one closed-document message, and nothing is saved. OpenOffice
// cannot tell beforehand that the user closed the document: the driver
// finds it out on the way.
TEST_F(Taxe, ValiderOnAWorkbookThatIsGoneGivesTheOneClosedDocumentMessage) {
  const std::vector<std::pair<const char*, std::function<void(Taxe&)>>> departs = {
      {"the user closes the workbook", [](Taxe& x) { x.calc->userCloses(x.classeur()); }},
      {"the user quits the spreadsheet", [](Taxe& x) { x.calc->userQuits(); }},
      {"the workbook did not open", [](Taxe& x) { x.requete({"KUP_TaxeInitialiser", "C:\\Modeles\\absent.xlt"}); }},
      {"no workbook was ever opened", [](Taxe& x) { x.t.app.G_Tableur.reset(); }},
  };
  for (int editeur : {2, 3, 4})
    for (const auto& [depart, partir] : departs) {
      SCOPED_TRACE(std::to_string(editeur) + ": " + depart);
      t.app.G_Tableur.reset();
      calc = std::make_shared<MemoryCalcApp>();
      type(editeur);
      requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"});
      partir(*this);
      type(editeur);
      EXPECT_TRUE(requete({"KUP_TaxeValider"}).empty());
      EXPECT_EQ(Erreurs(t), (std::vector<V>{{"Communication", "1", "Document fermé"}}));
      EXPECT_TRUE(temp().empty());
      EXPECT_FALSE(tableur().G_AccesDocument);
    }
}

// A workbook that did not open is answered by nothing: neither the fields of
// the workbook open before, nor a fill or a stored copy of it.
TEST_F(Taxe, AWorkbookThatDidNotOpenIsNeitherAnsweredNorReplacedByTheOneBefore) {
  requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"});
  auto avant = classeur();
  EXPECT_TRUE(requete({"KUP_TaxeInitialiser", "C:\\Modeles\\absent.xlt"}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "OpenDocument");
  for (const V& r : {V{"KUP_TaxeOuvrir", "D1", "Taxe", liste({"250", "3,5"})},
                     V{"KUP_TaxeOuvrirV2", "D1", "Taxe", liste({"TAUX"}), "12"}, V{"KUP_TaxeValider"}}) {
    SCOPED_TRACE(r[0]);
    EXPECT_TRUE(requete(r).empty());
    EXPECT_FALSE(Erreurs(t).empty());
  }
  EXPECT_EQ(avant->cell("Saisie", 2, 2), "");
  EXPECT_EQ(avant->cell("Saisie", 3, 2), "");
  EXPECT_TRUE(temp().empty());

  // A damaged stored workbook: reported, not answered as loaded.
  std::string b64 = encodeBase64("KUPZabime.xlt" + std::string(1, '\0') + "KUPCALC 1\nSHEET\tA\nCELL\tx\t1\tv\n");
  t.flash.clear();
  EXPECT_TRUE(requete({"KUP_TaxeCharger", b64}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "OpenDocument");
}

TEST_F(Taxe, ValiderWhoseDocumentCannotBeEncodedAnswersNothing) {
  requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"});
  // The library writes nothing: the text read back is empty.
  t.libraries.add("AttacheFichier.dll", "FichierVersBase64Compressee",
                  +[](const char*, const char*, const char*, const char*) -> int32_t { return 0; });
  EXPECT_TRUE(requete({"KUP_TaxeValider"}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_TaxeValider");
  EXPECT_EQ(Erreurs(t)[0][1], "75");
  EXPECT_EQ(temp().size(), 1u);  // only the copy the document stays bound to
}

TEST_F(Taxe, ChargerOpensTheStoredDocumentMaximised) {
  t.fs.put("C:\\Docs\\taxe_d1.xlt", "KUPCALC 1\nSHEET\tCalcul\nCELL\t2\t1\t1500\n");
  std::string b64 = encodeBase64("KUPZtaxe_d1.xlt" + std::string(1, '\0') + t.fs.readFile("C:\\Docs\\taxe_d1.xlt"));
  tableur().G_AccesDocument = false;
  EXPECT_EQ(requete({"KUP_TaxeCharger", b64}), (V{"KUP_TaxeCharger", "", "", "", ""}));
  EXPECT_TRUE(tableur().G_AccesDocument);
  EXPECT_EQ(calc->windowState, 2);
  EXPECT_EQ(classeur()->cell("Calcul", 2, 1), "1500");
  EXPECT_EQ(Docs(t.app).taxeFichierCharge, "C:\\Temp\\taxe_d1.xlt");

  EXPECT_TRUE(requete({"KUP_TaxeCharger", ""}).empty());
  EXPECT_TRUE(Erreurs(t).empty());
}

TEST_F(Taxe, ChargerOfATextTheLibraryCannotReadOpensNothing) {
  EXPECT_TRUE(requete({"KUP_TaxeCharger", "pas un document"}).empty());
  ASSERT_EQ(Erreurs(t).size(), 1u);
  EXPECT_EQ(Erreurs(t)[0][0], "KUP_TaxeCharger");
  EXPECT_EQ(Erreurs(t)[0][1], "53");
  EXPECT_FALSE(calc->running);

  // Without the library the decoder reports itself and gives no path.
  TestApp s;
  Args args{Value("AAAA")};
  KUP_TaxeCharger(s.app, args);
  EXPECT_TRUE(s.flash.returns.empty());
  ASSERT_EQ(Erreurs(s).size(), 1u);
  EXPECT_EQ(Erreurs(s)[0][0], "sCommunB64VersFichier");
}

// Neither Microsoft nor OpenOffice: the spreadsheet does nothing and the
// commands answer as if it had.
TEST_F(Taxe, UnknownEditorTypeAnswersAsIfDone) {
  type(7);
  EXPECT_EQ(requete({"KUP_TaxeInitialiser", "C:\\Modeles\\taxe.xlt"}), (V{"KUP_TaxeValeursChamps", "", "", ""}));
  EXPECT_EQ(requete({"KUP_TaxeOuvrir", "a", "b", "1"}), (V{"KUP_TaxeOuvrir", "a", "b", "", ""}));
  auto r = requete({"KUP_TaxeValider"});
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0], "KUP_TaxeValider");
  EXPECT_EQ(r[3], "");  // no document
  EXPECT_FALSE(calc->running);
  EXPECT_TRUE(Erreurs(t).empty());
  EXPECT_TRUE(temp().empty());
}

// The stored form through the real attachment library: what validation
// sends, loading opens again with the same values.
TEST(TaxeBibliotheque, ValidatedDocumentLoadsBack) {
  auto& lib = attache_test::Bibliotheques::instance();
  ASSERT_TRUE(lib.ok()) << lib.erreur;
  auto dir = attache_test::DossierTemporaire("taxe");
  std::filesystem::create_directories(dir / "temp");
  std::filesystem::create_directories(dir / "modeles");
  setenv("KUP_DRIVES", ("K=" + dir.string()).c_str(), 1);

  TestApp t;
  t.app.pf.fs = std::make_unique<platform::RealFileSystem>(platform::DriveMap{{{'K', dir.string()}}, "", ""});
  t.env.set("TEMP", "K:\\temp");
  t.libraries.addRaw("AttacheFichier.dll", "FichierVersBase64Compressee", reinterpret_cast<void*>(lib.encode));
  t.libraries.addRaw("AttacheFichier.dll", "Base64CompresseeVersFichier", reinterpret_cast<void*>(lib.decode));
  t.app.fs().writeFile("K:\\modeles\\taxe.xlt", kModele);
  auto calc = std::make_shared<MemoryCalcApp>();
  t.app.G_TypeEditeur = 3;
  G_Tableur(t.app).twinFactory = MemoryCalcFactory(calc);

  Args init{Value("K:\\modeles\\taxe.xlt")};
  KUP_TaxeInitialiser(t.app, init);
  Args remplir{Value("D1"), Value(""), Value(Join({"TOTAL"}, Sep240())), Value("4321")};
  KUP_TaxeOuvrirV2(t.app, remplir);
  Args rien{Value("KUP_TaxeValider")};
  KUP_TaxeValider(t.app, rien);
  auto r = Valeurs(t.flash.returnValue());
  ASSERT_EQ(r.size(), 6u);
  ASSERT_FALSE(r[3].empty());

  calc->userQuits();
  Args charger{Value(r[3])};
  KUP_TaxeCharger(t.app, charger);
  EXPECT_EQ(Valeurs(t.flash.returnValue()), (V{"KUP_TaxeCharger", "", "", "", ""}));
  ASSERT_NE(calc->active(), nullptr);
  EXPECT_EQ(calc->active()->cell("Calcul", 2, 1), "4321");
  EXPECT_TRUE(Erreurs(t).empty());

  unsetenv("KUP_DRIVES");
  std::filesystem::remove_all(dir);
}

}  // namespace
