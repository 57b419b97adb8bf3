#include <QApplication>
#include <memory>

#include "converter_driver.h"
#include "data_table.h"
#include "help_window.h"
#include "main_window.h"
#include "monitor_window.h"
#include "notes_window.h"
#include "qt_user_prompts.h"
#include "record_store.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velan"));
  QApplication::setQuitOnLastWindowClosed(false);  // the main window alone ends the program

  auto store = std::make_unique<RecordStore>();  // 4 MB of columns: not on the stack
  DataTable table;
  LibraryConverterDriver driver;
  QtUserPrompts prompts;

  TForm1 main(*store, table, driver, prompts);
  prompts.setParent(&main);
  TForm2 monitor(main, prompts);
  monitor.show();
  TForm3 notes;
  TForm4 help;
  monitor.monitor().setNotesSink(&notes);
  main.attachWindows(&monitor, &notes, &help);
  QObject::connect(&main, &TForm1::closed, &app, &QApplication::quit);

  main.show();
  return app.exec();
}
