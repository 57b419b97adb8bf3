#pragma once

#include <QSerialPort>
#include <QString>

/// Why `device` could not be opened for `port`, in words a user can act on: no such device,
/// the group to join (or that access must be granted), another program, or the system's reason.
QString openError(const QSerialPort& port, const QString& device);
