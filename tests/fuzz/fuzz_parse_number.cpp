// Any text to parseNumber and parseInteger; whatever parses formats and reads back.
#include <cmath>
#include <cstdlib>

#include "numbers.h"
#include "velan_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  for (QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
    try {
      const double value = parseNumber(text, separator);
      if (!std::isfinite(value)) std::abort();
      for (int decimals = 0; decimals <= 3; ++decimals) {
        const QString shown = formatFixed(value, 5, decimals, separator);
        const double back = parseNumber(shown, separator);
        if (formatFixed(back, 5, decimals, separator) != shown) std::abort();
      }
      (void)formatCell(value, 6, 2);
    } catch (const VelanError&) {
    }
  }
  try {
    (void)parseInteger(text);
  } catch (const VelanError&) {
  }
  return 0;
}
