// The V3 catalogue: its collector, header, format switches, variable and
// bookmark files, and the reading of the files themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestApp.h"
#include "vb/VbString.h"
#include "documents/Catal_V3.h"
#include "documents/ErreurTxt.h"
#include "documents/LecteurTexte.h"
#include "documents/Mdl_Equivalence.h"
#include "tests/catalogue/CatalogueFiles.h"

using namespace kup;
using kup::test::Lignes8Bits;

namespace {

const char* kVar = "C:\\Korvane\\Var_Catalogue_V3.csv";
const char* kSig = "C:\\Korvane\\SIG_Catalogue_V3.csv";
const char* kEntete = "CHAMP;ECRAN;CODE;LIBELLE;TYPE;LG;UNITE;DEC";

struct Chargement {
  TestApp t;
  Catal_V3 cat;
  ErreurTxt err;
  int16_t charger() { return cat.ChargerCatalogue_v3(t.app, kVar, err); }
};

}  // namespace

TEST(ErreurTxt, NewCollectorAndGrowthRule) {
  ErreurTxt e;
  EXPECT_EQ(e.ErrLib(), " ");
  EXPECT_EQ(e.ErrCode(), 0);
  EXPECT_EQ(e.ErrPos(), 1);
  EXPECT_EQ(e.NbErr(), 0);

  const std::string rangee(5000, 'x');
  e.ErreurChargement(rangee);
  EXPECT_EQ(e.ErrCode(), 1);
  EXPECT_EQ(Len(e.ErrLib()), 10001u);
  e.ErreurChargement(rangee);
  e.ErreurChargement(rangee);
  EXPECT_EQ(Len(e.ErrLib()), 20001u);
  EXPECT_EQ(e.ErrPos(), 15007);
  EXPECT_EQ(e.NbErr(), 3);
  const std::string lib = e.ErrLib();
  EXPECT_EQ(lib.substr(5000, 2), "\r\n");
  EXPECT_EQ(lib.substr(15004, 2), "\r\n");
  EXPECT_EQ(lib.find_first_not_of(' ', 15006), std::string::npos);
}

TEST(ErreurTxt, OneGrowthStepPerRowWhenItFits) {
  // The first row fills the first step exactly; the next one, 9997
  // characters, needs the second step only, although it passes the capacity.
  ErreurTxt e;
  e.ErreurChargement(std::string(9998, 'a'));
  EXPECT_EQ(Len(e.ErrLib()), 10001u);
  EXPECT_EQ(e.ErrPos(), 10001);
  e.ErreurChargement(std::string(9996, 'b') + "é");
  EXPECT_EQ(Len(e.ErrLib()), 20001u);
  EXPECT_EQ(e.ErrPos(), 20000);
  EXPECT_EQ(Right(e.ErrLib(), 5), "é\r\n  ");
  EXPECT_EQ(e.NbErr(), 2);

  // Even an empty row keeps its line end.
  ErreurTxt v;
  v.ErreurChargement("");
  EXPECT_EQ(Left(v.ErrLib(), 3), "\r\n ");
  EXPECT_EQ(v.ErrPos(), 3);
}

TEST(ErreurTxt, PositionsCountCharactersAndLongRowsStayWhole) {
  ErreurTxt e;
  e.ErreurChargement("2;é;équivalence en doublon");  // 26 characters, 29 bytes
  EXPECT_EQ(e.ErrPos(), 29);
  EXPECT_EQ(Left(e.ErrLib(), e.ErrPos() - 1), "2;é;équivalence en doublon\r\n");

  // A row longer than one growth step is kept whole, not cut at the end of ErrLib.
  ErreurTxt longue;
  const std::string rangee = std::string(25000, 'a') + "é";
  longue.ErreurChargement("1;;x");
  longue.ErreurChargement(rangee);
  longue.ErreurChargement("3;;y");
  ASSERT_EQ(longue.Lignes().size(), 3u);
  EXPECT_EQ(longue.Lignes()[1], rangee);
  EXPECT_EQ(longue.Lignes()[2], "3;;y");
  EXPECT_EQ(Len(Left(longue.ErrLib(), longue.ErrPos() - 1)), static_cast<size_t>(longue.ErrPos() - 1));
  EXPECT_GE(static_cast<long>(Len(longue.ErrLib())), longue.ErrPos());
}

