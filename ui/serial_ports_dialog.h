#pragma once

#include <QDialog>

class QLineEdit;
class QTableWidget;

/// "Serial ports...": the system's serial ports, and which device a port number means. A row
/// picked or a device path typed is assigned to the number on "OK".
class SerialPortsDialog : public QDialog {
  Q_OBJECT
 public:
  SerialPortsDialog(int port, QWidget* parent = nullptr);
  /// The device to assign; empty: back to the default.
  QString device() const;

 private:
  QTableWidget* ports_;
  QLineEdit* device_;
};
