#include "ui/string_grid.h"

#include <QMouseEvent>
#include <QPainter>

#include "archive/display_name.h"

namespace fretfile {

QString ToQString(std::string_view bytes) {
  const std::string shown = archive::DisplayName(bytes);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

std::string ToBytes(const QString& text) { return text.toUtf8().toStdString(); }

StringGridModel::StringGridModel(QObject* parent) : QAbstractTableModel(parent), cells_(2, 2) {}

void StringGridModel::Refresh() {
  beginResetModel();
  endResetModel();
}

int StringGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max(0, cells_.RowCount() - 1);
}

int StringGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : cells_.ColCount(); }

QVariant StringGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  return ToQString(cells_.Cell(index.column(), index.row() + 1));
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return ToQString(cells_.Cell(section, 0));
}

Qt::ItemFlags StringGridModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

namespace {

// Hands every cell to the grid's draw handler after the background (with
// the selection colours for the selected row) has been painted.
class CellDelegate : public QStyledItemDelegate {
 public:
  explicit CellDelegate(StringGridView* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
    if (grid_->DrawCell()) {
      painter->save();
      painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
      grid_->DrawCell()(*painter, index.column(), index.row() + 1, option.rect, selected);
      painter->restore();
    }
  }

 private:
  StringGridView* grid_;
};

// The fixed header row, drawn by the same handler as the cells.
class HeaderRow : public QHeaderView {
 public:
  explicit HeaderRow(StringGridView* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    painter->fillRect(rect, palette().button());
    painter->setPen(palette().mid().color());
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    if (grid_->DrawCell()) {
      painter->setPen(palette().buttonText().color());
      grid_->DrawCell()(*painter, logicalIndex, 0, rect, false);
    }
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QHeaderView::mouseDoubleClickEvent(event);
    emit grid_->DblClick();
  }

 private:
  StringGridView* grid_;
};

}  // namespace

StringGridView::StringGridView(QWidget* parent) : QTableView(parent), model_(new StringGridModel(this)) {
  setModel(model_);
  setHorizontalHeader(new HeaderRow(this));
  setItemDelegate(new CellDelegate(this));
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(RowHeight());
  horizontalHeader()->setFixedHeight(RowHeight() + 1);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  setColumnWidth(0, 228);
  setColumnWidth(1, 347);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setTabKeyNavigation(false);
}

void StringGridView::SetDrawCellHandler(DrawCellHandler handler) { drawCell_ = std::move(handler); }

void StringGridView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  emit DblClick();
}

int StringGridView::Row() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? current.row() + 1 : 0;
}

void StringGridView::SetRow(int row) {
  if (row < 1 || row > model_->rowCount()) return;
  setCurrentIndex(model_->index(row - 1, std::max(0, currentIndex().column())));
  selectRow(row - 1);
}

}  // namespace fretfile
