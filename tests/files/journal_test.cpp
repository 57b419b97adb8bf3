#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "record_journal.h"

namespace {

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    fields.setChannelSelected(3, true);
    fields.setExperiment(QStringLiteral("line\\one\ntwo; three"));
    fields.setStartTime(QStringLiteral("08.12.2026  01:02:03"));
  }
  void storeRow(double time, double ch1, double ch3) {
    const int n = ++store->rowCount;
    store->time[n] = time;
    store->value[1][n] = ch1;
    store->value[2][n] = kMissingValue;
    store->value[3][n] = ch3;
    store->value[4][n] = kMissingValue;
    journal.rowStored();
  }
  QByteArray journalBytes() {
    QFile file(journal.path());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }
  static std::optional<JournalRecord> read(QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return readJournal(buffer);
  }

  QTemporaryDir home;
  std::unique_ptr<RecordStore> store = std::make_unique<RecordStore>();
  PlainRecordFields fields;
  RecordJournal journal{*store, fields};
};

TEST_F(JournalTest, RebuildsTheRecordExactly) {
  journal.begin();
  journal.noteAdded(0, QStringLiteral("0.00-> before the first row"));
  journal.noteAdded(1, QStringLiteral("08.12.2026  01:02:03"));
  storeRow(0.25, 0.1 + 0.2, -14.04);
  storeRow(0.5, kMissingValue, 1e-300);
  journal.noteAdded(2, QStringLiteral("first"));
  journal.noteAdded(2, QStringLiteral("0.01-> a\\b\r\nc"));  // the last note of a row wins
  fields.setUnitLabel(3, QStringLiteral("pH"));
  journal.fieldsChanged();

  const auto record = read(journalBytes());
  ASSERT_TRUE(record);
  const StagedRecord& staged = record->staged;
  EXPECT_EQ(staged.experiment, fields.experiment());
  EXPECT_EQ(staged.startTime, fields.startTime());
  EXPECT_TRUE(staged.selected[1] && staged.selected[3] && !staged.selected[2]);
  EXPECT_EQ(staged.unitLabels[3], QStringLiteral("pH"));
  ASSERT_EQ(staged.rowCount, 2);
  EXPECT_EQ(staged.value[1][0], 0.1 + 0.2) << "numbers come back bit for bit";
  EXPECT_EQ(staged.value[3][1], 1e-300);
  EXPECT_TRUE(isMissing(staged.value[1][1]));
  EXPECT_EQ(staged.cells[0][0], QStringLiteral("  0.3"));
  EXPECT_EQ(staged.cells[0][3], QStringLiteral("-14.04"));
  EXPECT_EQ(staged.cells[1][1], DataTable::blank());
  EXPECT_EQ(staged.cells[0][5], QStringLiteral("08.12.2026  01:02:03"));
  EXPECT_EQ(staged.cells[1][5], QStringLiteral("0.01-> a\\b\r\nc"));
  EXPECT_EQ(record->headingNote, QStringLiteral("0.00-> before the first row"));

  journal.discard();
  EXPECT_TRUE(QDir(RecordJournal::directory()).entryList(QDir::Files).isEmpty())
      << "journal and lock are gone";
}

TEST_F(JournalTest, CutOrDamagedJournalsKeepEveryCompleteRowBeforeTheDamage) {
  journal.begin();
  for (int r = 1; r <= 3; ++r) storeRow(r, 100.0 * r, 1.5);
  const QByteArray whole = journalBytes();
  const qsizetype lastRow = whole.lastIndexOf("row;3;");
  struct Case {
    const char* what;
    QByteArray bytes;
    int rows;  // -1: not a journal
  } const cases[] = {
      {"whole", whole, 3},
      {"cut inside the last row", whole.left(lastRow + 8), 2},
      {"cut before its line end", whole.left(whole.size() - 1), 2},
      {"garbage in the middle", QByteArray(whole).insert(lastRow, "row;x;;\n"), 2},
      {"a row out of order", QByteArray(whole).replace("row;2;", "row;5;"), 1},
      {"bad escape", QByteArray(whole).replace("row;3;", "note;1;\\q\nrow;3;"), 2},
      {"no time", QByteArray(whole).replace("row;1;1;", "row;1;;"), 0},
      {"first line only", whole.left(whole.indexOf('\n') + 1), 0},
      {"another file", QByteArray("<Velan data file>\r\n"), -1},
      {"empty", QByteArray(), -1},
  };
  for (const Case& c : cases) {
    const auto record = read(c.bytes);
    if (c.rows < 0) {
      EXPECT_FALSE(record) << c.what;
      continue;
    }
    ASSERT_TRUE(record) << c.what;
    EXPECT_EQ(record->staged.rowCount, c.rows) << c.what;
    EXPECT_EQ(record->staged.cells.size(), static_cast<size_t>(c.rows)) << c.what;
  }
}

TEST_F(JournalTest, AJournalWhoseOwnerRunsIsNeverTaken) {
  auto running = std::make_unique<RecordJournal>(*store, fields);
  running->begin();
  const QString path = running->path();
  EXPECT_TRUE(findOrphanedJournals().empty()) << "its program still holds it";
  running.reset();  // ends without discarding: the journal stays, its lock goes
  auto found = findOrphanedJournals();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, path);
  EXPECT_TRUE(findOrphanedJournals().empty()) << "the finder holds it now";
}

}  // namespace
