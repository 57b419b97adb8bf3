// A recording in a process of its own, for tests that stop or kill it: the whole program over the
// stand-in driver library, channels 1 and 2, run for a given time on the real timers.
//   velan_run_child <interval ms> <seconds> [a note every N rows]
// Prints "start <start time>", then "row <n> <time> <ch1> <ch2> <ch3> <ch4>" for every stored
// row (after the program has handled it), "note <row> <text>" for every note and "cell <row>
// <text>" for every text typed into a notes cell of the table, and at the end "end <seconds since
// Start>". With N given, every N rows a note comes from the monitor and a text is typed into the
// previous row's notes cell.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

#include "library_converter_driver.h"
#include "program.h"
#include "stop_signals.h"
#include "test_doubles.h"

namespace {

class Printer : public RecordListener {
 public:
  Printer(const RecordStore& store, DataTable& table, TForm1& main, int noteEvery)
      : store_(store), table_(table), main_(main), noteEvery_(noteEvery) {}
  void rowStored() override {
    const int n = store_.rowCount;
    std::printf("row %d %.17g", n, store_.time[n]);
    for (int c = 1; c <= kChannels; ++c) std::printf(" %.17g", store_.value[c][n]);
    std::printf("\n");
    std::fflush(stdout);
    if (noteEvery_ > 0 && n % noteEvery_ == 0) {
      // After the row's handler, as a user's note would come.
      QTimer::singleShot(0, &main_, [this, n] {
        main_.addNoteFromMonitor(QStringLiteral("note at row %1").arg(n));
        const QString typed = QStringLiteral("typed at row %1").arg(n);
        table_.setData(table_.index(n - 2, DataTable::kNotesColumn), typed, Qt::EditRole);
        std::printf("cell %d %s\n", n - 1, typed.toUtf8().constData());
        std::fflush(stdout);
      });
    }
  }
  void noteAdded(int row, const QString& /*note*/, const QString& cell) override {
    std::printf("note %d %s\n", row, cell.toUtf8().constData());
    std::fflush(stdout);
  }

 private:
  const RecordStore& store_;
  DataTable& table_;
  TForm1& main_;
  int noteEvery_;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velan"));  // the program's data folder
  if (argc < 3) return 2;
  const int interval = std::atoi(argv[1]);
  const int seconds = std::atoi(argv[2]);
  const int noteEvery = argc > 3 ? std::atoi(argv[3]) : 0;

  LibraryConverterDriver driver({QStringLiteral(FAKE_ADC16_PATH)});
  ScriptedPrompts prompts;
  Program program(driver, prompts);
  TForm1& main = program.main();
  main.setChannelSelected(2, true);
  main.setReadingInterval(interval);
  Printer printer(program.store(), program.table(), main, noteEvery);
  main.recorder().addListener(&printer);
  StopSignals stopSignals([&main](int signal) {  // as the program's own main does
    main.endBySystem(QLatin1String(StopSignals::name(signal)));
    QCoreApplication::exit(0);
  });
  main.StartClick();
  std::printf("start %s\n", main.startTime().toUtf8().constData());
  std::fflush(stdout);
  QElapsedTimer sinceStart;
  sinceStart.start();
  QTimer::singleShot(seconds * 1000, &app, [&] {
    std::printf("end %.3f\n", sinceStart.elapsed() / 1000.0);
    std::fflush(stdout);
    main.StopClick();
    QCoreApplication::exit(0);
  });
  return app.exec();
}
