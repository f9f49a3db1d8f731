#include "tools/attachefichier/Chiffrement.h"

#include <sodium.h>

#include <array>
#include <cstdint>
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

namespace {

// Canonical base64 (no blanks, "=" padding, zero bits after the last byte),
// which is what the interface and our own encoder send: decoded four
// characters at a time. Anything else is left to libsodium's decoder.
std::optional<std::string> DecodeCanonique(std::string_view t) {
  static const auto table = [] {
    std::array<int8_t, 256> v{};
    v.fill(-1);
    const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(a[i])] = static_cast<int8_t>(i);
    return v;
  }();
  if (t.size() % 4 != 0) return std::nullopt;
  size_t pad = 0;
  if (!t.empty() && t.back() == '=') pad = t.size() >= 2 && t[t.size() - 2] == '=' ? 2 : 1;
  std::string out(t.size() / 4 * 3, '\0');
  char* o = out.data();
  const unsigned char* p = reinterpret_cast<const unsigned char*>(t.data());
  const size_t entiers = t.size() / 4 - (pad ? 1 : 0);
  for (size_t i = 0; i < entiers; ++i, p += 4, o += 3) {
    int a = table[p[0]], b = table[p[1]], c = table[p[2]], d = table[p[3]];
    if ((a | b | c | d) < 0) return std::nullopt;
    uint32_t v = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | uint32_t(d);
    o[0] = static_cast<char>(v >> 16);
    o[1] = static_cast<char>(v >> 8);
    o[2] = static_cast<char>(v);
  }
  if (pad) {
    int a = table[p[0]], b = table[p[1]];
    int c = pad == 2 ? 0 : table[p[2]];
    if ((a | b | c) < 0) return std::nullopt;
    uint32_t v = uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6;
    // Bits left over after the last byte must be zero, as libsodium wants.
    if ((pad == 2 && (v & 0xFFFF)) || (pad == 1 && (v & 0xFF))) return std::nullopt;
    o[0] = static_cast<char>(v >> 16);
    if (pad == 1) o[1] = static_cast<char>(v >> 8);
    o += 3 - pad;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return out;
}

}  // namespace

std::optional<std::string> Base64Decode(std::string_view text) {
  if (auto rapide = DecodeCanonique(text)) return rapide;
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
