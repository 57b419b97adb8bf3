#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "converter_driver.h"
#include "serial_line_timing.h"

class QThread;
class SerialConversion;

/// The four calls over a serial port in the converter's own line protocol, for a system without
/// the maker's library. A conversion thread of its own owns the port and converts the set-up
/// channels one after the other; the calls only read or set what it keeps, under a lock, and
/// never wait on the line (except the open, which proves that a converter answers).
///
/// Every channel is converted single-ended: the program's four channels are independent, and the
/// maker allows differential pairs on odd channels only, so a 0 for the mode means "no pair".
class SerialConverterDriver : public ConverterDriver {
 public:
  using Clock = std::chrono::steady_clock;
  /// The device a port number means (COM1 = 1).
  using DeviceForPort = std::function<QString(int32_t port)>;
  using Timing = SerialLineTiming;

  explicit SerialConverterDriver(DeviceForPort deviceForPort, Timing timing = {});
  ~SerialConverterDriver() override;
  SerialConverterDriver(const SerialConverterDriver&) = delete;
  SerialConverterDriver& operator=(const SerialConverterDriver&) = delete;

  uint8_t openUnit(int32_t port) override;
  uint8_t setChannel(int32_t port, int32_t channel, int32_t bits, int32_t mode,
                     int32_t filterFactor) override;
  uint8_t getValue(int32_t* reading, int32_t port, int32_t channel) override;
  uint8_t closeUnit(int32_t port) override;
  QString openFailure() const override { return openFailure_; }
  int rejectedAnswers() const override;
  int unansweredRequests() const override;
  LineTrouble trouble() const override;
  LineTrouble channelTrouble(int32_t channel) const override;

 private:
  /// Ends the conversion thread (its waits end at once) and forgets the channels; false when
  /// none ran. Waits for the thread at most timing_.stopBound: a thread held up in a system call
  /// (a close that waits on a wedged USB adapter) is left to end on its own, with what it uses,
  /// and keeps the device's lock until then.
  bool stop();

  DeviceForPort deviceForPort_;
  Timing timing_;
  QString openFailure_;
  std::shared_ptr<SerialConversion> conversion_;  ///< the open's, shared with its thread
  std::unique_ptr<QThread> thread_;               ///< a QThread: the port's notifiers need one
};
