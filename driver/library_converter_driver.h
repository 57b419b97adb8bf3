#pragma once

#include <QLibrary>
#include <QStringList>

#include "converter_driver.h"

/// Binding to the shared library "adc1632" through QLibrary. A missing library or symbol is no
/// error: open answers 0 and readings fail, so a run becomes a simulation.
class LibraryConverterDriver : public ConverterDriver {
 public:
  /// Tries each candidate file name in turn; the default list is the program's own folder,
  /// then the system's library path.
  explicit LibraryConverterDriver(const QStringList& candidates = defaultCandidates());

  static QStringList defaultCandidates();
  bool loaded() const { return open_ != nullptr; }

  uint8_t openUnit(int32_t port) override;
  uint8_t setChannel(int32_t port, int32_t channel, int32_t a, int32_t b, int32_t c) override;
  uint8_t getValue(int32_t* reading, int32_t port, int32_t channel) override;
  uint8_t closeUnit(int32_t port) override;

 private:
  using OpenFn = uint8_t (*)(int32_t);
  using SetChannelFn = uint8_t (*)(int32_t, int32_t, int32_t, int32_t, int32_t);
  using GetValueFn = uint8_t (*)(int32_t*, int32_t, int32_t);
  using CloseFn = uint8_t (*)(int32_t);

  QLibrary library_;
  OpenFn open_ = nullptr;
  SetChannelFn setChannel_ = nullptr;
  GetValueFn getValue_ = nullptr;
  CloseFn close_ = nullptr;
};
