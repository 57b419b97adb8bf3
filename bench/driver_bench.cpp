// The built-in serial driver on the converter emulator: the open, the values' freshness, a poll.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "converter_emulator.h"
#include "four_channel_run.h"
#include "serial_converter_driver.h"

namespace {

// The built-in serial driver over a pseudo-terminal, against the converter emulator.
struct EmulatedConverter {
  EmulatedConverter() {
    for (int c = 1; c <= kChannels; ++c) emulator.setValues(c, {1000 + c});
  }
  QTemporaryDir folder;
  QString link = folder.filePath(QStringLiteral("ttyEMU"));
  ConverterEmulator emulator{QFile::encodeName(link).toStdString()};
  SerialConverterDriver driver{[this](int32_t) { return link; }};  // the real timing
  void setUp(int bits = 12) {
    for (int c = 1; c <= kChannels; ++c) driver.setChannel(3, c, bits, 0, 10);
  }
};

void BM_OpenToFirstReading(benchmark::State& state) {
  EmulatedConverter converter;
  for (auto _ : state) {
    if (!converter.driver.openUnit(3)) {
      state.SkipWithError(qPrintable(converter.driver.openFailure()));
      break;  // waiting for a reading would never end
    }
    converter.setUp();
    int32_t reading = 0;
    while (!converter.driver.getValue(&reading, 3, 1)) QThread::usleep(200);
    state.PauseTiming();
    converter.driver.closeUnit(3);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenToFirstReading)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// How fresh the built-in driver's values are with four channels at 12 bits (the program's) and
// 16 (the converter's slowest, about a second a conversion) on the emulator: a value counts for
// one round over the channels and the driver's margin (0.2 s); and how many 50 ms polls found
// all four channels with a value (a row's readings complete), also on a line that loses a byte
// of every `lost`th answer.
void BM_FreshnessFourChannels(benchmark::State& state) {
  const int bits = static_cast<int>(state.range(0));
  const int lost = static_cast<int>(state.range(1));
  EmulatedConverter converter;
  converter.emulator.setConversionTime(16, std::chrono::milliseconds(1000));
  converter.emulator.setLostByte(lost);
  if (!converter.driver.openUnit(3)) state.SkipWithError("no converter answered");
  converter.setUp(bits);
  int32_t reading = 0;
  while (!converter.driver.getValue(&reading, 3, 4)) QThread::usleep(200);
  double roundMs = 0;
  int polls = 0;
  int complete = 0;
  for (auto _ : state) {
    const size_t before = converter.emulator.controlBytes().size();
    QElapsedTimer watched;
    watched.start();
    while (watched.elapsed() < (bits > 12 ? 40000 : lost > 0 ? 10000 : 2000)) {
      QThread::msleep(50);
      bool all = true;
      for (int c = 1; c <= kChannels; ++c) all = converter.driver.getValue(&reading, 3, c) && all;
      ++polls;
      complete += all ? 1 : 0;
    }
    const size_t conversions = converter.emulator.controlBytes().size() - before;
    roundMs = conversions ? watched.nsecsElapsed() / 1e6 * kChannels / conversions : 0;
  }
  state.counters["bits"] = bits;
  state.counters["byte_lost_every"] = lost;
  state.counters["round_ms"] = roundMs;
  state.counters["bound_ms"] = roundMs + 200;
  state.counters["complete_pct"] = polls ? 100.0 * complete / polls : 0;
  state.counters["refused"] =
      converter.driver.rejectedAnswers() + converter.driver.unansweredRequests();
  converter.driver.closeUnit(3);
}
BENCHMARK(BM_FreshnessFourChannels)
    ->Args({12, 0})
    ->Args({16, 0})
    ->Args({12, 5})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_PollBuiltInDriver(benchmark::State& state) {
  EmulatedConverter converter;
  if (!converter.driver.openUnit(3)) state.SkipWithError("no converter answered");
  converter.setUp();
  FourChannelRun run(&converter.driver);
  run.store->portNumber = 3;
  run.store->readingInterval = 500000;  // a cap that is never reached
  int32_t reading = 0;
  while (!converter.driver.getValue(&reading, 3, 4)) QThread::usleep(200);
  for (auto _ : state) {
    run.recorder.Timer2Timer();
    if (run.store->pollCount > 20000) {
      run.store->pollCount = 0;
      run.store->readingCount.fill(0);
    }
  }
  if (run.store->readingCount[4] == 0) state.SkipWithError("no readings");
  converter.driver.closeUnit(3);
}
BENCHMARK(BM_PollBuiltInDriver)->Unit(benchmark::kNanosecond);

}  // namespace
