// The main window's controls: built in named groups, connected, in their tab order.
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <limits>

#include "contrast.h"
#include "main_window.h"
#include "monitor_window.h"
#include "notes_window.h"
#include "prompt_selection.h"

namespace {
// Fields that a file or Velan.ini fills keep every character (the toolkit cuts at 32767).
constexpr int kUnlimitedText = std::numeric_limits<int>::max();
}  // namespace

void TForm1::buildControls() {
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(QStringLiteral("Velan 2026"));
  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(8, 6, 8, 6);
  outer->addLayout(buildTopLine(central));
  auto* middle = new QHBoxLayout;
  middle->addWidget(buildPortAndChannels(central));
  middle->addWidget(buildDataTable(central), 1);
  outer->addLayout(middle, 1);
  outer->addLayout(buildCommandLine(central));
  connectControls();
  GBInfo = new AboutPanel(central);
  GBInfo->setGeometry(144, 24, 329, 209);
  GBInfo->hide();
  setTabOrders();
  selectPromptOnFocus(EdExperiment);
  selectPromptOnFocus(edRem);
  Start->setFocus();
  fitToFont();
  resize(720, 360);
  move(234, 273);
}

QHBoxLayout* TForm1::buildTopLine(QWidget* central) {
  auto* top = new QHBoxLayout;
  Lbdatetime = new QLabel(central);
  Lbdatetime->setObjectName(QStringLiteral("Lbdatetime"));
  Lbdatetime->setAccessibleDescription(QStringLiteral("Start time"));
  LbFile = new QLabel(central);
  LbFile->setObjectName(QStringLiteral("LbFile"));
  LbFile->setAccessibleDescription(QStringLiteral("File"));
  setFileLabel(QStringLiteral("(no File)"));
  QFont bold = LbFile->font();
  bold.setBold(true);
  LbFile->setFont(bold);
  EdExperiment = new QLineEdit(experimentPlaceholder(), central);
  EdExperiment->setObjectName(QStringLiteral("EdExperiment"));
  EdExperiment->setAccessibleName(QStringLiteral("Experiment"));
  EdExperiment->setMinimumWidth(181);
  EdExperiment->setMaxLength(kUnlimitedText);
  top->addWidget(Lbdatetime);
  top->addSpacing(20);
  top->addWidget(new QLabel(QStringLiteral("File:"), central));
  top->addWidget(LbFile, 1);
  top->addWidget(new QLabel(QStringLiteral("Experiment:"), central));
  top->addWidget(EdExperiment);
  return top;
}

QGroupBox* TForm1::buildPortAndChannels(QWidget* central) {
  auto* portGroup = new QGroupBox(QStringLiteral(" Select Port and Channels "), central);
  portGroup->setObjectName(QStringLiteral("GBPort"));
  portGroup->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
  portGroup_ = portGroup;
  auto* grid = new QGridLayout(portGroup);
  EdComNr = new QLineEdit(QStringLiteral("3"), portGroup);
  EdComNr->setObjectName(QStringLiteral("EdComNr"));
  EdComNr->setAccessibleName(QStringLiteral("COM Port #"));
  EdComNr->setFixedWidth(30);
  EdComNr->setMaxLength(kUnlimitedText);
  grid->addWidget(new QLabel(QStringLiteral("COM Port #"), portGroup), 0, 0, Qt::AlignRight);
  grid->addWidget(EdComNr, 0, 1);
  const char* boxNames[] = {"", "CBCh1", "CbCh2", "CBCh3", "CBCh4"};
  for (int c = 1; c <= kChannels; ++c) {
    CBCh[c] = new QCheckBox(QStringLiteral("Ch. %1").arg(c), portGroup);
    CBCh[c]->setObjectName(QString::fromLatin1(boxNames[c]));
    CBCh[c]->setLayoutDirection(Qt::RightToLeft);  // caption left of the box
    CBCh[c]->setChecked(c == 1);
    EdCH[c] = new QLineEdit(QStringLiteral("mV"), portGroup);
    EdCH[c]->setObjectName(QStringLiteral("EdCH%1").arg(c));
    EdCH[c]->setAccessibleName(QStringLiteral("Ch. %1 unit").arg(c));
    EdCH[c]->setMaxLength(kUnlimitedText);
    grid->addWidget(CBCh[c], c, 0);
    grid->addWidget(EdCH[c], c, 1);
  }
  grid->setRowStretch(kChannels + 1, 1);
  return portGroup;
}

