#include "table_fit.h"

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>

namespace {
/// A cell text never shows more than this (the table's rule for numbers); typed texts longer
/// than that are not worth a wider column.
constexpr qsizetype kLongestCellText = 10;
}  // namespace

TableFit::TableFit(QTableView& view, const DataTable& table,
                   const std::array<int, DataTable::kColumns>& minimumWidths, int minimumRowHeight,
                   int minimumViewWidth)
    : view_(view),
      table_(table),
      minimumWidths_(minimumWidths),
      minimumRowHeight_(minimumRowHeight),
      minimumViewWidth_(minimumViewWidth) {}

void TableFit::takeRows(int first, int last) {
  bool wider = false;
  for (int column = 0; column < DataTable::kNotesColumn; ++column) {
    // Row 0 holds the headings, which the header measures.
    qsizetype longest =
        longestRow_[column] > 0 ? table_.cellView(column, longestRow_[column]).size() : 0;
    for (int row = first; row <= last; ++row) {
      const qsizetype length = table_.cellView(column, row).size();
      if (length > longest && length <= kLongestCellText) {
        longest = length;
        longestRow_[column] = row;
        wider = true;
      }
    }
  }
  if (wider) apply();
}

void TableFit::reset() {
  longestRow_.fill(0);
  apply();
}

void TableFit::apply() {
  QStyleOptionViewItem option;
  option.initFrom(&view_);
  option.widget = &view_;
  int total = 0;
  for (int column = 0; column < DataTable::kColumns; ++column) {
    int width = std::max(minimumWidths_[column], view_.horizontalHeader()->sectionSizeHint(column));
    if (column < DataTable::kNotesColumn && longestRow_[column] > 0) {
      // As the view measures a cell (the model shows table row r as its row r - 1), plus the
      // grid line.
      const QModelIndex cell = table_.index(longestRow_[column] - 1, column);
      width = std::max(width, view_.itemDelegateForIndex(cell)->sizeHint(option, cell).width() + 1);
    }
    view_.setColumnWidth(column, width);
    total += width;
  }
  const int rowHeight = std::max(minimumRowHeight_, view_.fontMetrics().height() + 2);
  view_.verticalHeader()->setMinimumSectionSize(rowHeight);
  view_.verticalHeader()->setDefaultSectionSize(rowHeight);
  // Every column stays in view: the table has no horizontal scroll bar.
  view_.setMinimumWidth(
      std::max(minimumViewWidth_,
               total + view_.verticalScrollBar()->sizeHint().width() + 2 * view_.frameWidth()));
}
