#include "tools/attachefichier/Chiffrement.h"

#include <sodium.h>

#include <stdexcept>

namespace kup::attache {

namespace {

void initSodium() {
  static const bool ok = sodium_init() >= 0;
  if (!ok) throw std::runtime_error("libsodium could not be initialised");
}

void deriveKey(std::string_view key, unsigned char out[crypto_secretbox_KEYBYTES]) {
  static_assert(crypto_secretbox_KEYBYTES >= crypto_generichash_BYTES_MIN &&
                crypto_secretbox_KEYBYTES <= crypto_generichash_BYTES_MAX);
  crypto_generichash(out, crypto_secretbox_KEYBYTES, reinterpret_cast<const unsigned char*>(key.data()),
                     key.size(), nullptr, 0);
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  initSodium();
  const size_t len = sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL);
  std::string out(len, '\0');
  sodium_bin2base64(out.data(), len, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  out.resize(len - 1);  // the encoder's terminating zero
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  initSodium();
  std::string out(text.size() / 4 * 3 + 3, '\0');
  size_t written = 0;
  const char* end = nullptr;
  if (sodium_base642bin(reinterpret_cast<unsigned char*>(out.data()), out.size(), text.data(), text.size(),
                        " \t\r\n", &written, &end, sodium_base64_VARIANT_ORIGINAL) != 0)
    return std::nullopt;
  // The decoder stops quietly at the first character it cannot use; only a
  // text consumed to its end (trailing blanks aside) is accepted.
  for (const char* p = end; p && p < text.data() + text.size(); ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return std::nullopt;
  out.resize(written);
  return out;
}

std::string Chiffrer(std::string_view clear, std::string_view key) {
  initSodium();
  unsigned char k[crypto_secretbox_KEYBYTES];
  deriveKey(key, k);
  std::string box(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + clear.size(), '\0');
  auto* p = reinterpret_cast<unsigned char*>(box.data());
  randombytes_buf(p, crypto_secretbox_NONCEBYTES);
  crypto_secretbox_easy(p + crypto_secretbox_NONCEBYTES, reinterpret_cast<const unsigned char*>(clear.data()),
                        clear.size(), p, k);
  sodium_memzero(k, sizeof k);
  return Base64Encode(box);
}

std::optional<std::string> Dechiffrer(std::string_view b64, std::string_view key) {
  initSodium();
  auto box = Base64Decode(b64);
  if (!box || box->size() < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES) return std::nullopt;
  unsigned char k[crypto_secretbox_KEYBYTES];
  deriveKey(key, k);
  const auto* p = reinterpret_cast<const unsigned char*>(box->data());
  const size_t cipherLen = box->size() - crypto_secretbox_NONCEBYTES;
  std::string clear(cipherLen - crypto_secretbox_MACBYTES, '\0');
  const int rc = crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(clear.data()),
                                            p + crypto_secretbox_NONCEBYTES, cipherLen, p, k);
  sodium_memzero(k, sizeof k);
  if (rc != 0) return std::nullopt;
  return clear;
}

}  // namespace kup::attache
