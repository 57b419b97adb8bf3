#include "serial_ports_dialog.h"

#include <unistd.h>

#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTableWidget>
#include <QVBoxLayout>

#include "user_settings.h"

SerialPortsDialog::SerialPortsDialog(int port, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SerialPortsDialog"));
  setWindowTitle(QStringLiteral("Serial ports"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("Pick the converter's port, or type its device, for COM %1. Without an "
                     "assignment COM %1 is %2.")
          .arg(port)
          .arg(QStringLiteral("/dev/ttyS%1").arg(port - 1)),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  const QList<QSerialPortInfo> found = QSerialPortInfo::availablePorts();
  ports_ = new QTableWidget(static_cast<int>(found.size()), 5, this);
  ports_->setObjectName(QStringLiteral("SerialPortList"));
  ports_->setAccessibleName(QStringLiteral("Serial ports"));
  ports_->setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("Description"),
                                     QStringLiteral("Maker"), QStringLiteral("Serial number"),
                                     QStringLiteral("You may open it")});
  ports_->setSelectionBehavior(QAbstractItemView::SelectRows);
  ports_->setSelectionMode(QAbstractItemView::SingleSelection);
  ports_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ports_->verticalHeader()->hide();
  ports_->horizontalHeader()->setStretchLastSection(true);
  for (int row = 0; row < found.size(); ++row) {
    const QSerialPortInfo& info = found[row];
    const bool mayOpen =
        ::access(QFile::encodeName(info.systemLocation()).constData(), R_OK | W_OK) == 0;
    const QStringList cells = {info.systemLocation(), info.description(), info.manufacturer(),
                               info.serialNumber(),
                               mayOpen ? QStringLiteral("yes") : QStringLiteral("no")};
    for (int column = 0; column < cells.size(); ++column) {
      ports_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
  }
  ports_->resizeColumnsToContents();
  layout->addWidget(ports_);

  auto* form = new QFormLayout;
  device_ = new QLineEdit(this);
  device_->setObjectName(QStringLiteral("SerialDevice"));
  device_->setAccessibleName(QStringLiteral("Device for COM %1").arg(port));
  device_->setText(UserSettings::serialDevice(port));
  form->addRow(QStringLiteral("&Device for COM %1:").arg(port), device_);
  layout->addLayout(form);
  connect(ports_, &QTableWidget::itemSelectionChanged, this, [this] {
    const QList<QTableWidgetItem*> picked = ports_->selectedItems();
    if (!picked.isEmpty()) device_->setText(ports_->item(picked.front()->row(), 0)->text());
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));  // as every box
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(640, 320);
}

QString SerialPortsDialog::device() const { return device_->text().trimmed(); }
