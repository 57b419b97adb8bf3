#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "converter_model.h"

/// The converter's line protocol: one control byte out, a three-byte answer back, and the rules
/// by which an answer is believed.
///
/// The one rule: every reading handed over is one the converter sent for that request, or none.
/// An answer carries no channel, so only its timing can tell it from a stray (an answer the line
/// repeated, a late answer to an earlier request, noise that looks like one). A reading is
/// accepted only when
/// - the line was quiet when the request went out (nothing unread, nothing unasked on its way),
/// - exactly three bytes came within the answer timeout,
/// - nothing followed them for kAnswerGuard plus as long as a conversion takes (the longer of
///   this answer's own time and the longest the converter took lately): had the three bytes
///   been a stray, the real answer would have come within that time and made them too many,
///   and an echo of the answer would come within it too,
/// - the first is '+' or '-', and the magnitude is within the requested resolution: at b bits
///   the input range spans -(2^b - 1)..+(2^b - 1) (12 bits: +-4095, 16 bits: +-65535).
/// Anything else is no reading. The price is freshness: a conversion costs twice its time plus
/// kAnswerGuard (at 12 bits on the emulator, 20 ms conversions: about 65 ms a channel).
///
/// Timeouts: an answer is waited for kAnswerTimeout, which allows the slowest conversion the
/// maker gives (about a second at 16 bits); once the converter's pace is known, for less (see
/// conversion_machine.h, which also decides what follows a request that failed).
namespace converter_protocol {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// The answer to a conversion: a sign character, then the magnitude, high byte first.
inline constexpr int kAnswerBytes = 3;
inline constexpr milliseconds kAnswerTimeout{1200};
/// Longer than a USB serial adapter's usual 16 ms latency timer, so that a byte sent right
/// behind an answer is seen before the answer is believed (at 9600 baud a byte takes 1 ms).
inline constexpr milliseconds kAnswerGuard{20};
inline constexpr milliseconds kQuietLine{100};
/// A byte's time on the line at 9600 baud (ten bits: 1.04 ms), rounded up.
inline constexpr std::chrono::microseconds kByteTime{1100};

/// The longest an answer takes from its first byte sent to its last read: each byte may wait
/// out a USB adapter's 16 ms latency timer. A begun answer not complete by then has lost a byte.
inline constexpr std::chrono::microseconds kAnswerTransfer =
    kAnswerBytes * (kByteTime + milliseconds(16));
/// How long an open waits beyond the settling time for the line to go quiet: a line with noise
/// or another device on it fails the open rather than keeping the window waiting.
inline constexpr milliseconds kOpenQuietBound{500};

/// The control byte of one conversion: bits 7-5 the channel - 1, bits 4-1 the resolution - 1,
/// bit 0 set for single-ended (the channel against ground).
constexpr uint8_t controlByte(int channel, int bits, bool singleEnded) {
  return static_cast<uint8_t>(((channel - 1) & 0x7) << 5 | ((bits - 1) & 0xF) << 1 |
                              (singleEnded ? 1 : 0));
}

/// The largest magnitude a conversion at `bits` can give.
constexpr int32_t largestMagnitude(int bits) { return (int32_t{1} << bits) - 1; }

/// The reading in an answer at `bits`; nothing when its first byte is neither '+' nor '-' or
/// its magnitude is beyond the resolution.
constexpr std::optional<int32_t> reading(const uint8_t (&answer)[kAnswerBytes], int bits) {
  const int32_t magnitude = answer[1] << 8 | answer[2];
  if (magnitude > largestMagnitude(bits)) return std::nullopt;
  if (answer[0] == '+') return magnitude;
  if (answer[0] == '-') return -magnitude;
  return std::nullopt;
}

/// Judges the bytes that arrive after one request, by the rules above. Fed the bytes as they
/// arrive, with their arrival times in order; asked for its verdict at any time after the last.
class AnswerReader {
 public:
  enum class Verdict { Waiting, Accepted, Rejected, GivenUp };
  /// Why an answer was refused.
  enum class Refusal { None, Garbled, OutOfRange, TooEarly };

