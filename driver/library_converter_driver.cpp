#include "library_converter_driver.h"

#include <QCoreApplication>
#include <QDir>

QStringList LibraryConverterDriver::defaultCandidates() {
  QStringList candidates;
  if (QCoreApplication::instance()) {
    candidates << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("adc1632"));
  }
  candidates << QStringLiteral("adc1632");  // the system's library search path
  return candidates;
}

LibraryConverterDriver::LibraryConverterDriver(const QStringList& candidates) {
  for (const QString& name : candidates) {
    library_.setFileName(name);
    if (!library_.load()) continue;
    auto open = reinterpret_cast<OpenFn>(library_.resolve("adc16_open_unit"));
    auto setChannel = reinterpret_cast<SetChannelFn>(library_.resolve("adc16_set_channel"));
    auto getValue = reinterpret_cast<GetValueFn>(library_.resolve("adc16_get_value"));
    auto close = reinterpret_cast<CloseFn>(library_.resolve("adc16_close_unit"));
    if (open && setChannel && getValue && close) {
      open_ = open;
      setChannel_ = setChannel;
      getValue_ = getValue;
      close_ = close;
      return;
    }
    library_.unload();
  }
}

uint8_t LibraryConverterDriver::openUnit(int32_t port) { return open_ ? open_(port) : 0; }

uint8_t LibraryConverterDriver::setChannel(int32_t port, int32_t channel, int32_t a, int32_t b,
                                           int32_t c) {
  return setChannel_ ? setChannel_(port, channel, a, b, c) : 0;
}

uint8_t LibraryConverterDriver::getValue(int32_t* reading, int32_t port, int32_t channel) {
  return getValue_ ? getValue_(reading, port, channel) : 0;
}

uint8_t LibraryConverterDriver::closeUnit(int32_t port) { return close_ ? close_(port) : 0; }
