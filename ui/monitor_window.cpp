#include "monitor_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>

#include "contrast.h"
#include "main_window.h"
#include "notes_window.h"
#include "numbers.h"
#include "prompt_selection.h"
#include "up_down_widget.h"
#include "user_prompts.h"
#include "velan_error.h"

TForm2::TForm2(TForm1& main, UserPrompts& prompts, QWidget* parent)
    : QWidget(parent, Qt::Window),
      main_(main),
      prompts_(prompts),
      monitor_(main.store(), main.table(), main, main.recorder(), surface_) {
  monitor_.setDecimalSeparator(systemDecimalSeparator());
  monitor_.setWindow(this);
  main.recorder().addListener(this);
  buildControls();
}

TForm2::~TForm2() = default;

QLabel* TForm2::captionLabel(MonitorCaptions::Id id, const QString& objectName,
                             const QString& description, QWidget* parent) {
  auto* label = new QLabel(monitor_.captions().text(id), parent);
  label->setObjectName(objectName);
  label->setAccessibleName(label->text());
  label->setAccessibleDescription(description);
  captionLabels_[id] = label;
  return label;
}

void TForm2::buildControls() {
  setObjectName(QStringLiteral("TForm2"));
  setWindowTitle(QStringLiteral("Monitor Velan"));
  connect(&monitor_.captions(), &MonitorCaptions::changed, this,
          [this](int id, const QString& text) {
            if (QLabel* label = captionLabels_[id]) {
              label->setText(text);
              label->setAccessibleName(text);
            }
          });

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setHorizontalSpacing(6);

  grid->addLayout(buildChannelStrip(), 0, 0);
  buildPicture();
  grid->addWidget(ImScreen, 0, 1, Qt::AlignLeft | Qt::AlignTop);
  grid->addLayout(buildBottomStrip(), 1, 0, 1, 2);
  for (int control = 1; control <= 10; ++control) {
    connect(upDowns_[control], &UpDownWidget::pressed, this,
            [this, control](bool upperArrow) { pressUpDown(control, upperArrow); });
  }
  resize(770, 580);
}

QVBoxLayout* TForm2::buildChannelStrip() {
  // One group per channel, then the fitting of their scales.
  auto* left = new QVBoxLayout;
  const QString scaleNames[] = {QString(), QStringLiteral("Scale1"), QStringLiteral("Scale2"),
                                QStringLiteral("scale3"), QStringLiteral("scale4")};
  const QString groupNames[] = {QString(), QStringLiteral("GBCH1"), QStringLiteral("GBCh2"),
                                QStringLiteral("GBCh3"), QStringLiteral("GBCh4")};
  for (int c = 1; c <= kChannels; ++c) {
    auto* group = new QGroupBox(QStringLiteral(" Ch. %1 (mV) ").arg(c), this);
    group->setObjectName(groupNames[c]);
    // The channel's colour, as dark or light as the window needs to read it (the marks on the
    // white picture keep the exact colours).
    const QColor background = palette().color(QPalette::Window);
    group->setStyleSheet(
        QStringLiteral("QGroupBox { color: %1; }")
            .arg(readableColor(QColor::fromRgb(kChannelHeadingColors[c]), background).name()));
    GBCh[c] = group;
    auto* layout = new QGridLayout(group);
    layout->setContentsMargins(4, 2, 2, 2);
    layout->setVerticalSpacing(1);
    QLabel* value = captionLabel(MonitorCaptions::value(c), QStringLiteral("LbmV%1").arg(c),
                                 QStringLiteral("Ch. %1 value").arg(c), group);
    value->setStyleSheet(
        QStringLiteral("color: %1; font-weight: bold")
            .arg(readableColor(QColor::fromRgb(kChannelColors[c]), background).name()));
    layout->addWidget(value, 0, 0, 1, 2);
    layout->addWidget(new QLabel(QStringLiteral("Scale "), group), 1, 0, 1, 2);
    layout->addWidget(captionLabel(MonitorCaptions::scale(c), scaleNames[c],
                                   QStringLiteral("Ch. %1 scale").arg(c), group),
                      2, 0);
    const int scaleControl = 2 * c - 1;
    upDowns_[scaleControl] = new UpDownWidget(QStringLiteral("UpDown%1").arg(scaleControl),
                                              QStringLiteral("Ch. %1 scale").arg(c), group);
    layout->addWidget(upDowns_[scaleControl], 2, 1);
    layout->addWidget(new QLabel(QStringLiteral("Midpoint "), group), 3, 0, 1, 2);
    layout->addWidget(captionLabel(MonitorCaptions::mid(c), QStringLiteral("mid%1").arg(c),
                                   QStringLiteral("Ch. %1 midpoint").arg(c), group),
                      4, 0);
    const int midControl = 2 * c;
    upDowns_[midControl] = new UpDownWidget(QStringLiteral("UpDown%1").arg(midControl),
                                            QStringLiteral("Ch. %1 midpoint").arg(c), group);
    layout->addWidget(upDowns_[midControl], 4, 1);
    group->installEventFilter(this);  // Ctrl+wheel steps its scale
    left->addWidget(group);
  }
  // In sight for a plot gone blank (channel 1 off its scale), not only in the picture's menu.
  BnFit = new QPushButton(QStringLiteral("Fit scales to the data"), this);
  BnFit->setObjectName(QStringLiteral("BnFit"));
  BnFit->setToolTip(QStringLiteral("Fit scales to the data (Ctrl+F)"));
  connect(BnFit, &QPushButton::clicked, this, &TForm2::fitScalesClick);
  left->addWidget(BnFit);
  followData_ = new QCheckBox(QStringLiteral("Follow the data"), this);
  followData_->setObjectName(QStringLiteral("FollowData"));
  followData_->setToolTip(
      QStringLiteral("A channel whose newest value leaves its scale is fitted again at once"));
  connect(followData_, &QCheckBox::toggled, this, [this](bool on) { monitor_.setFollowData(on); });
  left->addWidget(followData_);
  left->addStretch(1);
  return left;
}

