// Hot paths at the largest record: file write and read, full redraw, one stored row (with its
// crash journal line), one poll; and the built-in serial driver's open and poll.
// Each file benchmark has a baseline on the same bytes so the ratio is visible.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

#include "big_record.h"
#include "channel_statistics.h"
#include "constant_driver.h"
#include "data_file.h"
#include "four_channel_run.h"
#include "image_surface.h"
#include "monitor.h"
#include "notes_window.h"
#include "numbers.h"
#include "plain_record_fields.h"
#include "record_journal.h"
#include "record_parts.h"
#include "recorder.h"
#include "resident_memory.h"

namespace {

BigRecord& big() {
  static BigRecord record;
  return record;
}

QString benchFile(const char* name) {
  static QTemporaryDir dir;
  return dir.filePath(QString::fromLatin1(name));
}

void BM_WriteDataFile(benchmark::State& state) {
  BigRecord& record = big();
  const QString path = benchFile("write.vln");
  for (auto _ : state) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    writeDataFile(file, *record.store, record.table, record.fields, true, QLatin1Char('.'));
    file.close();
  }
}
BENCHMARK(BM_WriteDataFile)->Unit(benchmark::kMillisecond);

// Baseline: the same bytes written line by line to a file.
void BM_WriteBaseline(benchmark::State& state) {
  const QList<QByteArray> lines = big().file().split('\n');
  const QString path = benchFile("baseline.vln");
  for (auto _ : state) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    for (const QByteArray& line : lines) {
      file.write(line);
      file.write("\n", 1);
    }
    file.close();
  }
}
BENCHMARK(BM_WriteBaseline)->Unit(benchmark::kMillisecond);

QString readFile() {
  static const QString path = [] {
    const QString name = benchFile("read.vln");
    QFile file(name);
    file.open(QIODevice::WriteOnly);
    file.write(big().file());
    return name;
  }();
  return path;
}

void BM_ReadDataFile(benchmark::State& state) {
  const QString path = readFile();
  auto store = std::make_unique<RecordStore>();
  DataTable table;
  PlainRecordFields fields;
  for (auto _ : state) {
    auto staged = loadDataFile(path, true, QLatin1Char('.'));
    applyStagedRecord(std::move(*staged), *store, table, fields);
    benchmark::DoNotOptimize(store->rowCount);
  }
}
BENCHMARK(BM_ReadDataFile)->Unit(benchmark::kMillisecond);

// Baseline: the same file's bytes read and split into lines of text.
void BM_ReadBaseline(benchmark::State& state) {
  const QString path = readFile();
  for (auto _ : state) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    qsizetype characters = 0;
    while (!file.atEnd()) characters += QString::fromLatin1(file.readLine()).size();
    benchmark::DoNotOptimize(characters);
  }
}
BENCHMARK(BM_ReadBaseline)->Unit(benchmark::kMillisecond);

/// The monitor over the largest record.
struct BigRecordMonitor {
  BigRecord& record = big();
  ConstantDriver driver;
  Recorder recorder{*record.store, record.table, driver, record.fields};
  ImageSurface surface;
  Monitor monitor{*record.store, record.table, record.fields, recorder, surface};
};

void BM_FullRedraw(benchmark::State& state) {
  BigRecordMonitor view;
  view.monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("500"));
  for (auto _ : state) {
    view.monitor.refreshView();
    benchmark::DoNotOptimize(view.surface.bits()[1000]);
  }
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMillisecond);

