#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "converter_protocol.h"
#include "line_trouble.h"
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
/// - The converter's pace at a resolution is known once a channel answered at it since the
///   converter was last powered anew. An answer is then due within a quarter more than the
///   slowest conversion lately, plus timing.guard and timing.answerMargin; until then within
///   timing.answer. A request past that is still waited for until its conversion, as fast as
///   lately, would have been answered.
/// - A request that did not end in an accepted answer (refused, or given up) may still be
///   converting. When bytes came before its answer's time was over, the converter answered
///   (broken, or behind noise): nothing goes out until that time is over and the line has been
///   quiet for timing.quiet. When nothing came, it cannot be ruled out that the converter still
///   converts (slower than ever, beyond any bound): the line is closed (its power off, which
///   ends any conversion) and opened again. Bytes in place of an answer while the converter
///   converts more than a quarter slower than lately are no rule's to tell (README).
/// - An answer complete in less than half the channel's quickest conversion at its resolution
///   is no answer of the converter (a foreign one, right behind the request). The quickest,
///   not the last: a slow answer (a dribbling adapter) must not make the next ones too quick.
///   Such a refusal forgets the quickest: a first answer read late (a thread woken late) must
///   not lock prompt ones out.
/// - The guard after an answer allows the converter to be a quarter slower than the slowest
///   conversion lately, so that a real answer behind a foreign one is seen.
/// - The round goes through the set-up channels in turn and, after the line was reopened,
///   goes on with the channel after the one given up. A channel silent again and again between
///   the others' answers is asked again only after a pause that doubles with each silence (2 s
///   to 30 s): a dead input costs the others a power-up now and then, never their turns.
class ConversionMachine {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;
  using Duration = Clock::duration;
  static constexpr int kChannels = 8;  ///< the converter's
  /// Each channel's resolution in bits; 0: not set up.
  using ChannelBits = std::array<int, kChannels + 1>;

  struct Reading {
    int channel = 0;
    int32_t value = 0;
    Duration conversion{};    ///< from the request to the answer's last byte
    Duration sinceRequest{};  ///< from the request to its acceptance (the guard's end)
  };
  /// What to do now, then when to be woken.
  struct Step {
    std::optional<uint8_t> send;              ///< write this control byte at once
    std::optional<Reading> reading;           ///< an accepted conversion
    LineTrouble trouble = LineTrouble::None;  ///< why the request failed: no answer, or refused
    int failedChannel = 0;                    ///< the request's that failed
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

  /// A request waiting for its answer: when its conversion is expected to end at the pace
  /// lately (a quarter more than the slowest conversion), and until when bytes count as its
  /// answer, broken or not.
  struct Pending {
    TimePoint expected;
    TimePoint due;
  };
  std::optional<Pending> pending() const;
  /// A silent channel is not asked before this (none: the epoch).
  TimePoint silentUntil(int channel) const { return silence_[channel].retryAt; }

 private:
  /// The longest the set-up channels' conversions took lately (zero before the first).
  Duration conversionSeen() const;
  enum class Phase { Closed, Idle, Answer, HoldOff };
  Step advance(TimePoint now, Step step);
  Step request(TimePoint now, Step step);
  /// After a request that did not end in an accepted answer: see the rule above.
  void failed(LineTrouble trouble, Step& step);
  /// The set-up channel to ask next from `first` on, skipping silent ones not yet due; 0: none.
  int channelFrom(int first, TimePoint now) const;
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
  Duration expected_{};     ///< from the request to when its conversion is expected to end
  bool paceKnown_ = false;  ///< at the request's resolution
  /// Until when bytes count as its answer: when it is given up, or when an answer at the pace
  /// lately has come, whichever is later.
  TimePoint due_{};
  std::optional<converter_protocol::AnswerReader> answer_;
  TimePoint lastByteAt_{};
  // HoldOff: not before this, and the line quiet for timing_.quiet.
  TimePoint notBefore_{};
  /// Each channel's last accepted conversion (bits 0: none).
  std::array<Conversion, kChannels + 1> lastConversion_{};
  bool answeredSinceStart_ = false;
  int suspect_ = 0;  ///< silent after others answered, the converter powered anew since
  unsigned pacesSincePowerUp_ = 0;  ///< bit b: a channel answered at b bits since powered anew
  struct Silence {
    int times = 0;  ///< requests in a row that nothing answered while others did
    TimePoint retryAt{};
  };
  std::array<Silence, kChannels + 1> silence_{};
};
