// kup_lo_samples: makes the bundled sample templates with LibreOffice itself,
// through the twins, from the sources written below.
//
//   kup_lo_samples <template root>      (the repository's samples/modeles)
//
// Writes courrier/AA_lettre_demande.ott (editor type 4), the same letter as
// courrier/AA_lettre_demande.dotx (editor types 2 and 3, with a map-picture
// placeholder) and taxe/taxe/AA_taxe_amenagement.ots. The results are
// committed; run it again after changing a source.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "core/App.h"
#include "vb/VbError.h"
#include "office/lo/LibreOffice.h"
#include "platform/FakePlatform.h"
#include "platform/RealFileSystem.h"

namespace {

std::string Field(const std::string& name) {
  return "{\\field{\\*\\fldinst{ MERGEFIELD " + name + " }}{\\fldrslt {\\'ab" + name + "\\'bb}}}";
}
std::string Mark(const std::string& name, const std::string& text) {
  return "{\\*\\bkmkstart " + name + "}" + text + "{\\*\\bkmkend " + name + "}";
}

// The letter: merge fields for the dossier, bookmarks for what the
// instructor writes, an RTF bookmark for a standard paragraph.
std::string Letter(bool withMap) {
  std::string r =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}{\\f1\\fswiss Arial;}}\n"
      "\\paperw11906\\paperh16838\\margl1418\\margr1418\\margt1418\\margb1418\n"
      "\\pard\\f1\\fs20 Mairie de " + Field("COMMUNE") + "\\par\n"
      "\\pard Service de l'urbanisme\\par\\par\n"
      "\\pard\\qr " + Field("NOM_DEMANDEUR") + "\\par\n"
      "\\pard\\qr " + Field("ADRESSE_DEMANDEUR") + "\\par\n"
      "\\pard\\qr " + Field("CODE_POSTAL") + " " + Field("VILLE") + "\\par\\par\n"
      "\\pard\\qr Le " + Mark("SIG_DATE_COURRIER", "date du courrier") + "\\par\\par\n"
      "\\pard\\f0\\fs24{\\b Objet : }" + Mark("SIG_OBJET", "objet") + "\\par\n"
      "\\pard{\\b Dossier n\\'b0 }" + Field("NUMERO_DOSSIER") + " d\\'e9pos\\'e9 le " + Field("DATE_DEPOT") +
      "\\par\\par\n"
      "\\pard\\qj Madame, Monsieur,\\par\\par\n"
      "\\pard\\qj Votre demande concernant " + Field("NATURE_TRAVAUX") +
      " a bien \\'e9t\\'e9 enregistr\\'e9e par nos services.\\par\n"
      "\\pard\\qj " + Mark("S_RTF_CORPS", "") + "\\par\n";
  if (withMap)
    r += "\\pard\\qc {\\field{\\*\\fldinst{ CARTE PLAN_SITUATION;;160;100;2000 }}{\\fldrslt {[plan de situation]}}}"
         "\\par\n";
  r += "\\pard\\qj Veuillez agr\\'e9er, Madame, Monsieur, l'expression de nos salutations distingu\\'e9es.\\par\\par\n"
       "\\pard\\qr " + Mark("SIG_SIGNATAIRE", "le signataire") + "\\par\n}";
  return r;
}

