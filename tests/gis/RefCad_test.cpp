// Parcel reference conversion between partner layouts.
#include <gtest/gtest.h>

#include <random>

#include "gis/DDE_Client.h"
#include "gis/SIG_Modele.h"

using kup::sFormatNum;
using kup::sRefCadConvertir;
using kup::Str_DDESRV;

namespace {

Str_DDESRV Layout(const std::string& dpt, const std::string& sepDpt, const std::string& com, const std::string& sepCom,
                  const std::string& pre, const std::string& sepPre, const std::string& sec,
                  const std::string& sepSec, const std::string& num) {
  Str_DDESRV p;
  p.DDEDpt(dpt);
  p.DDESepDptCom(sepDpt);
  p.DDECommune(com);
  p.DDESepComPref(sepCom);
  p.DDEPrefixe(pre);
  p.DDESepPrefSec(sepPre);
  p.DDESection(sec);
  p.DDESepSecNum(sepSec);
  p.DDENumero(num);
  return p;
}

Str_DDESRV Kupv3() { return Layout("XX", "X", "XXX", "", "   ", "", "BB", "", "XXXX"); }

}  // namespace

TEST(RefCad, WorkedExamples) {
  auto kup = Kupv3();
  auto t1 = Layout("", "", "XXX", "", "000", "", "BB", "", "XXXX");
  EXPECT_EQ(sRefCadConvertir(t1, kup, "590350    A0123"), "350    A0123");

  auto t2 = Layout("XX", "-", "XXX", "-", "XXX", "-", "XX", "-", "XXXXX");
  EXPECT_EQ(sRefCadConvertir(t2, kup, "590350    A0123"), "590350-   -A-00123");

  auto s3 = Layout("XX", "-", "XXX", "", "", "", "XX", "-", "XXXX");
  EXPECT_EQ(sRefCadConvertir(kup, s3, "59-350AB-12"), "59X350   AB0012");
}

TEST(RefCad, SectionsAndNumbers) {
  auto kup = Kupv3();
  // A one-letter section takes the target's filler; two letters travel as they are.
  auto zero = Layout("XX", "", "XXX", "", "   ", "", "00", "", "XXXX");
  auto plain = Layout("XX", "", "XXX", "", "   ", "", "XX", "", "XXXX");
  EXPECT_EQ(sRefCadConvertir(kup, kup, "590350    A0123"), "590350    A0123");
  EXPECT_EQ(sRefCadConvertir(zero, kup, "590350    A0123"), "59350   0A0123");
  EXPECT_EQ(sRefCadConvertir(plain, kup, "590350    A0123"), "59350   A0123");
  EXPECT_EQ(sRefCadConvertir(plain, kup, "590350   AB0123"), "59350   AB0123");
  // A number mask wider than five gives the rest of the reference unchanged.
  auto wide = Layout("XX", "", "XXX", "", "", "", "XX", "", "XXXXXX");
  EXPECT_EQ(sRefCadConvertir(wide, kup, "590350   AB0123"), "59350AB0123");
  auto five = Layout("XX", "", "XXX", "", "", "", "XX", "", "XXXXX");
  EXPECT_EQ(sRefCadConvertir(five, kup, "590350   AB0123"), "59350AB00123");
  // Without a number mask the number still comes, unpadded.
  auto none = Layout("XX", "", "XXX", "", "", "", "XX", "", "");
  EXPECT_EQ(sRefCadConvertir(none, kup, "590350   AB0123"), "59350AB123");
}

TEST(RefCad, OptionalPrefixAndLongComponents) {
  // Source with an optional prefix "XXX" closed by a blank.
  auto src = Layout("XX", "", "XXX", "", "XXX", " ", "XX", "", "XXXX");
  auto bbb = Layout("XX", "", "XXX", "", "BBB", "", "XX", "", "XXXX");
  auto zeros = Layout("XX", "", "XXX", "", "000", "", "XX", "", "XXXX");
  auto other = Layout("XX", "", "XXX", "", "", "", "XX", "", "XXXX");
  // No blank: no prefix, the cursor stays before the section.
  EXPECT_EQ(sRefCadConvertir(bbb, src, "59350AB0012"), "59350   AB0012");
  EXPECT_EQ(sRefCadConvertir(zeros, src, "59350AB0012"), "59350000AB0012");
  EXPECT_EQ(sRefCadConvertir(other, src, "59350AB0012"), "59350AB0012");
  // A blank but shorter than 11 characters: still no prefix.
  EXPECT_EQ(sRefCadConvertir(bbb, src, "59350AB 12"), "59350   AB0012");
  // Long enough with a blank: the prefix runs up to it.
  EXPECT_EQ(sRefCadConvertir(bbb, src, "59350123 AB0012"), "59350123AB0012");

  // A component longer than the target mask is not cut.
  auto sep = Layout("XX", "-", "XXX", "-", "", "", "XX", "-", "XXXX");
  EXPECT_EQ(sRefCadConvertir(Kupv3(), sep, "59-12345-AB-7"), "59X12345   AB0007");
  // A short one is padded as a number.
  EXPECT_EQ(sRefCadConvertir(Kupv3(), sep, "59-7-AB-7"), "59X007   AB0007");
}

