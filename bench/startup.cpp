// Start-up and memory figures of the real program, offscreen:
//   velan_startup                    start, show the main window, quit (timed from outside)
//   velan_startup --make FILE        write a 100000-row, four-channel record to FILE
//   velan_startup --plot FILE        start, open FILE, plot it, print the peak resident memory
//   velan_startup --drift SECONDS    a simulated run at 250 ms on the real timers; prints the rows
//                                    stored against the rows the wall clock expects
#include <sys/resource.h>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <cmath>
#include <cstdio>

#include "big_record.h"
#include "data_file.h"
#include "library_converter_driver.h"
#include "program.h"

namespace {
int makeRecord(const QString& path) {
  BigRecord record;
  saveDataFile(path, *record.store, record.table, record.fields, true, QLatin1Char('.'));
  return 0;
}
}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 3 && args[1] == QStringLiteral("--make")) return makeRecord(args[2]);
  Program program(std::make_unique<LibraryConverterDriver>());  // none found: a simulation
  program.main().show();
  QCoreApplication::processEvents();
  if (args.size() == 3 && args[1] == QStringLiteral("--plot")) {
    program.main().openProcedure(args[2]);
    program.main().BnPlotClick();
    QCoreApplication::processEvents();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows %d peak_kb %ld\n", program.main().store().rowCount, usage.ru_maxrss);
  }
  if (args.size() == 3 && args[1] == QStringLiteral("--drift")) {
    const int seconds = args[2].toInt();
    program.main().setReadingInterval(250);
    QElapsedTimer clock;
    program.main().StartClick();
    clock.start();
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [] { QCoreApplication::exit(0); });
    app.exec();
    const double elapsed = clock.elapsed() / 1000.0;
    program.main().StopClick();
    std::printf("seconds %.3f rows %d expected %.1f\n", elapsed, program.main().store().rowCount,
                elapsed / 0.25);
  }
  return 0;
}