// The tax workbook: what the instructor fills on sheet 2, what is read back
// on sheet 1 (computed from sheet 2).
std::string TaxWorkbook() {
  auto text = [](const std::string& t) {
    return "<table:table-cell office:value-type=\"string\"><text:p>" + t + "</text:p></table:table-cell>";
  };
  auto formula = [](const std::string& f) { return "<table:table-cell table:formula=\"of:=" + f + "\"/>"; };
  std::string x =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" office:version=\"1.2\" "
      "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body><office:spreadsheet>";
  x += "<table:table table:name=\"Synthese\">";
  x += "<table:table-row>" + text("Taxe d'am\xC3\xA9nagement") + formula("ROUND([$Saisie.B2]*[$Saisie.B3]*[$Saisie.B4]/100;0)") +
       "</table:table-row>";
  x += "<table:table-row>" + text("Dossier") + formula("[$Saisie.B1]") + "</table:table-row>";
  x += "</table:table><table:table table:name=\"Saisie\">";
  x += "<table:table-row>" + text("Dossier") + "<table:table-cell/></table:table-row>";
  x += "<table:table-row>" + text("Surface taxable (m\xC2\xB2)") + "<table:table-cell/></table:table-row>";
  x += "<table:table-row>" + text("Valeur forfaitaire (\xE2\x82\xAC/m\xC2\xB2)") +
       "<table:table-cell office:value-type=\"float\" office:value=\"886\"/></table:table-row>";
  x += "<table:table-row>" + text("Taux communal (%)") + "<table:table-cell/></table:table-row>";
  x += "</table:table><table:named-expressions>";
  for (auto [n, ref] : {std::pair<const char*, const char*>{"TAXE_MONTANT", "$Synthese.$B$1"},
                        {"TAXE_DOSSIER", "$Synthese.$B$2"},
                        {"NUMERO_DOSSIER", "$Saisie.$B$1"},
                        {"SURFACE_TAXABLE", "$Saisie.$B$2"},
                        {"VALEUR_FORFAITAIRE", "$Saisie.$B$3"},
                        {"TAUX_COMMUNAL", "$Saisie.$B$4"}})
    x += std::string("<table:named-range table:name=\"") + n + "\" table:base-cell-address=\"" + ref +
         "\" table:cell-range-address=\"" + ref + "\"/>";
  x += "</table:named-expressions></office:spreadsheet></office:body></office:document>";
  return x;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kup_lo_samples <template root>\n";
    return 3;
  }
  std::string root = std::filesystem::absolute(argv[1]).string();
  char tmpl[] = "/tmp/kup-samples-XXXXXX";
  std::string work = ::mkdtemp(tmpl);
  std::filesystem::create_directories(root + "/courrier");
  std::filesystem::create_directories(root + "/taxe/taxe");
  std::ofstream(work + "/lettre.rtf", std::ios::binary) << Letter(false);
  std::ofstream(work + "/lettre-carte.rtf", std::ios::binary) << Letter(true);
  std::ofstream(work + "/taxe.fods", std::ios::binary) << TaxWorkbook();

  kup::App app(kup::platform::MakeFakePlatform());
  app.pf.fs = std::make_unique<kup::platform::RealFileSystem>(kup::platform::DriveMap{});
  auto office = std::make_shared<kup::lo::Office>();
  int rc = 0;
  try {
    auto writer = kup::lo::LibreOfficeWordTwinFactory(office)(app, 4);
    writer->connect();
    writer->openDocument(work + "/lettre.rtf");
    writer->saveAsTemplate(root + "/courrier/AA_lettre_demande.ott");
    writer->closeDocument(true);
    auto word = kup::lo::LibreOfficeWordTwinFactory(office)(app, 2);
    word->openDocument(work + "/lettre-carte.rtf");
    word->saveAsTemplate(root + "/courrier/AA_lettre_demande.dotx");
    word->closeDocument(true);
    auto calc = kup::lo::LibreOfficeCalcTwinFactory(office)(app, 4);
    calc->connect();
    calc->openDocument(work + "/taxe.fods", {});
    calc->saveAsTemplate(root + "/taxe/taxe/AA_taxe_amenagement.ots");
    calc->closeDocument();
    std::cout << "templates written under " << root << "\n";
  } catch (const kup::VbError& e) {
    std::cerr << "kup_lo_samples: " << e.number() << " " << e.description() << "\n";
    rc = 1;
  }
  office->shutdown();
  std::error_code ec;
  std::filesystem::remove_all(work, ec);
  return rc;
}