TEST(Catalogue, PathProcedures) {
  EXPECT_EQ(sRepertoireChemin("C:\\a\\b.csv"), "C:\\a");
  EXPECT_EQ(sNomFichierChemin("C:\\a\\b.csv"), "b.csv");
  EXPECT_EQ(sRepertoireChemin("b.csv"), "");
  EXPECT_EQ(sNomFichierChemin("b.csv"), "b.csv");
  EXPECT_EQ(sRepertoireChemin("/opt/korvane\\Var.csv"), "/opt/korvane");
  EXPECT_EQ(sNomFichierChemin("C:\\a\\"), "");
}

TEST(Catalogue, HeaderInAnyCaseAndOrder) {
  Chargement c;
  c.t.fs.put(kVar, Lignes8Bits({" dec ;Unite;lg;Type; Libelle;code;Ecran; champ", "0;;3;VARCHAR2;Nom;PC;DEM;DEM_NOM"}));
  c.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}));
  EXPECT_EQ(c.charger(), 0);
  ASSERT_NE(c.cat.CatV3.Item("DEM_NOM"), nullptr);
  EXPECT_EQ(c.cat.CatV3.Item("dem_nom")->Libelle, "Nom");
  EXPECT_EQ(c.cat.CatV3.Item("DEM_NOM")->TypeFmt, 1);

  // A doubled column: the later one counts.
  Chargement d;
  d.t.fs.put(kVar, Lignes8Bits({"CHAMP;ECRAN;CODE;LIBELLE;TYPE;LG;UNITE;DEC;CHAMP", "A;E;C;L;DATE;;;;B"}));
  d.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}));
  d.charger();
  EXPECT_TRUE(d.cat.Existe("B"));
  EXPECT_FALSE(d.cat.Existe("A"));
}

TEST(Catalogue, HeaderWithMissingColumns) {
  Chargement c;
  c.t.fs.put(kVar, Lignes8Bits({"CHAMP;ECRAN;CODE;LIBELLE;TYPE;LG", "A;E;C;L;DATE;1"}));
  c.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}));
  EXPECT_EQ(c.charger(), 1);
  EXPECT_EQ(c.err.Lignes(), (std::vector<std::string>{"1;;UNITE ne figure pas dans l'entete",
                                                       "1;;DEC ne figure pas dans l'entete"}));
  EXPECT_EQ(c.cat.CatV3.Count(), 0u);
  EXPECT_TRUE(c.cat.ExisteSignet("sig_a"));

  // Every column missing, in the fixed order of the rows.
  Chargement v;
  v.t.fs.put(kVar, Lignes8Bits({"X"}));
  v.t.fs.put(kSig, Lignes8Bits({"SIGNET"}));
  v.charger();
  EXPECT_EQ(v.err.Lignes(), (std::vector<std::string>{
                                "1;;CHAMP ne figure pas dans l'entete", "1;;LIBELLE ne figure pas dans l'entete",
                                "1;;ECRAN ne figure pas dans l'entete", "1;;CODE ne figure pas dans l'entete",
                                "1;;TYPE ne figure pas dans l'entete", "1;;LG ne figure pas dans l'entete",
                                "1;;UNITE ne figure pas dans l'entete", "1;;DEC ne figure pas dans l'entete"}));

  // Rows left in the collector by an earlier load do not reject a sound header.
  Chargement r;
  r.err.ErreurChargement("7;;ancienne");
  r.t.fs.put(kVar, Lignes8Bits({kEntete, "A;E;C;L;DATE;;;"}));
  r.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}));
  EXPECT_EQ(r.charger(), 1);
  EXPECT_TRUE(r.cat.Existe("A"));
  EXPECT_EQ(r.err.NbErr(), 1);
}

