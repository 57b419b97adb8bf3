// The menus and the program's keys, and what their items open that is not a file.
#include <QMenuBar>
#include <QShortcut>

#include "about_panel.h"
#include "help_window.h"
#include "main_window.h"
#include "numbers.h"
#include "program_key.h"
#include "serial_ports_dialog.h"
#include "user_settings.h"
#include "velan_error.h"

void TForm1::buildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  Open1 = file->addAction(QStringLiteral("&Open"), this, &TForm1::Open1Click);
  Open1->setShortcut(QKeySequence::Open);
  Save1 = file->addAction(QStringLiteral("&Save"), this, &TForm1::Save1Click);
  Save1->setShortcut(QKeySequence::Save);
  Saveas1 = file->addAction(QStringLiteral("Save &as"), this, &TForm1::Saveas1Click);
  // Qt's standard Save-as key is empty on plain X11 and KDE: Ctrl+Shift+S on every desktop.
  QList<QKeySequence> saveAsKeys = {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)};
  for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::SaveAs)) {
    if (!saveAsKeys.contains(key)) saveAsKeys << key;
  }
  Saveas1->setShortcuts(saveAsKeys);
  exportCsv_ = file->addAction(QStringLiteral("&Export as CSV..."), this, &TForm1::exportCsvClick);
  exportCsv_->setObjectName(QStringLiteral("ExportCsv1"));
  // Whenever the record has rows, during a run too; exporting never changes the saved state.
  connect(file, &QMenu::aboutToShow, this, [this] { exportCsv_->setEnabled(store_.rowCount > 0); });
  recentMenu_ = file->addMenu(QStringLiteral("&Recent files"));
  recentMenu_->setObjectName(QStringLiteral("RecentFiles1"));
  recentMenu_->setToolTipsVisible(true);  // the full path of each file
  fillRecentMenu();
  file->addSeparator();
  QAction* quit = file->addAction(QStringLiteral("E&xit Program"), this, &TForm1::Quit1Click);
  quit->setShortcut(QKeySequence::Quit);
  Save1->setEnabled(false);
  Saveas1->setEnabled(false);
  Open1->setObjectName(QStringLiteral("Open1"));
  Save1->setObjectName(QStringLiteral("Save1"));
  Saveas1->setObjectName(QStringLiteral("Saveas1"));
  quit->setObjectName(QStringLiteral("Quit1"));

  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  QAction* settings = options->addAction(QStringLiteral("Save currents settings as &Velan.ini"),
                                         this, &TForm1::saveSettingsClick);
  settings->setObjectName(QStringLiteral("SaveSettings1"));
  Help1 = options->addAction(QStringLiteral("Save numbers with &comma/point: = c"), this,
                             &TForm1::Help1Click);
  Help1->setObjectName(QStringLiteral("Help1"));
  QAction* serialPorts =
      options->addAction(QStringLiteral("Serial &ports..."), this, &TForm1::serialPortsClick);
  serialPorts->setObjectName(QStringLiteral("SerialPorts1"));
  QAction* scaling =
      options->addAction(QStringLiteral("Channel &scaling..."), this, &TForm1::channelScalingClick);
  scaling->setObjectName(QStringLiteral("ChannelScaling1"));
  QAction* recordings = options->addAction(QStringLiteral("&Recordings folder..."), this,
                                           &TForm1::recordingsFolderClick);
  recordings->setObjectName(QStringLiteral("RecordingsFolder1"));
  QAction* limits = options->addAction(QStringLiteral("&Limits..."), this, &TForm1::limitsClick);
  limits->setObjectName(QStringLiteral("Limits1"));
  QAction* publishing =
      options->addAction(QStringLiteral("P&ublishing..."), this, &TForm1::publishingClick);
  publishing->setObjectName(QStringLiteral("Publishing1"));

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  QAction* statistics =
      view->addAction(QStringLiteral("&Statistics"), this, [this] { bringForward(statistics_); });
  statistics->setObjectName(QStringLiteral("Statistics1"));
  showProgramKey(statistics, QKeySequence(Qt::CTRL | Qt::Key_4));

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  QAction* manual = help->addAction(QStringLiteral("&Help"), this, &TForm1::Manual1Click);
  showProgramKey(manual, QKeySequence(Qt::Key_F1));
  manual->setObjectName(QStringLiteral("Manual1"));
  QAction* aboutItem =
      help->addAction(QStringLiteral("&About Velan"), this, &TForm1::AboutVelan1Click);
  aboutItem->setObjectName(QStringLiteral("AboutVelan1"));
}

void TForm1::addKey(const QKeySequence& key, const std::function<void()>& action) {
  auto* shortcut = new QShortcut(key, this);
  shortcut->setContext(Qt::ApplicationShortcut);
  connect(shortcut, &QShortcut::activated, this, action);
}

void TForm1::clickIfShown(QPushButton* button) {
  if (!button->isHidden() && button->isEnabled()) button->click();
}

void TForm1::bringForward(QWidget* window) {
  if (!window) return;
  window->show();
  window->showNormal();
  window->raise();
  window->activateWindow();
}

void TForm1::describePort() {
  bool isNumber = false;
  const int port = EdComNr->text().trimmed().toInt(&isNumber);
  const QString meaning =
      isNumber ? QStringLiteral("COM %1 is %2").arg(port).arg(UserSettings::serialDevice(port))
               : QString();
  EdComNr->setToolTip(meaning);
  EdComNr->setAccessibleDescription(meaning);
}

void TForm1::serialPortsClick() {
  int port = 0;
  try {
    port = parseInteger(EdComNr->text());
  } catch (const VelanError& error) {
    prompts_.showError(error.message());
    return;
  }
  SerialPortsDialog dialog(port, this);
  if (dialog.exec() != QDialog::Accepted) return;
  UserSettings::assignSerialDevice(port, dialog.device());
  describePort();
}

void TForm1::Manual1Click() {
  if (help_) help_->setVisible(true);
}

void TForm1::AboutVelan1Click() {
  GBInfo->show();
  GBInfo->raise();
  GBInfo->setFocus();  // so the keyboard can close it too
}
