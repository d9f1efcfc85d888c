#include "index/string_grid_cells.h"

#include <algorithm>
#include <cstdint>

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
  const auto* cell = const_cast<StringGridCells*>(this)->At(column, row);
  if (cell == nullptr || cell->size == 0) return {};
  if (cell->size & kOwnText) return std::string_view(ownTexts_).substr(cell->offset, cell->size & ~kOwnText);
  return std::string_view(*borrowed_).substr(cell->offset, cell->size);
}

void StringGridCells::SetCell(int column, int row, std::string_view text) {
  CellText* cell = At(column, row);
  if (cell == nullptr) return;
  text = text.substr(0, kMaxCellSize);
  if (text.empty() || ownTexts_.size() + text.size() > UINT32_MAX) {
    *cell = {};
    return;
  }
  *cell = {static_cast<uint32_t>(ownTexts_.size()), static_cast<uint32_t>(text.size()) | kOwnText};
  ownTexts_.append(text);
}

void StringGridCells::SetCellView(int column, int row, std::string_view text,
                                  const std::shared_ptr<const std::string>& owner) {
  CellText* cell = At(column, row);
  if (cell == nullptr) return;
  if (!borrowed_ && owner) borrowed_ = owner;
  const bool inBorrowed = owner && owner == borrowed_ && text.data() >= borrowed_->data() &&
                          text.data() + text.size() <= borrowed_->data() + borrowed_->size();
  const auto offset = inBorrowed ? static_cast<size_t>(text.data() - borrowed_->data()) : 0;
  if (!inBorrowed || offset > UINT32_MAX || text.size() > kMaxCellSize) {
    SetCell(column, row, text);
    return;
  }
  *cell = {static_cast<uint32_t>(offset), static_cast<uint32_t>(text.size())};
}

void StringGridCells::ClearCells() {
  std::fill(cells_.begin(), cells_.end(), CellText{});
  ownTexts_.clear();
  ownTexts_.shrink_to_fit();
  borrowed_.reset();
}

}  // namespace fretfile
