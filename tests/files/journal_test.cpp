#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "journal_recovery.h"
#include "ordinary_user.h"
#include "plain_record_fields.h"
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
  DataTable table;
  RecordJournal journal{*store, table, fields};
};

TEST_F(JournalTest, RebuildsTheRecordExactly) {
  journal.begin();
  journal.noteAdded(0, QStringLiteral("0.00-> before the first row"));
  journal.noteAdded(1, QStringLiteral("08.12.2026  01:02:03"));
  storeRow(0.25, 0.1 + 0.2, -14.04);
  storeRow(0.5, kMissingValue, 1e-300);
  journal.noteAdded(2, QStringLiteral("first"));
  journal.noteAdded(2, QStringLiteral("0.01-> a\\b\r\nc"));  // the last note of a row wins
  fields.setUnitLabel(3, QStringLiteral("p\\H"));            // a backslash without a line break
  journal.fieldsChanged();

  const auto record = read(journalBytes());
  ASSERT_TRUE(record);
  const StagedRecord& staged = record->staged;
  EXPECT_EQ(staged.experiment, fields.experiment());
  EXPECT_EQ(staged.startTime, fields.startTime());
  EXPECT_TRUE(staged.selected[1] && staged.selected[3] && !staged.selected[2]);
  EXPECT_EQ(staged.unitLabels[3], QStringLiteral("p\\H"));
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

TEST_F(JournalTest, TypedCellsAndDraggedRowsComeBackAndARestoredRecordGetsAWholeJournal) {
  journal.begin();
  table.setTableRowCount(5);
  for (int r = 1; r <= 3; ++r) {
    storeRow(r, 10.0 * r, kMissingValue);
    table.setCell(0, r, DataTable::timeText(r));
    table.setCell(1, r, DataTable::valueText(10.0 * r));
  }
  table.setCell(5, 2, QStringLiteral("typed;\\n"));
  journal.cellsEdited(table, 2, 2, 5);
  table.moveRowTexts(1, 3, 3);  // row 1's texts to row 3
  journal.cellsEdited(table, 1, 3, -1);
  table.setCell(5, 4, QStringLiteral("typed ahead"));  // into the blank row after the record
  journal.cellsEdited(table, 4, 4, 5);
  storeRow(4, 40.0, kMissingValue);
  journal.noteAdded(0, QStringLiteral("heading"));

  auto record = read(journalBytes());
  ASSERT_TRUE(record);
  const std::vector<DataTable::Row> expected = {
      {"  2.0", " 20.00", " ", " ", " ", "typed;\\n"},
      {"  3.0", " 30.00", " ", " ", " ", " "},
      {"  1.0", " 10.00", " ", " ", " ", " "},
      {"  4.0", " 40.00", " ", " ", " ", "typed ahead"},
  };
  EXPECT_EQ(record->staged.cells, expected);
  EXPECT_EQ(record->damagedLines, 0);

  // Put back, the record gets a journal of its own that gives back the same.
  RecordStore restoredStore;
  DataTable restoredTable;
  PlainRecordFields restoredFields;
  applyStagedRecord(std::move(record->staged), restoredStore, restoredTable, restoredFields);
  restoredTable.setCell(5, 0, *record->headingNote);
  const QString oldPath = journal.path();
  RecordJournal restored(restoredStore, restoredTable, restoredFields);
  restored.restoreFrom({oldPath, nullptr});
  EXPECT_FALSE(QFile::exists(oldPath));
  QFile file(restored.path());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QByteArray bytes = file.readAll();
  EXPECT_EQ(bytes.count("\ncell;"), 8) << "cells only where the table differs from the rows";
  const auto again = read(bytes);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->staged.cells, expected);
  EXPECT_EQ(again->headingNote, QStringLiteral("heading"));
  EXPECT_EQ(again->staged.value[1], (std::vector<double>{10, 20, 30, 40}));
}