// The floor a full redraw is judged against: the same 400000 values mapped in double precision,
// a five-pixel mark each into a 640 x 480 buffer, without any of the drawing rules.
void BM_RedrawFloor(benchmark::State& state) {
  const RecordStore& store = *big().store;
  std::vector<uint32_t> pixels(640 * 480, 0xFFFFFFFFu);
  const double timeFactor = 600.0 / (60.0 * 500);
  const double valueFactor = -440.0 / 1000;
  for (auto _ : state) {
    for (int r = 1; r <= store.rowCount; ++r) {
      const int x = static_cast<int>(std::lrint(store.time[r] * timeFactor + 35));
      for (int c = 1; c <= kChannels; ++c) {
        const int y = static_cast<int>(std::lrint((store.value[c][r] - 500) * valueFactor + 10));
        if (x < 1 || x > 638 || y < 1 || y > 478) continue;
        uint32_t* centre = pixels.data() + y * 640 + x;
        centre[-1] = centre[1] = centre[-640] = centre[640] = 0xFFFF0000u;
        *centre = 0xFF000000u;
      }
    }
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RedrawFloor)->Unit(benchmark::kMillisecond);

// The statistics window after the time window moved one step (a fifth of its length, as ">"
// moves it) over a window that holds all 100000 rows of four channels.
void BM_StatisticsOfTheWindow(benchmark::State& state) {
  const RecordStore& store = *big().store;
  const double length = store.time[static_cast<size_t>(store.rowCount)];
  StatisticsCache cache;
  int step = 0;
  for (auto _ : state) {
    const double from = (step++ % 2) * length / 5;  // moved on and back: a new span each time
    const RowSpan rows = rowsBetween(store, from, from + length);
    for (int c = 1; c <= kChannels; ++c) {
      benchmark::DoNotOptimize(cache.statistics(store, c, rows));
    }
  }
}
BENCHMARK(BM_StatisticsOfTheWindow)->Unit(benchmark::kMillisecond);

// Its floor: a plain loop over the same values (their sum and count).
void BM_StatisticsFloor(benchmark::State& state) {
  const RecordStore& store = *big().store;
  for (auto _ : state) {
    for (int c = 1; c <= kChannels; ++c) {
      double sum = 0;
      int count = 0;
      for (int r = 1; r <= store.rowCount; ++r) {
        const double v = store.value[static_cast<size_t>(c)][static_cast<size_t>(r)];
        if (isMissing(v)) continue;
        sum += v;
        ++count;
      }
      benchmark::DoNotOptimize(sum);
      benchmark::DoNotOptimize(count);
    }
  }
}
BENCHMARK(BM_StatisticsFloor)->Unit(benchmark::kMillisecond);

// Plot mode, steps of the time window on and back (">" then "<"): the full redraws, with or
// without the notes window listing the notes of the rows drawn (1000, then the 800 of the
// window moved on by a fifth).
void plotRedrawSteps(benchmark::State& state, NotesSink* notes) {
  BigRecordMonitor view;
  view.monitor.setNotesSink(notes);
  view.monitor.BnPlotClick();
  int step = 0;
  for (auto _ : state) {
    (step++ % 2 == 0) ? view.monitor.BnTimeplusClick() : view.monitor.BnTimeMinusClick();
    benchmark::DoNotOptimize(view.surface.bits()[1000]);
  }
}
void BM_PlotRedrawSteps(benchmark::State& state) { plotRedrawSteps(state, nullptr); }
BENCHMARK(BM_PlotRedrawSteps)->Unit(benchmark::kMillisecond);
void BM_PlotRedrawWithNotes(benchmark::State& state) {
  TForm3 notes;
  plotRedrawSteps(state, &notes);
  state.counters["notes"] = notes.memo()->blockCount();
}
BENCHMARK(BM_PlotRedrawWithNotes)->Unit(benchmark::kMillisecond);

// A week at 0.25 s on an injected clock: 2.4 million rows with their polls and journal lines,
// saved in 25 parts. The first part's and the last part's row cost, and the resident memory
// after the first part and at the end: a week must cost what an hour costs.
void BM_WeekInParts(benchmark::State& state) {
  QTemporaryDir folder;
  qputenv("XDG_DATA_HOME", QFile::encodeName(folder.filePath(QStringLiteral("data"))));
  FourChannelRun run;
  RecordJournal journal(*run.store, run.table, run.fields);
  run.recorder.addListener(&journal);
  struct NextPart : RecordListener {
    FourChannelRun& run;
    RecordJournal& journal;
    QString folder;
    int part = 1;
    NextPart(FourChannelRun& r, RecordJournal& j, QString f)
        : run(r), journal(j), folder(std::move(f)) {}
    void recordFull() override {
      saveRecordPart(folder, part++, QDateTime(QDate(2026, 12, 8), QTime(7, 0)),
                     run.fields.experiment(),
                     recordFileBytes(*run.store, run.table, run.fields, true, QLatin1Char('.')));
      journal.discard();
      run.recorder.beginNextPart();
      journal.begin();
    }
  } nextPart(run, journal, folder.filePath(QStringLiteral("parts")));
  run.recorder.addListener(&nextPart);
  int64_t now = 0;
  run.recorder.setClock([&now] { return now; });
  run.recorder.setReadingInterval(250);
  journal.begin();
  run.recorder.startTimers();
  constexpr int64_t kWeekRows = 7LL * 24 * 3600 * 4;
  double firstPartMs = 0, lastPartMs = 0;
  long residentAfterFirst = 0;
  for (auto _ : state) {
    QElapsedTimer part;
    part.start();
    for (int64_t row = 1; row <= kWeekRows; ++row) {
      for (int poll = 0; poll < 5; ++poll) {
        now += kPollPeriodMs;
        run.recorder.Timer2Timer();
      }
      run.recorder.Timer1Timer();
      if (row % kMaxRows != 0) continue;
      const double ms = part.nsecsElapsed() / 1e6;
      if (row == kMaxRows) {
        firstPartMs = ms;
        residentAfterFirst = residentKilobytes();
      }
      lastPartMs = ms;
      part.restart();
    }
  }
  run.recorder.timers().setRowEnabled(false);
  run.recorder.timers().setPollEnabled(false);
  state.counters["parts"] = nextPart.part - 1;
  state.counters["first_row_us"] = firstPartMs * 1000 / kMaxRows;
  state.counters["last_row_us"] = lastPartMs * 1000 / kMaxRows;
  state.counters["rss_first_MB"] = residentAfterFirst / 1024.0;
  state.counters["rss_end_MB"] = residentKilobytes() / 1024.0;
}
BENCHMARK(BM_WeekInParts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_StoredRow(benchmark::State& state) {
  FourChannelRun run;
  ImageSurface surface;
  Monitor monitor(*run.store, run.table, run.fields, run.recorder, surface);
  run.recorder.addListener(&monitor);
  // The crash journal takes every row as a run does, in a folder of its own.
  QTemporaryDir home;
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
  RecordJournal journal(*run.store, run.table, run.fields);
  journal.begin();
  run.recorder.addListener(&journal);
  const int startRow = kMaxRows - 5000;
  for (int r = 1; r <= startRow; ++r) run.store->time[r] = r;
  run.store->rowCount = startRow;
  run.table.setTableRowCount(startRow + 25);
  for (auto _ : state) {
    if (run.store->rowCount >= kMaxRows - 1) {
      state.PauseTiming();
      run.store->rowCount = startRow;
      run.table.setTableRowCount(startRow + 25);
      state.ResumeTiming();
    }
    for (int p = 0; p < 5; ++p) run.recorder.Timer2Timer();
    run.recorder.Timer1Timer();
  }
}
BENCHMARK(BM_StoredRow)->Unit(benchmark::kMicrosecond);

void BM_Poll(benchmark::State& state) {
  FourChannelRun run;
  run.store->readingInterval = 500000;  // a cap that is never reached
  for (auto _ : state) {
    run.recorder.Timer2Timer();
    if (run.store->pollCount > 20000) {
      run.store->pollCount = 0;
      run.store->readingCount.fill(0);
    }
  }
}
BENCHMARK(BM_Poll)->Unit(benchmark::kNanosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
