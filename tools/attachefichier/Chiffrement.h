#pragma once
// The cipher and base64 forms shared by the attachment library and its
// command-line companion.
//
// Encrypted text = standard base64 (with padding, no line breaks) of
//   nonce (crypto_secretbox_NONCEBYTES = 24 bytes)
//   || crypto_secretbox_easy(clear bytes)   (16-byte MAC, then the cipher bytes)
// under the 32-byte key crypto_generichash(key text bytes) (BLAKE2b, no key).
// Texts and keys are the 8-bit bytes the caller hands over (Windows-1252).
#include <optional>
#include <string>
#include <string_view>

namespace kup::attache {

// Standard base64 of the bytes, one line, padded.
std::string Base64Encode(std::string_view bytes);
// Standard base64 to bytes; blanks, tabs and line ends are ignored.
// nullopt when the text is not valid base64.
std::optional<std::string> Base64Decode(std::string_view text);

std::string Chiffrer(std::string_view clear, std::string_view key);
// nullopt for a wrong key, a damaged text or text that is not base64.
std::optional<std::string> Dechiffrer(std::string_view b64, std::string_view key);

}  // namespace kup::attache