QGroupBox* TForm1::buildDataTable(QWidget* central) {
  auto* dataGroup = new QGroupBox(QStringLiteral(" Data  "), central);
  dataGroup->setObjectName(QStringLiteral("GBData"));
  auto* dataLayout = new QVBoxLayout(dataGroup);
  dataLayout->setContentsMargins(2, 2, 2, 2);
  SGData = new QTableView(dataGroup);
  SGData->setObjectName(QStringLiteral("SGData"));
  SGData->setAccessibleName(QStringLiteral("Data"));
  SGData->setModel(&table_);
  SGData->setTabKeyNavigation(false);  // Tab leaves the table; the arrow keys move in it
  SGData->verticalHeader()->hide();
  // A row is dragged by its time cell and dropped on another row: its texts move there.
  SGData->setDragEnabled(true);
  SGData->setAcceptDrops(true);
  SGData->setDropIndicatorShown(true);
  SGData->setDragDropMode(QAbstractItemView::DragDrop);
  SGData->setDragDropOverwriteMode(true);
  SGData->setDefaultDropAction(Qt::CopyAction);  // the table moves the texts itself
  table_.setMovableRows([this] { return store_.rowCount; });
  SGData->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SGData->horizontalHeader()->setHighlightSections(false);
  SGData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SGData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  SGData->setSelectionMode(QAbstractItemView::ContiguousSelection);
  SGData->setMinimumHeight(197);
  // The layout's sizes at the default font; a larger font widens and heightens them.
  tableFit_ = std::make_unique<TableFit>(
      *SGData, table_, std::array<int, DataTable::kColumns>{64, 58, 58, 61, 60, 178}, 16, 505);
  connect(&table_, &DataTable::topRowChanged, SGData, [this](int row) {
    if (row >= 1 && row < table_.tableRowCount()) {
      SGData->scrollTo(table_.index(row - 1, 0), QAbstractItemView::PositionAtTop);
    }
  });
  dataLayout->addWidget(SGData);
  return dataGroup;
}

QHBoxLayout* TForm1::buildCommandLine(QWidget* central) {
  auto* bottom = new QHBoxLayout;
  status_ = new ElidedLabel(central);
  status_->setObjectName(QStringLiteral("LbStatus"));
  setStatus(QStringLiteral("    "));
  QFont small = status_->font();
  small.setPixelSize(11);
  status_->setFont(small);
  status_->setStyleSheet(
      QStringLiteral("color: %1").arg(readableGrey(palette().color(QPalette::Window)).name()));
  status_->setMinimumWidth(170);
  const auto button = [central](const QString& text, const QString& name, const QString& spoken) {
    auto* made = new QPushButton(text, central);
    made->setObjectName(name);
    made->setAccessibleName(spoken);
    return made;
  };
  BnPlot =
      button(QStringLiteral("Plot data"), QStringLiteral("BnPlot"), QStringLiteral("Plot data"));
  Stop = button(QStringLiteral("Stop recording"), QStringLiteral("Stop"),
                QStringLiteral("Stop recording"));
  Start = button(QStringLiteral("Start recording"), QStringLiteral("Start"),
                 QStringLiteral("Start recording"));
  edRem = new QLineEdit(QStringLiteral("(Click [^] to add note)"), central);
  edRem->setObjectName(QStringLiteral("edRem"));
  edRem->setAccessibleName(QStringLiteral("Note"));
  BnAddRemark =
      button(QStringLiteral("^"), QStringLiteral("BnAddRemark"), QStringLiteral("Add note"));
  BnAddRemark->setFixedWidth(24);
  BnAddRemark->setEnabled(false);
  bottom->addWidget(status_, 1);  // the room the buttons leave; a longer text ends in "…"
  bottom->addWidget(BnPlot);
  bottom->addWidget(Stop);
  bottom->addWidget(Start);
  bottom->addSpacing(16);
  bottom->addWidget(edRem);
  bottom->addWidget(BnAddRemark);
  BnPlot->hide();
  return bottom;
}

