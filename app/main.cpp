#include <QApplication>

#include "program.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velan"));
  QApplication::setQuitOnLastWindowClosed(false);  // the main window alone ends the program
  Program program;
  QObject::connect(&program.main(), &TForm1::closed, &app, &QApplication::quit);
  program.main().show();
  return app.exec();
}
