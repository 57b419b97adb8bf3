#include <QApplication>

#include "program.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velan"));
  QApplication::setQuitOnLastWindowClosed(false);  // the main window alone ends the program
  Program program;
  // exit(), not quit(): quit() would ask every window to close, and the monitor and notes
  // windows refuse (they minimise), which would keep the program running.
  QObject::connect(&program.main(), &TForm1::closed, &app, [] { QCoreApplication::exit(0); });
  program.main().show();
  program.main().recoverUnsavedRecordings();
  return app.exec();
}
