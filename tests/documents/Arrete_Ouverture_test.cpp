// Bringing a decree into the word processor: template list, new decree from a
// template, saved decree in compressed base64, RTF decree with V2 names, and a
// new scan of the open decree; the names reply and its status slots.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "vb/VbError.h"
#include "documents/Mdl_Equivalence.h"
#include "documents/Mdl_EquivalencePilote.h"
#include "tests/documents/Arrete_TestOutils.h"

using namespace kup;
using arrete_test::Arrete;
using arrete_test::kFerme;
using arrete_test::V;

namespace {

const std::string kNoms = "KUP_ArreteValeursChampsSignets";

std::string Echantillon(const std::string& nom) {
  std::ifstream in(std::string(KUP_SOURCE_DIR) + "/samples/program/" + nom, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A decree whose V2 merge field and bookmark have V3 equivalents.
const char* kRtfV2 =
    "{\\rtf1 Dossier {\\field{\\*\\fldinst MERGEFIELD NUMDOSSIER}{\\fldrslt }}\\par "
    "{\\*\\bkmkstart VISA}{\\*\\bkmkend VISA}\\par}";

}  // namespace

TEST(Arrete_Ouverture, TemplateListNeedsThreeArguments) {
  Arrete a;
  a.t.fs.put("C:\\Modeles\\Urba\\Arrete\\PC_accord.dot", "x");
  a.t.fs.put("C:\\Modeles\\Urba\\Arrete\\PC_refus.ott", "x");
  auto r = a.requete({"KUP_ArreteListeModele", "Arrete", "PC", "Urba"});
  EXPECT_EQ(r, (V{"KUP_ArreteListeModele", "C:\\Modeles\\Urba\\Arrete\\" + Sep241() + "PC_accord.dot", "", ""}));
  // No match: the searched folder alone.
  r = a.requete({"KUP_ArreteListeModele", "Arrete", "DP", "Urba"});
  EXPECT_EQ(r[1], "C:\\Modeles\\Urba\\Arrete\\" + Sep241());

  a.requete({"KUP_ArreteListeModele", "Arrete"});
  EXPECT_FALSE(a.repondu());
  EXPECT_TRUE(a.erreurs().empty());
  a.requete({"KUP_ArreteListeModele", "Arrete", "PC"});
  EXPECT_FALSE(a.repondu());
  ASSERT_EQ(a.erreurs().size(), 1u);
  EXPECT_EQ(a.erreurs()[0], (V{"KUP_ArreteListeModele", "9", vbErrorText(9)}));
}

TEST(Arrete_Ouverture, TemplateAnswersItsNamesOrThatItDoesNotExist) {
  Arrete a;
  auto r = a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  EXPECT_EQ(r, (V{kNoms, "NOM", "VISAS", "", ""}));
  EXPECT_EQ(a.word->windowState, 1);
  EXPECT_FALSE(a.courrier().G_MergeFieldIncludeText);

  EXPECT_EQ(a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\vide.dot"}), (V{kNoms, "", "", "", ""}));

  const size_t ouverts = a.word->documents.size();
  r = a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\absent.dot"});
  EXPECT_EQ(r, (V{kNoms, "", "", "1", "Le fichier C:\\Modeles\\absent.dot n'existe pas"}));
  // Without any argument the command name is the path.
  r = a.requete({"KUP_ArreteInitialiser"});
  EXPECT_EQ(r, (V{kNoms, "", "", "1", "Le fichier KUP_ArreteInitialiser n'existe pas"}));
  // A folder is no template.
  r = a.requete({"KUP_ArreteInitialiser", "C:\\Modeles"});
  EXPECT_EQ(r[3], "1");
  EXPECT_EQ(a.word->documents.size(), ouverts);

  a.requete({"KUP_ArreteInitialiser", ""});
  EXPECT_FALSE(a.repondu());
  EXPECT_TRUE(a.erreurs().empty());
}

TEST(Arrete_Ouverture, IncludedTextFieldsAreAskedForFirst) {
  Arrete a;
  auto r = a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\inclus.dot"});
  EXPECT_EQ(r, (V{kNoms, "ADRESSE", "", "", ""}));
  EXPECT_TRUE(a.courrier().G_MergeFieldIncludeText);
}

TEST(Arrete_Ouverture, SavedDecreeIsWrittenToTempAndOpened) {
  Arrete a;
  a.courrier().G_AccesDocument = false;
  auto r = a.requete({"KUP_ArreteCharger", arrete_test::B64("decret.dot", arrete_test::kModele)});
  EXPECT_EQ(r, (V{kNoms, "NOM", "VISAS", "", ""}));
  EXPECT_TRUE(a.courrier().G_AccesDocument);
  EXPECT_EQ(a.docs().arreteFichier, "C:\\Temp\\decret.dot");
  EXPECT_EQ(a.t.fs.readFile("C:\\Temp\\decret.dot"), arrete_test::kModele);

  // Nothing to load: not even the working file changes.
  a.requete({"KUP_ArreteCharger", ""});
  EXPECT_FALSE(a.repondu());
  EXPECT_EQ(a.docs().arreteFichier, "C:\\Temp\\decret.dot");

  // A text the library cannot decode opens nothing and says so.
  const size_t ouverts = a.word->documents.size();
  a.requete({"KUP_ArreteCharger", "AAAA"});
  EXPECT_FALSE(a.repondu());
  ASSERT_EQ(a.erreurs().size(), 1u);
  EXPECT_EQ(a.erreurs()[0][0], "KUP_ArreteCharger");
  EXPECT_EQ(a.erreurs()[0][1], "53");
  EXPECT_EQ(a.word->documents.size(), ouverts);
  EXPECT_EQ(a.docs().arreteFichier, "");
}

TEST(Arrete_Ouverture, RtfDecreeGetsItsV3NamesWhenTheCatalogueLoadedClean) {
  auto prepare = [](Arrete& a) {
    for (const char* f : {"Var_Catalogue_V3.csv", "SIG_Catalogue_V3.csv", "Var_Equiv_V2_V3.csv", "SIG_Equiv_V2_V3.csv"})
      a.t.fs.put(std::string("C:\\Korvane\\") + f, Echantillon(f));
    InstallEquivalenceLookups(a.t.app);
    a.t.app.G_Courrier.reset();  // the next driver gets the lookups
    a.courrier().twinFactory = MemoryWordFactory(a.word);
    a.courrier().setTypeEditeur(2);
    sub_ChargerEquivalences(a.t.app);
  };
  Arrete a;
  prepare(a);
  ASSERT_EQ(a.t.app.G_ResCatalogue, 0);
  ASSERT_EQ(a.t.app.G_ResEquivalence, 0);
  a.courrier().G_AccesDocument = false;
  auto r = a.requete({"KUP_ArreteChargerRTF", kRtfV2, "pc"});
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[1], "DOS_NUMERO");
  EXPECT_EQ(r[3], "");
  EXPECT_FALSE(a.courrier().G_AccesDocument);  // left as it was
  EXPECT_EQ(r[2], "SIG_VISAS");

  // A load that reported errors: the names stay as the RTF brought them.
  Arrete b;
  prepare(b);
  b.t.app.G_ResEquivalence = 2;
  r = b.requete({"KUP_ArreteChargerRTF", kRtfV2});
  EXPECT_EQ(r, (V{kNoms, "NUMDOSSIER", "VISA", "", ""}));

  b.requete({"KUP_ArreteChargerRTF", ""});
  EXPECT_FALSE(b.repondu());
}

TEST(Arrete_Ouverture, NewScanOfTheOpenDecreeOrDocumentClosed) {
  Arrete a;
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  // The user adds a field in the word processor.
  a.word->active()->insert(0, MemoryDocument::fromRtf("{\\rtf1 {\\field{\\*\\fldinst MERGEFIELD DATE}{\\fldrslt }}}", false));
  auto r = a.requete({"KUP_ArreteRelancerFusion"});
  EXPECT_EQ(r, (V{kNoms, "DATE" + Sep240() + "NOM", "VISAS", "", ""}));

  a.word->userCloses(a.word->active());
  a.requete({"KUP_ArreteRelancerFusion"});
  EXPECT_FALSE(a.repondu());
  ASSERT_FALSE(a.erreurs().empty());
  EXPECT_EQ(a.erreurs().back(), kFerme);
  EXPECT_FALSE(a.courrier().G_AccesDocument);

  // Refused until an opening command sets the flag again; RTF loading does not.
  a.requete({"KUP_ArreteChargerRTF", "{\\rtf1 Vu.\\par}"});
  a.requete({"KUP_ArreteRelancerFusion"});
  EXPECT_FALSE(a.repondu());
  EXPECT_EQ(a.erreurs().back(), kFerme);
  a.requete({"KUP_ArreteInitialiser", "C:\\Modeles\\arrete.dot"});
  EXPECT_EQ(a.requete({"KUP_ArreteRelancerFusion"}), (V{kNoms, "NOM", "VISAS", "", ""}));
}

TEST(Arrete_Ouverture, OpeningCommandsAllowTheDecreeAgainEvenWithNothingToOpen) {
  for (const char* commande : {"KUP_ArreteInitialiser", "KUP_ArreteCharger"}) {
    Arrete a;
    a.courrier().G_AccesDocument = false;
    a.requete({commande, ""});
    EXPECT_FALSE(a.repondu()) << commande;
    EXPECT_TRUE(a.courrier().G_AccesDocument) << commande;
  }
  // The RTF loading leaves the flag alone.
  Arrete b;
  b.courrier().G_AccesDocument = false;
  b.requete({"KUP_ArreteChargerRTF", ""});
  EXPECT_FALSE(b.courrier().G_AccesDocument);
  EXPECT_TRUE(b.erreurs().empty());

  // A Null argument is no empty text: an invalid use of Null, reported.
  using Ouverture = void (*)(App&, Args&);
  for (auto [commande, ouvrir] : {std::pair<std::string, Ouverture>{"KUP_ArreteInitialiser", KUP_ArreteInitialiser},
                                  {"KUP_ArreteCharger", KUP_ArreteCharger},
                                  {"KUP_ArreteChargerRTF", KUP_ArreteChargerRTF}}) {
    Arrete c;
    c.t.flash.clear();
    Args nul{Value::null()};
    ouvrir(c.t.app, nul);
    EXPECT_FALSE(c.repondu()) << commande;
    EXPECT_EQ(c.erreurs(), (std::vector<V>{{commande, "94", vbErrorText(vberr::InvalidUseOfNull)}})) << commande;
    EXPECT_TRUE(c.word->documents.empty()) << commande;
  }
}
