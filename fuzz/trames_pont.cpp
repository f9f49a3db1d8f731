// The UI bridge's frame reader on any byte stream, cut in pieces chosen by
// the input: it never stops reading, and the frames it delivers do not
// depend on how the bytes arrived. The UTF-8 check agrees with a plain
// decoder.

// fuzz-lien: kup_core
#include <vector>

#include "FuzzOutils.h"
#include "platform/RealFlash.h"

using namespace kup;

namespace {

struct Lu {
  std::vector<std::string> frames;  // kind + " " + payload of the whole frames
  size_t erreurs = 0;
  bool milieu = false;
};

Lu Lire(const std::string& flux, const std::vector<size_t>& coupes) {
  bridge::FrameReader r;
  Lu lu;
  size_t pos = 0;
  auto vider = [&] {
    while (auto it = r.next()) {
      if (it->ok) {
        KUP_FUZZ_VERIFIER(it->payload.size() <= bridge::kMaxPayload, it->kind);
        lu.frames.push_back(it->kind + " " + it->payload);
      } else {
        KUP_FUZZ_VERIFIER(!it->error.empty(), it->kind);
        ++lu.erreurs;
      }
    }
  };
  for (size_t c : coupes) {
    size_t n = std::min(c, flux.size() - pos);
    r.feed(std::string_view(flux).substr(pos, n));
    pos += n;
    vider();
  }
  r.feed(std::string_view(flux).substr(pos));
  vider();
  lu.milieu = r.midFrame();
  return lu;
}

// Reference decoder: the code point ranges of well-formed UTF-8.
bool Utf8Reference(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t n;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3, cp = c & 0x07;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;
    for (size_t k = 1; k <= n; ++k) {
      if ((b(i + k) & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider p(data, size);
  std::vector<size_t> coupes;
  size_t nb = p.ConsumeIntegralInRange<size_t>(0, 8);
  for (size_t i = 0; i < nb; ++i) coupes.push_back(p.ConsumeIntegralInRange<size_t>(0, 64));
  const std::string flux = p.ConsumeRemainingBytesAsString();

  Lu entier = Lire(flux, {});
  Lu morceaux = Lire(flux, coupes);
  KUP_FUZZ_VERIFIER(entier.frames == morceaux.frames, flux);
  KUP_FUZZ_VERIFIER(entier.milieu == morceaux.milieu, flux);
  KUP_FUZZ_VERIFIER(entier.erreurs == morceaux.erreurs, flux);

  KUP_FUZZ_VERIFIER(bridge::IsValidUtf8(flux) == Utf8Reference(flux), flux);
  return 0;
}
