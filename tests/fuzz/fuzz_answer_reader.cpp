// Any bytes at any times after a request: the answer reader never accepts a reading that breaks
// the protocol's rules. The input is the resolution, then events: a gap in milliseconds, a
// count of bytes (1 to 4) and the bytes, all arriving at once. The reader is asked at every
// event and at every moment it says its verdict may change, as the driver asks it.
#include <cstdlib>
#include <vector>

#include "converter_protocol.h"

namespace {
using converter_protocol::AnswerReader;
using converter_protocol::Clock;
using std::chrono::milliseconds;

struct Arrival {
  Clock::time_point at;
  uint8_t byte;
};

// The rules, restated from the bytes alone.
void checkAccepted(const AnswerReader& reader, const std::vector<Arrival>& arrived, int bits,
                   Clock::time_point sent, Clock::time_point now) {
  if (arrived.size() != 3) std::abort();  // exactly three bytes
  if (arrived[2].at > sent + converter_protocol::kAnswerTimeout) std::abort();  // in time
  if (now - arrived[2].at < converter_protocol::kAnswerGuard) std::abort();     // nothing behind
  const uint8_t sign = arrived[0].byte;
  if (sign != '+' && sign != '-') std::abort();
  const int32_t magnitude = arrived[1].byte << 8 | arrived[2].byte;
  if (magnitude > (1 << bits) - 1) std::abort();
  if (reader.reading() != (sign == '-' ? -magnitude : magnitude)) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int bits = 8 + data[0] % 9;
  const Clock::time_point sent{};
  AnswerReader reader(bits, sent);
  std::vector<Arrival> arrived;
  Clock::time_point now = sent;
  size_t i = 1;
  // The verdict at `when`; true once it is final.
  auto decided = [&](Clock::time_point when) {
    const AnswerReader::Verdict verdict = reader.verdict(when);
    if (verdict == AnswerReader::Verdict::Accepted)
      checkAccepted(reader, arrived, bits, sent, when);
    return verdict != AnswerReader::Verdict::Waiting;
  };
  while (i + 2 <= size) {
    const Clock::time_point next = now + milliseconds(data[i] * 4);
    const size_t count = 1 + data[i + 1] % 4;
    i += 2;
    // The driver wakes up when the verdict may change, before the next bytes come.
    const Clock::time_point due = reader.decisionDue();
    if (due > now && due < next && decided(due)) return 0;
    now = next;
    if (decided(now)) return 0;
    const size_t first = arrived.size();
    for (size_t k = 0; k < count && i < size; ++k, ++i) arrived.push_back({now, data[i]});
    std::vector<uint8_t> bytes;
    for (size_t k = first; k < arrived.size(); ++k) bytes.push_back(arrived[k].byte);
    reader.received(bytes.data(), bytes.size(), now);
  }
  decided(now + milliseconds(5000));
  return 0;
}
