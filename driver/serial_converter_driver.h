#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "converter_driver.h"

class QSerialPort;
class QThread;

/// How long things take on the converter's line; tests shorten them.
struct SerialLineTiming {
  std::chrono::milliseconds settle{1100};  ///< after power-up, before the first conversion
  std::chrono::milliseconds answer{1200};  ///< longest wait for an answer
  std::chrono::milliseconds quiet{100};    ///< a line this long silent is drained
  std::chrono::milliseconds reopen{500};   ///< between attempts on a device that went away
  std::chrono::milliseconds stale{2000};   ///< a value older than this (or 3 cycles) is none
};

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

 private:
  static constexpr int kChannels = 8;
  struct Channel {
    bool setUp = false;
    int bits = 12;
    int filterFactor = 10;
    double kept = 0;              ///< the filtered reading
    Clock::time_point converted;  ///< of the last conversion; none yet when not `fresh`
    bool fresh = false;
  };
  enum class Step { Reading, Garbage, Silent, Gone, Stopped };

  /// Ends the conversion thread (within 0.2 s) and forgets the channels; false when none ran.
  bool stop();
  void convertUntilStopped(QSerialPort& port);
  bool openLine(QSerialPort& port);
  Step convert(QSerialPort& port, int channel, int bits, std::chrono::milliseconds timeout,
               int32_t* reading);
  void drain(QSerialPort& port);
  void keep(int channel, int32_t reading, Clock::time_point when);
  /// How old a value may be and still count: 2 s, or three error-free rounds (mutex_ held).
  Clock::duration staleAfter() const;
  /// Waits up to `duration`; false when the driver is being closed.
  bool pause(std::chrono::milliseconds duration);

  DeviceForPort deviceForPort_;
  Timing timing_;
  QString device_;
  QString openFailure_;
  std::unique_ptr<QThread> thread_;  ///< a QThread: the port's notifiers need one
  std::atomic<bool> stopping_{false};
  std::mutex stopMutex_;
  std::condition_variable stopSignal_;

  mutable std::mutex mutex_;  ///< guards channels_ and cycle_
  std::array<Channel, kChannels + 1> channels_{};
  Clock::duration cycle_{};  ///< how long the last round over the set-up channels took when
                             ///< every channel answered
};
