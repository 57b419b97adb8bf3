#pragma once

#include <QString>
#include <array>

#include "data_table.h"

class QTableView;

/// Keeps the data table readable at any font: each number column as wide as its widest text
/// and its heading, each row as tall as the font needs, never smaller than the layout's sizes
/// at the default font.
class TableFit {
 public:
  TableFit(QTableView& view, const DataTable& table,
           const std::array<int, DataTable::kColumns>& minimumWidths, int minimumRowHeight,
           int minimumViewWidth);
  /// Widens the columns for the texts of table rows first..last.
  void takeRows(int first, int last);
  /// A new record: back to the widths of the headings and the layout.
  void reset();
  /// Sizes columns, rows and the view for the current font.
  void apply();

 private:
  QTableView& view_;
  const DataTable& table_;
  std::array<int, DataTable::kColumns> minimumWidths_;
  int minimumRowHeight_;
  int minimumViewWidth_;
  /// The table row of the longest text seen in each number column (0: none); the notes column
  /// keeps its width.
  std::array<int, DataTable::kNotesColumn> longestRow_{};
};
