#pragma once
// The library's windows when the program that loaded it shows Qt windows
// (a QApplication on the calling thread); otherwise none, and the callers
// write a line on the error output instead.
#include <cstdint>
#include <string>
#include <vector>

namespace kup::attache {

struct Piece {
  std::string nom;      // file name
  std::string dossier;  // host folder it is in
  int64_t taille = 0;   // bytes
};

bool FenetresPossibles();
// The attachment window of a dossier: its attachments, modal, until closed.
void FenetrePieces(const std::string& identifiant, const std::string& habilitation, const std::vector<Piece>& pieces);
// The busy indicator: the wait cursor, and once the work lasts a small
// window in a corner of the screen, until hidden.
void MontrerOccupe();
void CacherOccupe();

}  // namespace kup::attache
