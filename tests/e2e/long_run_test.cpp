#include <QDir>
#include <QFile>

#include "../ui/ui_fixture.h"
#include "data_file.h"
#include "date_time_text.h"
#include "numbers.h"
#include "user_settings.h"

namespace {

// A run never ends by itself: the full record is saved as a part into the recordings folder
// and the run goes on in the next one, whose start time continues the first; a part that cannot
// be saved keeps its journal for the next start. The store is filled the quick way; only the
// rows at the seam go through the recorder.
TEST_F(WindowsTest, AFullRecordIsSavedAsAPartAndTheRunGoesOn) {
  QFile blocker(path("blocker"));  // no folder can be made under a plain file, not even by root
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  const struct {
    QString folder;
    bool saved;
  } cases[] = {{path("parts"), true}, {path("blocker/parts"), false}};
  for (const auto& c : cases) {
    UserSettings::setRecordingsFolder(c.folder);
    main->setExperiment(QStringLiteral("Week: run/1"));
    main->recorder().setReadingInterval(250);
    store->dataSaved = true;
    main->StartClick();
    const QString firstStart = main->startTime();
    const QString firstJournal = main->journalPath();
    constexpr int kFilled = kMaxRows - 2;
    table->setTableRowCount(kFilled + 1);
    for (int r = 1; r <= kFilled; ++r) store->time[r] = r * 0.25;
    store->rowCount = kFilled;
    storeRows(4);  // the last two rows, then the first two of the next part
    ASSERT_EQ(store->rowCount, 2) << c.folder.toStdString();
    EXPECT_EQ(parseDateTimeText(main->startTime()),
              parseDateTimeText(firstStart)->addSecs(kMaxRows / 4));
    const QString note = table->cell(DataTable::kNotesColumn, 1);
    const QStringList parts = QDir(c.folder).entryList({QStringLiteral("*.vln")});
    const QString status = child<QLabel>("LbStatus")->toolTip();
    if (c.saved) {
      ASSERT_EQ(parts.size(), 1);
      EXPECT_TRUE(parts[0].startsWith("Week_ run_1 ") && parts[0].endsWith(" part 1.vln"));
      const auto part = loadDataFile(QDir(c.folder).filePath(parts[0]), true, QLatin1Char('.'));
      ASSERT_TRUE(part && part->rowCount == kMaxRows);
      EXPECT_EQ(part->startTime, firstStart);
      EXPECT_EQ(note, main->startTime() + QStringLiteral("  (continues %1, part 2)").arg(parts[0]) +
                          QStringLiteral("  (simulated readings: no converter answered on COM 3)"));
      EXPECT_TRUE(status.contains(QStringLiteral("Part 1 saved as ") + c.folder));
    } else {
      EXPECT_TRUE(QFile::exists(firstJournal)) << "its rows wait in memory and in their journal";
      EXPECT_TRUE(note.contains("(part 1 could not be saved yet: ") &&
                  status.contains("Part 1 could not be saved"));
      EXPECT_TRUE(main->statusText().startsWith("No ADC16: Simulation; part 1 not saved yet"))
          << "in the visible status too";
    }
    const QStringList journals =
        QDir(RecordJournal::directory()).entryList({QStringLiteral("*.journal")});
    EXPECT_EQ(journals.size(), c.saved ? 1 : 2) << "a saved part needs no journal";
    const std::optional<JournalRecord> recovered = runningJournal();
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->staged.rowCount, 2) << "the next part's journal holds that part alone";
    EXPECT_EQ(recovered->staged.cells[0][DataTable::kNotesColumn], note) << "row 1's note too";
    if (!c.saved) {
      ASSERT_TRUE(blocker.remove());  // room again: Stop saves the waiting part
    }
    main->StopClick();
    if (!c.saved) {
      EXPECT_TRUE(child<QLabel>("LbStatus")->toolTip().contains("Part 1 saved as "));
      EXPECT_EQ(QDir(c.folder).entryList({QStringLiteral("*.vln")}).size(), 1);
      EXPECT_FALSE(QFile::exists(firstJournal));
    }
  }
  store->dataSaved = true;
  main->StartClick();
  storeRows(1);
  EXPECT_FALSE(child<QLabel>("LbStatus")->toolTip().contains("Part")) << "a new run, no parts yet";
}

}  // namespace
