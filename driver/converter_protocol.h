#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

/// The converter's line protocol: one control byte out, a three-byte answer back, and the rules
/// by which an answer is believed.
///
/// A reading is accepted only when it provably answers its own request:
/// - the line was quiet when the request went out (nothing unread, nothing unasked on its way),
/// - exactly three bytes came within the answer timeout, and nothing followed them for
///   kAnswerGuard (a byte right behind them is line noise or a stray: the three are not
///   known to be the answer),
/// - the first is '+' or '-', and the magnitude is within the requested resolution: at b bits
///   the input range spans -(2^b - 1)..+(2^b - 1) (12 bits: +-4095, 16 bits: +-65535).
/// Anything else is no reading: the line is drained until it has been quiet for kQuietLine.
///
/// Timeouts: an answer is waited for kAnswerTimeout, which allows the slowest conversion the
/// maker gives (about a second at 16 bits). A request given up may still be converting, and
/// nothing may be sent to a converter while it converts: no request goes out until
/// kLongestConversion has passed since the given-up request and the line has then been quiet
/// for kQuietLine. Whatever arrives meanwhile (a late answer) is discarded, never taken for
/// the next request's answer.
namespace converter_protocol {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// The answer to a conversion: a sign character, then the magnitude, high byte first.
inline constexpr int kAnswerBytes = 3;
inline constexpr milliseconds kAnswerTimeout{1200};
/// Three times the slowest conversion the maker gives: a converter slower than that is broken,
/// and its answers are lost rather than misread.
inline constexpr milliseconds kLongestConversion{3000};
/// Longer than a USB serial adapter's usual 16 ms latency timer, so that a byte sent right
/// behind an answer is seen before the answer is believed (at 9600 baud a byte takes 1 ms).
inline constexpr milliseconds kAnswerGuard{20};
inline constexpr milliseconds kQuietLine{100};

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

  AnswerReader(int bits, Clock::time_point sent, Clock::duration timeout = kAnswerTimeout,
               Clock::duration guard = kAnswerGuard)
      : bits_(bits), deadline_(sent + timeout), guard_(guard) {}

  void received(const uint8_t* bytes, size_t count, Clock::time_point at) {
    for (size_t i = 0; i < count; ++i) {
      if (received_ < kAnswerBytes) answer_[received_] = bytes[i];
      if (received_ < kAnswerBytes + 1) ++received_;  // one too many is enough to know
      if (received_ == kAnswerBytes) complete_ = at;
    }
  }

  Verdict verdict(Clock::time_point now) const {
    if (received_ > kAnswerBytes) return Verdict::Rejected;
    if (received_ > 0 && answer_[0] != '+' && answer_[0] != '-') return Verdict::Rejected;
    if (received_ < kAnswerBytes) return now > deadline_ ? Verdict::GivenUp : Verdict::Waiting;
    if (complete_ > deadline_) return Verdict::GivenUp;  // came after the request was given up
    if (!converter_protocol::reading(answer_, bits_)) return Verdict::Rejected;
    return now - complete_ >= guard_ ? Verdict::Accepted : Verdict::Waiting;
  }

  /// When the verdict changes if no byte comes: the guard's end, or the timeout.
  Clock::time_point decisionDue() const {
    return received_ == kAnswerBytes ? complete_ + guard_ : deadline_;
  }

  /// The reading, once the verdict is Accepted.
  int32_t reading() const { return converter_protocol::reading(answer_, bits_).value_or(0); }

 private:
  int bits_;
  Clock::time_point deadline_;
  Clock::duration guard_;
  uint8_t answer_[kAnswerBytes] = {};
  int received_ = 0;
  Clock::time_point complete_{};
};

}  // namespace converter_protocol
