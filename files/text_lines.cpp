#include "text_lines.h"

#include <QStringDecoder>
#include <cerrno>

#include "file_access.h"

namespace {
constexpr char kEndOfFile = 26;
constexpr qsizetype kChunk = 64 * 1024;

// Windows-1252 code points of the bytes 0x80..0x9F (undefined bytes map to themselves).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

bool LineReader::fill() {
  if (position_ > 0 && position_ >= buffer_.size() / 2) {
    buffer_.remove(0, position_);
    position_ = 0;
  }
  const qsizetype old = buffer_.size();
  buffer_.resize(old + kChunk);
  errno = 0;
  const qint64 got = device_.read(buffer_.data() + old, kChunk);
  if (got < 0) {
    buffer_.resize(old);
    throw VelanError(fileErrorMessage(errno ? errno : EIO));
  }
  buffer_.resize(old + got);
  return got > 0;
}

QString LineReader::readLine() {
  if (ended_) return {};
  qsizetype scan = position_;
  for (;;) {
    const char* data = buffer_.constData();
    const qsizetype size = buffer_.size();
    for (; scan < size; ++scan) {
      const char byte = data[scan];
      if (byte == '\r' || byte == kEndOfFile) break;
    }
    if (scan < size) break;
    const qsizetype offset = scan - position_;
    if (!fill()) {
      ended_ = true;
      QString line = decodeLine(buffer_.mid(position_));
      position_ = buffer_.size();
      return line;
    }
    scan = position_ + offset;  // fill() may have moved the unread bytes to the front
  }
  QString line =
      decodeLine(QByteArray::fromRawData(buffer_.constData() + position_, scan - position_));
  if (buffer_[scan] == kEndOfFile) {
    ended_ = true;
    position_ = buffer_.size();
    return line;
  }
  position_ = scan + 1;
  if (position_ == buffer_.size() && !fill()) {
    ended_ = true;
    return line;
  }
  if (buffer_[position_] == '\n') ++position_;
  return line;
}

QString decodeLine(const QByteArray& bytes) {
  bool ascii = true;
  for (const char byte : bytes) {
    if (static_cast<unsigned char>(byte) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) return QString::fromLatin1(bytes);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  text.resize(bytes.size());
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    text[i] = (byte >= 0x80 && byte < 0xA0) ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
  }
  return text;
}

QByteArray encodeLine(const QString& line) {
  QByteArray bytes = line.toLocal8Bit();  // the system's 8-bit encoding
  bytes.append("\r\n", 2);
  return bytes;
}

QString taggedValue(const QString& line) {
  const qsizetype tag = line.indexOf(QLatin1Char('<'));
  return tag < 0 ? QString() : line.left(tag);
}

QString channelLine(int channel, bool selected, const QString& unitLabel) {
  return selected ? unitLabel + QStringLiteral("<Channel %1>").arg(channel)
                  : QStringLiteral("<Channel %1 not used>").arg(channel);
}