struct CasFormat {
  const char* type;
  const char* lg;
  const char* dec;
  const char* unite;
  const char* fmt;
  int typeFmt;
};

class FormatSwitch : public testing::TestWithParam<CasFormat> {};

TEST_P(FormatSwitch, Table) {
  const CasFormat& c = GetParam();
  Catal_V3 cat;
  ErreurTxt err;
  ASSERT_EQ(cat.ExtraireEntete({"CHAMP", "ECRAN", "CODE", "LIBELLE", "TYPE", "LG", "UNITE", "DEC"}, err), 3);
  Variable_V3 v;
  EXPECT_EQ(cat.TraiterFormat(v, {"V", "E", "C", "L", c.type, c.lg, c.unite, c.dec}, 5, err), c.fmt);
  EXPECT_EQ(v.TypeFmt, c.typeFmt);
  EXPECT_EQ(err.NbErr(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, FormatSwitch,
    testing::Values(CasFormat{"NUMBER", "10", "0", "", "\\# \"##0\"", 2},
                    CasFormat{"NUMBER", "10", "2", "m²", "\\# \"##0,00 m²\"", 3},
                    CasFormat{"NUMBER", "10", "0", "€", "\\# \"##0 €\"", 2},
                    CasFormat{"NUMBER", "2", "0", "%", "\\f \" %\"", 2},
                    CasFormat{"NUMBER", "3", "1", "", "", 2},
                    CasFormat{" number ", "4", "0", "  m ", "\\# \"##0 m\"", 2},
                    CasFormat{"NUMBER", "abc", "2", "m", "\\f \" m\"", 2},    // letters: lg 0
                    CasFormat{"NUMBER", "10", "x", "", "\\# \"##0\"", 2},     // letters: dec 0
                    CasFormat{"NUMBER", "3.9", "0", "", "", 2},               // rounded down
                    CasFormat{"NUMBER", "1E999", "1E999", "m", "\\f \" m\"", 2},  // overflow: 0
                    CasFormat{"NUMBER", " 12 ", "1", "", "\\# \"##0,00\"", 3},
                    CasFormat{"VARCHAR2", "10", "2", "m", "", 1},
                    CasFormat{"varchar2", "", "", "", "", 1},
                    CasFormat{"DATE", "", "", "", "\\@ \"dd/MM/yyyy\"", 4},
                    CasFormat{"", "10", "2", "m", "", 0},
                    CasFormat{"   ", "10", "2", "m", "", 0}));

TEST(Catalogue, FormatOfShortLinesAndUnknownTypes) {
  Catal_V3 cat;
  ErreurTxt err;
  cat.ExtraireEntete({"CHAMP", "ECRAN", "CODE", "LIBELLE", "TYPE", "LG", "UNITE", "DEC"}, err);
  Variable_V3 v;
  // NUMBER without LG, UNITE and DEC fields: a short number without unit.
  EXPECT_EQ(cat.TraiterFormat(v, {"V", "E", "C", "L", "NUMBER"}, 2, err), "");
  EXPECT_EQ(v.TypeFmt, 2);
  Variable_V3 w;
  EXPECT_EQ(cat.TraiterFormat(w, {"V", "E", "C", "L"}, 2, err), "");
  EXPECT_EQ(w.TypeFmt, 0);
  Variable_V3 x;
  x.TypeFmt = 3;
  EXPECT_EQ(cat.TraiterFormat(x, {" Ch ", "E", "C", "L", " texte "}, 12, err), "");
  EXPECT_EQ(x.TypeFmt, 0);
  EXPECT_EQ(err.Lignes(), std::vector<std::string>{"12; Ch ;type inconnu TEXTE"});
}

TEST(Catalogue, VariableLines) {
  Chargement c;
  c.t.fs.put(kVar, Lignes8Bits({"CHAMP;ECRAN;CODE;Unite;LG;LIBELLE;DEC;TYPE",
                                "A;E1;PC;;;Libellé A",               // six fields: loaded, no TYPE
                                "B;E1;PC;;;",                        // six fields, empty label
                                "C;E1;PC;;",                         // five fields: too short
                                ";E1;PC;;;X;;DATE",                  // empty CHAMP
                                "",                                  // empty line
                                "a;E2;PA;;;Autre;;DATE",             // same name, other case
                                " D ;E2;PA;€;10;  Surface  ;2;NUMBER"}));
  c.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}));
  EXPECT_EQ(c.charger(), 1);
  EXPECT_EQ(c.err.Lignes(), (std::vector<std::string>{"4;;erreur description variable",
                                                       "5;;erreur description variable",
                                                       "6;;erreur description variable"}));
  ASSERT_EQ(c.cat.CatV3.Count(), 3u);
  const auto a = c.cat.CatV3.Item("A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Libelle, "Libellé A");
  EXPECT_EQ(a->Fmt, "");
  EXPECT_EQ(a->TypeFmt, 0);
  // The duplicate keeps the first variable but joins the groups of its line.
  EXPECT_EQ(c.cat.V3_Ecran.Item("E2")->nom, "E2");
  EXPECT_TRUE(c.cat.V3_Ecran.Item("e2")->Existe("a"));
  EXPECT_TRUE(c.cat.V3_CodeDossier.Item("PA")->Existe("A"));
  EXPECT_EQ(c.cat.V3_Ecran.Item("E1")->CFV3.Count(), 2u);  // A and B; "a" is the same key in E2 only
  // Keys are the names as written: " D " is not "D".
  EXPECT_FALSE(c.cat.Existe("D"));
  const auto d = c.cat.CatV3.Item(" d ");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->nom, "D");
  EXPECT_EQ(d->Libelle, "Surface");
  EXPECT_EQ(d->Fmt, "\\# \"##0,00 €\"");
  // Groups are kept by a second load; the variables are not. A name new to
  // the second load is still not added twice to a group that holds it.
  c.t.fs.put(kVar, Lignes8Bits({kEntete, "Z;E9;CU;L;DATE;;;", "A;E2;PA;L;DATE;;;", "b;E1;PC;L;DATE;;;"}));
  c.charger();
  EXPECT_EQ(c.cat.CatV3.Count(), 3u);
  EXPECT_NE(c.cat.V3_Ecran.Item("E1"), nullptr);
  EXPECT_NE(c.cat.V3_Ecran.Item("E9"), nullptr);
  EXPECT_EQ(c.cat.V3_Ecran.Item("E2")->CFV3.Count(), 2u);
  EXPECT_EQ(c.cat.V3_Ecran.Item("E2")->CFV3.At(0), "a");
  EXPECT_EQ(c.cat.V3_Ecran.Item("E1")->CFV3.Count(), 2u);  // never looked up in between
  EXPECT_EQ(c.cat.V3_Ecran.Item("E1")->CFV3.At(1), "B");
}

