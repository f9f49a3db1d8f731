// The word-processor driver renames V2 merge fields with the catalogue loaded
// at start-up: the lookups reach every driver the App creates, also after a
// release by "unload".
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TestApp.h"
#include "core/table/CommandTable.h"
#include "documents/Catal_V3.h"
#include "documents/Equivalence_V3.h"
#include "documents/ErreurTxt.h"
#include "office/ApCourrier.h"
#include "office/MemoryWord.h"

namespace {

std::string SampleFile(const std::string& name) {
  std::ifstream in(std::string(KUP_SOURCE_DIR) + "/samples/program/" + name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

const char* kModele = R"({\rtf1\ansi
Dossier {\field{\*\fldinst MERGEFIELD NUMDOSSIER}} terrain {\field{\*\fldinst MERGEFIELD SURFTERRAIN}}\par
Inconnu {\field{\*\fldinst MERGEFIELD PASDANSLECATALOGUE}}\par
})";

TEST(EquivalenceWiring, DriverRenamesV2FieldsWithTheLoadedCatalogue) {
  TestApp t;
  for (const char* f : {"Var_Catalogue_V3.csv", "SIG_Catalogue_V3.csv", "Var_Equiv_V2_V3.csv", "SIG_Equiv_V2_V3.csv"})
    t.fs.put(std::string("C:\\Korvane\\") + f, SampleFile(f));
  kup::InstallModules(t.app);
  ASSERT_TRUE(t.app.hooks.sub_ChargerEquivalences);
  t.app.hooks.sub_ChargerEquivalences(t.app);
  ASSERT_TRUE(t.app.G_Catalogue && t.app.G_Equivalence);
  EXPECT_EQ(t.app.G_ResCatalogue, 0);

  auto word = std::make_shared<kup::MemoryWordApp>();
  for (int round = 0; round < 2; ++round) {
    // "unload" drops the drivers; the next one must get the lookups again.
    if (round == 1) t.app.hooks.unload(t.app);
    t.fs.put("C:\\Modeles\\v2.dot", kModele);
    kup::ApCourrier& d = kup::G_Courrier(t.app);
    d.setTypeEditeur(4);
    d.twinFactory = kup::MemoryWordFactory(word);
    d.OpenEditor();
    d.OpenDocument("C:\\Modeles\\v2.dot");
    kup::ErreurTxt errors;
    d.SubstituteMergeFieldsDocument("PC", t.app.G_Catalogue.get(), t.app.G_Equivalence.get(), &errors);
    d.FindMergeFields(false);
    std::string names;
    for (auto& n : d.MergeFields) names += n + ";";
    EXPECT_NE(names.find("DOS_NUMERO;"), std::string::npos) << names;
    EXPECT_NE(names.find("DOS_SURFACE_TERRAIN;"), std::string::npos) << names;
    EXPECT_EQ(names.find("NUMDOSSIER"), std::string::npos) << names;
    EXPECT_NE(errors.ErrLib().find("PASDANSLECATALOGUE"), std::string::npos);
    for (auto& c : t.flash.calls) EXPECT_EQ(c.find("KUP_ErreurContainer"), std::string::npos) << c;
  }
}

}  // namespace

namespace {

// A decree brought in as RTF and converted with the bundled catalogue, as the
// decree commands do it: the driver of editor type 4 on the in-memory word
// processor.
struct Conversion {
  TestApp t;
  std::shared_ptr<kup::MemoryWordApp> word = std::make_shared<kup::MemoryWordApp>();
  kup::ErreurTxt errors;

