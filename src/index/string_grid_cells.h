// The cells of the hit grid, with the semantics of a string grid: cells by
// column and row, a row count, and a fixed header row 0 that holds the
// column titles as ordinary cells (so it can be emptied like any other).
//
// The search fills hundreds of thousands of rows, so a cell is a view and
// not a string: it points either into the loaded index (kept alive by the
// grid as long as a cell refers to it) or into the grid's own store for
// texts set one by one (headers, edits). Filling a row costs no allocation
// of its own, and a million rows take 16 MB.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fretfile {

class StringGridCells {
 public:
  explicit StringGridCells(int columnCount = 2, int rowCount = 2);

  int ColCount() const { return columnCount_; }
  int RowCount() const { return static_cast<int>(cells_.size() / static_cast<size_t>(columnCount_)); }
  // Rows beyond a lowered count are dropped; new rows are empty.
  void SetRowCount(int rows);

  // The cell's text; empty outside the grid.
  std::string_view Cell(int column, int row) const;
  // Copies text into the grid's own store. Ignored outside the grid.
  void SetCell(int column, int row, std::string_view text);
  // Points the cell at bytes of `owner` (which the grid keeps alive) without
  // copying them; bytes of another owner than the last one are copied.
  // Ignored outside the grid.
  void SetCellView(int column, int row, std::string_view text, const std::shared_ptr<const std::string>& owner);
  // Empties every cell; the row count stays.
  void ClearCells();

 private:
  // 8 bytes a cell: an offset and a size into either the borrowed buffer
  // (the loaded index) or the grid's own store, told apart by a flag bit.
  struct CellText {
    uint32_t offset = 0;
    uint32_t size = 0;  // kOwnText set: the text is in ownTexts_
  };
  static constexpr uint32_t kOwnText = 0x80000000u;
  static constexpr uint32_t kMaxCellSize = kOwnText - 1;
  CellText* At(int column, int row);

  int columnCount_;
  std::vector<CellText> cells_;  // row-major
  std::string ownTexts_;         // texts set one by one, appended
  std::shared_ptr<const std::string> borrowed_;
};

}  // namespace fretfile