TEST(RefCad, FormatNum) {
  EXPECT_EQ(sFormatNum("7", 3), "007");
  EXPECT_EQ(sFormatNum("  12", 3), "012");
  EXPECT_EQ(sFormatNum("abc", 7), "abc");
  EXPECT_EQ(sFormatNum("abc", -1), "abc");
  EXPECT_EQ(sFormatNum("0", 0), "");
  EXPECT_EQ(sFormatNum("0", 1), "");
  EXPECT_EQ(sFormatNum("42", 1), "42");
  EXPECT_EQ(sFormatNum("", 2), "00");
  EXPECT_EQ(sFormatNum("12x5", 5), "00012");
  EXPECT_EQ(sFormatNum("12.5", 3), "012");
  EXPECT_EQ(sFormatNum("13.5", 3), "014");
  EXPECT_EQ(sFormatNum("-5", 3), "-005");
  EXPECT_EQ(sFormatNum("123456", 4), "123456");
  EXPECT_EQ(sFormatNum("99999999999999999999", 4), "100000000000000000000");
  EXPECT_EQ(sFormatNum("1e999", 4), "1e999");
}

TEST(RefCad, InseeCode) {
  EXPECT_EQ(kup::sRefCadEDI2CodeInsee("590350    A0123"), "59350");
  EXPECT_EQ(kup::sRefCadEDI2CodeInsee(""), "");
  EXPECT_EQ(kup::sRefCadEDI2CodeInsee("59"), "59");
  EXPECT_EQ(kup::sRefCadEDI2CodeInsee("é90350"), "é9350");
}

TEST(RefCad, MalformedReferencesNeverFail) {
  std::mt19937 rng(1234);
  const std::vector<std::string> bits = {"", "X", "XX", "XXX", "-", "X-", " ", "BB", "00", "000", "BBB", "   ",
                                         "XXXX", "XXXXXX", "#", "é"};
  const std::vector<std::string> chars = {"5", "9", "0", " ", "A", "b", "-", "#", "é", "\xC3\xB2", "X", "\xFF"};
  auto pick = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
  for (int i = 0; i < 3000; ++i) {
    auto a = Layout(pick(bits), pick(bits), pick(bits), pick(bits), pick(bits), pick(bits), pick(bits), pick(bits),
                    pick(bits));
    auto b = Layout(pick(bits), pick(bits), pick(bits), pick(bits), pick(bits), pick(bits), pick(bits), pick(bits),
                    pick(bits));
    std::string ref;
    size_t n = rng() % 24;
    for (size_t k = 0; k < n; ++k) ref += pick(chars);
    EXPECT_NO_THROW(sRefCadConvertir(a, b, ref)) << ref;
  }
}

