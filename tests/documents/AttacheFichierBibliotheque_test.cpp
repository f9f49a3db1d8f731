// The attachment library as the container loads it: the real shared
// library from the program folder, called through its C entries.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "documents/AttacheFichierTestOutils.h"

namespace fs = std::filesystem;
using namespace attache_test;

namespace {

std::string Lire(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Ecrire(const fs::path& p, const std::string& octets) {
  std::ofstream out(p, std::ios::binary);
  out.write(octets.data(), static_cast<std::streamsize>(octets.size()));
}

std::string Aleatoire(size_t n, unsigned graine) {
  std::mt19937 g(graine);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g() & 0xFF);
  return s;
}

class Bibliotheque : public ::testing::Test {
 protected:
  void SetUp() override {
    lib = &Bibliotheques::instance();
    ASSERT_TRUE(lib->ok()) << lib->erreur;
    dir = DossierTemporaire("attache");
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "tmp");
    fs::create_directories(dir / "out");
  }
  void TearDown() override { fs::remove_all(dir); }

  // Encodes src/<name> and decodes it into out/; returns the name written back.
  std::string AllerRetour(const std::string& nomCp1252, const std::string& contenu) {
    const fs::path source = dir / "src" / Hote(nomCp1252);
    Ecrire(source, contenu);
    const std::string b64 = (dir / "tmp" / "x.b64").string();
    EXPECT_EQ(lib->encode((dir / "src").c_str(), nomCp1252.c_str(), (dir / "tmp").c_str(), b64.c_str()), 1);
    EXPECT_TRUE(fs::exists(dir / "tmp" / Hote(nomCp1252 + ".zip"))) << "the archive is left for the caller";
    const std::string texte = Lire(b64);
    std::vector<char> nom(1025, 'X');
    nom[1024] = '\0';
    EXPECT_EQ(lib->decode(texte.c_str(), (dir / "out").c_str(), nom.data(), 1024), 1);
    const std::string relu(nom.data());
    EXPECT_EQ(Lire(dir / "out" / Hote(relu)), contenu);
    return relu;
  }

  Bibliotheques* lib = nullptr;
  fs::path dir;
};

