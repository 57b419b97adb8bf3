// velan record's resident memory through a whole part, without waiting seven hours for it: the
// recorder's own objects (the store, a table that keeps notes only, the journal, the parts) on
// Qt Core alone, as velan-record links, driven by a simulated clock through 100000 rows of four
// channels. Prints "rss_row1_kB rss_row100000_kB".
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "constant_driver.h"
#include "plain_record_fields.h"
#include "record_journal.h"
#include "recorder.h"
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
  auto store = std::make_unique<RecordStore>();
  DataTable table;
  table.keepNotesOnly();
  ConstantDriver converter;
  PlainRecordFields fields;
  for (int c = 1; c <= kChannels; ++c) fields.setChannelSelected(c, true);
  Recorder recorder(*store, table, converter, fields);
  RecordJournal journal(*store, fields);
  RunParts parts(*store, table, fields, recorder, journal, [&] { return home.filePath("parts"); });
  RowWatch watch(*store);
  recorder.addListener(&journal);
  recorder.addListener(&watch);
  int64_t now = 0;
  recorder.setClock([&now] { return now; });
  recorder.openConverter();
  recorder.setReadingInterval(250);
  recorder.resetRecord();
  parts.begin();
  while (store->rowCount < kMaxRows) {
    for (int poll = 0; poll < 5; ++poll) {
      now += kPollPeriodMs;
      recorder.Timer2Timer();
    }
    recorder.Timer1Timer();
  }
  std::printf("%ld %ld\n", watch.atRowOne, watch.atLastRow);
  return 0;
}