TEST(RefCad, SearchedSeparatorsAndPartsTheSourceLacks) {
  // Parts the target drops are skipped up to their searched separator.
  auto s3 = Layout("XX", "-", "XXX", "", "", "", "XX", "-", "XXXX");
  auto sansDpt = Layout("", "", "XXX", "", "000", "", "BB", "", "XXXX");
  EXPECT_EQ(sRefCadConvertir(sansDpt, s3, "59-350AB-12"), "350000AB0012");
  auto diese = Layout("XX", "", "XXX", "#", "", "", "XX", "", "XXXX");
  auto sansCommune = Layout("XX", "", "", "", "", "", "XX", "", "XXXX");
  EXPECT_EQ(sRefCadConvertir(sansCommune, diese, "59350#AB0012"), "59AB0012");

  // Commune, prefix and section each run up to their separator.
  auto tirets = Layout("XX", "-", "XXX", "-", "XXX", "-", "XX", "-", "XXXXX");
  EXPECT_EQ(sRefCadConvertir(Kupv3(), tirets, "59-350-123-AB-00012"), "59X350123AB0012");

  // A fixed prefix is read over the target's width; the cursor moves by the source's.
  auto court = Layout("XX", "", "XXX", "", "XX", "", "XX", "", "XXXX");
  auto large = Layout("XX", "", "XXX", "", "XXXX", "", "BB", "", "XXXX");
  EXPECT_EQ(sRefCadConvertir(court, Kupv3(), "590350123 A0123"), "5935012A0123");
  EXPECT_EQ(sRefCadConvertir(large, Kupv3(), "590350123 A0123"), "59350123  A0123");

  // Parts the source lacks come out as the target's masks.
  auto sansPrefixe = Layout("", "", "XXX", "", "", "", "XX", "", "XXXX");
  EXPECT_EQ(sRefCadConvertir(Kupv3(), sansPrefixe, "350AB0012"), "XXX350   AB0012");
  auto ni = Layout("XX", "", "", "", "", "", "XX", "", "XXXX");
  EXPECT_EQ(sRefCadConvertir(Kupv3(), ni, "59AB0012"), "59XXXX   AB0012");
}

TEST(RefCad, CharactersNotBytes) {
  // Widths, positions and searches count characters, whatever their UTF-8
  // length; a byte that is not UTF-8 comes out as U+FFFD.
  auto kup = Kupv3();
  auto gis = Layout("XX", "-", "XXX", "-", "XXX", "-", "XX", "-", "XXXXX");
  auto paragraphe = Layout("XX", "§", "XXX", "§", "", "", "XX", "§", "XXXX");
  auto accents = Layout("éé", "", "ééé", "", "", "", "XX", "", "ééééé");
  struct Cas {
    const Str_DDESRV& cible;
    const Str_DDESRV& source;
    const char* ref;
    const char* attendu;
  };
  const Cas cas[] = {
      {gis, kup, "59é350    A0123", "59é350-   -A-00123"},
      {gis, kup, "5ééé50   AB0123", "5ééé50-   -AB-00123"},
      {gis, kup, "590350ééé ÀB012", "590350-ééé-ÀB-00012"},
      {gis, kup, "590350    Ä0123", "590350-   -Ä-00123"},
      {gis, kup, "590350   AB01é3", "590350-   -AB-00001"},
      {gis, kup, "59\xFF" "350   AB0123", "59\xEF\xBF\xBD" "350-   -AB-00123"},
      {kup, paragraphe, "59§350§AB§12", "59X350   AB0012"},
      {kup, paragraphe, "59§3§AB§12", "59X003   AB0012"},
      {accents, kup, "590350   AB0123", "59350AB00123"},
      {accents, paragraphe, "59§35§AB§12", "59035AB00012"},
  };
  for (const auto& c : cas) EXPECT_EQ(sRefCadConvertir(c.cible, c.source, c.ref), c.attendu) << c.ref;
}

TEST(RefCad, ShortReferencesAndOddNumbers) {
  // What a reference too short for its layout, or a number part that is not
  // plain digits, gives today: callers send it on as it comes.
  auto kup = Kupv3();
  auto gis = Layout("XX", "-", "XXX", "-", "XXX", "-", "XX", "-", "XXXXX");
  const std::pair<const char*, const char*> cas[] = {
      {"", "00000-000--00000"},
      {"5", "05000-000--00000"},
      {"590", "590000-000--00000"},
      {"590350", "590350-000--00000"},
      {"590350    A", "590350-   -A-00000"},
      {"590350   AB12 3", "590350-   -AB-00123"},
      {"590350   AB-12", "590350-   -AB--00012"},
      {"590350   AB12.5", "590350-   -AB-00012"},
      {"590350   AB13.5", "590350-   -AB-00014"},
      {"590350   AB1E3", "590350-   -AB-01000"},
      {"590350   AB&H1F", "590350-   -AB-00031"},
      {"590350   AB0000000000000123", "590350-   -AB-00123"},
      {"590350   AB123456789012345678", "590350-   -AB-123456789012345680"},
      {"590350   AB99999999999999999999", "590350-   -AB-100000000000000000000"},
      {"590350   AB1E999", "590350-   -AB-1E999"},
  };
  for (const auto& [ref, attendu] : cas) EXPECT_EQ(sRefCadConvertir(gis, kup, ref), attendu) << ref;
}
