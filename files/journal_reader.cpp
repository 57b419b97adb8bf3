#include <charconv>
#include <cmath>
#include <map>

#include "journal_format.h"
#include "record_journal.h"
#include "text_lines.h"

namespace {
std::optional<QString> unescaped(QByteArrayView bytes) {
  QByteArray out;
  out.reserve(bytes.size());
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\\') {
      out += bytes[i];
      continue;
    }
    if (++i == bytes.size()) return std::nullopt;
    switch (bytes[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return QString::fromUtf8(out);
}

std::optional<int> parseWhole(QByteArrayView text) {
  int value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> parseValue(QByteArrayView text) {
  if (text.isEmpty()) return kMissingValue;
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  // A value that is not finite cannot be saved or read back: it is missing (a time is refused).
  return std::isfinite(value) ? value : kMissingValue;
}

std::vector<QByteArrayView> fieldsOf(QByteArrayView line, int count) {
  std::vector<QByteArrayView> fields;
  qsizetype start = 0;
  while (static_cast<int>(fields.size()) + 1 < count) {
    const qsizetype semicolon = line.indexOf(';', start);
    if (semicolon < 0) break;
    fields.push_back(line.sliced(start, semicolon - start));
    start = semicolon + 1;
  }
  fields.push_back(line.sliced(start));
  return fields;
}

// Rebuilds a record line by line. Rows keep their order; a row whose line was damaged is left
// out, and the rows after it move up, so entries name rows by their journal number.
class JournalReader {
 public:
  explicit JournalReader(JournalRecord& record) : record_(record) {}

  // Applies one complete line; false when it is damaged.
  bool apply(QByteArrayView line) {
    const qsizetype semicolon = line.indexOf(';');
    if (semicolon < 0) return false;
    const QByteArrayView keyword = line.first(semicolon);
    const QByteArrayView rest = line.sliced(semicolon + 1);
    if (keyword == "row") return applyRow(fieldsOf(rest, 2 + kChannels));
    if (keyword == "note") {
      const auto fields = fieldsOf(rest, 2);
      const std::optional<int> row = fields.size() == 2 ? parseWhole(fields[0]) : std::nullopt;
      const std::optional<QString> text = row ? unescaped(fields[1]) : std::nullopt;
      return text && placeText(*row, DataTable::kNotesColumn, *text);
    }
    if (keyword == "cell") {
      const auto fields = fieldsOf(rest, 3);
      const std::optional<int> row = fields.size() == 3 ? parseWhole(fields[0]) : std::nullopt;
      const std::optional<int> column = row ? parseWhole(fields[1]) : std::nullopt;
      const std::optional<QString> text = column ? unescaped(fields[2]) : std::nullopt;
      return text && *row > 0 && *column >= 0 && *column < DataTable::kColumns &&
             placeText(*row, *column, *text);
    }
    StagedRecord& staged = record_.staged;
    if (keyword == "owner") {
      const std::optional<QString> text = unescaped(rest);
      if (text) record_.owner = *text;
      return text.has_value();
    }
    if (keyword == "experiment" || keyword == "start") {
      const std::optional<QString> text = unescaped(rest);
      if (!text) return false;
      (keyword == "start" ? staged.startTime : staged.experiment) = *text;
      return true;
    }
    if (keyword == "channel") {
      const auto fields = fieldsOf(rest, 3);
      const std::optional<int> channel = fields.size() == 3 ? parseWhole(fields[0]) : std::nullopt;
      const std::optional<QString> unit = channel ? unescaped(fields[2]) : std::nullopt;
      if (!unit || *channel < 1 || *channel > kChannels || fields[1].size() != 1) return false;
      staged.selected[*channel] = fields[1] == "1";
      staged.unitLabels[*channel] = *unit;
      return true;
    }
    if (keyword == "decimals") {
      const auto fields = fieldsOf(rest, 2);
      const std::optional<int> channel = fields.size() == 2 ? parseWhole(fields[0]) : std::nullopt;
      const std::optional<int> decimals = channel ? parseWhole(fields[1]) : std::nullopt;
      if (!decimals || *channel < 1 || *channel > kChannels || *decimals < 2 ||
          *decimals > kMostValueDecimals) {
        return false;
      }
      staged.valueDecimals[*channel] = *decimals;
      return true;
    }
    return false;
  }

 private:
  bool applyRow(const std::vector<QByteArrayView>& fields) {
    if (fields.size() != 2 + kChannels) return false;
    const std::optional<int> row = parseWhole(fields[0]);
    // Row numbers only grow: a repeated or earlier number is a damaged line.
    if (!row || *row <= lastJournalRow_ || *row > kMaxRows) return false;
    std::array<double, kChannels + 1> values{};
    for (int i = 0; i <= kChannels; ++i) {
      const std::optional<double> value = parseValue(fields[1 + i]);
      if (!value || (i == 0 && isMissing(*value))) return false;
      if (isMissing(*value) && !fields[1 + i].isEmpty()) ++record_.staged.notFiniteValues;
      values[i] = *value;
    }
    StagedRecord& staged = record_.staged;
    if (staged.rowCount == kMaxRows) return false;
    lastJournalRow_ = *row;
    journalRows_.push_back(*row);
    staged.time.push_back(values[0]);
    DataTable::Row cells;
    cells[0] = DataTable::timeText(values[0]);
    for (int c = 1; c <= kChannels; ++c) {
      staged.value[c].push_back(values[c]);
      cells[c] = DataTable::valueText(values[c], staged.valueDecimals[c]);
    }
    cells[DataTable::kNotesColumn] = DataTable::blank();
    // A note typed ahead stays (texts typed ahead into value cells are replaced by the row's,
    // as in the table); a note of a row that never came goes to the row before it.
    for (auto waiting = pending_.begin(); waiting != pending_.end() && waiting->first <= *row;
         waiting = pending_.erase(waiting)) {
      if (waiting->first == *row) {
        cells[DataTable::kNotesColumn] = waiting->second;
      } else {
        keepNoteOfLostRow(staged.rowCount, waiting->second);  // the row kept last, or the heading
      }
    }
    staged.cells.push_back(cells);
    ++staged.rowCount;
    return true;
  }

  // Puts a text into the cell of journal row `row`.
  bool placeText(int row, int column, const QString& text) {
    if (row < 0 || row > kMaxRows) return false;
    if (row == 0) {  // a note before the first row: the heading row's notes cell
      if (column != DataTable::kNotesColumn) return false;
      record_.headingNote = text;
      return true;
    }
    if (row > lastJournalRow_) {  // not stored yet: only its note outlives the row's arrival
      if (column == DataTable::kNotesColumn) pending_[row] = text;
      return true;
    }
    // The row itself, or the one before it when its line was damaged.
    const auto after = std::upper_bound(journalRows_.begin(), journalRows_.end(), row);
    const int kept = static_cast<int>(after - journalRows_.begin());  // rows up to `row`
    if (kept > 0 && journalRows_[kept - 1] == row) {
      record_.staged.cells.setCell(static_cast<size_t>(kept - 1), column, text);
    } else if (column == DataTable::kNotesColumn) {
      keepNoteOfLostRow(kept, text);
    }
    return true;
  }

 public:
  // Notes of rows that never came, after the last row: they go to the last row.
  void finish() {
    for (const auto& [row, note] : pending_) keepNoteOfLostRow(record_.staged.rowCount, note);
    pending_.clear();
  }

 private:
  // Adds a note whose row was lost to row `row` (1-based; 0: the heading row), keeping what the
  // cell holds.
  void keepNoteOfLostRow(int row, const QString& note) {
    auto joined = [&note](const QString& held) {
      return cellHasText(held) ? held + QStringLiteral("  ") + note : note;
    };
    if (row > 0) {
      const auto index = static_cast<size_t>(row - 1);
      RowTexts& cells = record_.staged.cells;
      cells.setCell(index, DataTable::kNotesColumn,
                    joined(cells.cell(index, DataTable::kNotesColumn)));
    } else {
      record_.headingNote = joined(record_.headingNote.value_or(QString()));
    }
  }

  JournalRecord& record_;
  int lastJournalRow_ = 0;
  std::vector<int> journalRows_;    // the journal number of each row kept, in order
  std::map<int, QString> pending_;  // notes of rows not stored yet, by journal number
};
}  // namespace

std::optional<JournalRecord> readJournal(QIODevice& device) {
  const QByteArray bytes = device.readAll();
  qsizetype end = bytes.indexOf('\n');
  if (end < 0 || QByteArrayView(bytes).first(end) != kJournalFirstLine) return std::nullopt;
  JournalRecord record;
  JournalReader reader(record);
  // Only complete lines count: a line without its LF was cut off by the crash, not damaged.
  for (qsizetype start = end + 1; (end = bytes.indexOf('\n', start)) >= 0; start = end + 1) {
    if (!reader.apply(QByteArrayView(bytes).sliced(start, end - start))) ++record.damagedLines;
  }
  reader.finish();
  return record;
}