TEST_F(JournalTest, DamagedLinesAreSkippedAndCountedEverythingElseIsKept) {
  journal.begin();
  for (int r = 1; r <= 3; ++r) {
    storeRow(r, 100.0 * r, 1.5);
    journal.noteAdded(r, QStringLiteral("n%1").arg(r));
  }
  const QByteArray whole = journalBytes();
  const qsizetype lastRow = whole.lastIndexOf("row;3;");
  const qsizetype secondLine = whole.indexOf('\n') + 1;
  struct Case {
    const char* what;
    QByteArray bytes;
    int rows;     // -1: not a journal
    int damaged;  // lines skipped
    const char* lastNote;
  } const cases[] = {
      {"whole", whole, 3, 0, "n3"},
      {"cut inside the last row", whole.left(lastRow + 8), 2, 0, "n2"},
      {"cut before its line end", whole.left(whole.size() - 1), 3, 0, " "},
      {"damaged second line", QByteArray(whole).replace(secondLine, 1, "\x01"), 3, 1, "n3"},
      {"garbage in the middle", QByteArray(whole).insert(lastRow, "row;x;;\n"), 3, 1, "n3"},
      {"a repeated row", QByteArray(whole).replace("row;2;", "row;1;"), 2, 1, "n3"},
      {"a row number that skips ahead", QByteArray(whole).replace("row;2;", "row;5;"), 2, 1, " "},
      {"bad escape", QByteArray(whole).replace("row;3;", "note;1;\\q\nrow;3;"), 3, 1, "n3"},
      {"no time", QByteArray(whole).replace("row;1;1;", "row;1;;"), 2, 1, "n3"},
      {"an infinite time", QByteArray(whole).replace("row;1;1;", "row;1;inf;"), 2, 1, "n3"},
      {"an infinite value: missing", QByteArray(whole).replace("row;3;3;300", "row;3;3;-inf"), 3, 0,
       "n3"},
      {"a note on row -1", QByteArray(whole).insert(lastRow, "note;-1;x\n"), 3, 1, "n3"},
      {"a unit with a bad escape", QByteArray(whole).insert(lastRow, "channel;2;1;\\q\n"), 3, 1,
       "n3"},
      {"several", QByteArray(whole).replace("row;1;", "rox;1;").replace("row;3;", "row;;"), 1, 2,
       "n2  n3"},
      {"a bad last line", whole + "row;4;nan;;;;\n", 3, 1, "n3"},
      {"first line only", whole.left(secondLine), 0, 0, nullptr},
      {"another file", QByteArray("<Velan data file>\r\n"), -1, 0, nullptr},
      {"empty", QByteArray(), -1, 0, nullptr},
  };
  for (const Case& c : cases) {
    const auto record = read(c.bytes);
    if (c.rows < 0) {
      EXPECT_FALSE(record) << c.what;
      continue;
    }
    ASSERT_TRUE(record) << c.what;
    EXPECT_EQ(record->staged.rowCount, c.rows) << c.what;
    EXPECT_EQ(record->damagedLines, c.damaged) << c.what;
    ASSERT_EQ(record->staged.cells.size(), static_cast<size_t>(c.rows)) << c.what;
    ASSERT_EQ(record->staged.time.size(), static_cast<size_t>(c.rows)) << c.what;
    if (c.lastNote) {  // a note whose row was lost goes to the row before it, never away
      EXPECT_EQ(record->staged.cells.back()[5], QLatin1String(c.lastNote)) << c.what;
    }
  }
  const auto firstRowLost = read(QByteArray(whole).replace("row;1;1;", "row;1;;"));
  EXPECT_EQ(firstRowLost->headingNote, QStringLiteral("n1")) << "no row before it: the heading";
  const auto infinite = read(QByteArray(whole).replace("row;3;3;300", "row;3;3;-inf"));
  EXPECT_TRUE(isMissing(infinite->staged.value[1][2]) && infinite->staged.notFiniteValues == 1);
  const auto repeated = read(QByteArray(whole).replace("row;2;", "row;1;"));
  EXPECT_EQ(repeated->staged.cells[0][5], QStringLiteral("n1  n2")) << "to the row before it";
}

TEST_F(JournalTest, ReachesTheDiskAtOnceThenAtMostOnceASecond) {
  int syncs = 0;
  int64_t now = 0;
  journal.setDiskSync(
      [&syncs](int fd) {
        ++syncs;
        return ::fdatasync(fd);
      },
      [&now] { return now; });
  journal.begin();
  EXPECT_EQ(syncs, 1) << "the journal's start reaches the disk at once";
  for (now = 100; now < 1000; now += 300) storeRow(now / 1000.0, 1, 1);
  EXPECT_EQ(syncs, 1) << "not more than once a second";
  EXPECT_TRUE(journal.syncPending()) << "but within the second";
  journal.sync();  // what the pending flush does when its second is up
  EXPECT_EQ(syncs, 2);
  now = 2100;
  storeRow(2.1, 1, 1);
  EXPECT_EQ(syncs, 3) << "a write after a quiet second goes at once";
}

TEST_F(JournalTest, AJournalWhoseOwnerRunsIsNeverTaken) {
  auto running = std::make_unique<RecordJournal>(*store, table, fields);
  running->begin();
  const QString path = running->path();
  EXPECT_TRUE(findOrphanedJournals().empty()) << "its program still holds it";
  running.reset();  // ends without discarding: the journal stays, its lock goes
  auto found = findOrphanedJournals();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, path);
  EXPECT_TRUE(findOrphanedJournals().empty()) << "the finder holds it now";
}

// The program's own flush (not a test's): it reaches the file, so a descriptor closed under the
// journal is noticed at the next flush; a flush that does nothing would notice nothing.
TEST_F(JournalTest, TheJournalsOwnFlushReachesItsFile) {
  QString reason;
  journal.setFailureHandler([&reason](const QString& why) { reason = why; });
  journal.begin();
  storeRow(1, 2, 3);
  for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System)) {
    if (fd.symLinkTarget() == journal.path()) ::close(fd.fileName().toInt());
  }
  journal.sync();
  EXPECT_FALSE(reason.isEmpty());
}

