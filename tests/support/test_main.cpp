#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Tests state their decimal separator explicitly; the program's own default is the system's.
  QLocale::setDefault(QLocale::c());
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velan"));  // the program's data folder
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
