// Any bytes as Velan.ini: applied line by line or stopped with a clear error, never a crash.
#include <QBuffer>
#include <cstdlib>

#include "plain_record_fields.h"
#include "settings_file.h"
#include "velan_error.h"

namespace {
struct Target : SettingsTarget {
  QString port;
  PlainRecordFields fields;
  void setPortText(const QString& text) override { port = text; }
  QString portText() const override { return port; }
  void setPortNumber(int) override {}
  RecordFields& recordFields() override { return fields; }
  void setReadingInterval(int ms) override {
    if (ms < kMinimumIntervalMs || ms > kMaximumIntervalMs) std::abort();
  }
  void setInitialDirectory(const QString&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  Target target;
  try {
    readSettings(buffer, target, QLatin1Char('.'));
  } catch (const VelanError&) {
  }
  return 0;
}
