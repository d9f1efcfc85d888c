#include "index/string_grid_cells.h"

#include <algorithm>
#include <limits>

namespace fretfile {

StringGridCells::StringGridCells(int columnCount, int rowCount) : columnCount_(std::max(1, columnCount)) {
  SetRowCount(rowCount);
}

void StringGridCells::SetRowCount(int rows) {
  cells_.resize(static_cast<size_t>(std::max(0, rows)) * static_cast<size_t>(columnCount_));
}

StringGridCells::CellText* StringGridCells::At(int column, int row) {
  if (column < 0 || column >= columnCount_ || row < 0 || row >= RowCount()) return nullptr;
  return &cells_[static_cast<size_t>(row) * static_cast<size_t>(columnCount_) + static_cast<size_t>(column)];
}

std::string_view StringGridCells::Cell(int column, int row) const {
  auto* cell = const_cast<StringGridCells*>(this)->At(column, row);
  return cell == nullptr ? std::string_view() : std::string_view(cell->data, cell->size);
}

void StringGridCells::SetCell(int column, int row, std::string_view text) {
  CellText* cell = At(column, row);
  if (cell == nullptr) return;
  if (text.empty()) {
    *cell = {};
    return;
  }
  const size_t size = std::min<size_t>(text.size(), std::numeric_limits<uint32_t>::max());
  ownTexts_.push_back(std::make_unique<std::string>(text.substr(0, size)));
  *cell = {ownTexts_.back()->data(), static_cast<uint32_t>(size)};
}

void StringGridCells::SetCellView(int column, int row, std::string_view text,
                                  const std::shared_ptr<const std::string>& owner) {
  CellText* cell = At(column, row);
  if (cell == nullptr) return;
  if (borrowed_.empty() || borrowed_.back() != owner) borrowed_.push_back(owner);
  *cell = {text.data(), static_cast<uint32_t>(std::min<size_t>(text.size(), std::numeric_limits<uint32_t>::max()))};
}

void StringGridCells::ClearCells() {
  std::fill(cells_.begin(), cells_.end(), CellText{});
  ownTexts_.clear();
  borrowed_.clear();
}

void StringGridCells::Reserve(size_t rows) { cells_.reserve(rows * static_cast<size_t>(columnCount_)); }

}  // namespace fretfile
