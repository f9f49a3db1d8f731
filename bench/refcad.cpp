// Parcel reference conversion (KUP layout to the GIS layout) against a
// hand-written conversion of that one layout pair giving the same text.
// References per second, medians of interleaved rounds of 200 000
// conversions; the outputs of both sides are compared every round.
#include <cstdio>
#include <string>
#include <vector>

#include "Floor.h"
#include "gis/DDE_Client.h"

namespace {

kup::Str_DDESRV Layout(const char* dpt, const char* sepDpt, const char* com, const char* sepCom, const char* pre,
                       const char* sepPre, const char* sec, const char* sepSec, const char* num) {
  kup::Str_DDESRV p;
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

const std::vector<std::string> kRefs = {"590350    A0123", "591100   AB0004", "620412012ZK0915", "590350    B7",
                                        "750560   XY1234"};

// The KUP layout's fixed fields (department and its commune digit kept
// together, prefix, section, number) joined by "-", the section without its
// blanks, the number on five digits: what the GIS layout asks for.
std::string AlaMain(const std::string& r) {
  std::string out;
  out.reserve(24);
  out.append(r, 0, 6);
  out += '-';
  out.append(r, 6, 3);
  out += '-';
  for (size_t i = 9; i < 11 && i < r.size(); ++i)
    if (r[i] != ' ') out += r[i];
  out += '-';
  size_t n = r.size() > 11 ? r.size() - 11 : 0;
  if (n < 5) out.append(5 - n, '0');
  out.append(r, 11, std::string::npos);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = kup::bench::Rounds(argc, argv, 9);
  const auto kup = Layout("XX", "X", "XXX", "", "   ", "", "BB", "", "XXXX");
  const auto sig = Layout("XX", "-", "XXX", "-", "XXX", "-", "XX", "-", "XXXXX");
  std::vector<std::string> attendu;
  for (auto& r : kRefs) attendu.push_back(kup::sRefCadConvertir(sig, kup, r));
  constexpr int kN = 200000;
  auto cote = [&](auto&& conv) {
    return [&, conv] {
      size_t faux = 0;
      double s = kup::bench::Seconds([&] {
        for (int i = 0; i < kN; ++i) {
          size_t k = size_t(i) % kRefs.size();
          if (conv(kRefs[k]) != attendu[k]) ++faux;
        }
      });
      if (faux) kup::bench::Fail("a conversion gave another text");
      return s / kN;
    };
  };
  auto r = kup::bench::Interleave(rounds, cote([&](const std::string& x) { return kup::sRefCadConvertir(sig, kup, x); }),
                                  cote([](const std::string& x) { return AlaMain(x); }));
  char extra[64];
  std::snprintf(extra, sizeof extra, "%.2f M refs/s, floor %.1f M refs/s", 1e-6 / r.measured, 1e-6 / r.floor);
  kup::bench::Report("parcel reference conversion", "KUP->GIS", r, "ns", 1e9, extra);
  return 0;
}
