#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

#include "conversion_machine.h"
#include "converter_driver.h"
#include "converter_protocol.h"
#include "serial_line_timing.h"

class QSerialPort;

/// One open of the converter's line: what the conversion thread keeps and does, from the open's
/// proof to the close. Shared by the driver and its thread, so that a thread held up in a system
/// call past the driver's close keeps what it uses until it ends.
class SerialConversion {
 public:
  using Clock = std::chrono::steady_clock;
  using Timing = SerialLineTiming;
  /// Channels the converter has (the program uses the first four).
  static constexpr int kDeviceChannels = 8;

  SerialConversion(QString device, Timing timing);
  ~SerialConversion();
  SerialConversion(const SerialConversion&) = delete;
  SerialConversion& operator=(const SerialConversion&) = delete;

  /// The thread's whole work: the open and its proof (`opened` hears empty, or why not), then
  /// conversions until stopped.
  void run(int32_t port, const std::function<void(const QString& failure)>& opened);
  /// Ends every wait of the thread at once; it stops at its next step.
  void requestStop();
  bool setChannel(int32_t channel, int32_t bits, int32_t filterFactor);
  bool getValue(int32_t* reading, int32_t channel) const;
  int rejectedAnswers() const { return rejected_; }
  int unansweredRequests() const { return unanswered_; }
  LineTrouble trouble() const { return trouble_; }
  LineTrouble channelTrouble(int32_t channel) const {
    return channel < 1 || channel > kDeviceChannels
               ? LineTrouble::None
               : channelTrouble_[static_cast<size_t>(channel)].load();
  }

 private:
  struct Channel {
    bool setUp = false;
    int bits = kAdc16.bits;
    int filterFactor = 10;
    double filtered = 0;          ///< the kept value: the filter's output
    Clock::time_point converted;  ///< of the last accepted conversion; none yet when not `fresh`
    bool fresh = false;
    Clock::duration took{};  ///< from request to acceptance, the last time; 0: not yet
  };
  using Step = ConversionMachine::Step;

  /// The open's work on the conversion thread: empty when a converter answered, else why not.
  QString openAndProve(QSerialPort& line, int32_t port);
  void convertUntilStopped(QSerialPort& port);
  /// The channels as the machine takes them (0 bits: not set up).
  ConversionMachine::ChannelBits channelBits() const;
  /// Sends `step`'s request, waits as it says and tells the machine what came: its next step,
  /// or nothing when the line broke (the device gone).
  std::optional<Step> exchange(QSerialPort& line, const Step& step,
                               const ConversionMachine::ChannelBits& bits);
  /// Opens the device and takes it for this program alone; empty, or why not.
  QString openLine(QSerialPort& port);
  /// Reads and discards until `notBefore` has passed and the line has been quiet for
  /// timing_.quiet since; false when it was not quiet by `deadline` (or the line broke).
  bool drain(QSerialPort& port, Clock::time_point notBefore,
             Clock::time_point deadline = Clock::time_point::max());
  /// Closes the line with the converter's power off, and lets go of the device's lock unless
  /// `keepLock` (the line is opened again at once).
  void closeLine(QSerialPort& port, bool keepLock = false);
  /// The device is gone (or the converter lost): its values with it, at once, and its power.
  void lose(QSerialPort& port, bool keepLock);
  void keep(const ConversionMachine::Reading& reading, Clock::time_point when);
  /// How old a value may be and still count: one round over the set-up channels, as long as
  /// their last accepted conversions took, and the margin (mutex_ held).
  Clock::duration staleAfter() const;
  /// Reads what has come on the line into `into`, straight from the device (the port's own
  /// buffer is never used): how many bytes, or -1 when the device failed under the line.
  static int readWaiting(QSerialPort& line, uint8_t* into, size_t capacity);
  /// Reads and drops all that has come; false when the device failed under the line.
  static bool discardWaiting(QSerialPort& line);
  /// Waits up to `duration`; false when the driver is being stopped.
  bool pause(std::chrono::milliseconds duration);
  enum class Heard { Nothing, Bytes, Broken };
  /// Waits until bytes come on `line` (none: only the time), `until` has passed or the driver
  /// is being stopped; Broken when the line hung up (a USB adapter pulled, the device gone).
  Heard awaitLineUntil(QSerialPort* line, Clock::time_point until);

  const Timing timing_;
  const QString device_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> rejected_{0};    ///< answers refused since the open
  std::atomic<int> unanswered_{0};  ///< requests given up since the open
  std::atomic<LineTrouble> trouble_{LineTrouble::None};
  /// Each channel's: why its requests fail (the same reason twice in a row), None once one is
  /// answered; and why the last one failed (the conversion thread's alone).
  std::array<std::atomic<LineTrouble>, kDeviceChannels + 1> channelTrouble_{};
  std::array<LineTrouble, kDeviceChannels + 1> lastFailure_{};
  int stopEvent_;    ///< an eventfd, readable once requestStop() was called
  int lockFd_ = -1;  ///< the device's lock, held from the open to the close (conversion thread)

  ConversionMachine machine_{timing_};  ///< the conversion thread's alone

  mutable std::mutex mutex_;  ///< guards channels_ and firstTook_
  std::array<Channel, kDeviceChannels + 1> channels_{};
  Clock::duration firstTook_{};  ///< the proof conversion's time: for channels not yet converted
};
