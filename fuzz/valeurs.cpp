// The values a request carries, through the conversions and string
// functions handlers apply to them: any text, any number. Conversions fail
// only with their VB errors (13, 6, 94, 5), never otherwise; string
// functions keep valid UTF-8 valid and agree with their own definitions
// (Len of Mid, Split then Join, Replace without a match, round trips of
// the Windows code page and of number texts).

// fuzz-lien: kup_vb
#include <cmath>

#include "FuzzOutils.h"
#include "vb/Value.h"
#include "vb/VbError.h"
#include "platform/RealFlash.h"

using namespace kup;

namespace {

template <class F>
void SeulementVb(F&& f, const std::string& detail) {
  try {
    f();
  } catch (const VbError& e) {
    const int n = e.number();
    KUP_FUZZ_VERIFIER(n == 5 || n == 6 || n == 13 || n == 94, std::to_string(n) + " " + detail);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider p(data, size);
  const double nombre = p.ConsumeFloatingPoint<double>();
  const long debut = p.ConsumeIntegralInRange<long>(-3, 40);
  const long longueur = p.ConsumeIntegralInRange<long>(-3, 40);
  const std::string motif = SanitizeUtf8(p.ConsumeRandomLengthString(6));
  const std::string brut = p.ConsumeRemainingBytesAsString();
  const std::string texte = SanitizeUtf8(brut);
  KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(texte), texte);
  KUP_FUZZ_VERIFIER(SanitizeUtf8(texte) == texte, texte);

  for (const Value& v : {Value(texte), Value(nombre), Value(), Value::null(), Value(nombre != 0)}) {
    SeulementVb([&] { CStr(v); }, texte);
    SeulementVb([&] { CDbl(v); }, texte);
    SeulementVb([&] { CLng(v); }, texte);
    SeulementVb([&] { CInt(v); }, texte);
    SeulementVb([&] { CBool(v); }, texte);
    StrOrEmpty(v);
  }
  const double val = Val(texte);
  (void)val;
  RoundHalfEven(nombre);
  if (std::isfinite(nombre)) {
    // The text of a number reads back as a number close to it.
    const std::string t = NumberText(nombre);
    SeulementVb([&] { CDbl(Value(t)); }, t);
  }

  const size_t n = Len(texte);
  KUP_FUZZ_VERIFIER(n == CodePoints(texte).size(), texte);
  SeulementVb(
      [&] {
        const std::string m = Mid(texte, debut, longueur);
        KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(m), m);
        if (longueur >= 0) KUP_FUZZ_VERIFIER(Len(m) <= static_cast<size_t>(longueur), m);
      },
      texte);
  SeulementVb([&] { KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(Left(texte, longueur)), texte); }, texte);
  SeulementVb([&] { KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(Right(texte, longueur)), texte); }, texte);
  const long pos = InStr(debut < 1 ? 1 : debut, texte, motif);
  KUP_FUZZ_VERIFIER(pos >= 0 && static_cast<size_t>(pos) <= n + 1, texte);
  InStr(debut < 1 ? 1 : debut, texte, motif, true);
  SeulementVb([&] { InStrRev(texte, motif, debut); }, texte);
  for (auto& s : {UCase(texte), LCase(texte), Trim(texte), LTrim(texte), RTrim(texte)})
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(s), s);
  if (!motif.empty()) {
    KUP_FUZZ_VERIFIER(Join(Split(texte, motif), motif) == texte, texte);
    if (texte.find(motif) == std::string::npos) KUP_FUZZ_VERIFIER(Replace(texte, motif, "x") == texte, texte);
  }
  const std::string r = Replace(texte, motif, Left(texte, 8));
  KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(r), r);
  KUP_FUZZ_VERIFIER(FromCp1252(ToCp1252(FromCp1252(brut))) == FromCp1252(brut), brut);
  KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(FromCp1252(brut)), brut);
  EqualsNoCase(texte, motif);
  if (!texte.empty()) {
    SeulementVb([&] { Asc(texte); }, texte);
    AscW(texte);
  }
  SeulementVb([&] { Space(longueur); }, texte);
  SeulementVb([&] { String(longueur, motif); }, texte);
  Chr(static_cast<int>(static_cast<unsigned char>(debut)));
  KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(ChrW(static_cast<uint32_t>(std::fabs(std::fmod(nombre, 1114112.0))))), "ChrW");
  return 0;
}