TEST_F(Bibliotheque, CompressedBase64RoundTripKeepsNameAndBytes) {
  // Windows-1252 name with accents, binary content with every byte value.
  const std::string nom = "Arr\xEAt\xE9 n\xB0" "1 \xE9t\xE9.odt";
  EXPECT_EQ(AllerRetour(nom, Aleatoire(200000, 1)), nom);
  EXPECT_EQ(AllerRetour("vide.txt", ""), "vide.txt");
  const std::string gros = Aleatoire(5 * 1024 * 1024, 2);
  EXPECT_EQ(AllerRetour("gros.bin", gros), "gros.bin");

  // The text is one line of standard base64 holding a zip archive.
  const std::string b64 = Lire(dir / "tmp" / "x.b64");
  EXPECT_EQ(b64.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_EQ(Lire(dir / "tmp" / "gros.bin.zip").substr(0, 4), std::string("PK\x03\x04"));
}

TEST_F(Bibliotheque, CompressedEncoderRefusesWhatItCannotRead) {
  const std::string b64 = (dir / "tmp" / "x.b64").string();
  EXPECT_EQ(lib->encode((dir / "src").c_str(), "absent.doc", (dir / "tmp").c_str(), b64.c_str()), 0);
  EXPECT_FALSE(fs::exists(b64));
  Ecrire(dir / "a.doc", "secret");
  EXPECT_EQ(lib->encode((dir / "src").c_str(), "..\\a.doc", (dir / "tmp").c_str(), b64.c_str()), 0);
  EXPECT_EQ(lib->encode((dir / "src").c_str(), "", (dir / "tmp").c_str(), b64.c_str()), 0);
  EXPECT_EQ(lib->encode(nullptr, "a.doc", (dir / "tmp").c_str(), b64.c_str()), 0);
}

TEST_F(Bibliotheque, CompressedDecoderFailsCleanlyAndStaysInItsFolder) {
  std::vector<char> nom(1025, 'X');
  auto decode = [&](const std::string& texte, int32_t taille = 1024) {
    nom.assign(1025, 'X');
    return lib->decode(texte.c_str(), (dir / "out").c_str(), nom.data(), taille);
  };
  EXPECT_EQ(decode("pas du base64 !"), 0);
  EXPECT_EQ(nom[0], '\0');
  EXPECT_EQ(decode(""), 0);
  EXPECT_EQ(decode("aGVsbG8gd29ybGQ="), 0);  // base64, but not an archive
  EXPECT_EQ(nom[0], '\0');

  // A damaged archive (a flipped byte in the deflated data) is refused and
  // leaves no partial file behind.
  Ecrire(dir / "src" / "doc.txt", std::string(50000, 'a') + Aleatoire(1000, 3));
  const std::string b64 = (dir / "tmp" / "x.b64").string();
  ASSERT_EQ(lib->encode((dir / "src").c_str(), "doc.txt", (dir / "tmp").c_str(), b64.c_str()), 1);
  std::string zip = Lire(dir / "tmp" / "doc.txt.zip");
  zip[60] = static_cast<char>(zip[60] ^ 0x55);
  EXPECT_EQ(decode(Base64(zip)), 0);
  EXPECT_EQ(nom[0], '\0');
  EXPECT_FALSE(fs::exists(dir / "out" / "doc.txt"));

  // A buffer too small for the name: nothing past it is touched.
  EXPECT_EQ(decode(Lire(b64), 7), 0);
  EXPECT_EQ(nom[0], '\0');
  EXPECT_EQ(nom[7], 'X');
  EXPECT_EQ(decode(Lire(b64), 8), 1);
  EXPECT_EQ(std::string(nom.data()), "doc.txt");
  EXPECT_EQ(nom[8], 'X');

  // An archive entry named with folders lands in the temporary folder itself.
  EXPECT_EQ(decode(Base64(ZipUneEntree("../../evade.txt", "x"))), 1);
  EXPECT_EQ(std::string(nom.data()), "evade.txt");
  EXPECT_TRUE(fs::exists(dir / "out" / "evade.txt"));
  EXPECT_EQ(decode(Base64(ZipUneEntree("sous/..", "x"))), 0);
}

TEST_F(Bibliotheque, PlainBase64ToFile) {
  const std::string cible = (dir / "out" / "f.bin").string();
  EXPECT_EQ(lib->plain("AAEC/w==", cible.c_str(), 1024), 1);
  EXPECT_EQ(Lire(cible), std::string("\x00\x01\x02\xFF", 4));
  EXPECT_EQ(lib->plain("QUJD\r\nREVG", cible.c_str(), 1024), 1);  // line breaks are allowed
  EXPECT_EQ(Lire(cible), "ABCDEF");
  EXPECT_EQ(lib->plain("", cible.c_str(), 1024), 1);
  EXPECT_EQ(Lire(cible), "");

  const std::string autre = (dir / "out" / "g.bin").string();
  EXPECT_EQ(lib->plain("pas*valide", autre.c_str(), 1024), 0);
  EXPECT_FALSE(fs::exists(autre));
  EXPECT_EQ(lib->plain("QUJD", (dir / "absent" / "g.bin").c_str(), 1024), 4);  // the folder is missing

  // Every length and padding, every byte value, read back whole; bits left
  // after the last byte are refused.
  std::mt19937 g(7);
  for (size_t n = 0; n < 70; ++n) {
    std::string octets;
    for (size_t i = 0; i < n; ++i) octets += static_cast<char>(g() & 0xFF);
    ASSERT_EQ(lib->plain(Base64(octets).c_str(), cible.c_str(), 1024), 1) << n;
    EXPECT_EQ(Lire(cible), octets) << n;
  }
  EXPECT_EQ(lib->plain("QUI=", cible.c_str(), 1024), 1);
  EXPECT_EQ(Lire(cible), "AB");
  EXPECT_EQ(lib->plain("QR==", autre.c_str(), 1024), 0);
  EXPECT_EQ(lib->plain("QUJ=", autre.c_str(), 1024), 0);
  EXPECT_EQ(lib->plain("QU=I", autre.c_str(), 1024), 0);
  EXPECT_FALSE(fs::exists(autre));
}

TEST_F(Bibliotheque, WindowsPathTextsFollowTheDriveMapping) {
  setenv("KUP_DRIVES", ("Q=" + dir.string()).c_str(), 1);
  const std::string cible = "q:\\out/f\xE9.bin";  // drive letter in any case, both separators
  EXPECT_EQ(lib->plain("QUJD", cible.c_str(), 1024), 1);
  EXPECT_EQ(Lire(dir / "out" / "f\xC3\xA9.bin"), "ABC");

  Ecrire(dir / "src" / "note.txt", "bonjour");
  EXPECT_EQ(lib->encode("Q:\\src", "note.txt", "Q:\\tmp", "Q:\\tmp\\n.b64"), 1);
  std::vector<char> nom(1025, '\0');
  EXPECT_EQ(lib->decode(Lire(dir / "tmp" / "n.b64").c_str(), "Q:\\out\\", nom.data(), 1024), 1);
  EXPECT_EQ(Lire(dir / "out" / "note.txt"), "bonjour");
  unsetenv("KUP_DRIVES");
}

TEST_F(Bibliotheque, DecryptionWithTheCompanionTool) {
  const std::string cle = "abcdefghi0123456789";
  const std::string chiffre = Outil({"encrypt", cle, "Jos\xC3\xA9 l'instructeur"});  // UTF-8 argument
  ASSERT_FALSE(chiffre.empty());
  std::vector<char> out(1025, 'X');
  EXPECT_EQ(lib->decrypt(chiffre.c_str(), cle.c_str(), out.data(), 1024), 1);
  EXPECT_EQ(std::string(out.data()), "Jos\xE9 l'instructeur");  // Windows-1252 for the container

  // Wrong key, damaged text, not base64: empty string.
  out.assign(1025, 'X');
  EXPECT_EQ(lib->decrypt(chiffre.c_str(), "abcdefghi0123456780", out.data(), 1024), 0);
  EXPECT_EQ(out[0], '\0');
  std::string abime = chiffre;
  abime[10] = abime[10] == 'A' ? 'B' : 'A';
  out.assign(1025, 'X');
  EXPECT_EQ(lib->decrypt(abime.c_str(), cle.c_str(), out.data(), 1024), 0);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(lib->decrypt("???", cle.c_str(), out.data(), 1024), 0);
  EXPECT_EQ(lib->decrypt("", cle.c_str(), out.data(), 1024), 0);

  // The clear text must fit with its zero byte.
  out.assign(1025, 'X');
  EXPECT_EQ(lib->decrypt(chiffre.c_str(), cle.c_str(), out.data(), 10), 0);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(out[10], 'X');

  // The tool reads its own texts back, and knows the built-in keys.
  EXPECT_EQ(Outil({"decrypt", cle, chiffre}), "Jos\xC3\xA9 l'instructeur");
  EXPECT_EQ(Outil({"decrypt", "sso1", Outil({"encrypt", "sso1", "dupont"})}), "dupont");
  EXPECT_EQ(Outil({"decrypt", "sso2", Outil({"encrypt", "sso1", "dupont"})}), "");
}

TEST_F(Bibliotheque, BusyIndicatorAndInitialisation) {
  EXPECT_EQ(lib->busyOn(), 1);
  EXPECT_EQ(lib->busyOff(), 1);
  EXPECT_EQ(lib->init(), 1);
}

}  // namespace
