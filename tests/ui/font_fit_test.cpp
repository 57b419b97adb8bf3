#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <map>

#include "contrast.h"
#include "ui_fixture.h"

namespace {

/// The texts of `window` that its controls cut: labels, buttons and group titles narrower than
/// their text, table columns narrower than their widest cell or heading, rows than their text.
QStringList cutTexts(QWidget* window) {
  QStringList cut;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->isVisible() && !label->wordWrap() && label->width() < label->sizeHint().width()) {
      cut << label->text();
    }
  }
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    // Measured by the text: a push button's size hint has a minimum width of its own.
    const int text = button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&'));
    if (button->isVisible() && !button->text().isEmpty() &&
        button->width() < text + button->style()->pixelMetric(QStyle::PM_ButtonMargin)) {
      cut << button->text();
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
      if (table->columnWidth(column) <
          std::max(view->sizeHintForColumn(column),
                   table->horizontalHeader()->sectionSizeHint(column))) {
        cut << QStringLiteral("column %1").arg(column);
      }
    }
    if (table->rowHeight(1) < view->sizeHintForRow(1)) cut << QStringLiteral("rows");
  }
  return cut;
}

/// The labels of `window` drawn too faint to read: whose strongest pixel stands from the label's
/// commonest one (its background) at less than 3:1 (its text's 4.5:1 less the edges). Blank
/// labels (a status, a value not yet read) are given a text first: their colour is set already.
QStringList faintTexts(QWidget* window) {
  QStringList faint;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->isVisible() && label->text().trimmed().isEmpty())
      label->setText(QStringLiteral("88"));
  }
  QCoreApplication::processEvents();
  const QImage picture = window->grab().toImage();
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->isVisible()) continue;
    const QImage area = picture.copy(QRect(label->mapTo(window, QPoint()), label->size()));
    std::map<QRgb, int> counts;
    for (int y = 0; y < area.height(); ++y) {
      for (int x = 0; x < area.width(); ++x) ++counts[area.pixel(x, y)];
    }
    if (counts.empty()) continue;
    const QColor background = std::max_element(counts.begin(), counts.end(), [](auto a, auto b) {
                                return a.second < b.second;
                              })->first;
    double strongest = 1;
    for (const auto& [pixel, count] : counts) {
      strongest = std::max(strongest, contrastRatio(QColor(pixel), background));
    }
    if (strongest < 3) faint << label->objectName() + QLatin1Char(' ') + label->text();
  }
  return faint;
}

// The windows' geometry is the layout at the default font; a larger desktop font makes
// controls, groups and columns grow, never cut their text. The widest numbers are in the file.
TEST_F(WindowsTest, NoTextIsCutAtLargerFontsOrUnderADarkPalette) {
  QFile file(path("wide.vln"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "<Velan data file>Wide\r\n1.1.2026  10:00:00<Start time of recording>\r\nmV<Channel 1>"
      "\r\nmV<Channel 2>\r\nmV<Channel 3>\r\nmV<Channel 4>\r\n2<lines with data>\r\n"
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
      QApplication::setPalette(dark ? QPalette(QColor(0x35, 0x35, 0x35)) : palette);
      build();
      store->dataSaved = true;
      ASSERT_TRUE(main->openProcedure(path("wide.vln")));
      main->BnPlotClick();
      monitor->show();
      QCoreApplication::processEvents();
      const QStringList cut = cutTexts(main) + cutTexts(monitor);
      const QStringList faint = faintTexts(main) + faintTexts(monitor);
      EXPECT_TRUE(faint.isEmpty())
          << "dark " << dark << ": " << faint.join(QStringLiteral(" | ")).toStdString();
      EXPECT_TRUE(cut.isEmpty()) << 96 * scale << " dpi, dark " << dark << ": "
                                 << cut.join(QStringLiteral(" | ")).toStdString();
    }
  }
  QApplication::setFont(font);
  QApplication::setPalette(palette);
  QApplication::setStyle(style);
}

}  // namespace
