// A run's parts without a window: the seam's clock, the names, row 1's notes.
#include "run_parts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "data_file.h"
#include "date_time_text.h"
#include "file_access.h"
#include "numbers.h"
#include "record_parts.h"
#include "recorded_run.h"

namespace {

class RunPartsTest : public ::testing::Test, public RunPieces {
 protected:
  RunPartsTest() {
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    recorder.setClock([this] { return now; });
  }
  // The row timer's tick `late` ms after its time: a late tick fills the missed rows first.
  void tick(int64_t late = 0) {
    now += store->readingInterval + late;
    recorder.Timer1Timer();
  }
  QDateTime rowClock(int row) const {
    return parseDateTimeText(fields.startTime())->addMSecs(std::llround(store->time[row] * 1000));
  }

  QTemporaryDir home;
  QDateTime clock{QDate(2026, 12, 8), QTime(7, 0, 0, 600)};
  RunParts parts{*store,
                 table,
                 fields,
                 recorder,
                 journal,
                 [this] { return home.filePath("parts"); },
                 [this] { return clock; }};
  int64_t now = 0;  ///< the recorder's clock, in ms
};

// Start time + row time is every row's clock time in every part, to the millisecond, whatever
// gaps and intervals came before the seam: row 1 of the next part is one interval after the
// last row of the one before.
TEST_F(RunPartsTest, TheSeamKeepsEveryRowsClockExact) {
  const struct {
    int intervalMs;
    int rowsBefore;  // before a gap of one missed interval, then one more row
  } cases[] = {{250, 3}, {250, 4}, {1000, 2}, {500, 1}};
  for (const auto& c : cases) {
    recorder.setReadingInterval(c.intervalMs);
    recorder.resetRecord();
    recorder.startTimers();
    parts.begin();
    for (int r = 0; r < c.rowsBefore; ++r) tick();
    tick(c.intervalMs);  // a gap row and the row due
    const QDateTime lastRow = rowClock(store->rowCount);
    for (int seam = 1; seam <= 2; ++seam) {
      const RunParts::Saved saved = parts.next();
      ASSERT_TRUE(saved.ok()) << saved.failure.toStdString();
      tick();
      EXPECT_EQ(rowClock(1), lastRow.addMSecs(seam * c.intervalMs))
          << c.intervalMs << " ms, after " << c.rowsBefore << " rows, seam " << seam;
    }
    EXPECT_EQ(parts.part(), 3);
  }
}

// The experiment field's first text is no experiment; a stall before row 1 joins its note to
// the start note and the simulated-readings remark, as every automatic note is joined.
TEST_F(RunPartsTest, PartsAreNamedAndRowOneKeepsEveryNote) {
  store->portNumber = 3;
  recorder.setReadingInterval(250);
  recorder.resetRecord();
  recorder.startTimers();
  parts.begin();
  EXPECT_EQ(fields.startTime(), dateTimeText(clock.addMSecs(-600)));
  now += 4400;  // the program held up before its first row
  recorder.Timer2Timer();
  now += kPollPeriodMs;
  recorder.Timer1Timer();
  EXPECT_EQ(table.cell(DataTable::kNotesColumn, 1),
            fields.startTime() +
                "  (simulated readings: no converter answered on COM 3)  0.00-> (no readings: the "
                "program was not running for 4.4 s)")
      << "part 2 alone says where its channels stand";
  recorder.setLimits(1, {std::nullopt, -1000.0, 0.0});  // crossed in part 1, never left
  for (int poll = 0; poll < 3; ++poll) recorder.Timer2Timer();
  tick();
  QFile blocker(home.filePath("parts"));  // no folder can be made there, not even by root
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  const QString firstJournal = journal.path();
  const RunParts::Saved lost = parts.next();
  EXPECT_FALSE(lost.ok());
  EXPECT_EQ(lost.journal, firstJournal);
  EXPECT_TRUE(QFile::exists(firstJournal)) << "its rows wait in memory and in their journal";
  EXPECT_TRUE(table.cell(DataTable::kNotesColumn, 1)
                  .contains("(continues part 1, part 2)  (part 1 could not be saved yet: "));
  EXPECT_TRUE(table.cell(DataTable::kNotesColumn, 1).endsWith("  Ch. 1 above high limit -1000 mV"))
      << "part 2 alone says where its channels stand";
  ASSERT_TRUE(blocker.remove());
  tick();
  const RunParts::Saved saved = parts.finish(QStringLiteral("(ended by the system)"));
  ASSERT_TRUE(saved.ok());
  EXPECT_TRUE(bareFileName(saved.path).startsWith(QStringLiteral("Velan 2026-12-08 07-00-0")));
  EXPECT_TRUE(saved.path.endsWith(QStringLiteral(" part 2.vln")));
  EXPECT_TRUE(journal.path().isEmpty()) << "the journal goes once the part is saved";
  const auto file = loadDataFile(saved.path, true, QLatin1Char('.'));
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->cells[file->rowCount - 1][DataTable::kNotesColumn].endsWith(
      QLatin1String("-> (ended by the system)")));
}

// A part's name says what it holds and never replaces a file that is there, not even one that
// another recorder saves under the same name while this one is writing.
TEST(PartFileTest, NamesAreSafeAndNeverAnExistingFile) {
  QTemporaryDir folder;
  const QDateTime start(QDate(2026, 12, 8), QTime(7, 0, 0));
  const struct {
    const char* experiment;
    const char* name;
  } cases[] = {
      {"Run 3/4: \"pH\"", "Run 3_4_ _pH_ 2026-12-08 07-00-00 part 2.vln"},
      {"(Describe experiment here)", "Velan 2026-12-08 07-00-00 part 2.vln"},
      {".hidden", "Velan.hidden 2026-12-08 07-00-00 part 2.vln"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(recordFileName(folder.path(), QString::fromUtf8(c.experiment), start, " part 2"),
              folder.filePath(QString::fromUtf8(c.name)));
  }
  const auto name = [&](int copy) {
    return recordFileName(folder.path(), QString(), start, " part 2", copy);
  };
  QFile existing(name(1));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("first");
  existing.close();
  const QString saved = saveNewFile(name, [&](QIODevice& file) {
    QFile other(name(2));  // the other recorder takes the next name meanwhile
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("other");
    file.write("this");
  });
  EXPECT_EQ(saved, folder.filePath("Velan 2026-12-08 07-00-00 part 2 (3).vln"));
  for (const auto& [copy, content] : {std::pair{1, "first"}, {2, "other"}, {3, "this"}}) {
    QFile file(name(copy));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), content) << copy;
  }
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), 3) << "no leftover";
}

}  // namespace
