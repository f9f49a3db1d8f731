#pragma once
// A headless grid control with what the colour-theme window relies on: a
// text matrix with fixed heading rows, a current cell and a top row, cell
// colours where 0 stands for the grid's standard colour, row heights (0
// hides a row), column widths, free merging of equal neighbouring cells in
// chosen columns, and sorting of a row range by a column.
//
// Indices out of range raise 381 ("invalid property array index"), as the
// grid control does.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kup {

class GrilleFlex {
 public:
  static constexpr int kHauteurLigne = 240;  // twips
  static constexpr int kLargeurColonne = 960;

  // ---- size
  long Rows() const { return static_cast<long>(lignes_.size()); }
  void Rows(long n);  // keeps the rows that stay; new rows empty
  long Cols() const { return cols_; }
  void Cols(long n);
  long FixedRows = 0;
  long FixedCols = 0;

  // ---- content
  const std::string& TextMatrix(long r, long c) const;
  void TextMatrix(long r, long c, std::string texte);
  // Appends a row (cells given from column 0; the rest empty).
  void AddItem(const std::vector<std::string>& cellules = {});

  // ---- current cell (set by a click or by the code) and scrolling
  long Row() const { return row_; }
  void Row(long r);
  long Col() const { return col_; }
  void Col(long c);
  long TopRow() const { return topRow_; }
  void TopRow(long r);

  // ---- colours (Windows colour values; 0 = the grid's standard colour)
  int32_t BackColor = 0xFFFFFF;
  int32_t ForeColor = 0;
  int32_t CellBackColor(long r, long c) const;
  void CellBackColor(long r, long c, int32_t couleur);
  int32_t CellForeColor(long r, long c) const;
  void CellForeColor(long r, long c, int32_t couleur);
  // The colour the cell is painted in: its own, or the standard one for 0.
  int32_t CouleurFondAffichee(long r, long c) const;
  int32_t CouleurTexteAffichee(long r, long c) const;

  // ---- rows and columns
  int RowHeight(long r) const;
  void RowHeight(long r, int twips);
  bool LigneVisible(long r) const { return RowHeight(r) > 0; }
  int ColWidth(long c) const;
  void ColWidth(long c, int twips);

  // ---- merging: with MergeCells on, equal neighbouring cells of a column
  // whose MergeCol is set show as one cell.
  bool MergeCells = false;
  bool MergeCol(long c) const;
  void MergeCol(long c, bool fusion);
  // First and last row of the merged block the cell belongs to (the cell
  // alone when its column does not merge).
  std::pair<long, long> BlocFusionne(long r, long c) const;

  // ---- sorting: rows r1 to r2 by the text of column c, ascending, compared
  // character by character with case; rows move whole (text, colours,
  // height) and equal keys keep their order.
  void Trier(long r1, long r2, long c);

  // ---- the control itself
  bool Visible = true;
  double Left = 0, Top = 0, Width = 0, Height = 0;

 private:
  struct Cellule {
    std::string texte;
    int32_t fond = 0;
    int32_t texteCouleur = 0;
  };
  struct Ligne {
    std::vector<Cellule> cellules;
    int hauteur = kHauteurLigne;
  };
  void verifier(long r, long c) const;
  const Cellule& cellule(long r, long c) const;
  Cellule& cellule(long r, long c);

  std::vector<Ligne> lignes_;
  long cols_ = 0;
  std::vector<int> largeurs_;
  std::vector<bool> fusion_;
  long row_ = 0, col_ = 0, topRow_ = 0;
};

}  // namespace kup