TEST(Catalogue, BookmarkLines) {
  Chargement c;
  c.t.fs.put(kVar, Lignes8Bits({kEntete, "A;E;C;L;DATE;;;"}));
  c.t.fs.put(kSig, Lignes8Bits({"SIG_ENTETE;ignoré", ";sans nom", " Sig_b ;x", "SIG_B", "", "SIG_C"}));
  EXPECT_EQ(c.charger(), 1);
  EXPECT_EQ(c.err.Lignes(), (std::vector<std::string>{"1;;erreur description signet",
                                                       "4;;erreur description signet"}));
  EXPECT_FALSE(c.cat.ExisteSignet("SIG_ENTETE"));  // the header line
  EXPECT_TRUE(c.cat.ExisteSignet(" SIG_B "));
  EXPECT_EQ(c.cat.SIGV3.Item(" sig_b ")->nom, "Sig_b");
  EXPECT_TRUE(c.cat.ExisteSignet("SIG_B"));
  EXPECT_TRUE(c.cat.ExisteSignet("sig_c"));
}

TEST(Catalogue, DuplicatesAreSilentAndOneBadBookmarkLineIsOneRow) {
  Chargement c;
  c.t.fs.put(kVar, Lignes8Bits({kEntete, "Nom;E;C;Premier;VARCHAR2;;;", "X;E;C;;;;;", "NOM;F;D;Second;DATE;;;",
                                "nOm;E;C;Troisième;DATE;;;"}));
  c.t.fs.put(kSig, Lignes8Bits({"SIGNET", "", "Sig_A;premier", "SIG_A;second", "sig_a"}));
  EXPECT_EQ(c.charger(), 1);
  EXPECT_EQ(c.err.Lignes(), std::vector<std::string>{"1;;erreur description signet"});
  EXPECT_EQ(c.cat.CatV3.Count(), 2u);
  EXPECT_EQ(c.cat.CatV3.Item("nom")->Libelle, "Premier");
  EXPECT_EQ(c.cat.V3_Ecran.Item("E")->CFV3.Count(), 2u);  // Nom and X, once each
  EXPECT_EQ(c.cat.V3_Ecran.Item("F")->CFV3.At(0), "NOM");
  EXPECT_EQ(c.cat.CatV3.Item("nom")->TypeFmt, 1);
  ASSERT_EQ(c.cat.SIGV3.Count(), 1u);
  EXPECT_EQ(c.cat.SIGV3.Item("SIG_A")->nom, "Sig_A");
  EXPECT_TRUE(Catal_V3::ExisteDansCol(c.cat.V3_Ecran, "f"));
}

