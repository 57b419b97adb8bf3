#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "converter_protocol.h"
#include "serial_line_timing.h"

/// The built-in driver's decisions on the line, with no thread, clock or port: it is told what
/// happened (bytes with their arrival time, a wake-up it asked for, a line opened anew) and
/// answers what to do (send a control byte, hand over a reading, close and reopen the line,
/// when to wake it next). The conversion thread only moves bytes and times between the line and
/// it; the tests drive it on a simulated line.
///
/// Its rule, on top of the answer reader's (converter_protocol.h):
/// - A request goes out only onto a quiet line with the converter idle: after an accepted
///   answer at once (its guard proved the line quiet), else once the line has been quiet for
///   timing.quiet.
/// - A request that did not end in an accepted answer (refused, or given up) may still be
///   converting, whatever came meanwhile: noise or a foreign answer can look like its answer.
///   Nothing goes out until timing.longestConversion after it (the most any conversion takes)
///   and a quiet line since. When nothing at all came in that time, the converter is lost: the
///   line is closed (its power off) and opened again.
/// - An answer complete in less than half the channel's quickest conversion at its resolution
///   is no answer of the converter (a foreign one, right behind the request). The quickest,
///   not the last: a slow answer (a dribbling adapter) must not make the next ones too quick.
/// - The guard after an answer allows the converter to be a quarter slower than the slowest
///   conversion lately, so that a real answer behind a foreign one is seen.
/// - The round goes through the set-up channels in turn and, after the line was reopened,
///   goes on with the channel after the one given up: a channel that never answers costs the
///   others one power-up a round, never their turns.
class ConversionMachine {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;
  using Duration = Clock::duration;
  static constexpr int kChannels = 8;  ///< the converter's
  /// Each channel's resolution in bits; 0: not set up.
  using ChannelBits = std::array<int, kChannels + 1>;

  enum class Trouble { None, Rejected, GivenUp };
  struct Reading {
    int channel = 0;
    int32_t value = 0;
    Duration conversion{};    ///< from the request to the answer's last byte
    Duration sinceRequest{};  ///< from the request to its acceptance (the guard's end)
  };
  /// What to do now, then when to be woken.
  struct Step {
    std::optional<uint8_t> send;     ///< write this control byte at once
    std::optional<Reading> reading;  ///< an accepted conversion
    Trouble trouble = Trouble::None;
    bool lost = false;      ///< close the line (the converter's power) and open it again
    TimePoint wakeAt;       ///< call timer() then, unless bytes come first
    bool watchLine = true;  ///< false: the rest of an answer is on its way, read it all at wakeAt
  };

  explicit ConversionMachine(const SerialLineTiming& timing = {}) : timing_(timing) {}

  /// The channels to convert; read at each request.
  void setChannels(const ChannelBits& bits) { bits_ = bits; }
  /// The line was opened (anew) and has settled: the round begins, or resumes where it stopped.
  Step start(TimePoint now);
  /// Bytes read from the line, all of them arrived by `at`.
  Step received(const uint8_t* bytes, size_t count, TimePoint at);
  /// The wake-up asked for (or any later one).
  Step timer(TimePoint now);

 private:
  /// The longest the set-up channels' conversions took lately (zero before the first).
  Duration conversionSeen() const;
  enum class Phase { Closed, Idle, Answer, HoldOff };
  Step advance(TimePoint now, Step step);
  Step request(TimePoint now, Step step);
  /// After a request that did not end in an accepted answer: see the rule above.
  void holdOff(bool lostIfSilent);
  int channelFrom(int first) const;
  /// The accepted conversion of the pending request took `took`.
  void remember(Duration took);
  struct Conversion {
    int bits = 0;
    Duration took{};      ///< the last
    Duration quickest{};  ///< at these bits
  };

  SerialLineTiming timing_;
  ChannelBits bits_{};
  Phase phase_ = Phase::Closed;
  int next_ = 1;
  // The request pending (Answer), or the one held off after (HoldOff).
  int channel_ = 0;
  TimePoint sent_{};
  std::optional<converter_protocol::AnswerReader> answer_;
  bool bytesSinceRequest_ = false;
  TimePoint lastByteAt_{};
  // HoldOff: not before this, and the line quiet for timing_.quiet.
  TimePoint notBefore_{};
  bool lostIfSilent_ = false;  ///< lost when nothing came since the request
  std::array<Conversion, kChannels + 1> lastConversion_{};  ///< each channel's last accepted
};
