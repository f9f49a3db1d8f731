// Base64 texts from the interface and the attachment library: the core's
// decoder and the library's never fail otherwise than by their error, both
// encoders write the same text, each decoder gives back what was encoded,
// and where both decoders accept a text they agree on its bytes.

// fuzz-lien: kup_core
#include "FuzzOutils.h"
#include "core/Core.h"
#include "vb/VbError.h"
#include "tools/attachefichier/Chiffrement.h"

using namespace kup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string octets(reinterpret_cast<const char*>(data), size);

  const std::string noyau = encodeBase64(octets);
  const std::string bibliotheque = attache::Base64Encode(octets);
  KUP_FUZZ_VERIFIER(noyau == bibliotheque, noyau);
  KUP_FUZZ_VERIFIER(decodeBase64(noyau) == octets, noyau);
  auto retour = attache::Base64Decode(bibliotheque);
  KUP_FUZZ_VERIFIER(retour && *retour == octets, bibliotheque);

  // The same bytes read as a base64 text.
  std::optional<std::string> parNoyau;
  try {
    parNoyau = decodeBase64(octets);
  } catch (const VbError& e) {
    KUP_FUZZ_VERIFIER(e.number() == vberr::InvalidCall, e.description());
  }
  auto parBibliotheque = attache::Base64Decode(octets);
  if (parNoyau && parBibliotheque) KUP_FUZZ_VERIFIER(*parNoyau == *parBibliotheque, octets);
  return 0;
}
