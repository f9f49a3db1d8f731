// kup_attache_outil: encrypts and decrypts texts the way the attachment
// library's decrypteChaineBase64 reads them.
//
//   kup_attache_outil encrypt KEY TEXT   prints the base64 text
//   kup_attache_outil decrypt KEY B64    prints the clear text
//
// KEY is the key text, or sso1 / sso2 for the program's built-in
// single-sign-on keys (user name and password). Arguments are UTF-8; the
// texts are encrypted in the Windows code page, as the container hands them
// to the library.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/SsoKeys.h"
#include "vb/VbString.h"
#include "tools/attachefichier/Chiffrement.h"

namespace {

int usage() {
  std::fputs(
      "usage: kup_attache_outil encrypt KEY TEXT\n"
      "       kup_attache_outil decrypt KEY B64\n"
      "KEY: the key text, or sso1 / sso2 for the built-in single-sign-on keys\n",
      stderr);
  return 2;
}

std::string cle(const std::string& arg) {
  if (arg == "sso1") return kup::kCleSSO1;
  if (arg == "sso2") return kup::kCleSSO2;
  return kup::ToCp1252(arg);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return usage();
  const std::string action = argv[1];
  try {
    if (action == "encrypt") {
      std::puts(kup::attache::Chiffrer(kup::ToCp1252(argv[3]), cle(argv[2])).c_str());
      return 0;
    }
    if (action == "decrypt") {
      auto clair = kup::attache::Dechiffrer(argv[3], cle(argv[2]));
      if (!clair) {
        std::fputs("kup_attache_outil: wrong key or damaged text\n", stderr);
        return 1;
      }
      std::puts(kup::FromCp1252(*clair).c_str());
      return 0;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kup_attache_outil: %s\n", e.what());
    return 1;
  }
  return usage();
}
