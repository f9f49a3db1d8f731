// The V2-to-V3 equivalences, the start-up load and the lookups the word
// processor driver uses.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestApp.h"
#include "documents/Catal_V3.h"
#include "documents/Equivalence_V3.h"
#include "documents/ErreurTxt.h"
#include "documents/Mdl_Equivalence.h"
#include "tests/catalogue/CatalogueFiles.h"

using namespace kup;
using kup::test::Lignes8Bits;

namespace {

const char* kVar = "C:\\Korvane\\Var_Catalogue_V3.csv";
const char* kSig = "C:\\Korvane\\SIG_Catalogue_V3.csv";
const char* kVarEq = "C:\\Korvane\\Var_Equiv_V2_V3.csv";
const char* kSigEq = "C:\\Korvane\\SIG_Equiv_V2_V3.csv";

// A catalogue of the variables B, M, N1, N2 and the bookmarks SIG_A, SIG_B.
struct Equivalences {
  TestApp t;
  Catal_V3 cat;
  Equivalence_V3 eq;
  ErreurTxt errCat, err;
  Equivalences() {
    t.fs.put(kVar, Lignes8Bits({"CHAMP;ECRAN;CODE;LIBELLE;TYPE;LG;UNITE;DEC", "B;E;C;L;VARCHAR2;;;",
                                "M;E;C;L;NUMBER;10;m²;2", "N1;E;C;L;DATE;;;", "N2;E;C;L;DATE;;;"}));
    t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A", "SIG_B"}));
    cat.ChargerCatalogue_v3(t.app, kVar, errCat);
  }
  int16_t charger(std::initializer_list<std::string> var, std::initializer_list<std::string> sig = {"X;SIG_A"}) {
    t.fs.put(kVarEq, Lignes8Bits(var));
    t.fs.put(kSigEq, Lignes8Bits(sig));
    return eq.ChargerEquivalence_v3(t.app, kVarEq, cat, err);
  }
};

std::string lireFichier(const std::string& chemin) {
  std::ifstream f(chemin, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace

TEST(Equivalence, CodesModesAndKeys) {
  Equivalences e;
  EXPECT_EQ(e.charger({"A;B;C;X Y", "N;M;C", " P ; M ; S ;  PC  "}), 0);
  EXPECT_EQ(e.err.NbErr(), 0);
  const VariableEquiv_V3* ax = e.eq.VarEquiv.Item("A_X");
  const VariableEquiv_V3* ay = e.eq.VarEquiv.Item("a_y");
  ASSERT_TRUE(ax && ay);
  EXPECT_EQ(ax->Mode, "c");
  EXPECT_EQ(ax->Code, "X");
  EXPECT_EQ(ay->Code, "Y");
  EXPECT_EQ(ax->NomEquiv, "B");
  // Without codes the fallback code AA; the mode is lower-cased all the same.
  const VariableEquiv_V3* n = e.eq.VarEquiv.Item("N_AA");
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Mode, "c");
  EXPECT_EQ(e.eq.VarEquiv.Count(), 4u);
  // Keys use field 0 as written; stored names are trimmed.
  const VariableEquiv_V3* p = e.eq.VarEquiv.Item(" P _PC");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->nom, "P");
  EXPECT_EQ(p->NomEquiv, "M");
  EXPECT_EQ(p->Mode, "s");
  // The single V3 name of a line links the catalogue variable back; the last line naming it wins.
  EXPECT_EQ(e.cat.CatV3.Item("M")->NomEX, "P");
  EXPECT_EQ(e.cat.CatV3.Item("B")->NomEX, "A");
}

TEST(Equivalence, UnknownNamesDuplicatesAndCodeLists) {
  Equivalences e;
  e.charger({"A;N1 INCONNU;s;X Y",  // two names, one unknown, two codes
             "D;N2;s;X",            // line 2
             "d;N1;s;X",            // same key in another case: duplicate
             "F;N1;s;R S",
             "G;N2;s",              // after a line with codes, itself without codes
             "H;B;s;   ",           // codes field of blanks: no entry
             "K;B;s;P  Q"});        // two blanks: an empty code
  EXPECT_EQ(e.err.Lignes(), (std::vector<std::string>{"1;A;INCONNU;n'est pas dans le catalogue V3",
                                                       "1;A;INCONNU;n'est pas dans le catalogue V3",
                                                       "3;d;N1;équivalence en doublon"}));
  EXPECT_NE(e.eq.VarEquiv.Item("A_X"), nullptr);
  EXPECT_NE(e.eq.VarEquiv.Item("A_Y"), nullptr);
  EXPECT_EQ(e.cat.CatV3.Item("N1")->NomEX, "F");  // not A: it named two variables
  EXPECT_EQ(e.eq.VarEquiv.Item("d_x")->nom, "D");  // the first entry stays
  EXPECT_NE(e.eq.VarEquiv.Item("G_AA"), nullptr);
  EXPECT_EQ(e.eq.VarEquiv.Item("G_X"), nullptr);
  EXPECT_EQ(e.eq.VarEquiv.Item("H_AA"), nullptr);
  EXPECT_NE(e.eq.VarEquiv.Item("K_"), nullptr);
  EXPECT_EQ(e.eq.VarEquiv.Item("K_")->Code, "");
  EXPECT_EQ(e.eq.VarEquiv.Count(), 9u);
}

TEST(Equivalence, RejectedVariableLines) {
  Equivalences e;
  // A first line that looks like a header is a record like any other.
  const auto r = e.eq.ChargerVariableEquivalence_v3(e.t.app, kVarEq, e.cat, e.err);
  EXPECT_EQ(r, 0);  // missing file
  EXPECT_EQ(e.err.Lignes(), std::vector<std::string>{"0;;;Fichier introuvable"});

  Equivalences f;
  f.t.fs.put(kVarEq, Lignes8Bits({"V2;V3;MODE;CODES", ";B;s", "Q;;s", "", "SEUL", "R;B", "T;B;s"}));
  EXPECT_EQ(f.eq.ChargerVariableEquivalence_v3(f.t.app, kVarEq, f.cat, f.err), 1);
  const auto lignes = f.err.Lignes();
  ASSERT_EQ(lignes.size(), 6u);
  EXPECT_EQ(lignes[0], "1;V2;V3;n'est pas dans le catalogue V3");
  EXPECT_EQ(lignes[1], "2;;; sans équivalence V3");
  EXPECT_EQ(lignes[2], "3;Q;; sans équivalence V3");
  EXPECT_EQ(lignes[3].rfind("4;;;", 0), 0u);    // empty line
  EXPECT_EQ(lignes[4].rfind("5;SEUL;;", 0), 0u);  // one field
  EXPECT_EQ(lignes[5].rfind("6;R;;", 0), 0u);     // no mode
  // A rejected line does not cost the lines after it.
  EXPECT_NE(f.eq.VarEquiv.Item("V2_CODES"), nullptr);
  EXPECT_NE(f.eq.VarEquiv.Item("T_AA"), nullptr);
  EXPECT_EQ(f.eq.VarEquiv.Item("R_AA"), nullptr);

  // An unreadable line is written down but is no missing equivalence: a file
  // whose only fault is a blank line before its end still loads clean.
  Equivalences g;
  g.t.fs.put(kVarEq, Lignes8Bits({"A;B;s", "", "C;M;s", "SEUL", "D;B"}));
  EXPECT_EQ(g.eq.ChargerVariableEquivalence_v3(g.t.app, kVarEq, g.cat, g.err), 0);
  EXPECT_EQ(g.err.NbErr(), 3);
  EXPECT_EQ(g.eq.VarEquiv.Count(), 2u);
  EXPECT_NE(g.eq.VarEquiv.Item("C_AA"), nullptr);
}

TEST(Equivalence, BookmarkPass) {
  Equivalences e;
  e.t.fs.put(kSigEq, Lignes8Bits({"V2A; SIG_A ;extra", "V2B;sig_b", "V2C;SIG_Z", ";SIG_A", "SEUL", "", "v2b;SIG_A"}));
  EXPECT_EQ(e.eq.ChargerSignetEquivalence_v3(e.t.app, kSigEq, e.cat, e.err), 1);
  EXPECT_EQ(e.err.Lignes(), (std::vector<std::string>{"1;V2A; SIG_A ; n'est pas dans le catalogue des signets V3",
                                                       "3;V2C;SIG_Z; n'est pas dans le catalogue des signets V3",
                                                       "4;;; sans équivalence V3", "5;SEUL;; sans équivalence V3",
                                                       "6;;; sans équivalence V3",
                                                       "7;v2b;SIG_A;équivalence en doublon"}));
  ASSERT_EQ(e.eq.SigEquiv.Count(), 1u);
  EXPECT_EQ(e.eq.SigEquiv.Item("V2B")->NomEquiv, "sig_b");

  // Short lines alone do not make the pass fail.
  Equivalences f;
  f.t.fs.put(kSigEq, Lignes8Bits({"SEUL", "V2;SIG_B"}));
  EXPECT_EQ(f.eq.ChargerSignetEquivalence_v3(f.t.app, kSigEq, f.cat, f.err), 0);
  EXPECT_EQ(f.err.NbErr(), 1);

  // A missing file: one row with line 0 and an empty name; the result reached is 0.
  Equivalences g;
  EXPECT_EQ(g.eq.ChargerSignetEquivalence_v3(g.t.app, kSigEq, g.cat, g.err), 0);
  EXPECT_EQ(g.err.Lignes(), std::vector<std::string>{"0;;;Fichier introuvable"});
}

TEST(Equivalence, WholeLoadAndEmptyCatalogue) {
  Equivalences e;
  // The result is the bookmark pass's; the variable pass still runs when the variable file is missing.
  e.t.fs.put(kSigEq, Lignes8Bits({"V2;SIG_B"}));
  EXPECT_EQ(e.eq.ChargerEquivalence_v3(e.t.app, kVarEq, e.cat, e.err), 0);
  EXPECT_EQ(e.err.Lignes(), std::vector<std::string>{"0;;;Fichier introuvable"});
  EXPECT_EQ(e.eq.SigEquiv.Count(), 1u);
  // A rejected variable line does not make the load fail: only the bookmark pass counts.
  EXPECT_EQ(e.charger({";B;s", "A;B;s"}, {"V2;SIG_B"}), 0);
  EXPECT_EQ(e.err.NbErr(), 2);
  // A second load empties the collections first.
  EXPECT_EQ(e.charger({"A;B;s"}, {"W;SIG_Z"}), 1);
  EXPECT_EQ(e.eq.SigEquiv.Count(), 0u);
  EXPECT_EQ(e.eq.VarEquiv.Count(), 1u);

  // A catalogue without bookmarks: nothing read, no box.
  TestApp t;
  Catal_V3 cat;
  ErreurTxt errCat, err;
  t.fs.put(kVar, Lignes8Bits({"CHAMP;ECRAN;CODE;LIBELLE;TYPE;LG;UNITE;DEC", "B;E;C;L;VARCHAR2;;;"}));
  t.fs.put(kSig, Lignes8Bits({"SIGNET"}));
  cat.ChargerCatalogue_v3(t.app, kVar, errCat);
  t.fs.put(kVarEq, Lignes8Bits({"A;B;s"}));
  Equivalence_V3 eq;
  EXPECT_EQ(eq.ChargerEquivalence_v3(t.app, kVarEq, cat, err), 0);
  EXPECT_EQ(eq.VarEquiv.Count(), 0u);
  EXPECT_EQ(err.NbErr(), 0);
  EXPECT_TRUE(t.msgbox.boxes.empty());
  // Called on its own, a pass on an empty catalogue says so.
  EXPECT_EQ(eq.ChargerSignetEquivalence_v3(t.app, kSigEq, cat, err), 0);
  ASSERT_EQ(t.msgbox.boxes.size(), 1u);
  EXPECT_EQ(t.msgbox.boxes[0].prompt, "il faut charger le catalogue");
  EXPECT_EQ(t.msgbox.boxes[0].buttons, platform::mb::Critical);
  EXPECT_EQ(t.msgbox.boxes[0].title, "Korvane");
  Catal_V3 vide;
  EXPECT_EQ(eq.ChargerVariableEquivalence_v3(t.app, kVarEq, vide, err), 0);
  EXPECT_EQ(t.msgbox.boxes.size(), 2u);
  EXPECT_EQ(eq.VarEquiv.Count(), 0u);
  EXPECT_EQ(eq.AppFormatV3(), 0);
}

TEST(Equivalence, StartUpWithoutFiles) {
  TestApp t;
  t.fs.createFolder("C:\\Korvane");
  sub_ChargerEquivalences(t.app);
  ASSERT_TRUE(t.app.G_Catalogue && t.app.G_Equivalence && t.app.G_ErrCatalogue && t.app.G_ErrEquivalence);
  EXPECT_EQ(t.app.G_ResCatalogue, 1);
  EXPECT_EQ(t.app.G_ResEquivalence, 0);
  EXPECT_EQ(t.app.G_Catalogue->CatV3.Count(), 0u);
  EXPECT_EQ(t.app.G_Catalogue->SIGV3.Count(), 0u);
  EXPECT_EQ(t.app.G_ErrCatalogue->Lignes(),
            (std::vector<std::string>{"1;;Fichier introuvable", "0;;Fichier introuvable"}));
  EXPECT_EQ(t.app.G_ErrEquivalence->NbErr(), 0);
  EXPECT_TRUE(t.msgbox.boxes.empty());
  EXPECT_TRUE(t.flash.calls.empty());

  InstallMdl_EquivalenceHooks(t.app);
  ASSERT_TRUE(t.app.hooks.sub_ChargerEquivalences);
}

TEST(Equivalence, StartUpWithTheBundledFiles) {
  TestApp t;
  for (const char* nom : {"Var_Catalogue_V3.csv", "SIG_Catalogue_V3.csv", "Var_Equiv_V2_V3.csv", "SIG_Equiv_V2_V3.csv"})
    t.fs.put(std::string("C:\\Korvane\\") + nom, lireFichier(std::string(KUP_SOURCE_DIR) + "/samples/program/" + nom));
  sub_ChargerEquivalences(t.app);
  EXPECT_EQ(t.app.G_ErrCatalogue->Lignes(), std::vector<std::string>{});
  EXPECT_EQ(t.app.G_ErrEquivalence->Lignes(), std::vector<std::string>{});
  EXPECT_EQ(t.app.G_ResCatalogue, 0);
  EXPECT_EQ(t.app.G_ResEquivalence, 0);
  EXPECT_GE(t.app.G_Catalogue->CatV3.Count(), 36u);
  EXPECT_GE(t.app.G_Catalogue->SIGV3.Count(), 10u);
  EXPECT_GE(t.app.G_Equivalence->VarEquiv.Count(), 10u);
  EXPECT_GE(t.app.G_Equivalence->SigEquiv.Count(), 5u);
}

TEST(Equivalence, Lookups) {
  Equivalences e;
  e.charger({"NOM;B;s", "DEUX;N1 N2;C;PC", "VIDE; ;s"});
  const Equivalence_V3* eq = &e.eq;

  std::string nom = "nom";
  EXPECT_EQ(sNomVariableV3(nom, "X", eq), "NOM_AA");
  EXPECT_EQ(nom, "NOM");
  std::string deux = "deux";
  EXPECT_EQ(sNomVariableV3(deux, "pc", eq), "DEUX_pc");
  EXPECT_EQ(deux, "DEUX");
  std::string absent = "absent";
  EXPECT_EQ(sNomVariableV3(absent, "PC", eq), "");
  EXPECT_EQ(absent, "absent");

  EXPECT_EQ(vNomsEquivalence("DEUX_PC", eq), (StrArray{"N1", "N2"}));
  EXPECT_TRUE(vNomsEquivalence("DEUX_AA", eq).empty());
  EXPECT_TRUE(vNomsEquivalence("VIDE_AA", eq).empty());
  EXPECT_EQ(sModeEquivalence("deux_pc", eq), "c");
  EXPECT_EQ(sModeEquivalence("NOM_PC", eq), "");

  EXPECT_EQ(sFormatEquivalence("m", &e.cat), "\\# \"##0,00 m²\"");
  EXPECT_EQ(sFormatEquivalence("B", &e.cat), "");
  EXPECT_EQ(sFormatEquivalence("INCONNU", &e.cat), "");

  // Nothing loaded yet: empty results, no failure.
  std::string n = "X";
  EXPECT_EQ(sNomVariableV3(n, "PC", nullptr), "");
  EXPECT_TRUE(vNomsEquivalence("X_PC", nullptr).empty());
  EXPECT_EQ(sModeEquivalence("X_PC", nullptr), "");
  EXPECT_EQ(sFormatEquivalence("M", nullptr), "");
}
