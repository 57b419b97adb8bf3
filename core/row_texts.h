#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <vector>

/// The texts of a table's rows, six cells each, kept as one string per row: a 100000-row record
/// costs one allocation a row instead of six (a record opened in the window is mostly these).
class RowTexts {
 public:
  static constexpr int kColumns = 6;
  using Row = std::array<QString, kColumns>;
  using RowViews = std::array<QStringView, kColumns>;

  size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  void reserve(size_t rows) { rows_.reserve(rows); }
  /// New rows are blank (" " in every cell).
  void resize(size_t rows);
  void push_back(const RowViews& cells);
  void push_back(const Row& cells) { push_back(views(cells)); }
  void insertFront(const Row& cells);

  QString cell(size_t row, int column) const;
  /// Valid until the row changes.
  QStringView cellView(size_t row, int column) const;
  void setCell(size_t row, int column, QStringView text);
  void setRow(size_t row, const RowViews& cells) { rows_[row] = pack(cells); }
  /// Replaces the first `from` of the cell by `to`, in place.
  void replaceFirst(size_t row, int column, QChar from, QChar to);
  Row row(size_t row) const;
  Row operator[](size_t index) const { return row(index); }
  Row back() const { return row(rows_.size() - 1); }
  /// Rows [first, last) turned so that `middle` comes first, as std::rotate.
  void rotate(size_t first, size_t middle, size_t last);

  bool operator==(const std::vector<Row>& rows) const;

 private:
  struct Packed {
    QString text;
    std::array<uint32_t, kColumns - 1> ends{};  ///< where cells 0..4 end; the notes run to the end
  };
  static Packed pack(const RowViews& cells);
  static RowViews views(const Row& cells);
  static const Packed& blankRow();
  std::vector<Packed> rows_;
};
