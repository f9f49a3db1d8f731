#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/Dispatcher.h"
#include "vb/VbError.h"
#include "vb/VbString.h"

using namespace kup;

namespace {

std::string Request(const std::string& properties) {
  return "<invoke name=\"sGetFlashXML\" returntype=\"xml\"><arguments><array>" + properties +
         "</array></arguments></invoke>";
}

std::string Prop(int id, const std::string& value) {
  return "<property id=\"" + std::to_string(id) + "\">" + value + "</property>";
}

}  // namespace

TEST(FlexParser, ArrayArgumentGivesTypedValuesInOrder) {
  std::string name;
  Args args;
  ASSERT_TRUE(ParseFlexRequest(Request(Prop(0, "<string>KUP_Test</string>") + Prop(1, "<number>12.5</number>") +
                                       Prop(2, "<null/>") + Prop(3, "<undefined/>") + Prop(4, "<string></string>") +
                                       Prop(5, "<true/>")),
                               name, args));
  EXPECT_EQ(name, "sGetFlashXML");
  ASSERT_EQ(args.size(), 6u);
  EXPECT_EQ(args[0], Value("KUP_Test"));
  ASSERT_TRUE(args[1].isNumber());
  EXPECT_DOUBLE_EQ(args[1].num(), 12.5);
  EXPECT_TRUE(args[2].isNull());
  EXPECT_TRUE(args[3].isEmpty());
  EXPECT_EQ(args[4], Value(""));
  // Booleans travel as their XML text; the thematic-file routing compares it.
  EXPECT_EQ(args[5], Value("<true/>"));
}

TEST(FlexParser, EntitiesAreDecodedAndTextKeptVerbatim) {
  std::string name;
  Args args;
  ASSERT_TRUE(ParseFlexRequest(
      Request(Prop(0, "<string>X</string>") +
              Prop(1, "<string>a &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos; &#233;&#xE8;</string>") +
              Prop(2, "<string>  </string>") + Prop(3, "<string>l1\r\nl2</string>") +
              Prop(4, "<string><![CDATA[<raw>&amp;]]></string>")),
      name, args));
  ASSERT_EQ(args.size(), 5u);
  EXPECT_EQ(args[1].str(), "a <b> & \"c\" 'd' éè");
  EXPECT_EQ(args[2].str(), "  ");            // blanks are a value
  EXPECT_EQ(args[3].str(), "l1\r\nl2");      // line ends untouched
  EXPECT_EQ(args[4].str(), "<raw>&amp;");
}

TEST(FlexParser, DirectArgumentsAndOddNumbers) {
  std::string name;
  Args args;
  ASSERT_TRUE(ParseFlexRequest("<invoke name=\"f\"><arguments><string>KUP_A</string><number>NaN</number>"
                               "<number>abc</number><number>-3</number></arguments></invoke>",
                               name, args));
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[0], Value("KUP_A"));
  EXPECT_EQ(args[1], Value("NaN"));  // not a number: kept as written, no crash
  EXPECT_EQ(args[2], Value("abc"));
  EXPECT_EQ(args[3], Value(-3));

  ASSERT_TRUE(ParseFlexRequest("<invoke name=\"g\"/>", name, args));
  EXPECT_EQ(name, "g");
  EXPECT_TRUE(args.empty());
}

TEST(FlexParser, MalformedOrForeignXmlIsRefused) {
  std::string name;
  Args args;
  EXPECT_FALSE(ParseFlexRequest("", name, args));
  EXPECT_FALSE(ParseFlexRequest("not xml at all", name, args));
  EXPECT_FALSE(ParseFlexRequest("<invoke name=\"x\"><arguments><string>a</arguments></invoke>", name, args));
  EXPECT_FALSE(ParseFlexRequest("<call name=\"x\"/>", name, args));
  EXPECT_FALSE(ParseFlexRequest(Request(Prop(0, "<string>a</string>")) + "<extra/>", name, args));
  EXPECT_TRUE(args.empty());
}

TEST(FlexParser, HugeAndInvalidUtf8TextsSurvive) {
  std::string big(5'000'000, 'x');
  std::string name;
  Args args;
  ASSERT_TRUE(ParseFlexRequest(Request(Prop(0, "<string>X</string>") + Prop(1, "<string>" + big + "</string>")), name,
                               args));
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[1].str().size(), big.size());

  // A stray Latin-1 byte becomes U+FFFD rather than broken UTF-8 inside.
  ASSERT_TRUE(ParseFlexRequest(Request(Prop(0, "<string>X</string>") + Prop(1, "<string>caf\xE9</string>")), name,
                               args));
  EXPECT_EQ(args[1].str(), "caf\xEF\xBF\xBD");
  EXPECT_EQ(Len(args[1].str()), 4u);
}