  Conversion() {
    for (const char* f : {"Var_Catalogue_V3.csv", "SIG_Catalogue_V3.csv", "Var_Equiv_V2_V3.csv", "SIG_Equiv_V2_V3.csv"})
      t.fs.put(std::string("C:\\Korvane\\") + f, SampleFile(f));
    kup::InstallModules(t.app);
    t.app.hooks.sub_ChargerEquivalences(t.app);
  }
  kup::ApCourrier& open(const std::string& rtf) {
    kup::ApCourrier& d = kup::G_Courrier(t.app);
    d.setTypeEditeur(4);
    d.twinFactory = kup::MemoryWordFactory(word);
    d.OpenEditor();
    d.OpenDocument("");
    d.InsertTextRTF(rtf, nullptr, false);
    return d;
  }
  // Name and switches of every merge field, in document order.
  std::vector<std::string> fields() const {
    std::vector<std::string> out;
    for (auto* f : word->active()->fieldsOf(kup::MemoryDocument::FieldKind::Merge))
      out.push_back(f->format.empty() ? f->name : f->name + " " + f->format);
    return out;
  }
  std::vector<std::string> bookmarks() {
    kup::ApCourrier& d = kup::G_Courrier(t.app);
    d.FindBookMarks();
    return d.BookMarks;
  }
};

TEST(EquivalenceWiring, ModesCodesAndSwitchesOfConvertedFields) {
  const char* rtf = R"({\rtf1 {\field{\*\fldinst MERGEFIELD nomdemandeur}} )"
                    R"({\field{\*\fldinst MERGEFIELD DATELIMITE \\@ "d MMMM yyyy"}} )"
                    R"({\field{\*\fldinst MERGEFIELD SHON}} {\field{\*\fldinst MERGEFIELD DOS_COMMUNE}}})";
  Conversion c;
  kup::ApCourrier& d = c.open(rtf);
  d.SubstituteMergeFieldsDocument("CU", c.t.app.G_Catalogue.get(), c.t.app.G_Equivalence.get(), &c.errors);
  // Mode c puts every V3 name of the line in place of the V2 field; the code
  // picks its own line (CU) and falls back on AA; a field that carried its own
  // switch keeps it; a V3 name stays as it is.
  EXPECT_EQ(c.fields(), (std::vector<std::string>{"DEM_CIVILITE", "DEM_PRENOM", "DEM_NOM",
                                                   "DOS_DATE_COMPLET \\@ \"d MMMM yyyy\"", "SHON", "DOS_COMMUNE"}));
  // SHON holds for PC and DP only: without an AA line it cannot be replaced.
  EXPECT_EQ(c.errors.Lignes(), std::vector<std::string>{"0;SHON;CU;champ de fusion sans équivalence V3"});

  // With the catalogue formats switched on, a V3 field gets its catalogue switch.
  Conversion f;
  f.t.app.G_Equivalence->AppFormatV3(1);
  kup::ApCourrier& g = f.open(rtf);
  g.SubstituteMergeFieldsDocument("PC", f.t.app.G_Catalogue.get(), f.t.app.G_Equivalence.get(), &f.errors);
  EXPECT_EQ(f.fields(), (std::vector<std::string>{"DEM_CIVILITE", "DEM_PRENOM", "DEM_NOM",
                                                   "DOS_DATE_LIMITE \\@ \"dd/MM/yyyy\"",
                                                   "DOS_SURFACE_PLANCHER \\# \"##0,00 m²\"", "DOS_COMMUNE"}));
  EXPECT_EQ(f.errors.NbErr(), 0);
  EXPECT_FALSE(g.Saved());
}

TEST(EquivalenceWiring, ConvertedBookmarksKeepOneMarkPerName) {
  Conversion c;
  kup::ApCourrier& d = c.open(R"({\rtf1 {\*\bkmkstart visa}a{\*\bkmkend visa} {\*\bkmkstart SIG_VISAS}b{\*\bkmkend SIG_VISAS} )"
                              R"({\*\bkmkstart INCONNU}c{\*\bkmkend INCONNU}})");
  d.SubstituteBookMarks(c.t.app.G_Equivalence.get(), &c.errors);
  // The V2 bookmark takes its V3 name, which no other mark keeps beside it.
  EXPECT_EQ(c.bookmarks(), (std::vector<std::string>{"SIG_VISAS", "INCONNU"}));
  const auto* b = c.word->active()->bookmark("sig_visas");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(c.word->active()->plainText(b->start, b->end), "a");
  // A bookmark of the catalogue needs no equivalence; an unknown one is written down.
  EXPECT_EQ(c.errors.Lignes(), std::vector<std::string>{"0;INCONNU;;signet sans équivalence V3"});
  for (auto& call : c.t.flash.calls) EXPECT_EQ(call.find("KUP_ErreurContainer"), std::string::npos) << call;
}

}  // namespace

namespace {

TEST(EquivalenceWiring, ConvertedFieldsStayInsideTheirBookmarks) {
  Conversion c;
  kup::ApCourrier& d = c.open(R"({\rtf1 Avant {\*\bkmkstart SIG_VISAS}{\field{\*\fldinst MERGEFIELD NUMDOSSIER}}{\*\bkmkend SIG_VISAS} )"
                              R"({\*\bkmkstart SIG_TAXES}{\field{\*\fldinst MERGEFIELD NUMDOSSIER}} du )"
                              R"({\field{\*\fldinst MERGEFIELD DATEDEPOT}}{\*\bkmkend SIG_TAXES} apr\'e8s})");
  d.SubstituteMergeFieldsDocument("PC", c.t.app.G_Catalogue.get(), c.t.app.G_Equivalence.get(), &c.errors);
  const auto& doc = *c.word->active();
  auto texte = [&](const char* signet) {
    const auto* b = doc.bookmark(signet);
    return b ? doc.plainText(b->start, b->end) : std::string("(absent)");
  };
  EXPECT_EQ(texte("SIG_VISAS"), "«DOS_NUMERO»");
  EXPECT_EQ(texte("SIG_TAXES"), "«DOS_NUMERO» du «DOS_DATE_DEPOT»");
  EXPECT_EQ(doc.dump(), "Avant «DOS_NUMERO» «DOS_NUMERO» du «DOS_DATE_DEPOT» après\n");
  EXPECT_EQ(c.errors.NbErr(), 0);
}

TEST(EquivalenceWiring, DoubledBlanksBetweenV3NamesMakeNoEmptyField) {
  Conversion c;
  c.t.app.G_Equivalence->VarEquiv.Item("NOMDEMANDEUR_AA")->NomEquiv = "DEM_PRENOM  DEM_NOM";
  c.t.app.G_Equivalence->VarEquiv.Item("NUMDOSSIER_AA")->NomEquiv = "";
  kup::ApCourrier& d = c.open(R"({\rtf1 {\field{\*\fldinst MERGEFIELD NOMDEMANDEUR}} {\field{\*\fldinst MERGEFIELD NUMDOSSIER}}})");
  d.SubstituteMergeFieldsDocument("PC", c.t.app.G_Catalogue.get(), c.t.app.G_Equivalence.get(), &c.errors);
  EXPECT_EQ(c.fields(), (std::vector<std::string>{"DEM_PRENOM", "DEM_NOM", "NUMDOSSIER"}));
  EXPECT_EQ(c.errors.Lignes(), std::vector<std::string>{"0;NUMDOSSIER;PC;champ de fusion sans équivalence V3"});
}

}  // namespace