void TForm2::buildPicture() {
  ImScreen = new MonitorCanvas(surface_, this);
  ImScreen->setObjectName(QStringLiteral("ImScreen"));
  ImScreen->setAccessibleName(QStringLiteral("Monitor plot"));
  ImScreen->setFixedSize(ImScreen->sizeHint());
  connect(ImScreen, &MonitorCanvas::pointerMoved, this, &TForm2::ImScreenMouseMove);
  connect(ImScreen, &MonitorCanvas::wheelTurned, this, [this](int x, int notches, bool moves) {
    monitor_.wheelOnPicture(x, notches, moves);
    ImScreen->update();
  });
  connect(ImScreen, &MonitorCanvas::scaleWheelTurned, this,
          [this](int notches) { wheelOnScale(1, notches); });
  connect(ImScreen, &MonitorCanvas::boxDrawn, this, [this](int fromX, int toX) {
    monitor_.zoomToColumns(fromX, toX);
    ImScreen->update();
  });
  connect(ImScreen, &MonitorCanvas::wholeRecordRequested, this, [this] {
    monitor_.showWholeRecord();
    ImScreen->update();
  });
  connect(ImScreen, &MonitorCanvas::dragged, this, [this](int dx) {
    monitor_.dragOnPicture(dx);
    ImScreen->update();
  });
  connect(ImScreen, &MonitorCanvas::savePictureRequested, this, &TForm2::savePictureClick);
  connect(ImScreen, &MonitorCanvas::savePictureWithLegendRequested, this,
          &TForm2::savePictureWithLegendClick);
  connect(ImScreen, &MonitorCanvas::fitScalesRequested, this, &TForm2::fitScalesClick);
  connect(ImScreen, &MonitorCanvas::statisticsRequested, this, &TForm2::statisticsRequested);
  connect(ImScreen, &MonitorCanvas::spanSelected, this,
          [this](int fromX, int toX) { monitor_.selectSpan(fromX, toX); });
  connect(ImScreen, &MonitorCanvas::selectionCleared, this, [this] { monitor_.clearSelection(); });
  // Ctrl+F and Home work anywhere in the window, not only while the plot has the focus.
  addAction(ImScreen->fitAction());
  addAction(ImScreen->wholeRecordAction());
}

