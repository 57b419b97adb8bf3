#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

/// Reads the lines of a data or settings file by the program's byte rules: CR ends a line and an
/// LF right after it is skipped, a bare LF does not end a line, byte 26 ends the file, and lines
/// read past the end are empty. Each line is decoded as UTF-8 when valid, else Windows-1252.
class LineReader {
 public:
  explicit LineReader(QIODevice& device) : device_(device) {}
  /// The next line (empty past the end). Throws VelanError on a read error.
  QString readLine();

 private:
  bool fill();  // reads more bytes; false at the device's end
  QIODevice& device_;
  QByteArray buffer_;
  qsizetype position_ = 0;
  bool ended_ = false;  // byte 26 seen or device exhausted
};

/// Decodes one line's bytes: UTF-8 when they are valid UTF-8, else Windows-1252.
QString decodeLine(const QByteArray& bytes);

/// Encodes one line in the system's 8-bit encoding and appends CR LF.
QByteArray encodeLine(const QString& line);

/// The value of a tagged line: the text before its first "<" (empty without "<").
QString taggedValue(const QString& line);

/// A channel's line of the data and settings files: its unit label tagged "<Channel n>", or
/// "<Channel n not used>".
QString channelLine(int channel, bool selected, const QString& unitLabel);
