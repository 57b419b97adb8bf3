#include "row_texts.h"

#include <algorithm>

namespace {
const QString& blankCell() {
  static const QString kBlank = QStringLiteral(" ");
  return kBlank;
}
}  // namespace

const RowTexts::Packed& RowTexts::blankRow() {
  static const Packed kBlankRow = [] {
    RowViews cells;
    cells.fill(blankCell());
    return pack(cells);
  }();
  return kBlankRow;  // shared: a blank row costs no allocation
}

RowTexts::Packed RowTexts::pack(const RowViews& cells) {
  qsizetype length = 0;
  for (const QStringView cell : cells) length += cell.size();
  Packed packed;
  packed.text.reserve(length);
  for (int column = 0; column < kColumns; ++column) {
    packed.text.append(cells[column]);
    if (column < kColumns - 1) packed.ends[column] = static_cast<uint32_t>(packed.text.size());
  }
  return packed;
}

RowTexts::RowViews RowTexts::views(const Row& cells) {
  RowViews result;
  std::copy(cells.begin(), cells.end(), result.begin());
  return result;
}

void RowTexts::resize(size_t rows) { rows_.resize(rows, blankRow()); }

void RowTexts::push_back(const RowViews& cells) { rows_.push_back(pack(cells)); }

void RowTexts::insertFront(const Row& cells) { rows_.insert(rows_.begin(), pack(views(cells))); }

QStringView RowTexts::cellView(size_t row, int column) const {
  const Packed& packed = rows_[row];
  const uint32_t start = column > 0 ? packed.ends[column - 1] : 0;
  const uint32_t end =
      column < kColumns - 1 ? packed.ends[column] : static_cast<uint32_t>(packed.text.size());
  return QStringView(packed.text).sliced(start, end - start);
}

QString RowTexts::cell(size_t row, int column) const {
  const QStringView text = cellView(row, column);
  // The blank cell is shared, as most cells of a table's tail and of unused channels are blank.
  return text == blankCell() ? blankCell() : text.toString();
}

void RowTexts::setCell(size_t row, int column, QStringView text) {
  // The old text lives until the new one is built: `text` may be a view into it.
  RowViews cells;
  for (int c = 0; c < kColumns; ++c) cells[c] = cellView(row, c);
  cells[column] = text;
  rows_[row] = pack(cells);
}

void RowTexts::replaceFirst(size_t row, int column, QChar from, QChar to) {
  const qsizetype found = cellView(row, column).indexOf(from);
  if (found < 0) return;
  const uint32_t start = column > 0 ? rows_[row].ends[column - 1] : 0;
  rows_[row].text[start + found] = to;
}

RowTexts::Row RowTexts::row(size_t index) const {
  Row cells;
  for (int column = 0; column < kColumns; ++column) cells[column] = cell(index, column);
  return cells;
}

void RowTexts::rotate(size_t first, size_t middle, size_t last) {
  std::rotate(rows_.begin() + static_cast<std::ptrdiff_t>(first),
              rows_.begin() + static_cast<std::ptrdiff_t>(middle),
              rows_.begin() + static_cast<std::ptrdiff_t>(last));
}

bool RowTexts::operator==(const std::vector<Row>& rows) const {
  if (rows.size() != rows_.size()) return false;
  for (size_t index = 0; index < rows.size(); ++index) {
    if (row(index) != rows[index]) return false;
  }
  return true;
}
