// Parcel reference conversion throughput (references per second).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

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

void BM_RefCadKupVersSig(benchmark::State& state) {
  auto kup = Layout("XX", "X", "XXX", "", "   ", "", "BB", "", "XXXX");
  auto sig = Layout("XX", "-", "XXX", "-", "XXX", "-", "XX", "-", "XXXXX");
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(kup::sRefCadConvertir(sig, kup, kRefs[i++ % kRefs.size()]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RefCadKupVersSig);

void BM_RefCadSigVersKup(benchmark::State& state) {
  auto kup = Layout("XX", "X", "XXX", "", "   ", "", "BB", "", "XXXX");
  auto src = Layout("XX", "-", "XXX", "", "", "", "XX", "-", "XXXX");
  const std::vector<std::string> refs = {"59-350AB-12", "62-412ZK-915", "75-056XY-1234"};
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(kup::sRefCadConvertir(kup, src, refs[i++ % refs.size()]));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RefCadSigVersKup);

}  // namespace

BENCHMARK_MAIN();