TEST(Catalogue, MissingEmptyAndUnreadableFiles) {
  Chargement absent;
  absent.t.fs.createFolder("C:\\Korvane");
  EXPECT_EQ(absent.charger(), 1);
  EXPECT_EQ(absent.err.Lignes(),
            (std::vector<std::string>{"1;;Fichier introuvable", "0;;Fichier introuvable"}));

  Chargement vide;
  vide.t.fs.put(kVar, "");
  vide.t.fs.put(kSig, "");
  EXPECT_EQ(vide.charger(), 1);
  ASSERT_EQ(vide.err.NbErr(), 2);
  EXPECT_EQ(vide.err.Lignes()[0].rfind("1;;", 0), 0u);
  EXPECT_EQ(vide.err.Lignes()[1].rfind("0;;", 0), 0u);

  Chargement illisible;
  illisible.t.fs.put(kVar, Lignes8Bits({kEntete, "A;E;C;L;DATE;;;"}));
  illisible.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}));
  illisible.t.fs.fail(kVar, 70, platform::FakeFileSystem::Op::Read);
  EXPECT_EQ(illisible.charger(), 1);
  EXPECT_EQ(illisible.err.Lignes(), std::vector<std::string>{"1;;Permission refusée"});
  EXPECT_TRUE(illisible.cat.ExisteSignet("SIG_A"));
}

