#include "gis/GrilleFlex.h"

#include <algorithm>

#include "vb/VbError.h"

namespace kup {

namespace {
constexpr int32_t kIndiceIncorrect = 381;
[[noreturn]] void IndiceIncorrect() { raise(kIndiceIncorrect, "Indice de tableau de propriétés incorrect"); }
}  // namespace

void GrilleFlex::Rows(long n) {
  if (n < 0) IndiceIncorrect();
  Ligne vide;
  vide.cellules.resize(static_cast<size_t>(cols_));
  lignes_.resize(static_cast<size_t>(n), vide);
  long dernier = std::max(0L, n - 1);
  row_ = std::min(row_, dernier);
  topRow_ = std::min(topRow_, dernier);
}

void GrilleFlex::Cols(long n) {
  if (n < 0) IndiceIncorrect();
  cols_ = n;
  for (auto& l : lignes_) l.cellules.resize(static_cast<size_t>(n));
  largeurs_.resize(static_cast<size_t>(n), kLargeurColonne);
  fusion_.resize(static_cast<size_t>(n), false);
  col_ = std::min(col_, std::max(0L, n - 1));
}

void GrilleFlex::verifier(long r, long c) const {
  if (r < 0 || r >= Rows() || c < 0 || c >= cols_) IndiceIncorrect();
}

const GrilleFlex::Cellule& GrilleFlex::cellule(long r, long c) const {
  verifier(r, c);
  return lignes_[static_cast<size_t>(r)].cellules[static_cast<size_t>(c)];
}

GrilleFlex::Cellule& GrilleFlex::cellule(long r, long c) {
  verifier(r, c);
  return lignes_[static_cast<size_t>(r)].cellules[static_cast<size_t>(c)];
}

const std::string& GrilleFlex::TextMatrix(long r, long c) const { return cellule(r, c).texte; }
void GrilleFlex::TextMatrix(long r, long c, std::string texte) { cellule(r, c).texte = std::move(texte); }

void GrilleFlex::AddItem(const std::vector<std::string>& cellules) {
  Rows(Rows() + 1);
  auto& l = lignes_.back();
  for (size_t c = 0; c < cellules.size() && c < l.cellules.size(); ++c) l.cellules[c].texte = cellules[c];
}

void GrilleFlex::Row(long r) {
  if (r < 0 || r >= std::max(1L, Rows())) IndiceIncorrect();
  row_ = r;
}

void GrilleFlex::Col(long c) {
  if (c < 0 || c >= std::max(1L, cols_)) IndiceIncorrect();
  col_ = c;
}

void GrilleFlex::TopRow(long r) {
  if (r < 0 || r >= std::max(1L, Rows())) IndiceIncorrect();
  topRow_ = r;
}

int32_t GrilleFlex::CellBackColor(long r, long c) const { return cellule(r, c).fond; }
void GrilleFlex::CellBackColor(long r, long c, int32_t couleur) { cellule(r, c).fond = couleur; }
int32_t GrilleFlex::CellForeColor(long r, long c) const { return cellule(r, c).texteCouleur; }
void GrilleFlex::CellForeColor(long r, long c, int32_t couleur) { cellule(r, c).texteCouleur = couleur; }

int32_t GrilleFlex::CouleurFondAffichee(long r, long c) const {
  int32_t f = CellBackColor(r, c);
  return f == 0 ? BackColor : f;
}

int32_t GrilleFlex::CouleurTexteAffichee(long r, long c) const {
  int32_t f = CellForeColor(r, c);
  return f == 0 ? ForeColor : f;
}

int GrilleFlex::RowHeight(long r) const {
  if (r < 0 || r >= Rows()) IndiceIncorrect();
  return lignes_[static_cast<size_t>(r)].hauteur;
}

void GrilleFlex::RowHeight(long r, int twips) {
  if (r < 0 || r >= Rows() || twips < 0) IndiceIncorrect();
  lignes_[static_cast<size_t>(r)].hauteur = twips;
}

int GrilleFlex::ColWidth(long c) const {
  if (c < 0 || c >= cols_) IndiceIncorrect();
  return largeurs_[static_cast<size_t>(c)];
}

void GrilleFlex::ColWidth(long c, int twips) {
  if (c < 0 || c >= cols_ || twips < 0) IndiceIncorrect();
  largeurs_[static_cast<size_t>(c)] = twips;
}

bool GrilleFlex::MergeCol(long c) const {
  if (c < 0 || c >= cols_) IndiceIncorrect();
  return fusion_[static_cast<size_t>(c)];
}

void GrilleFlex::MergeCol(long c, bool fusion) {
  if (c < 0 || c >= cols_) IndiceIncorrect();
  fusion_[static_cast<size_t>(c)] = fusion;
}

std::pair<long, long> GrilleFlex::BlocFusionne(long r, long c) const {
  const std::string& t = TextMatrix(r, c);
  if (!MergeCells || !MergeCol(c)) return {r, r};
  long debut = r, fin = r;
  while (debut - 1 >= 0 && TextMatrix(debut - 1, c) == t) --debut;
  while (fin + 1 < Rows() && TextMatrix(fin + 1, c) == t) ++fin;
  return {debut, fin};
}

void GrilleFlex::Trier(long r1, long r2, long c) {
  if (r1 > r2) std::swap(r1, r2);
  verifier(r1, c);
  verifier(r2, c);
  auto debut = lignes_.begin() + r1;
  auto fin = lignes_.begin() + r2 + 1;
  const auto cc = static_cast<size_t>(c);
  // UTF-8 bytes compare in code-point order: character by character, with case.
  std::stable_sort(debut, fin, [cc](const Ligne& a, const Ligne& b) { return a.cellules[cc].texte < b.cellules[cc].texte; });
}

}  // namespace kup
