#pragma once

#include <cstdint>
#include <optional>

/// The converter's line protocol: one control byte out, a three-byte answer back.
namespace converter_protocol {

/// The answer to a conversion: a sign character, then the magnitude, high byte first.
inline constexpr int kAnswerBytes = 3;

/// The control byte of one conversion: bits 7-5 the channel - 1, bits 4-1 the resolution - 1,
/// bit 0 set for single-ended (the channel against ground).
constexpr uint8_t controlByte(int channel, int bits, bool singleEnded) {
  return static_cast<uint8_t>(((channel - 1) & 0x7) << 5 | ((bits - 1) & 0xF) << 1 |
                              (singleEnded ? 1 : 0));
}

/// The reading in an answer; nothing when its first byte is neither '+' nor '-'.
constexpr std::optional<int32_t> reading(const uint8_t (&answer)[kAnswerBytes]) {
  const int32_t magnitude = answer[1] << 8 | answer[2];
  if (answer[0] == '+') return magnitude;
  if (answer[0] == '-') return -magnitude;
  return std::nullopt;
}

}  // namespace converter_protocol
