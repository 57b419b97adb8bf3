// Any bytes as a data file: a clear error or a record within the store's bounds, never a crash.
#include <QBuffer>
#include <cstdlib>
#include <memory>

#include "data_file.h"
#include "plain_record_fields.h"
#include "velan_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto* store = new RecordStore();
  static auto* table = new DataTable();
  static auto* fields = new PlainRecordFields();
  if (size == 0) return 0;
  // The first byte picks the mode and the system separator, the rest is the file.
  const bool decimalComma = data[0] & 1;
  const QChar separator = (data[0] & 2) ? QLatin1Char(',') : QLatin1Char('.');
  QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  try {
    std::optional<StagedRecord> staged = readDataFile(buffer, decimalComma, separator);
    if (!staged) return 0;
    if (staged->rowCount < 0 || staged->rowCount > kMaxRows) std::abort();
    applyStagedRecord(std::move(*staged), *store, *table, *fields);
    if (table->tableRowCount() != store->rowCount + 25) std::abort();
    // What was read writes again without failing.
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    writeDataFile(out, *store, *table, *fields, decimalComma, separator);
  } catch (const VelanError&) {
  }
  return 0;
}