// On a shared computer nobody else may list whose runs are open: the folder is private, made so
// or narrowed; the journal and its lock are the user's alone whatever the umask.
TEST_F(JournalTest, TheRecoveryFolderAndItsFilesArePrivate) {
  const auto mode = [](const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
  };
  const mode_t umask = ::umask(022);
  for (const mode_t before : {0u, 0755u}) {  // new, then made wider by someone
    if (before) ::chmod(QFile::encodeName(RecordJournal::directory()).constData(), before);
    journal.begin();
    EXPECT_EQ(mode(RecordJournal::directory()), 0700u) << before;
    EXPECT_EQ(mode(journal.path()) | mode(journal.path() + ".lock"), 0600u);
  }
  ::umask(umask);
}

// Start-up: what is asked, reported, deleted and kept for each kind of journal found.
TEST_F(JournalTest, AJournalIsDeletedOnlyWhenRefusedOrEmptyAndDamageIsAlwaysKept) {
  const QByteArray whole = QByteArray("Velan recovery journal 1\nstart;08.12.2026  01:02:03\n") +
                           "row;1;0.25;1;;;\nrow;2;0.5;2;;;\nrow;3;0.75;3;;;\n";
  const QByteArray damaged = whole + "row;4;garbage\n";
  const QString question = QStringLiteral("UNSAVED RECORDING FOUND - 08.12.2026  01:02:03, 3 rows");
  struct Case {
    const char* what;
    QByteArray bytes;
    bool restore;
    QString asked;
    const char* report;  // the start of what is reported
    bool journalStays;
    bool damagedKept;
  } const cases[] = {
      {"refused", whole, false, question + ". Restore it?", nullptr, false, false},
      {"taken", whole, true, question + ". Restore it?", nullptr, true, false},
      {"damaged, refused", damaged, false, "", nullptr, false, true},
      {"damaged, taken", damaged, true, "", nullptr, false, true},
      {"nothing recorded", whole.left(whole.indexOf("row;")), false, "", nullptr, false, false},
      {"no row readable", "Velan recovery journal 1\nrow;1;x;;;;\n", false, "",
       "Recovery file could not be read", false, true},
      {"not a journal", "Velan data\n", false, "", "Recovery file could not be read", false, true},
      {"empty", "", false, "", nullptr, false, false},
      {"a recorder's", whole + "owner;velan record, COM 3, parts into /lab\n", false, "",
       "Left for its own program: ", true, false},
  };
  for (const Case& c : cases) {
    QDir(RecordJournal::directory()).removeRecursively();
    QDir().mkpath(RecordJournal::directory());
    const QString path = RecordJournal::directory() + QStringLiteral("/20261208-010203-1.journal");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(c.bytes);
    file.close();
    QStringList asked;
    QStringList reported;
    const auto found =
        offerUnsavedRecording({[&](const QString& q) { return asked << q, c.restore; },
                               [&](const QString& m) { reported << m; },
                               QString(),
                               {}});
    QString expected = c.asked;
    if (c.bytes == damaged) expected = question + " (1 damaged lines skipped). Restore it?";
    EXPECT_EQ(asked, expected.isEmpty() ? QStringList() : QStringList(expected)) << c.what;
    EXPECT_EQ(found.has_value(), c.restore) << c.what;
    if (c.report) {
      ASSERT_EQ(reported.size(), 1) << c.what;
      EXPECT_TRUE(reported[0].startsWith(QLatin1String(c.report))) << c.what;
    } else {
      EXPECT_TRUE(reported.isEmpty()) << c.what;
    }
    EXPECT_EQ(QFile::exists(path), c.journalStays) << c.what;
    EXPECT_EQ(QFile::exists(path + ".damaged"), c.damagedKept) << c.what;
  }
}

TEST_F(JournalTest, AJournalInAReadOnlyFolderIsOfferedAndRestored) {
  expectAsOrdinaryUser([] {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    const QString folder = RecordJournal::directory();
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/20261208-010203-1.journal"));
    file.open(QIODevice::WriteOnly);
    file.write("Velan recovery journal 1\nrow;1;0.25;1;;;\n");
    file.close();
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QStringList reported;
    const auto refuse = [](const QString&) { return false; };
    const auto report = [&](const QString& m) { reported << m; };
    if (offerUnsavedRecording({refuse, report, QString(), {}}) || reported.size() != 1 ||
        !reported[0].startsWith(QLatin1String("Recovery file could not be deleted")) ||
        !file.exists()) {
      fprintf(stderr, "refusing: %s\n", qPrintable(reported.join('|')));
      return false;
    }
    auto found =
        offerUnsavedRecording({[](const QString&) { return true; }, report, QString(), {}});
    if (!found || found->record.staged.rowCount != 1) return false;
    RecordStore store;
    PlainRecordFields fields;
    DataTable table;
    RecordJournal journal(store, table, fields);
    journal.restoreFrom(std::move(found->journal));
    if (journal.path() != file.fileName() || !file.exists()) {
      fprintf(stderr, "the old journal must stay: %s\n", qPrintable(journal.path()));
      return false;
    }
    return true;
  });
}

}  // namespace
