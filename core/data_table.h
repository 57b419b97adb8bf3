#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "row_texts.h"

bool cellHasText(QStringView text);

/// The data table SGData: six columns, row 0 the headings, rows 1.. the record's rows and notes.
/// Rows are addressed as the table's own rows (row 0 included); the Qt model shows row 0 as the
/// horizontal header and table row r as model row r - 1.
class DataTable : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kColumns = RowTexts::kColumns;
  static constexpr int kNotesColumn = 5;
  static constexpr int kInitialRows = 25;
  using Row = RowTexts::Row;

  explicit DataTable(QObject* parent = nullptr);

  /// From now on the table keeps its headings and its rows' notes only, the notes by row: a
  /// table nobody sees (a recorder without a window) costs nothing per row, and its rows'
  /// time and value texts read blank (files take them from the store). For an empty table.
  void keepNotesOnly();
  bool keepsNotesOnly() const { return notesOnly_; }

  /// Row count including the heading row.
  int tableRowCount() const { return notesOnly_ ? notesOnlyRows_ : static_cast<int>(rows_.size()); }
  /// Sets the row count; new rows are blank (" "), removed rows are dropped.
  void setTableRowCount(int count);
  /// Replaces rows 1.. by `rows`, followed by 24 blank rows; keeps the headings.
  void loadRows(RowTexts&& rows);
  /// Appends one blank row (beginInsertRows, never a model reset).
  void appendRow();
  /// Moves the texts of row `from` to row `to` (rows between shift by one). Only rows
  /// 1..lastMovable move; a row dropped beyond them lands on lastMovable. Returns the row it
  /// landed on, 0 when nothing moved.
  int moveRowTexts(int from, int to, int lastMovable);
  /// How many rows (from row 1) the user may drag: the record's rows.
  void setMovableRows(std::function<int()> rows) { movableRows_ = std::move(rows); }

  QString cell(int column, int row) const {
    return notesOnly_ && row > 0 ? notesOnlyCell(column, row)
                                 : rows_.cell(static_cast<size_t>(row), column);
  }
  /// The cell's text without a copy; valid until the row changes.
  QStringView cellView(int column, int row) const {
    return notesOnly_ && row > 0 ? QStringView(notesOnlyCell(column, row))
                                 : rows_.cellView(static_cast<size_t>(row), column);
  }
  /// Whether row `row` holds a note (cellHasText of its notes cell), without touching the
  /// row's texts: a redraw asks it of every row.
  bool rowHasNote(int row) const {
    return notesOnly_ && row > 0 ? cellHasText(notesOnlyCell(kNotesColumn, row)) : noted_[row];
  }
  void setCell(int column, int row, const QString& text);

  /// The first non-fixed row shown at the top of the view.
  int topRow() const { return topRow_; }
  void setTopRow(int row);

  static const QString& blank();
  /// The texts a stored row writes: the time with one decimal, a value with two (blank when
  /// it is missing).
  static QString timeText(double seconds);
  static QString valueText(double value, int decimals = 2);

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Dragging a row by its time cell
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

 signals:
  void topRowChanged(int row);
  /// The user changed cells by typing or dragging: rows first..last, one column or (-1) all.
  void userEdited(int firstRow, int lastRow, int column);

 private:
  const QString& notesOnlyCell(int column, int row) const;
  RowTexts rows_;
  bool notesOnly_ = false;
  int notesOnlyRows_ = 0;
  std::map<int, QString> notes_;  ///< by row, while the table keeps notes only
  std::vector<uint8_t> noted_;    ///< per row: cellHasText of its notes cell
  int topRow_ = 1;
  std::function<int()> movableRows_;
};

/// True when a cell holds text that counts: byte-wise greater than a single space
/// ("" and " " do not count, "  " and "a" do).
bool cellHasText(QStringView text);
