#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "converter_driver.h"
#include "converter_protocol.h"

class QSerialPort;
class QThread;

/// How long things take on the converter's line (the protocol's figures); tests shorten them.
struct SerialLineTiming {
  std::chrono::milliseconds settle{1100};  ///< after power-up, before the first conversion
  std::chrono::milliseconds answer{converter_protocol::kAnswerTimeout};
  std::chrono::milliseconds quiet{converter_protocol::kQuietLine};
  std::chrono::milliseconds reopen{500};  ///< between attempts on a device that went away
  std::chrono::milliseconds guard{converter_protocol::kAnswerGuard};
  std::chrono::milliseconds longestConversion{converter_protocol::kLongestConversion};
  std::chrono::milliseconds openQuietBound{converter_protocol::kOpenQuietBound};
  /// A value is fresh for one round over the set-up channels and this much more.
  std::chrono::milliseconds freshMargin{200};
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
  int rejectedAnswers() const override { return rejected_; }
  int unansweredRequests() const override { return unanswered_; }
  LineTrouble trouble() const override { return trouble_; }

 private:
  /// Channels the converter has (the program uses the first four).
  static constexpr int kDeviceChannels = 8;
  struct Channel {
    bool setUp = false;
    int bits = 12;
    int filterFactor = 10;
    double filtered = 0;          ///< the kept value: the filter's output
    Clock::time_point converted;  ///< of the last accepted conversion; none yet when not `fresh`
    bool fresh = false;
    bool restartFilter = true;     ///< the next accepted reading starts the filter afresh
    Clock::duration took{};        ///< from request to acceptance, the last time; 0: not yet
    Clock::duration conversion{};  ///< from request to answer, the last time; 0: not yet
  };
  enum class Step { Reading, Rejected, GivenUp, Gone, Stopped };
  struct Conversion {
    Step step = Step::Stopped;
    int32_t reading = 0;
    Clock::time_point sent;        ///< when the request went out
    Clock::duration conversion{};  ///< from request to answer, for a reading
  };

  /// Ends the conversion thread (its waits end at once) and forgets the channels; false when
  /// none ran.
  bool stop();
  /// The open's work on the conversion thread: empty when a converter answered, else why not.
  QString openAndProve(QSerialPort& line, int32_t port);
  void convertUntilStopped(QSerialPort& port);
  /// Opens the device and takes it for this program alone; empty, or why not.
  QString openLine(QSerialPort& port);
  /// One conversion by the protocol's acceptance rule.
  Conversion convert(QSerialPort& port, int channel, int bits);
  /// Reads and discards until `notBefore` has passed and the line has been quiet for
  /// timing_.quiet since; false when it was not quiet by `deadline` (or the line broke).
  bool drain(QSerialPort& port, Clock::time_point notBefore,
             Clock::time_point deadline = Clock::time_point::max());
  /// After a request given up: true once its late answer has come and the line has been quiet
  /// since; false when nothing came within timing_.longestConversion of `sent`.
  bool awaitLateAnswer(QSerialPort& port, Clock::time_point sent);
  /// Closes the line with the converter's power off, and lets go of the device's lock.
  void closeLine(QSerialPort& port);
  /// The device is gone (or the converter lost): its values with it, at once, and its power.
  void lose(QSerialPort& port);
  void keep(int channel, const Conversion& converted, Clock::time_point when);
  /// The longest the converter took to answer lately: each set-up channel's last conversion,
  /// or the proof's (mutex_ held).
  Clock::duration conversionSeen() const;
  /// How old a value may be and still count: one round over the set-up channels, as long as
  /// their last accepted conversions took, and the margin (mutex_ held).
  Clock::duration staleAfter() const;
  /// Reads what has come on the line into `into`, straight from the device (the port's own
  /// buffer is never used): how many bytes, or -1 when the device failed under the line.
  static int readWaiting(QSerialPort& line, uint8_t* into, size_t capacity);
  /// Reads and drops all that has come; false when the device failed under the line.
  static bool discardWaiting(QSerialPort& line);
  /// Waits up to `duration`; false when the driver is being closed.
  bool pause(std::chrono::milliseconds duration);
  enum class Heard { Nothing, Bytes, Broken };
  /// Waits until bytes come on `line` (none: only the time), `until` has passed or the driver
  /// is being closed; Broken when the line hung up (a USB adapter pulled, the device gone).
  Heard awaitLineUntil(QSerialPort* line, Clock::time_point until);

  DeviceForPort deviceForPort_;
  Timing timing_;
  QString device_;
  QString openFailure_;
  std::unique_ptr<QThread> thread_;  ///< a QThread: the port's notifiers need one
  std::atomic<bool> stopping_{false};
  std::atomic<int> rejected_{0};    ///< answers refused since the open
  std::atomic<int> unanswered_{0};  ///< requests given up since the open
  std::atomic<LineTrouble> trouble_{LineTrouble::None};
  int stopEvent_;    ///< an eventfd, readable once stop() has begun
  int lockFd_ = -1;  ///< the device's lock, held while the line is open (conversion thread)

  mutable std::mutex mutex_;  ///< guards channels_ and firstTook_
  std::array<Channel, kDeviceChannels + 1> channels_{};
  Clock::duration firstTook_{};  ///< the proof conversion's time: for channels not yet converted
  Clock::duration firstConversion_{};
};
