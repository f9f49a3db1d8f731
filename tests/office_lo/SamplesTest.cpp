// The bundled sample templates, driven by the letter and tax commands as the
// interface drives them: listed, opened, merged and attached.
#include "vb/Value.h"
#include "documents/Mdl_ArreteExterne.h"
#include "documents/Mdl_Courrier.h"
#include "tests/office_lo/LoTestSupport.h"

using namespace lotest;

namespace {

const std::string kRoot = std::string(KUP_SOURCE_DIR) + "/samples/modeles";

// The values of a reply: the text of each <string> of the last return value.
std::vector<std::string> Reply(kup::platform::FakeFlash& flash) {
  std::vector<std::string> out;
  if (flash.returns.empty()) return out;
  const std::string& x = flash.returns.back();
  for (size_t p = x.find("<string>"); p != std::string::npos; p = x.find("<string>", p)) {
    p += 8;
    size_t e = x.find("</string>", p);
    out.push_back(x.substr(p, e - p));
  }
  return out;
}

TEST(LoSamples, TheBundledLetterIsListedOpenedMergedAndAttached) {
  LoApp t(4);
  t.app.G_RepModele = kRoot;
  kup::Args list = {kup::Value("courrier"), kup::Value("59350"), kup::Value("59350"), kup::Value("")};
  kup::KUP_CourrierListeModele(t.app, list);
  auto r = Reply(*t.fakes.flash);
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[1], kRoot + "\\courrier\\" + kup::Sep241() + "AA_lettre_demande.ott");

  kup::Args init = {kup::Value(kRoot + "/courrier/AA_lettre_demande.ott")};
  kup::KUP_CourrierInitialiser(t.app, init);
  r = Reply(*t.fakes.flash);
  ASSERT_EQ(r.size(), 10u) << (t.errors().empty() ? "" : t.errors()[0]);
  EXPECT_EQ(kup::Split(r[1], kup::Sep240()),
            (std::vector<std::string>{"COMMUNE", "NOM_DEMANDEUR", "ADRESSE_DEMANDEUR", "CODE_POSTAL", "VILLE",
                                      "NUMERO_DOSSIER", "DATE_DEPOT", "NATURE_TRAVAUX"}));
  EXPECT_EQ(kup::Split(r[2], kup::Sep240()),
            (std::vector<std::string>{"SIG_DATE_COURRIER", "SIG_OBJET", "S_RTF_CORPS", "SIG_SIGNATAIRE"}));
  EXPECT_EQ(r[3], "") << "no map placeholder in Writer's own template";

  std::string S0 = kup::Sep240();
  kup::Args attach = {kup::Value("lettre.odt"), kup::Value("A"), kup::Value("B"), kup::Value("C"), kup::Value("1"),
                      kup::Value(""),
                      kup::Value("Wattrelos" + S0 + "Mme Durand" + S0 + "3 rue des Lilas" + S0 + "59150" + S0 +
                                 "Wattrelos" + S0 + "PC 059 650 24 A0042" + S0 + "06/12/2026" + S0 +
                                 "une extension de 20 m²"),
                      kup::Value("6 décembre 2026" + S0 + "Accusé de réception" + S0 +
                                 "Le délai d'instruction est de deux mois." + S0 + "Le maire")};
  kup::Args ouvrir = attach;  // shown first, then attached: filled twice
  kup::KUP_CourrierOuvrir(t.app, ouvrir, false);
  kup::KUP_CourrierOuvrir(t.app, attach, true);
  r = Reply(*t.fakes.flash);
  ASSERT_EQ(r.size(), 13u) << (t.errors().empty() ? "" : t.errors()[0]);
  EXPECT_EQ(r[0], "KUP_CourrierAttacher");
  EXPECT_EQ(r[8].rfind("AA_lettre_demande-", 0), 0u) << r[8];
  EXPECT_EQ(kup::Right(r[8], 4), ".odt");
  std::string letter = kup::decodeBase64(r[10]);
  EXPECT_EQ(letter.substr(0, 2), "PK");
  EXPECT_EQ(letter, t.read(r[9])) << "the reply carries the copy written in TEMP";
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
  // Its text is checked as French.
  EXPECT_NE(ZipMember(t.host(r[9]), "styles.xml").find("fo:language=\"fr\" fo:country=\"FR\""), std::string::npos);

