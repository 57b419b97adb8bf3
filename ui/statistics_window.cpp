#include "statistics_window.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "numbers.h"
#include "recorder.h"

namespace {
const char* const kColumns[] = {"Channel", "n",    "Missing",   "Min",
                                "Max",     "Mean", "Std. dev.", "P-p"};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));

}  // namespace

StatisticsWindow::StatisticsWindow(const RecordStore& store, const RecordFields& fields,
                                   const Monitor& monitor, Recorder& recorder, QWidget* parent)
    : QWidget(parent, Qt::Window),
      store_(store),
      fields_(fields),
      monitor_(monitor),
      recorder_(recorder),
      separator_(systemDecimalSeparator()) {
  setObjectName(QStringLiteral("StatisticsWindow"));
  setWindowTitle(QStringLiteral("Statistics Velan"));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  range_ = new QComboBox(this);
  range_->setObjectName(QStringLiteral("StatisticsRange"));
  range_->setAccessibleName(QStringLiteral("Statistics range"));
  range_->addItems({QStringLiteral("Whole record"), QStringLiteral("Visible window"),
                    QStringLiteral("Selection")});
  range_->setToolTip(QStringLiteral("Selection: Shift+drag on the monitor's picture"));
  connect(range_, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
  top->addWidget(range_);
  rangeText_ = new QLabel(this);
  rangeText_->setObjectName(QStringLiteral("StatisticsRangeText"));
  rangeText_->setAccessibleDescription(QStringLiteral("Statistics range"));
  top->addWidget(rangeText_, 1);
  layout->addLayout(top);

  table_ = new QTableWidget(0, kColumnCount, this);
  table_->setObjectName(QStringLiteral("Statistics"));
  table_->setAccessibleName(QStringLiteral("Statistics"));
  QStringList headings;
  for (const char* heading : kColumns) headings << QString::fromUtf8(heading);
  table_->setHorizontalHeaderLabels(headings);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The figures share the width the channel's name leaves: the table fills its window.
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  layout->addWidget(table_);

  auto* buttons = new QHBoxLayout;
  addNote_ = new QPushButton(QStringLiteral("Add as note"), this);
  addNote_->setObjectName(QStringLiteral("StatisticsAddNote"));
  addNote_->setToolTip(QStringLiteral("The statistics onto the newest row (during a run)"));
  connect(addNote_, &QPushButton::clicked, this, &StatisticsWindow::addAsNote);
  auto* copy = new QPushButton(QStringLiteral("Copy"), this);
  copy->setObjectName(QStringLiteral("StatisticsCopy"));
  connect(copy, &QPushButton::clicked, this,
          [this] { QApplication::clipboard()->setText(tableText()); });
  buttons->addStretch();
  buttons->addWidget(addNote_);
  buttons->addWidget(copy);
  layout->addLayout(buttons);
  resize(620, 220);
}

void StatisticsWindow::setRange(Range range) { range_->setCurrentIndex(range); }

std::optional<TimeSpan> StatisticsWindow::rangeSpan() const {
  switch (range_->currentIndex()) {
    case VisibleWindow:
      return monitor_.visibleSpan();
    case Selection:
      return monitor_.selection();
    default:
      if (store_.rowCount == 0) return std::nullopt;
      return TimeSpan{store_.time[1], store_.time[static_cast<size_t>(store_.rowCount)]};
  }
}

void StatisticsWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  refresh();
}

void StatisticsWindow::refresh() {
  if (!isVisible()) return;  // nothing computed while nobody looks
  addNote_->setEnabled(recorder_.timers().rowEnabled() && store_.rowCount > 0);
  shown_.clear();
  const std::optional<TimeSpan> span = rangeSpan();
  // The whole record is all its rows, whatever their times; the window, the rows it draws.
  const RowSpan rows = !span                                   ? RowSpan{}
                       : range_->currentIndex() == WholeRecord ? allRows(store_)
                       : range_->currentIndex() == VisibleWindow
                           ? monitor_.visibleRows()
                           : rowsBetween(store_, span->from, span->to);
  const auto seconds = [this](double value) {
    return formatDecimals(value, 1, separator_) + QStringLiteral(" s");
  };
  const QString rowCount =
      rows.count() == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(rows.count());
  rangeText_->setText(
      range_->currentIndex() == WholeRecord && span
          ? QStringLiteral("All %1 (%2 to %3)")
                .arg(rowCount, seconds(span->from), seconds(span->to))
      : span ? QStringLiteral("%1 to %2, %3%4")
                   .arg(seconds(span->from), seconds(span->to), rowCount,
                        range_->currentIndex() == VisibleWindow ? QStringLiteral(" as drawn")
                                                                : QString())
      : range_->currentIndex() == Selection
          ? QStringLiteral("No selection: Shift+drag on the monitor's picture marks one")
          : QStringLiteral("No rows"));
  rangeText_->setAccessibleName(rangeText_->text());
  shownSpan_ = span.value_or(TimeSpan{});
  for (int c = 1; c <= kChannels; ++c) {
    if (fields_.channelSelected(c)) shown_.push_back({c, cache_.statistics(store_, c, rows)});
  }
  table_->setRowCount(static_cast<int>(shown_.size()));
  for (int row = 0; row < table_->rowCount(); ++row) {
    const auto& [c, statistics] = shown_[static_cast<size_t>(row)];
    const int decimals = store_.valueDecimals[static_cast<size_t>(c)];
    const auto number = [&](double value) {
      return isMissing(value)
                 ? QString()
                 : formatDecimals(value, statisticsDecimals(value, decimals), separator_);
    };
    const auto rowValue = [&](double value) {  // as the file has the row's value
      return isMissing(value)
                 ? QString()
                 : fileValueText(value, statisticsDecimals(value, decimals), separator_);
    };
    const QString texts[kColumnCount] = {
        QStringLiteral("Ch. %1 (%2)").arg(c).arg(fields_.unitLabel(c).trimmed()),
        QString::number(statistics.count),
        QString::number(statistics.missing),
        rowValue(statistics.min),
        rowValue(statistics.max),
        number(statistics.mean),
        number(statistics.deviation),
        number(statistics.peakToPeak())};
    for (int column = 0; column < kColumnCount; ++column) {
      auto* item = new QTableWidgetItem(texts[column]);
      if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(row, column, item);
    }
    if (statistics.count > 0) {
      table_->item(row, 3)->setToolTip(QStringLiteral("at ") + seconds(statistics.minSeconds));
      table_->item(row, 4)->setToolTip(QStringLiteral("at ") + seconds(statistics.maxSeconds));
    }
  }
}

QString StatisticsWindow::tableText() const {
  QStringList lines;
  QStringList cells;
  for (const char* heading : kColumns) cells << QString::fromUtf8(heading);
  lines << cells.join(QLatin1Char('\t'));
  for (int row = 0; row < table_->rowCount(); ++row) {
    cells.clear();
    for (int column = 0; column < kColumnCount; ++column)
      cells << table_->item(row, column)->text();
    lines << cells.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void StatisticsWindow::addAsNote() {
  if (!recorder_.timers().rowEnabled() || store_.rowCount == 0) return;
  for (const auto& [c, statistics] : shown_) {
    if (statistics.count == 0) continue;
    recorder_.addNote(statisticsNote(c, statistics, fields_.unitLabel(c),
                                     store_.valueDecimals[static_cast<size_t>(c)], shownSpan_.from,
                                     shownSpan_.to, separator_));
  }
}