QHBoxLayout* TForm2::buildBottomStrip() {
  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(2);
  BnPlot = new QPushButton(QStringLiteral("Plot"), this);
  BnPlot->setObjectName(QStringLiteral("BnPlot"));
  BnPlot->setAccessibleName(QStringLiteral("Plot"));
  BnPlot->setFixedWidth(44);
  QSizePolicy keepsItsPlace = BnPlot->sizePolicy();  // the strip must not jump when it hides
  keepsItsPlace.setRetainSizeWhenHidden(true);
  BnPlot->setSizePolicy(keepsItsPlace);
  connect(BnPlot, &QPushButton::clicked, this, &TForm2::BnPlotClick);
  bottom->addWidget(BnPlot, 0, Qt::AlignVCenter);

  // The groups in the compact 11-pixel text of the axis labels: at the desktop's usual size
  // they would not fit the window's 770 pixels with the note prompt shown whole.
  QFont compact = font();
  compact.setPixelSize(11);
  for (QGroupBox* group : buildTimeGroups() + buildRunGroups()) {
    group->setFont(compact);
    bottom->addWidget(group);
  }
  bottom->addStretch(1);  // the groups keep their size when plot mode hides some of them
  // Wide enough for the whole prompt, so the user sees what the field is for.
  EdRemark->setMinimumWidth(EdRemark->fontMetrics().horizontalAdvance(EdRemark->text()) + 8);
  return bottom;
}

QGroupBox* TForm2::stripGroup(const QString& title, const QString& name) {
  auto* group = new QGroupBox(title, this);
  group->setObjectName(name);
  auto* layout = new QHBoxLayout(group);
  layout->setContentsMargins(3, 2, 3, 2);
  layout->setSpacing(3);
  return group;
}

QList<QGroupBox*> TForm2::buildTimeGroups() {
  QGroupBox* timeStart =
      stripGroup(QStringLiteral("Time scale from "), QStringLiteral("GBTimestart"));
  auto* minus = new QPushButton(QStringLiteral("<"), timeStart);
  minus->setObjectName(QStringLiteral("BnTimeMinus"));
  minus->setAccessibleName(QStringLiteral("Time window earlier"));
  auto* plus = new QPushButton(QStringLiteral(">"), timeStart);
  plus->setObjectName(QStringLiteral("BnTimeplus"));
  plus->setAccessibleName(QStringLiteral("Time window later"));
  for (QPushButton* button : {minus, plus}) button->setFixedWidth(20);
  connect(minus, &QPushButton::clicked, this, &TForm2::BnTimeMinusClick);
  connect(plus, &QPushButton::clicked, this, &TForm2::BnTimeplusClick);
  timeStart->layout()->addWidget(minus);
  timeStart->layout()->addWidget(captionLabel(MonitorCaptions::TimeStart,
                                              QStringLiteral("LbTimestart"),
                                              QStringLiteral("Time start"), timeStart));
  timeStart->layout()->addWidget(new QLabel(QStringLiteral("min"), timeStart));
  timeStart->layout()->addWidget(plus);

  QGroupBox* range = stripGroup(QStringLiteral(" Time range "), QStringLiteral("GBTimerange"));
  range->layout()->addWidget(captionLabel(MonitorCaptions::TimeScale, QStringLiteral("LbTimescale"),
                                          QStringLiteral("Time range"), range));
  range->layout()->addWidget(new QLabel(QStringLiteral("min"), range));
  upDowns_[9] = new UpDownWidget(QStringLiteral("UpDown9"), QStringLiteral("Time range"), range);
  range->layout()->addWidget(upDowns_[9]);

  GBinterval = stripGroup(QStringLiteral(" Reading interval  "), QStringLiteral("GBinterval"));
  GBinterval->layout()->addWidget(captionLabel(MonitorCaptions::Interval,
                                               QStringLiteral("LbInterval"),
                                               QStringLiteral("Reading interval"), GBinterval));
  GBinterval->layout()->addWidget(new QLabel(QStringLiteral("sec"), GBinterval));
  upDowns_[10] =
      new UpDownWidget(QStringLiteral("UpDown10"), QStringLiteral("Reading interval"), GBinterval);
  GBinterval->layout()->addWidget(upDowns_[10]);

  return {timeStart, range, GBinterval};
}

