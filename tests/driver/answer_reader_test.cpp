// The protocol's rules for believing an answer, fed byte streams with their arrival times.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_protocol.h"

namespace {

using converter_protocol::AnswerReader;
using converter_protocol::Clock;
using std::chrono::milliseconds;
using Verdict = AnswerReader::Verdict;

TEST(AnswerReaderTest, AnAnswerIsBelievedOnlyWithinItsRangeAndAfterItsQuietGuard) {
  struct Arrival {
    int ms;
    std::string bytes;
  };
  const struct Case {
    const char* what;
    int bits;
    int seenMs;  // the longest conversion lately
    std::vector<Arrival> arrivals;
    int askMs;
    Verdict verdict;
    int32_t reading;
  } cases[] = {
      {"full scale at 12 bits", 12, 0, {{20, "+\x0F\xFF"}}, 60, Verdict::Accepted, 4095},
      {"negative full scale",
       12,
       0,
       {{20, std::string("-\x0F\xFF", 3)}},
       60,
       Verdict::Accepted,
       -4095},
      {"zero", 12, 0, {{20, std::string("+\0\0", 3)}}, 60, Verdict::Accepted, 0},
      {"full scale at 16 bits", 16, 0, {{20, "+\xFF\xFF"}}, 60, Verdict::Accepted, 65535},
      {"one count beyond 12 bits",
       12,
       0,
       {{20, std::string("+\x10\0", 3)}},
       60,
       Verdict::Rejected,
       0},
      {"the guard not over: 20 ms and the answer's own 20",
       12,
       0,
       {{20, "+\x03\xE8"}},
       59,
       Verdict::Waiting,
       0},
      {"bytes one by one",
       12,
       0,
       {{18, "+"}, {19, "\x03"}, {20, "\xE8"}},
       60,
       Verdict::Accepted,
       1000},
      {"a longer conversion lately lengthens the guard",
       12,
       100,
       {{20, "+\x03\xE8"}},
       139,
       Verdict::Waiting,
       0},
      {"... and then it is believed", 12, 100, {{20, "+\x03\xE8"}}, 140, Verdict::Accepted, 1000},
      {"a byte inside the guard", 12, 0, {{20, "+\x03\xE8"}, {55, "+"}}, 60, Verdict::Rejected, 0},
      {"no sign", 12, 0, {{20, "*"}}, 20, Verdict::Rejected, 0},
      {"nothing within the timeout", 12, 0, {}, 1201, Verdict::GivenUp, 0},
      {"an answer after the timeout", 12, 0, {{1250, "+\x03\xE8"}}, 2000, Verdict::GivenUp, 0},
      {"part of an answer at the timeout", 12, 0, {{1000, "+\x03"}}, 1201, Verdict::GivenUp, 0},
  };
  for (const Case& c : cases) {
    const Clock::time_point sent{};
    AnswerReader reader(c.bits, sent, milliseconds(c.seenMs));
    for (const Arrival& arrival : c.arrivals) {
      reader.received(reinterpret_cast<const uint8_t*>(arrival.bytes.data()), arrival.bytes.size(),
                      sent + milliseconds(arrival.ms));
    }
    EXPECT_EQ(reader.verdict(sent + milliseconds(c.askMs)), c.verdict) << c.what;
    if (c.verdict == Verdict::Accepted) {
      EXPECT_EQ(reader.reading(), c.reading) << c.what;
    }
  }
}

}  // namespace