void TForm1::connectControls() {
  // Typed cells and dragged rows are part of what a save writes, so the journal keeps them too.
  connect(&table_, &DataTable::userEdited, this, [this](int firstRow, int lastRow, int column) {
    journal_.cellsEdited(table_, firstRow, lastRow, column);
  });
  const auto journalFields = [this] { journal_.fieldsChanged(); };
  connect(EdExperiment, &QLineEdit::editingFinished, this, journalFields);
  for (int c = 1; c <= kChannels; ++c) {
    connect(CBCh[c], &QCheckBox::toggled, this, journalFields);
    connect(EdCH[c], &QLineEdit::editingFinished, this, journalFields);
    connect(EdCH[c], &QLineEdit::editingFinished, this, [this, c] { keepUnitWithScaling(c); });
  }
  connect(EdComNr, &QLineEdit::textChanged, this, &TForm1::describePort);
  describePort();
  // The run's commands and the windows, by key from any Velan window (a button's own shortcut
  // would work only while the main window has the keyboard).
  addKey(QKeySequence(Qt::Key_F5), [this] { clickIfShown(Start); });
  addKey(QKeySequence(Qt::SHIFT | Qt::Key_F5), [this] { clickIfShown(Stop); });
  addKey(QKeySequence(Qt::CTRL | Qt::Key_P), [this] { clickIfShown(BnPlot); });
  addKey(QKeySequence(Qt::CTRL | Qt::Key_1), [this] { bringForward(this); });
  addKey(QKeySequence(Qt::CTRL | Qt::Key_2), [this] { bringForward(monitor_); });
  addKey(QKeySequence(Qt::CTRL | Qt::Key_3), [this] { bringForward(notes_); });
  addKey(QKeySequence(Qt::CTRL | Qt::Key_4), [this] { bringForward(statistics_); });
  addKey(QKeySequence(Qt::Key_F1), [this] { Manual1Click(); });
  Start->setToolTip(QStringLiteral("Start recording (F5)"));
  Stop->setToolTip(QStringLiteral("Stop recording (Shift+F5)"));
  BnPlot->setToolTip(QStringLiteral("Plot data (Ctrl+P)"));
  connect(Start, &QPushButton::clicked, this, &TForm1::StartClick);
  connect(Stop, &QPushButton::clicked, this, &TForm1::StopClick);
  connect(BnAddRemark, &QPushButton::clicked, this, &TForm1::BnAddRemarkClick);
  connect(edRem, &QLineEdit::returnPressed, this, &TForm1::BnAddRemarkClick);
  connect(BnPlot, &QPushButton::clicked, this, &TForm1::BnPlotClick);
}

void TForm1::setTabOrders() {
  setTabOrder(Start, Stop);
  setTabOrder(Stop, EdComNr);
  setTabOrder(EdComNr, CBCh[1]);
  for (int c = 1; c <= kChannels; ++c) {
    setTabOrder(CBCh[c], EdCH[c]);
    if (c < kChannels) setTabOrder(EdCH[c], CBCh[c + 1]);
  }
  setTabOrder(EdCH[kChannels], edRem);
  setTabOrder(edRem, EdExperiment);
  setTabOrder(EdExperiment, BnAddRemark);
  setTabOrder(BnAddRemark, SGData);
  setTabOrder(SGData, GBInfo);
  setTabOrder(GBInfo, BnPlot);
}
