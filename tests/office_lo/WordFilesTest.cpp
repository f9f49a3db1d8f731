// The letter's ways out: temporary templates, the saved state, printing
// (headless: PDF when there is no printer), the e-mail hand-over, the
// waiting-letters folder; and templates that are not what they claim.
#include "tests/office_lo/LoTestSupport.h"

using namespace lotest;

namespace {

TEST(LoWordFiles, TemporaryTemplatesPrintMailAndDeferredSave) {
  for (int type : {4, 2}) {
    SCOPED_TRACE(type);
    LoApp t(type);
    t.put("C:\\Modeles\\lettre.rtf", LetterRtf());
    auto& w = t.word();
    w.OpenEditor();
    w.OpenDocument("C:\\Modeles\\lettre.rtf");
    w.ZoomToPage();
    w.FindMergeFields(false);
    w.FindBookMarks();
    std::string tmp = w.SaveTemp();
    ASSERT_FALSE(tmp.empty());
    EXPECT_EQ(kup::Right(tmp, 4), type == 4 ? ".ott" : ".dot");
    EXPECT_EQ(t.read(tmp).substr(0, 2), type == 4 ? "PK" : "\xD0\xCF");
    EXPECT_EQ(std::filesystem::status(t.host(tmp)).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << "the temporary template stays private to the user";
    EXPECT_TRUE(w.Saved());
    w.InsertText("modifié", false, nullptr);
    EXPECT_FALSE(w.Saved());

    // No printer on this machine: the letter becomes a PDF in TEMP, and the
    // log says so. The document stays open when asked.
    w.MergeFieldsValues = {"Imprimé", "Ici"};
    w.BookMarksValues = {"b", ""};
    EXPECT_EQ(w.MailMergePrint(2, false, true, false), "");
    auto lines = t.fakes.log->lines("office");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("Aucune imprimante : 2 exemplaire(s) de lettre"), std::string::npos) << lines.back();
    std::string pdf = lines.back().substr(lines.back().find("C:\\Temp\\"));
    EXPECT_EQ(t.read(pdf).substr(0, 5), "%PDF-");

    // The e-mail hand-over: a copy for the mailer, named after the template.
    std::string name = w.MailMergeMail(true, true);
    EXPECT_EQ(name, type == 4 ? "lettre.odt" : "lettre.doc");
    ASSERT_FALSE(t.fakes.processes->attempts.empty());
    auto argv = t.fakes.processes->attempts.back();
    ASSERT_EQ(argv.size(), 3u);
    EXPECT_EQ(argv[0], "xdg-email");
    EXPECT_EQ(argv[1], "--attach");
    EXPECT_EQ(argv[2], t.host(std::string("C:\\Temp\\") + name));
    EXPECT_TRUE(std::filesystem::exists(argv[2]));
    EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
    // Without a mailer the failure is reported, nothing else breaks.
    t.fakes.processes->failStarts = true;
    w.MailMergeMail(true, false);
    ASSERT_EQ(t.errors().size(), 1u);
    EXPECT_NE(t.errors()[0].find("MailMergeMail"), std::string::npos);

    // Deferred printing: saved into the waiting folder, then closed.
    t.app.G_RepCourrierAttente = "C:\\Attente";
    std::filesystem::create_directories(t.host("C:\\Attente"));
    w.MailMergeSave("lettre_B_1_C_A.odt", false);
    EXPECT_EQ(t.read("C:\\Attente\\lettre_B_1_C_A.odt").substr(0, 2), "PK");
    EXPECT_FALSE(w.UpdateActiveDocument() && type != 4) << "the letter was closed";
    std::filesystem::create_directories(t.host("C:\\Attente\\pris.odt"));  // a file that cannot be written
    w.OpenDocument("C:\\Modeles\\lettre.rtf");
    w.MailMergeSave("pris.odt", false);
    EXPECT_NE(t.errors().back().find(">Le fichier C:\\Attente\\pris.odt ne peut pas être écrit<"), std::string::npos);
    LoApp personne(type);
    personne.word().OpenEditor();
    personne.word().CloseDocument(false);  // the person closes the letter
    w.Saved();
    EXPECT_NE(t.errors().back().find(">Le document lettre a été fermé<"), std::string::npos) << t.errors().back();
    // Printing and closing leaves no document of the driver.
    w.OpenDocument("C:\\Modeles\\lettre.rtf");
    w.MailMergePrint(1, true, false, false);
    size_t before = t.errors().size();
    w.Saved();
    ASSERT_EQ(t.errors().size(), before + 1);
    EXPECT_NE(t.errors().back().find("4248"), std::string::npos);
  }
}

TEST(LoWordFiles, TemplatesMissingForeignCorruptOrProtectedAreReported) {
  LoApp t(4);
  auto& w = t.word();
  w.OpenEditor();
  auto& tw = t.wtwin();
  t.put("C:\\Modeles\\bruit.ott", std::string("\x01\x02\xff\xfe\x00garbage\x00\x13", 14));
  t.put("C:\\Modeles\\zip.ott", std::string("PK\x03\x04\x14\x00\x00\x00\x08\x00broken", 16));
  t.put("C:\\Modeles\\classeur.fods",
        "<?xml version=\"1.0\"?><office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body><office:spreadsheet/>"
        "</office:body></office:document>");
  {
    std::ifstream in(std::string(KUP_SOURCE_DIR) + "/tests/office_lo/data/protege.ott", std::ios::binary);
    t.put("C:\\Modeles\\protege.ott", std::string(std::istreambuf_iterator<char>(in), {}));
  }
  auto number = [&](const std::string& path) {
    try {
      tw.openDocument(path);
    } catch (const kup::VbError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number("C:\\Modeles\\absent.ott"), kup::vberr::FileNotFound);
  EXPECT_EQ(number("C:\\Modeles"), kup::vberr::FileNotFound);
  EXPECT_EQ(number("C:\\Modeles\\bruit.ott"), kup::vberr::PathFileAccess);
  EXPECT_EQ(number("C:\\Modeles\\zip.ott"), kup::vberr::PathFileAccess);
  EXPECT_EQ(number("C:\\Modeles\\classeur.fods"), kup::vberr::PathFileAccess);
  EXPECT_EQ(number("C:\\Modeles\\protege.ott"), kup::vberr::PathFileAccess);
  // Through the driver: reported under the member's name, nothing opened.
  w.OpenDocument("C:\\Modeles\\protege.ott");
  ASSERT_EQ(t.errors().size(), 1u);
  EXPECT_NE(t.errors()[0].find("<string>OpenDocument</string><string>75</string>"), std::string::npos);
  w.FindBookMarks();
  EXPECT_NE(t.errors().back().find("4248"), std::string::npos) << "no document of the driver";

  // Names with any characters, values with any characters.
  t.put("C:\\Modeles\\lettre.rtf", LetterRtf());
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  EXPECT_FALSE(tw.fillBookmark("a;b\"c/d\\e'f<>&é\xF0\x9F\x98\x80", {{false, "x"}}));
  EXPECT_TRUE(tw.fillBookmark("signet_un", {{false, "ok \xF0\x9F\x98\x80 \t<&>"}}));
  tw.mergeFields({"", "NOM DEMANDEUR?", "\"*", "adresse"}, {"1", "2", "3", "rue \"x\""}, true);
  tw.renameBookmark("S_RTF_CORPS", "nouveau nom; avec \"tout\"");
  // RTF that is not RTF: text as it is; a broken RTF body: no crash, and the
  // document goes on working.
  w.InsertTextRTF("{\\rtf1 {{{ \\bogus \\'zz", nullptr, false);
  w.InsertTextRTF("{rtf pas vraiment", nullptr, false);
  tw.fillBookmark("nouveau nom; avec \"tout\"", {{true, "pas du RTF"}});
  std::string text = t.documentText(tw);
  EXPECT_NE(text.find("Signet : ok \xF0\x9F\x98\x80 \t<&> fin"), std::string::npos) << text;
  EXPECT_NE(text.find("et rue \"x\""), std::string::npos) << text;
  EXPECT_NE(text.find("{rtf pas vraiment"), std::string::npos) << text;
  EXPECT_NE(text.find("pas du RTF."), std::string::npos) << text;
  EXPECT_TRUE(w.EditeurToujoursOuvert());
}

// The office is French whatever the machine's LANG: its own names (the
// tables it makes) and the language a new document is checked in.
TEST(LoWordFiles, TheOfficeIsFrench) {
  const char* lang = std::getenv("LANG");
  const std::string before = lang ? lang : "";
  ::setenv("LANG", "en_US.UTF-8", 1);
  auto office = std::make_shared<kup::lo::Office>();
  LoApp t(4, office);
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("");
  w.InsertTextToTable("un\tdeux");
  t.wtwin().saveAs("C:\\Temp\\vide.odt");
  if (lang)
    ::setenv("LANG", before.c_str(), 1);
  else
    ::unsetenv("LANG");
  EXPECT_NE(ZipMember(t.host("C:\\Temp\\vide.odt"), "content.xml").find("table:name=\"Tableau1\""),
            std::string::npos);
  EXPECT_NE(ZipMember(t.host("C:\\Temp\\vide.odt"), "styles.xml").find("fo:language=\"fr\" fo:country=\"FR\""),
            std::string::npos);
  EXPECT_TRUE(t.errors().empty()) << t.errors()[0];
}

// A document closed behind the driver (by the person) makes the office fail
// with a text that says where in its sources: the person is told what
// failed, the debug trace keeps where.
TEST(LoWordFiles, OfficeFailuresAreToldWithoutTheOfficesSourceLocation) {
  std::vector<std::string> traced;
  kup::lo::OfficeOptions o = kup::lo::OfficeOptions::FromEnvironment();
  o.trace = [&](const std::string& text) { traced.push_back(text); };
  auto office = std::make_shared<kup::lo::Office>(o);
  LoApp t(4, office), other(4, office);
  t.put("C:\\Modeles\\lettre.rtf", LetterRtf());
  auto& w = t.word();
  w.OpenEditor();
  w.OpenDocument("C:\\Modeles\\lettre.rtf");
  w.FindBookMarks();
  ASSERT_TRUE(t.errors().empty()) << t.errors()[0];
  other.word().OpenEditor();
  other.word().CloseDocument(false);  // the office's active document: the letter
  w.FindBookMarks();
  ASSERT_EQ(t.errors().size(), 1u);
  EXPECT_EQ(t.errors()[0].find(".cxx:"), std::string::npos) << t.errors()[0];
  EXPECT_EQ(t.errors()[0].find("(at "), std::string::npos) << t.errors()[0];
  ASSERT_FALSE(traced.empty());
  EXPECT_NE(traced.back().find(".cxx:"), std::string::npos) << traced.back();
}

}  // namespace
