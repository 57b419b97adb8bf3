// velan record's resident memory through a whole part, without waiting seven hours for it: the
// recorder's own objects (the store, a table that keeps notes only, the journal, the parts) on
// Qt Core alone, as velan-record links, driven by a simulated clock through 100000 rows of four
// channels. Prints "rss_row1_kB rss_row100000_kB".
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "four_channel_run.h"
#include "record_journal.h"
#include "resident_memory.h"
#include "run_parts.h"

namespace {
class RowWatch : public RecordListener {
 public:
  explicit RowWatch(const RecordStore& store) : store_(store) {}
  void rowStored() override {
    if (store_.rowCount == 1) atRowOne = residentKilobytes();
    if (store_.rowCount == kMaxRows) atLastRow = residentKilobytes();
  }
  long atRowOne = 0;
  long atLastRow = 0;

 private:
  const RecordStore& store_;
};
}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
  FourChannelRun run;
  run.table.keepNotesOnly();
  Recorder& recorder = run.recorder;
  RecordJournal journal(*run.store, run.table, run.fields);
  RunParts parts(*run.store, run.table, run.fields, recorder, journal,
                 [&] { return home.filePath("parts"); });
  RowWatch watch(*run.store);
  recorder.addListener(&journal);
  recorder.addListener(&watch);
  int64_t now = 0;
  recorder.setClock([&now] { return now; });
  recorder.openConverter();
  recorder.setReadingInterval(250);
  recorder.resetRecord();
  parts.begin();
  while (run.store->rowCount < kMaxRows) {
    for (int poll = 0; poll < 5; ++poll) {
      now += kPollPeriodMs;
      recorder.Timer2Timer();
    }
    recorder.Timer1Timer();
  }
  std::printf("%ld %ld\n", watch.atRowOne, watch.atLastRow);
  return 0;
}