  /// `conversionSeen`: the longest the converter took lately to answer (none yet: zero);
  /// `earliest`: an answer complete sooner after the request is no answer of the converter.
  AnswerReader(int bits, Clock::time_point sent, Clock::duration conversionSeen = {},
               Clock::duration timeout = kAnswerTimeout, Clock::duration guard = kAnswerGuard,
               Clock::duration earliest = {})
      : bits_(bits),
        sent_(sent),
        deadline_(sent + timeout),
        guard_(guard),
        conversionSeen_(conversionSeen),
        earliest_(earliest) {}

  void received(const uint8_t* bytes, size_t count, Clock::time_point at) {
    for (size_t i = 0; i < count; ++i) {
      if (received_ == 0) first_ = at;
      if (received_ < kAnswerBytes) answer_[received_] = bytes[i];
      if (received_ < kAnswerBytes + 1) ++received_;  // one too many is enough to know
      if (received_ == kAnswerBytes) complete_ = at;
    }
  }

  Verdict verdict(Clock::time_point now) const {
    if (refusal() != Refusal::None) return Verdict::Rejected;
    if (received_ < kAnswerBytes) {
      const bool lostByte = received_ > 0 && now > first_ + kAnswerTransfer;
      return now > deadline_ || lostByte ? Verdict::GivenUp : Verdict::Waiting;
    }
    if (complete_ > deadline_) return Verdict::GivenUp;  // came after the request was given up
    return now >= believedAt() ? Verdict::Accepted : Verdict::Waiting;
  }

  /// Why the bytes so far are no answer (None: they may still be one).
  Refusal refusal() const {
    if (received_ > kAnswerBytes) return Refusal::Garbled;
    if (received_ > 0 && answer_[0] != '+' && answer_[0] != '-') return Refusal::Garbled;
    if (received_ < kAnswerBytes || complete_ > deadline_) return Refusal::None;
    if (!converter_protocol::reading(answer_, bits_)) return Refusal::OutOfRange;
    if (complete_ - sent_ < earliest_) return Refusal::TooEarly;
    return Refusal::None;
  }

  /// When the request is given up unless its answer is complete.
  Clock::time_point deadline() const { return deadline_; }
  /// When the first byte since the request came; none yet: nothing.
  std::optional<Clock::time_point> firstByteAt() const {
    return received_ > 0 ? std::optional(first_) : std::nullopt;
  }

  /// When the verdict changes if no byte comes: the guard's end, a begun answer's end, or the
  /// timeout.
  Clock::time_point decisionDue() const {
    if (received_ == kAnswerBytes) return believedAt();
    return received_ > 0 ? std::min(deadline_, first_ + kAnswerTransfer) : deadline_;
  }

  /// How many bytes of the answer have not come yet.
  int bytesMissing() const { return std::max(0, kAnswerBytes - received_); }
  /// How long the converter took for this answer, once its three bytes came.
  Clock::duration conversionTime() const { return complete_ - sent_; }

  /// The reading, once the verdict is Accepted.
  int32_t reading() const { return converter_protocol::reading(answer_, bits_).value_or(0); }

 private:
  // The end of the quiet that proves the three bytes the answer (see the rule above).
  Clock::time_point believedAt() const {
    return complete_ + guard_ + std::max(conversionSeen_, complete_ - sent_);
  }

  int bits_;
  Clock::time_point sent_;
  Clock::time_point deadline_;
  Clock::duration guard_;
  Clock::duration conversionSeen_;
  Clock::duration earliest_;
  uint8_t answer_[kAnswerBytes] = {};
  int received_ = 0;
  Clock::time_point first_{};
  Clock::time_point complete_{};
};

}  // namespace converter_protocol
