#pragma once

#include <QByteArray>

/// Tells a service manager where the program stands (systemd's notify protocol: one datagram
/// of "KEY=value" lines to the socket in $NOTIFY_SOCKET), as sd_notify does; nothing when the
/// program does not run as such a service.
void notifyServiceManager(const QByteArray& state);
