#include "data_table.h"

#include <QMimeData>
#include <algorithm>

#include "numbers.h"
#include "record_store.h"

DataTable::DataTable(QObject* parent) : QAbstractTableModel(parent) {
  rows_.reserve(kInitialRows);
  setTableRowCount(kInitialRows);
}

const QString& DataTable::blank() {
  static const QString kBlank = QStringLiteral(" ");
  return kBlank;
}

void DataTable::keepNotesOnly() {
  notesOnly_ = true;
  notesOnlyRows_ = tableRowCount();
  rows_.resize(1);  // the headings
  noted_.resize(1);
}

const QString& DataTable::notesOnlyCell(int column, int row) const {
  if (column != kNotesColumn) return blank();
  const auto note = notes_.find(row);
  return note == notes_.end() ? blank() : note->second;
}

void DataTable::setTableRowCount(int count) {
  count = std::max(count, 1);
  if (notesOnly_) {
    notesOnlyRows_ = count;
    notes_.erase(notes_.lower_bound(count), notes_.end());
    return;
  }
  const int old = tableRowCount();
  if (count > old) {
    beginInsertRows({}, std::max(old - 1, 0), count - 2);
    rows_.resize(static_cast<size_t>(count));
    noted_.resize(static_cast<size_t>(count), false);
    endInsertRows();
  } else if (count < old) {
    beginRemoveRows({}, count - 1, old - 2);
    rows_.resize(static_cast<size_t>(count));
    noted_.resize(static_cast<size_t>(count));
    endRemoveRows();
  }
}

void DataTable::loadRows(RowTexts&& rows) {
  beginResetModel();
  const Row headings = rows_.row(0);
  rows_ = std::move(rows);
  rows_.insertFront(headings);
  rows_.resize(rows_.size() + kInitialRows - 1);
  noted_.resize(rows_.size());
  for (size_t row = 0; row < rows_.size(); ++row) {
    noted_[row] = cellHasText(rows_.cellView(row, kNotesColumn));
  }
  endResetModel();
  setTopRow(1);
}

void DataTable::appendRow() {
  if (notesOnly_) {
    ++notesOnlyRows_;
    return;
  }
  const int modelRow = tableRowCount() - 1;
  beginInsertRows({}, modelRow, modelRow);
  rows_.resize(rows_.size() + 1);
  noted_.push_back(false);
  endInsertRows();
}

int DataTable::moveRowTexts(int from, int to, int lastMovable) {
  lastMovable = std::min(lastMovable, tableRowCount() - 1);
  to = std::clamp(to, 1, std::max(lastMovable, 1));
  if (from < 1 || from > lastMovable || from == to) return 0;
  // Model rows are table rows - 1; moving down, Qt wants the row before which it lands.
  beginMoveRows({}, from - 1, from - 1, {}, to > from ? to : to - 1);
  if (from < to) {
    rows_.rotate(from, from + 1, to + 1);
    std::rotate(noted_.begin() + from, noted_.begin() + from + 1, noted_.begin() + to + 1);
  } else {
    rows_.rotate(to, from, from + 1);
    std::rotate(noted_.begin() + to, noted_.begin() + from, noted_.begin() + from + 1);
  }
  endMoveRows();
  return to;
}

void DataTable::setCell(int column, int row, const QString& text) {
  if (notesOnly_ && row > 0) {
    if (column != kNotesColumn) return;
    if (cellHasText(text)) {
      notes_[row] = text;
    } else {
      notes_.erase(row);
    }
    return;
  }
  rows_.setCell(static_cast<size_t>(row), column, text);
  if (column == kNotesColumn) noted_[row] = cellHasText(text);
  if (row == 0) {
    emit headerDataChanged(Qt::Horizontal, column, column);
  } else {
    const QModelIndex changed = index(row - 1, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
  }
}

void DataTable::setTopRow(int row) {
  topRow_ = row;
  emit topRowChanged(row);
}

int DataTable::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : tableRowCount() - 1;
}

int DataTable::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant DataTable::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole) return cell(index.column(), index.row() + 1);
  if (role == Qt::TextAlignmentRole && index.column() < kNotesColumn) {
    return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));  // number columns
  }
  return {};
}

bool DataTable::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  setCell(index.column(), index.row() + 1, value.toString());
  emit userEdited(index.row() + 1, index.row() + 1, index.column());
  return true;
}

QVariant DataTable::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal && section >= 0 && section < kColumns) return cell(section, 0);
  return {};
}

Qt::ItemFlags DataTable::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (index.column() > 0) f |= Qt::ItemIsEditable;  // the time column is fixed
  const int movable = movableRows_ ? movableRows_() : 0;
  if (index.isValid() && index.row() < movable) {
    f |= Qt::ItemIsDropEnabled;
    if (index.column() == 0) f |= Qt::ItemIsDragEnabled;  // the time cell is the row's handle
  }
  return f;
}

namespace {
const QString kRowMimeType = QStringLiteral("application/x-velan-table-row");
}

QStringList DataTable::mimeTypes() const { return {kRowMimeType}; }

QMimeData* DataTable::mimeData(const QModelIndexList& indexes) const {
  if (indexes.isEmpty()) return nullptr;
  auto* data = new QMimeData;
  data->setData(kRowMimeType, QByteArray::number(indexes.front().row() + 1));
  return data;
}

bool DataTable::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int,
                             const QModelIndex& parent) {
  if (!data || !data->hasFormat(kRowMimeType)) return false;
  bool ok = false;
  const int from = data->data(kRowMimeType).toInt(&ok);
  // Dropped onto a row, or between rows (then onto the one below the gap).
  const int to = parent.isValid() ? parent.row() + 1 : row + 1;
  if (!ok || to < 1) return false;
  const int landed = moveRowTexts(from, to, movableRows_ ? movableRows_() : 0);
  if (landed > 0) emit userEdited(std::min(from, landed), std::max(from, landed), -1);
  return true;
}

QString DataTable::timeText(double seconds) { return formatCell(seconds, 5, 1); }

QString DataTable::valueText(double value, int decimals) {
  return isMissing(value) ? blank() : formatCell(value, 6, decimals);
}

bool cellHasText(QStringView text) {
  if (text.isEmpty()) return false;
  if (text.front().unicode() > 0x20) return true;
  return text.front().unicode() == 0x20 && text.size() > 1;
}