  // The attached letter, read back: fields and bookmarks filled.
  auto& w = t.word();
  w.OpenDocument(r[9]);
  std::string text = t.documentText(t.wtwin());
  for (const char* piece : {"Mairie de Wattrelos", "Mme Durand", "59150 Wattrelos", "Le 6 décembre 2026",
                            "Objet : Accusé de réception", "PC 059 650 24 A0042 déposé le 06/12/2026",
                            "concernant une extension de 20 m² a bien", "Le délai d'instruction est de deux mois.",
                            "Le maire"})
    EXPECT_NE(text.find(piece), std::string::npos) << piece << "\n" << text;
  EXPECT_EQ(text.find("deux mois."), text.rfind("deux mois.")) << text;
  kup::KUP_ArreteInitialiser(t.app, init);
  for (const char* corps : {"Corps1.", "Corps7."}) {  // a decree saved with one dossier's values, then another's
    kup::Args sauver = {kup::Value(""), kup::Value("1er mars" + S0 + "Permis" + S0 + corps + S0 + "Le maire")};
    kup::KUP_ArreteSauver(t.app, sauver);
  }
  text = t.documentText(t.wtwin());
  EXPECT_EQ(text.find("Corps"), text.rfind("Corps7.")) << text;
}

TEST(LoSamples, TheWordTemplateHasAMapPlaceholderAndTheTaxTemplateItsFields) {
  LoApp word(2);
  word.word().OpenEditor();
  word.word().OpenDocument(kRoot + "/courrier/AA_lettre_demande.dotx");
  kup::StrArray names, ids, widths, heights, scales;
  EXPECT_TRUE(word.word().trouverFusionObject(names, ids, widths, heights, scales));
  EXPECT_EQ(names, kup::StrArray{"PLAN_SITUATION"});
  EXPECT_EQ(widths, kup::StrArray{"160"});
  EXPECT_TRUE(word.word().FindMergeFields(false));
  EXPECT_EQ(word.word().MergeFields.size(), 8u);
  word.word().MailMergeOpen(true, false);
  word.wtwin().saveAs("C:\\Temp\\lettre.docx");
  EXPECT_NE(ZipMember(word.host("C:\\Temp\\lettre.docx"), "word/styles.xml").find("w:lang w:val=\"fr-FR\""),
            std::string::npos);

  LoApp tax(4);
  auto& c = tax.calc();
  c.OpenCalc();
  c.OpenDocument(kRoot + "/taxe/taxe/AA_taxe_amenagement.ots");
  c.GotoSheetIndex(2);
  c.FindMergeFields(true);
  EXPECT_EQ(c.MergeFields,
            (std::vector<std::string>{"NUMERO_DOSSIER", "SURFACE_TAXABLE", "TAUX_COMMUNAL", "VALEUR_FORFAITAIRE"}));
  c.MergeFieldsValues = {"PC 059 650 24 A0042", "120", "5", "886"};
  c.MailMergeOpen(false);
  c.GotoSheetIndex(1);
  c.FindMergeFields(true);
  c.FindMergeFieldsValues();
  EXPECT_EQ(c.MergeFields, (std::vector<std::string>{"TAXE_DOSSIER", "TAXE_MONTANT"}));
  EXPECT_EQ(c.MergeFieldsValues, (std::vector<std::string>{"PC 059 650 24 A0042", "5316"}));
  EXPECT_TRUE(tax.errors().empty()) << tax.errors()[0];
}

}  // namespace
