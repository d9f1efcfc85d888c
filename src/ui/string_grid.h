// The hit grid: a QTableView over a model that only presents the cells of a
// StringGridCells. Row 0 of the cells is the fixed header row and is shown
// in the horizontal header; model row r is grid row r + 1. Filling a million
// rows costs one model reset, not a million item objects.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

#include "index/string_grid_cells.h"

namespace fretfile {

// Bytes as the user sees them: names (and texts holding one) by the display
// rule of archive/display_name.h, UTF-8 or else CP437 / Windows-1252. The
// cells keep the bytes; only what is shown is converted.
QString ToQString(std::string_view bytes);
// What the user typed, as the program's bytes (UTF-8).
std::string ToBytes(const QString& text);

class StringGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit StringGridModel(QObject* parent = nullptr);

  StringGridCells& Cells() { return cells_; }
  const StringGridCells& Cells() const { return cells_; }
  // Tells the view that the cells changed (after a search, an emptying).
  void Refresh();
  // Brackets a long fill of the cells: the view asks nothing in between.
  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  StringGridCells cells_;
};

// Paints one cell: (column, grid row, rect, selected). Row 0 is the header.
using DrawCellHandler = std::function<void(QPainter&, int column, int row, const QRect& rect, bool selected)>;

class StringGridView : public QTableView {
  Q_OBJECT
 public:
  explicit StringGridView(QWidget* parent = nullptr);

  StringGridModel* Model() const { return model_; }
  StringGridCells& Cells() const { return model_->Cells(); }
  void SetDrawCellHandler(DrawCellHandler handler);
  const DrawCellHandler& DrawCell() const { return drawCell_; }
  // The selected grid row (1 .. RowCount-1), 0 when none, like a string
  // grid's Row whose fixed row is 0.
  int Row() const;
  void SetRow(int row);
  int RowHeight() const { return 15; }

 signals:
  // A double click anywhere in the grid: on a row, on the header row or
  // below the last row. Where it was is not told: the selected row is what
  // a double click opens.
  void DblClick();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  StringGridModel* model_;
  DrawCellHandler drawCell_;
};

}  // namespace fretfile
