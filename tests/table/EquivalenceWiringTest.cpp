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