QList<QGroupBox*> TForm2::buildRunGroups() {
  GbRemark = stripGroup(QStringLiteral(" Add  note "), QStringLiteral("GbRemark"));
  EdRemark = new QLineEdit(QStringLiteral("(Click [^] to insert note)"), GbRemark);
  EdRemark->setObjectName(QStringLiteral("EdRemark"));
  EdRemark->setAccessibleName(QStringLiteral("Monitor note"));
  selectPromptOnFocus(EdRemark);
  auto* remarkOk = new QPushButton(QStringLiteral("^"), GbRemark);
  remarkOk->setObjectName(QStringLiteral("BnRemarkok"));
  remarkOk->setAccessibleName(QStringLiteral("Add monitor note"));
  remarkOk->setFixedWidth(20);
  connect(remarkOk, &QPushButton::clicked, this, &TForm2::BnRemarkokClick);
  connect(EdRemark, &QLineEdit::returnPressed, this, &TForm2::BnRemarkokClick);
  GbRemark->layout()->addWidget(EdRemark);
  GbRemark->layout()->addWidget(remarkOk);

  GBCurrnttime = stripGroup(QStringLiteral("Recording time "), QStringLiteral("GBCurrnttime"));
  GBCurrnttime->layout()->addWidget(captionLabel(MonitorCaptions::Runtime,
                                                 QStringLiteral("LbRuntime"),
                                                 QStringLiteral("Recording time"), GBCurrnttime));
  GBCurrnttime->layout()->addWidget(new QLabel(QStringLiteral("min:sec"), GBCurrnttime));

  auto* cursor = new QGroupBox(QStringLiteral(" Cursor "), this);
  cursor->setObjectName(QStringLiteral("GBCursor"));
  auto* cursorLayout = new QGridLayout(cursor);
  cursorLayout->setContentsMargins(4, 0, 4, 0);
  cursorLayout->setVerticalSpacing(0);
  cursorLayout->addWidget(captionLabel(MonitorCaptions::CursorValue, QStringLiteral("Lbymaus"),
                                       QStringLiteral("Cursor value"), cursor),
                          0, 0, Qt::AlignRight);
  cursorUnit_ = new QLabel(QStringLiteral("mV"), cursor);
  cursorUnit_->setObjectName(QStringLiteral("CursorUnit"));
  cursorLayout->addWidget(cursorUnit_, 0, 1);
  cursorLayout->addWidget(captionLabel(MonitorCaptions::CursorTime, QStringLiteral("Lbtmaus"),
                                       QStringLiteral("Cursor time"), cursor),
                          1, 0, Qt::AlignRight);
  cursorLayout->addWidget(new QLabel(QStringLiteral("min"), cursor), 1, 1);
  cursor->setMinimumWidth(60);
  setTabOrder(remarkOk, ImScreen);  // the plot comes last in the window's tab order
  return {GbRemark, GBCurrnttime, cursor};
}

void TForm2::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    FormShow();
  }
}

QPoint TForm2::placeBeside(const QRect& main, const QSize& monitor, const QRect& area) {
  constexpr int kGap = 8;
  // Kept on the screen where it can be (a monitor larger than the screen fits no place).
  const int top = std::max(area.top(), std::min(main.top(), area.bottom() + 1 - monitor.height()));
  const int left = std::max(area.left(), std::min(main.left(), area.right() + 1 - monitor.width()));
  const QPoint candidates[] = {{main.right() + 1 + kGap, top},
                               {main.left() - kGap - monitor.width(), top},
                               {left, main.bottom() + 1 + kGap},
                               {left, main.top() - kGap - monitor.height()}};
  for (const QPoint& place : candidates) {
    if (area.contains(QRect(place, monitor))) return place;
  }
  return area.topLeft();
}

void TForm2::FormShow() {
  resize(std::max(770, minimumSizeHint().width()), std::max(580, minimumSizeHint().height()));
  if (const QScreen* screen = main_.screen()) {
    move(placeBeside(main_.frameGeometry(), frameGeometry().size(), screen->availableGeometry()));
  }
  monitor_.FormShow();
  ImScreen->update();
}

void TForm2::closeEvent(QCloseEvent* event) {
  event->ignore();
  showMinimized();
}

