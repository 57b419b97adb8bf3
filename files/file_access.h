#pragma once

#include <QFile>
#include <QIODevice>
#include <QString>
#include <functional>

#include "velan_error.h"

// Reading and safely replacing files, with the program's messages for whatever fails.

/// The message for a failed file operation with the platform's error number.
QString fileErrorMessage(int errorNumber);

/// Writers gather this many bytes before each writeBytes.
inline constexpr qsizetype kWriteBlockBytes = 256 * 1024;

/// Writes all of `bytes`; a short write throws VelanError (a full disk when the system says
/// nothing else).
void writeBytes(QIODevice& device, const QByteArray& bytes);

/// Opens the regular file at `nativePath` (the system's file-name bytes) for reading into `file`.
/// Anything else, a FIFO or device included, is refused at once. Throws VelanError with the
/// program's message.
void openRegularFile(QFile& file, const QByteArray& nativePath);

/// Checks that `path` may be created or replaced; throws VelanError with the program's message.
void checkWritable(const QString& path);

/// Replaces the file at `path` by what `write` puts into the device. A regular file is replaced
/// atomically (through a symbolic link: the file it points to, in that file's folder), or written
/// in place when its folder forbids new files (its old bytes put back should that fail); an
/// existing device or FIFO is written directly. The file is on the disk (synced, its size checked)
/// before it replaces anything. Every failure, a short write included, throws VelanError; no
/// temporary file stays.
void saveFile(const QString& path, const std::function<void(QIODevice&)>& write);

/// Writes a new file named `nameFor(1)`, or `nameFor(2)`, ... where that exists, and returns
/// its path. The name is taken atomically, when the file is complete on the disk: a file that
/// appears meanwhile under the same name is never replaced. Throws VelanError as saveFile.
QString saveNewFile(const std::function<QString(int copy)>& nameFor,
                    const std::function<void(QIODevice&)>& write);
