// Hot paths at the largest record: file write and read, full redraw, one stored row, one poll.
// Each file benchmark has a baseline on the same bytes so the ratio is visible.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <memory>

#include "data_file.h"
#include "image_surface.h"
#include "monitor.h"
#include "numbers.h"
#include "recorder.h"

namespace {

class ConstantDriver : public ConverterDriver {
 public:
  uint8_t openUnit(int32_t) override { return 1; }
  uint8_t setChannel(int32_t, int32_t, int32_t, int32_t, int32_t) override { return 1; }
  uint8_t getValue(int32_t* reading, int32_t, int32_t channel) override {
    *reading = 1600 + channel + (++tick_ & 7);
    return 1;
  }
  uint8_t closeUnit(int32_t) override { return 1; }

 private:
  int32_t tick_ = 0;
};

/// A 100000-row record, four channels, a note every 100 rows.
struct BigRecord {
  BigRecord() : store(std::make_unique<RecordStore>()) {
    for (int c = 1; c <= kChannels; ++c) fields.setChannelSelected(c, true);
    store->rowCount = kMaxRows;
    table.setTableRowCount(kMaxRows + 25);
    for (int r = 1; r <= kMaxRows; ++r) {
      store->time[r] = r * 0.25;
      for (int c = 1; c <= kChannels; ++c) store->value[c][r] = 400.0 * std::sin(r * 0.001 * c);
      if (r % 100 == 0) table.setCell(5, r, QStringLiteral("%1-> note %2").arg(r / 240.0).arg(r));
    }
  }
  QByteArray file() {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeDataFile(buffer, *store, table, fields, true, QLatin1Char('.'));
    return buffer.data();
  }
  std::unique_ptr<RecordStore> store;
  DataTable table;
  PlainRecordFields fields;
};

BigRecord& big() {
  static BigRecord record;
  return record;
}

void BM_WriteDataFile(benchmark::State& state) {
  BigRecord& record = big();
  for (auto _ : state) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    writeDataFile(buffer, *record.store, record.table, record.fields, true, QLatin1Char('.'));
    benchmark::DoNotOptimize(buffer.data().size());
  }
}
BENCHMARK(BM_WriteDataFile)->Unit(benchmark::kMillisecond);

void BM_WriteBaseline(benchmark::State& state) {
  const QByteArray bytes = big().file();
  for (auto _ : state) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    for (qsizetype at = 0; at < bytes.size(); at += 40)
      buffer.write(bytes.constData() + at, std::min<qsizetype>(40, bytes.size() - at));
    benchmark::DoNotOptimize(buffer.data().size());
  }
}
BENCHMARK(BM_WriteBaseline)->Unit(benchmark::kMillisecond);

void BM_ReadDataFile(benchmark::State& state) {
  QByteArray bytes = big().file();
  auto store = std::make_unique<RecordStore>();
  DataTable table;
  PlainRecordFields fields;
  for (auto _ : state) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    auto staged = readDataFile(buffer, true, QLatin1Char('.'));
    applyStagedRecord(std::move(*staged), *store, table, fields);
    benchmark::DoNotOptimize(store->rowCount);
  }
}
BENCHMARK(BM_ReadDataFile)->Unit(benchmark::kMillisecond);

void BM_ReadBaseline(benchmark::State& state) {
  QByteArray bytes = big().file();
  for (auto _ : state) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    qsizetype lines = 0;
    while (!buffer.atEnd()) lines += buffer.readLine().size() > 0;
    benchmark::DoNotOptimize(lines);
  }
}
BENCHMARK(BM_ReadBaseline)->Unit(benchmark::kMillisecond);

void BM_FullRedraw(benchmark::State& state) {
  BigRecord& record = big();
  ConstantDriver driver;
  Recorder recorder(*record.store, record.table, driver, record.fields);
  ImageSurface surface;
  Monitor monitor(*record.store, record.table, record.fields, recorder, surface);
  monitor.captions().setText(MonitorCaptions::TimeScale, QStringLiteral("500"));
  for (auto _ : state) {
    monitor.refreshView();
    benchmark::DoNotOptimize(surface.bits()[1000]);
  }
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMillisecond);

void BM_StoredRow(benchmark::State& state) {
  auto store = std::make_unique<RecordStore>();
  DataTable table;
  PlainRecordFields fields;
  for (int c = 1; c <= kChannels; ++c) fields.setChannelSelected(c, true);
  ConstantDriver driver;
  Recorder recorder(*store, table, driver, fields);
  ImageSurface surface;
  Monitor monitor(*store, table, fields, recorder, surface);
  recorder.addListener(&monitor);
  store->converterOpen = true;
  const int startRow = kMaxRows - 5000;
  for (int r = 1; r <= startRow; ++r) store->time[r] = r;
  store->rowCount = startRow;
  table.setTableRowCount(startRow + 25);
  for (auto _ : state) {
    if (store->rowCount >= kMaxRows - 1) {
      state.PauseTiming();
      store->rowCount = startRow;
      table.setTableRowCount(startRow + 25);
      state.ResumeTiming();
    }
    for (int p = 0; p < 5; ++p) recorder.Timer2Timer();
    recorder.Timer1Timer();
  }
}
BENCHMARK(BM_StoredRow)->Unit(benchmark::kMicrosecond);

void BM_Poll(benchmark::State& state) {
  auto store = std::make_unique<RecordStore>();
  DataTable table;
  PlainRecordFields fields;
  for (int c = 1; c <= kChannels; ++c) fields.setChannelSelected(c, true);
  ConstantDriver driver;
  Recorder recorder(*store, table, driver, fields);
  store->converterOpen = true;
  store->readingInterval = 500000;  // a cap that is never reached
  for (auto _ : state) {
    recorder.Timer2Timer();
    if (store->pollCount > 20000) store->pollCount = 0;
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
