// Any bytes as a crash journal: a record of at most the store's rows whose parts agree, or
// nothing; never a crash.
#include <QBuffer>
#include <cstdlib>

#include "record_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  const std::optional<JournalRecord> record = readJournal(buffer);
  if (!record) return 0;
  const StagedRecord& staged = record->staged;
  const auto rows = static_cast<size_t>(staged.rowCount);
  if (staged.rowCount < 0 || staged.rowCount > kMaxRows) std::abort();
  if (staged.time.size() != rows || staged.cells.size() != rows) std::abort();
  for (int c = 1; c <= kChannels; ++c) {
    if (staged.value[c].size() != rows) std::abort();
  }
  return 0;
}