TEST(Catalogue, TextFilesReadAsWritten) {
  // Windows-1252 bytes, LF-only lines and a last line without its line end.
  Chargement c;
  c.t.fs.put(kVar, std::string(kEntete) + "\nM\xB2;\xC9" "cran;PC;Co\xFBt;NUMBER;10;\x80;0\nDERNIER;E;C;L;DATE;;;");
  c.t.fs.put(kSig, "SIGNET\rSIG_UN\rSIG_DEUX");  // CR-only lines
  EXPECT_EQ(c.charger(), 0);
  ASSERT_TRUE(c.cat.Existe("M²"));
  EXPECT_EQ(c.cat.CatV3.Item("m²")->Libelle, "Coût");
  EXPECT_EQ(c.cat.CatV3.Item("M²")->Fmt, "\\# \"##0 €\"");
  EXPECT_NE(c.cat.V3_Ecran.Item("ÉCRAN"), nullptr);  // keys compared without regard to case
  EXPECT_TRUE(c.cat.Existe("DERNIER"));
  EXPECT_TRUE(c.cat.ExisteSignet("SIG_DEUX"));

  // Every byte of the code page, ASCII around it, reads as the boundary converts it.
  std::string octets = "a";
  for (int b = 0x80; b <= 0xFF; ++b) octets += {static_cast<char>(b), 'x'};
  LecteurTexte lecteur(octets + "\r\nfin");
  std::string_view ligne;
  ASSERT_TRUE(lecteur.LireLigne(ligne));
  EXPECT_EQ(ligne, FromCp1252(octets));

  // A CR LF file ending with its line end has no extra empty record.
  Chargement d;
  d.t.fs.put(kVar, Lignes8Bits({kEntete, "A;E;C;L;DATE;;;"}));
  d.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}) + "\r\n");  // one real empty line
  EXPECT_EQ(d.charger(), 1);
  EXPECT_EQ(d.err.Lignes(), std::vector<std::string>{"2;;erreur description signet"});

  // Row positions count characters of the rows, not bytes.
  Chargement e;
  e.t.fs.put(kVar, Lignes8Bits({kEntete, "Été;E;C;L;MONTANT;;;"}));
  e.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}));
  e.charger();
  EXPECT_EQ(e.err.Lignes(), std::vector<std::string>{"2;Été;type inconnu MONTANT"});
  EXPECT_EQ(e.err.ErrPos(), static_cast<long>(Len("2;Été;type inconnu MONTANT")) + 3);
}

TEST(Catalogue, LongFilesAreReadToTheirEnd) {
  // More lines than a 16-bit counter holds.
  std::string var = std::string(kEntete) + "\r\n";
  for (int i = 0; i < 40000; ++i) var += "V" + std::to_string(i) + ";E" + std::to_string(i % 7) + ";PC;L;NUMBER;10;;0\r\n";
  var += "\r\n";
  Chargement c;
  c.t.fs.put(kVar, var);
  c.t.fs.put(kSig, Lignes8Bits({"SIGNET", "SIG_A"}));
  EXPECT_EQ(c.charger(), 1);
  EXPECT_EQ(c.cat.CatV3.Count(), 40000u);
  EXPECT_EQ(c.err.Lignes(), std::vector<std::string>{"40002;;erreur description variable"});
  EXPECT_EQ(c.cat.V3_CodeDossier.Item("PC")->CFV3.Count(), 40000u);
  EXPECT_TRUE(c.cat.V3_CodeDossier.Item("pc")->Existe("v39999"));
  EXPECT_FALSE(c.cat.V3_CodeDossier.Item("PC")->Existe("V40000"));
}

TEST(Catalogue, VeryLongLinesAndOddBytes) {
  Chargement c;
  std::string champ(300000, 'Z');
  c.t.fs.put(kVar, Lignes8Bits({kEntete, champ + ";E;C;L;" + std::string(200000, 'T') + ";;;",
                                std::string("N\0UL;E;C;L;DATE;;;", 18), "OK;E;C;L;DATE;;;"}));
  c.t.fs.put(kSig, std::string("SIGNET\r\n\x81\x8D\x8F;x\r\n"));
  EXPECT_EQ(c.charger(), 1);
  ASSERT_EQ(c.err.NbErr(), 1);
  EXPECT_EQ(Len(c.err.Lignes()[0]), 2 + 300000 + 14 + 200000u);
  EXPECT_TRUE(c.cat.Existe(champ));
  EXPECT_TRUE(c.cat.Existe(std::string("N\0UL", 4)));
  EXPECT_TRUE(c.cat.Existe("OK"));
  EXPECT_EQ(c.cat.SIGV3.Count(), 1u);
}
