// Parcel references between layouts: the partner route's conversion
// between any two partner layouts (as the settings may describe them) and
// the template route's GIS and application forms, on any reference text.
// Nothing fails where the routine says it never fails, the results are
// valid UTF-8 text, and their length stays within what the layouts allow.

// fuzz-lien: kup_gis
#include "FuzzOutils.h"
#include "vb/VbError.h"
#include "gis/DDE_Client.h"
#include "gis/Mdl_SIG_Old.h"
#include "gis/Str_DDESRV.h"
#include "platform/RealFlash.h"

using namespace kup;

namespace {

// Layout fields are short texts in the settings; separators one or two
// characters, masks of X, B, 0 or #.
std::string Champ(FuzzedDataProvider& p) {
  switch (p.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return "";
    case 1: return std::string(p.ConsumeIntegralInRange<size_t>(1, 6), 'X');
    case 2: return std::string(p.ConsumeIntegralInRange<size_t>(1, 6), 'B');
    case 3: return std::string(p.ConsumeIntegralInRange<size_t>(1, 6), '0');
    case 4: return "-";
    case 5: return " ";
    case 6: return "#";
    default: return SanitizeUtf8(p.ConsumeRandomLengthString(4));
  }
}

Str_DDESRV Disposition(FuzzedDataProvider& p) {
  Str_DDESRV s;
  s.DDEDpt(Champ(p));
  s.DDESepDptCom(Champ(p));
  s.DDECommune(Champ(p));
  s.DDESepComPref(Champ(p));
  s.DDEPrefixe(Champ(p));
  s.DDESepPrefSec(Champ(p));
  s.DDESection(Champ(p));
  s.DDESepSecNum(Champ(p));
  s.DDENumero(Champ(p));
  return s;
}

// The separator rule as written: one character at the first occurrence,
// then the search again from the start.
std::string UnParUn(std::string texte, const std::string& sep) {
  if (sep.empty()) return texte;
  for (long p = InStr(texte, sep); p > 0; p = InStr(texte, sep)) texte = Left(texte, p - 1) + Mid(texte, p + 1);
  return texte;
}

size_t Largeur(const Str_DDESRV& s) {
  return Len(s.DDEDpt()) + Len(s.DDESepDptCom()) + Len(s.DDECommune()) + Len(s.DDESepComPref()) +
         Len(s.DDEPrefixe()) + Len(s.DDESepPrefSec()) + Len(s.DDESection()) + Len(s.DDESepSecNum()) +
         Len(s.DDENumero());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider p(data, size);
  Str_DDESRV cible = Disposition(p);
  Str_DDESRV source = Disposition(p);
  const int32_t largeur = p.ConsumeIntegralInRange<int32_t>(-2, 8);
  const std::string sep = p.ConsumeRandomLengthString(3);
  const std::string codeInsee = p.ConsumeRandomLengthString(6);
  const std::string carNbNum = p.ConsumeRandomLengthString(4);
  const std::string ref = SanitizeUtf8(p.ConsumeRemainingBytesAsString());

  // Partner route: never fails.
  const std::string r1 = sRefCadConvertir(cible, source, ref);
  const std::string r2 = sRefCadConvertir(source, cible, r1);
  for (auto* r : {&r1, &r2}) KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(*r), *r);
  // Every component comes from the reference or from the target's layout,
  // numbers written as numbers take at most 309 digits. A separator missing
  // from the reference sends the walk back to its start (the original's
  // resume-next), so each of the four taking steps may copy it whole.
  KUP_FUZZ_VERIFIER(Len(r1) <= 4 * Len(ref) + Largeur(cible) + 2 * 320, r1);

  const std::string n = sFormatNum(ref, largeur);
  KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(n), n);

  // Template route, with the settings the references depend on.
  TestApp t;
  t.app.G_Parametres.set("DDE_OLD", "SIG_SEP", SanitizeUtf8(sep));
  t.app.G_Parametres.set("DDE_OLD", "CODEINSEE", SanitizeUtf8(codeInsee));
  t.app.G_Parametres.set("DDE_OLD", "CAR_NBNUM", SanitizeUtf8(carNbNum));
  t.app.G_Parametres.set("DDE_OLD", "SIGTYPE", "2");
  SIG_Initialiser(t.app);
  try {
    const std::string simple = sRefCadEDI2RefCadSimple(t.app, ref);
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(simple) && simple.size() <= ref.size(), simple);
    const std::string sig = sRefSIGParcelle(t.app, ref);
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(sig), sig);
    std::string sansSep = sig;
    sSupprimerSepSIG(t.app, sansSep);
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(sansSep) && sansSep.size() <= sig.size(), sansSep);
    KUP_FUZZ_VERIFIER(sansSep == UnParUn(sig, SigOld(t.app).SIG_SEP), sig);
    std::string court = Left(ref, 300);
    sSupprimerSepSIG(t.app, court);
    KUP_FUZZ_VERIFIER(court == UnParUn(Left(ref, 300), SigOld(t.app).SIG_SEP), ref);
    const std::string kup = sRefCadFormaterKUP(sansSep);
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(kup), kup);
    KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(sRemplacerParametre(ref, sig)), ref);
  } catch (const VbError& e) {
    // A commune part that must be numeric and is not (13) or does not fit
    // (6): the map command's error, reported by the dispatcher.
    KUP_FUZZ_VERIFIER(e.number() == vberr::TypeMismatch || e.number() == vberr::Overflow, e.description());
  }
  return 0;
}
