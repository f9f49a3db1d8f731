#pragma once
// Reading of the program's 8-bit text files (Windows-1252) line by line, as
// the original read them with Line Input: lines end with CR LF, and a lone
// CR or LF also ends a line, so files edited on other systems read the same;
// a last line without a line end is still a line. Lines come out as UTF-8.
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace kup {

struct App;

class LecteurTexte {
 public:
  // Reads the whole file through the application's file system; raises the
  // file system's VbError (53 missing, 70/75 unreadable).
  static LecteurTexte Ouvrir(App& app, const std::string& path);
  explicit LecteurTexte(std::string octets) : octets_(std::move(octets)) {}

  // The number of LF in the file: a cheap estimate of its lines, for sizing.
  size_t LignesEstimees() const;
  // The file's size in bytes.
  size_t Taille() const { return octets_.size(); }
  bool FinDeFichier() const { return pos_ >= octets_.size(); }
  // The next line as UTF-8; false at the end of the file. The view stays
  // valid until the next call.
  bool LireLigne(std::string_view& ligne);

 private:
  std::string octets_;
  size_t pos_ = 0;
  size_t prochainLf_ = std::string::npos;  // position of the next LF, npos before the first search
  std::string tampon_;
};

// Split at one separator character with the VB rule: an empty text gives no
// field. The views point into the text.
void DecouperChamps(std::string_view texte, char separateur, std::vector<std::string_view>& champs);
// Trim of blanks only (U+0020), as VB's Trim.
std::string_view SansBlancs(std::string_view s);

// The description a load writes into its collector for a failure.
std::string DescriptionEchec(const std::exception& e);

}  // namespace kup