TEST(FlexParser, DamagedRequestsNeverCrashTheDispatcherPath) {
  // Every truncation and a spread of single-byte damages of a valid request.
  const std::string good = Request(Prop(0, "<string>KUP_X</string>") + Prop(1, "<string>a&amp;b</string>") +
                                   Prop(2, "<number>3</number>") + Prop(3, "<null/>"));
  std::string name;
  Args args;
  int accepted = 0;
  for (size_t n = 0; n <= good.size(); ++n) accepted += ParseFlexRequest(good.substr(0, n), name, args);
  EXPECT_EQ(accepted, 1);  // only the whole text
  const char damage[] = {'<', '>', '&', '"', '\0', '\xFF', '/', ' '};
  for (size_t i = 0; i < good.size(); ++i)
    for (char d : damage) {
      std::string bad = good;
      bad[i] = d;
      if (!ParseFlexRequest(bad, name, args)) continue;
      for (auto& v : args) {
        if (v.isString()) {
          EXPECT_EQ(SanitizeUtf8(v.str()), v.str());
        }
      }
    }
}

// The requests of the interface's usual shape are read without the XML
// parser; a comment sends the same request through it. Both readings agree.
TEST(FlexParser, UsualShapeReadsAsTheXmlParserReadsIt) {
  const std::vector<std::string> valeurs = {
      "<string>KUP_Test</string>", "<string></string>", "<string>  </string>", "<string>l1\r\nl2\n</string>",
      "<string>a &lt;b&gt; &amp; &quot;c&quot; &apos;d&apos; ]]&gt; x>y</string>", "<string>é\xC3\xA8 caf\xE9</string>",
      "<number> 12.5 </number>", "<number>NaN</number>", "<number>1e3</number>", "<number>-</number>",
      "<number>&lt;3</number>", "<null/>", "<undefined/>", "<string>&#9;&#xE9;&#x1F600;&#1114111;</string>",
      "<string><![CDATA[&#0;]]><!--&#xD800;--></string>"};
  for (const char* entete : {"<invoke name=\"sGetFlashXML\" returntype=\"xml\">", "<invoke name=\"caf\xC3\xA9\">"}) {
    std::string props;
    for (size_t i = 0; i < valeurs.size(); ++i) props += Prop(int(i), valeurs[i]);
    const std::string courant = std::string(entete) + "<arguments><array>" + props + "</array></arguments></invoke>";
    const std::string detour =
        std::string(entete) + "<arguments><array><!-- -->" + props + "</array></arguments></invoke>\r\n";
    std::string n1, n2;
    Args a1, a2;
    ASSERT_TRUE(ParseFlexRequest(courant, n1, a1));
    ASSERT_TRUE(ParseFlexRequest(detour, n2, a2));
    EXPECT_EQ(n1, n2);
    ASSERT_EQ(a1.size(), valeurs.size());
    ASSERT_EQ(a2.size(), valeurs.size());
    for (size_t i = 0; i < valeurs.size(); ++i) {
      EXPECT_EQ(a1[i].isNull(), a2[i].isNull()) << valeurs[i];
      EXPECT_EQ(a1[i].isEmpty(), a2[i].isEmpty()) << valeurs[i];
      EXPECT_EQ(a1[i].isNumber(), a2[i].isNumber()) << valeurs[i];
      if (a1[i].isNumber() && a2[i].isNumber()) EXPECT_EQ(a1[i].num(), a2[i].num()) << valeurs[i];
      if (a1[i].isString() && a2[i].isString()) EXPECT_EQ(a1[i].str(), a2[i].str()) << valeurs[i];
    }
  }
  // Damage in the usual shape is still refused.
  std::string name;
  Args args;
  // So are a NUL and a reference to what is no character of XML, wherever
  // they are and whichever reader meets them.
  const std::string nul(1, '\0');
  const std::vector<std::pair<std::string, std::string>> refuses = {
      {"a" + nul + "b", "<string>x</string>"},
      {"a&#0;b", "<string>x</string>"},
      {"n", "<string>a" + nul + "b</string>"},
      {"n", "<number>1" + nul + "</number>"},
      {"n", "<string>a&#0;b</string>"},
      {"n", "<string>&#4294967356;</string>"},
      {"n", "<string>&#xD800;&#xDFFF;</string>"},
      {"n", "<string>&#xFFFE;</string>"},
      {"n", "<string>&#x110000;</string>"},
      {"n", "<string>&#1;</string>"},
      {"n", "<string>&#x;</string>"},
  };
  for (auto& [nom, valeur] : refuses) {
    const std::string tete = "<invoke name=\"" + nom + "\" returntype=\"xml\"><arguments><array>";
    const std::string fin = "</array></arguments></invoke>";
    for (const std::string& r : {tete + Prop(0, valeur) + fin, tete + "<!-- -->" + Prop(0, valeur) + fin,
                                 tete + "<property id=\"0" + nul + "\">" + valeur + "</property>" + fin})
      EXPECT_FALSE(ParseFlexRequest(r, name, args)) << r;
  }
  EXPECT_FALSE(ParseFlexRequest(Request(Prop(0, "<string>a</string>")) + "<extra/>", name, args));
  EXPECT_FALSE(ParseFlexRequest(Request(Prop(0, "<string>a</strin>")), name, args));
}
