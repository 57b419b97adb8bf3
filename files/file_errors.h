#pragma once

#include <QString>

#include "velan_error.h"

/// The message for a failed file operation with the platform's error number.
QString fileErrorMessage(int errorNumber);

/// Checks that `path` can be opened for reading; throws VelanError with the program's message.
void checkReadable(const QString& path);

/// Checks that `path` may be created or replaced; throws VelanError with the program's message.
void checkWritable(const QString& path);
