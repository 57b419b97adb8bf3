#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>

#include "ui_fixture.h"

namespace {

/// The texts of `window` that its controls cut: labels, buttons and group titles narrower than
/// their text needs, table columns narrower than their widest cell or heading.
QStringList cutTexts(QWidget* window) {
  QStringList cut;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->isVisible() && !label->wordWrap() && label->width() < label->sizeHint().width()) {
      cut << label->objectName() + " " + label->text();
    }
  }
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    // A push button's size hint has a minimum width of its own: measure the text.
    const QStyle* style = button->style();
    const int needed =
        button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&')) +
        style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
        2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    const bool checkBox = qobject_cast<QCheckBox*>(button) != nullptr;
    if (button->isVisible() && !button->text().isEmpty() &&
        button->width() < (checkBox ? button->sizeHint().width() : needed)) {
      cut << button->objectName() + " " + button->text();
    }
  }
  for (QGroupBox* group : window->findChildren<QGroupBox*>()) {
    if (group->isVisible() && group->width() < group->minimumSizeHint().width()) {
      cut << group->title();
    }
  }
  for (QTableView* table : window->findChildren<QTableView*>()) {
    const QAbstractItemView* view = table;  // where the size hints are public
    for (int column = 0; column < table->model()->columnCount(); ++column) {
      const int needed = std::max(view->sizeHintForColumn(column),
                                  table->horizontalHeader()->sectionSizeHint(column));
      if (table->columnWidth(column) < needed) cut << QStringLiteral("column %1").arg(column);
    }
    if (table->rowHeight(1) < view->sizeHintForRow(1)) cut << QStringLiteral("rows");
  }
  return cut;
}

QPalette darkPalette() {
  QPalette dark;
  for (auto [role, color] : {std::pair{QPalette::Window, QColor(0x35, 0x35, 0x35)},
                             {QPalette::WindowText, QColor(Qt::white)},
                             {QPalette::Base, QColor(0x2a, 0x2a, 0x2a)},
                             {QPalette::Text, QColor(Qt::white)},
                             {QPalette::Button, QColor(0x35, 0x35, 0x35)},
                             {QPalette::ButtonText, QColor(Qt::white)}}) {
    dark.setColor(role, color);
  }
  return dark;
}

// The windows' geometry is the layout at the default font; a larger desktop font makes
// controls, groups and columns grow, never cut their text.
TEST_F(WindowsTest, NoTextIsCutAtLargerFontsOrUnderADarkPalette) {
  QFile file(path("wide.vln"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "<Velan data file>Wide numbers\r\n1.1.2026  10:00:00<Start time of recording>\r\n"
      "mV<Channel 1>\r\nmV<Channel 2>\r\nmV<Channel 3>\r\n\xc2\xb0"
      "C<Channel 4>\r\n"
      "2<lines with data: sec;Ch1;Ch2;Ch3;Ch4;Note>\r\n"
      "99999.8;-2499.99;2500.00;-198.00;1234567.89;\r\n100000.0;-2500;1;2;3;\r\n");
  file.close();
  const QFont font = QApplication::font();
  const QPalette palette = QApplication::palette();
  const QString style = QApplication::style()->name();
  QApplication::setStyle(QStringLiteral("Fusion"));
  for (double scale : {1.0, 1.25, 1.5}) {
    for (bool dark : {false, true}) {
      destroy();
      QFont larger = font;
      larger.setPointSizeF(font.pointSizeF() * scale);
      QApplication::setFont(larger);
      QApplication::setPalette(dark ? darkPalette() : palette);
      build();
      store->dataSaved = true;
      ASSERT_TRUE(main->openProcedure(path("wide.vln")));
      main->BnPlotClick();
      monitor->show();
      QCoreApplication::processEvents();
      const QStringList cut = cutTexts(main) + cutTexts(monitor);
      EXPECT_TRUE(cut.isEmpty()) << "at " << 96 * scale << " dpi" << (dark ? ", dark: " : ": ")
                                 << cut.join(QStringLiteral(" | ")).toStdString();
    }
  }
  QApplication::setFont(font);
  QApplication::setPalette(palette);
  QApplication::setStyle(style);
}

}  // namespace
