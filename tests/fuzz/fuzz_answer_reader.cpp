// Any bytes at any times after a request: the answer reader never accepts a reading that breaks
// the protocol's rules. Input: the resolution, then events of a gap (4 ms units), a count (1-4)
// and that many bytes arriving at once. The reader is asked as the driver asks it: at every
// event and whenever it says its verdict may change.
#include <cstdlib>
#include <vector>

#include "converter_protocol.h"

using converter_protocol::AnswerReader;
using converter_protocol::Clock;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int bits = 8 + data[0] % 9;
  const Clock::time_point sent{};
  AnswerReader reader(bits, sent);
  std::vector<uint8_t> bytes;  // all that came, and when the third one did
  Clock::time_point third = Clock::time_point::max();
  // The verdict at `now`, an accepted reading checked against the rules restated; true when final.
  const auto decided = [&](Clock::time_point now) {
    const AnswerReader::Verdict verdict = reader.verdict(now);
    if (verdict == AnswerReader::Verdict::Accepted) {
      const int32_t magnitude = bytes.size() == 3 ? bytes[1] << 8 | bytes[2] : -1;
      const bool keepsTheRules =
          bytes.size() == 3 && third <= sent + converter_protocol::kAnswerTimeout &&
          now - third >= converter_protocol::kAnswerGuard + (third - sent) &&
          (bytes[0] == '+' || bytes[0] == '-') && magnitude <= (1 << bits) - 1 &&
          reader.reading() == (bytes[0] == '-' ? -magnitude : magnitude);
      if (!keepsTheRules) std::abort();
    }
    return verdict != AnswerReader::Verdict::Waiting;
  };
  Clock::time_point now = sent;
  for (size_t i = 1; i + 2 <= size;) {
    const Clock::time_point next = now + std::chrono::milliseconds(data[i] * 4);
    const size_t count = std::min<size_t>(1 + data[i + 1] % 4, size - i - 2);
    const Clock::time_point due = reader.decisionDue();
    if (due > now && due < next && decided(due)) return 0;
    now = next;
    if (decided(now)) return 0;
    for (size_t k = 0; k < count; ++k) {
      bytes.push_back(data[i + 2 + k]);
      if (bytes.size() == 3) third = now;
    }
    reader.received(data + i + 2, count, now);
    i += 2 + count;
  }
  decided(now + std::chrono::seconds(5));
  return 0;
}