void TForm2::bringUp() { TForm1::bringForward(this); }

void TForm2::setChannelGroupVisible(int channel, bool visible) {
  GBCh[channel]->setVisible(visible);
}

void TForm2::setRunGroupsVisible(bool visible) {
  GBinterval->setVisible(visible);
  GbRemark->setVisible(visible);
  GBCurrnttime->setVisible(visible);
}

void TForm2::showChannelUnit(int channel, const QString& unit) {
  // The cursor reads off channel 1's scale, so it speaks channel 1's unit.
  GBCh[channel]->setTitle(unit.isEmpty() ? QStringLiteral(" Ch. %1 ").arg(channel)
                                         : QStringLiteral(" Ch. %1 (%2) ").arg(channel).arg(unit));
  if (channel == 1) cursorUnit_->setText(unit);
}

void TForm2::startRun() {
  setAttribute(Qt::WA_ShowWithoutActivating);  // shown for the run, the keyboard stays put
  show();
  showNormal();
  setAttribute(Qt::WA_ShowWithoutActivating, false);
  for (int c = 1; c <= kChannels; ++c) setChannelGroupVisible(c, main_.channelSelected(c));
  setRunGroupsVisible(true);
  BnPlot->hide();
  monitor_.view().displayMode = kRecording;
}

void TForm2::recordReset() {
  monitor_.recordReset();
  ImScreen->update();
}

void TForm2::recordReplaced() {
  monitor_.recordReplaced();
  ImScreen->update();
}

void TForm2::rowStored() {
  monitor_.drawLatestRow();
  ImScreen->update();
}

namespace {
// Captions are written by the program, so a parse failure here is a fault worth showing, not a
// reason to end the program.
template <typename Action>
void guarded(UserPrompts& prompts, Action action) {
  try {
    action();
  } catch (const VelanError& error) {
    prompts.showError(error.message());
  }
}
}  // namespace

void TForm2::BnPlotClick() {
  guarded(prompts_, [this] { monitor_.BnPlotClick(); });
  ImScreen->update();
}

void TForm2::wheelOnScale(int channel, int notches) {
  // Away from the user: a shorter scale, as the wheel shortens the time range.
  for (int i = 0; i < std::abs(notches); ++i) pressUpDown(2 * channel - 1, notches < 0);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    const int channel =
        static_cast<int>(std::find(GBCh.begin(), GBCh.end(), watched) - GBCh.begin());
    if (channel >= 1 && channel <= kChannels && (wheel->modifiers() & Qt::ControlModifier)) {
      wheelOnScale(channel, wheel->angleDelta().y() / QWheelEvent::DefaultDeltasPerStep);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm2::pressUpDown(int control, bool upperArrow) {
  guarded(prompts_, [&] { monitor_.pressUpDown(control, upperArrow); });
  ImScreen->update();
}

void TForm2::BnTimeplusClick() {
  guarded(prompts_, [this] { monitor_.BnTimeplusClick(); });
  ImScreen->update();
}

void TForm2::BnTimeMinusClick() {
  guarded(prompts_, [this] { monitor_.BnTimeMinusClick(); });
  ImScreen->update();
}

void TForm2::ImScreenMouseMove(int x, int y) { monitor_.ImScreenMouseMove(x, y); }

void TForm2::fitScalesClick() {
  guarded(prompts_, [this] { monitor_.fitScalesToData(); });
  ImScreen->update();
}

void TForm2::BnRemarkokClick() {
  main_.addNoteFromMonitor(EdRemark->text());
  monitor_.drawNoteMarker(monitor_.timeToX(main_.store().rowCount));
  ImScreen->update();
}

void TForm2::setRemarkText(const QString& text) { EdRemark->setText(text); }

void TForm2::viewChanged() {
  std::optional<std::pair<double, double>> columns;
  QString duration;
  if (const std::optional<TimeSpan>& span = monitor_.selection()) {
    columns = {monitor_.xAtSeconds(span->from), monitor_.xAtSeconds(span->to)};
    duration =
        formatDecimals(span->to - span->from, 1, systemDecimalSeparator()) + QStringLiteral(" s");
  }
  if (ImScreen) ImScreen->showSelection(columns, duration);
  emit viewUpdated();
}
