// The built-in driver's decisions on a simulated line: many hostile hours a second.
#include "conversion_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "line_simulator.h"

namespace {

using Sim = LineSimulator;

Sim::Result simulate(uint64_t seed, double hours, int bits, unsigned faults, int channels = 4,
                     double slowSpellMs = 0) {
  Sim::Setup setup;
  setup.seed = seed;
  setup.hours = hours;
  setup.bits = bits;
  setup.faults = faults;
  setup.channels = channels;
  setup.slowSpellMs = slowSpellMs;
  return Sim(setup).run();
}

// Every fault mixed at random under fixed seeds, at the program's 12 bits, the converter's
// slowest 16 and its quickest 8: no reading from a busy or foreign answer, no request to a
// busy converter, every channel fresh again within the bound after the faults.
TEST(ConversionMachineTest, SafeAndLiveOnAHostileLine) {
  const struct {
    uint64_t seeds;
    double hours;
    int bits;
    int channels;
  } runs[] = {{10, 2, 12, 4}, {20, 2, 16, 4}, {4, 1, 12, 1}, {4, 1, 8, 3}};
  for (const auto& run : runs) {
    for (uint64_t seed = 1; seed <= run.seeds; ++seed) {
      const Sim::Result result = simulate(seed, run.hours, run.bits, Sim::kAllFaults, run.channels);
      EXPECT_EQ(result.safetyViolations + result.busyRequests + result.livenessMisses, 0)
          << run.bits << " bits: " << result.firstProblem;
      EXPECT_GT(result.faultStretches, 40) << seed;
      EXPECT_GT(result.readings, 1000) << seed;
    }
  }
}

// The faults that put other channels' values into records, each on its own.
TEST(ConversionMachineTest, EachFaultOnItsOwn) {
  const struct {
    const char* what;
    unsigned faults;
    int bits;
    double slowSpellMs;  // 0: drawn
    bool reopens;        // whether the converter may be taken as lost
    // The least share of a clean line's readings the channels left get while the fault lasts:
    // a refusal costs its request and a short hold, a dead input is asked less and less often.
    double keptShare = 0;
  } cases[] = {
      {"a converter turning slower, with noise", Sim::kSlowSpell | Sim::kNoise, 12, 0, true},
      {"answers just past the timeout", Sim::kSlowSpell, 16, 1210, false},
      {"foreign answers at any offset", Sim::kForeignAnswers, 12, 0, false},
      {"foreign answers to a slow converter", Sim::kForeignAnswers | Sim::kSlowSpell, 16, 1150,
       false},
      {"every other request unanswered", Sim::kEveryOther, 12, 0, true},
      {"echoes, a second device, dribbled and garbled answers",
       Sim::kEchoes | Sim::kSecondDevice | Sim::kDribble | Sim::kGarbledSign, 12, 0, false},
      {"a channel never answered or refused", Sim::kDeadChannel | Sim::kBadChannel, 12, 0, true,
       0.4},
      {"bytes lost, garbled signs", Sim::kLostByte | Sim::kGarbledSign, 12, 0, false, 0.35},
      {"a thread woken late", Sim::kLateHost, 12, 0, true},
  };
  for (const auto& c : cases) {
    for (uint64_t seed = 1; seed <= 3; ++seed) {
      const Sim::Result result = simulate(seed, 1, c.bits, c.faults, 4, c.slowSpellMs);
      EXPECT_EQ(result.safetyViolations + result.busyRequests + result.livenessMisses, 0)
          << c.what << ": " << result.firstProblem;
      if (!c.reopens) {
        EXPECT_EQ(result.reopens, 0) << c.what << ", seed " << seed;
      }
      // Even while the fault lasts, no channel is left out of the round (but a dead one).
      const auto& got = result.readingsInFaults;
      const long most = *std::max_element(got.begin() + 1, got.begin() + 5);
      const auto keptUp = std::count_if(got.begin() + 1, got.begin() + 5,
                                        [most](long readings) { return readings * 2 > most; });
      const bool oneChannel = (c.faults & (Sim::kDeadChannel | Sim::kBadChannel)) != 0;
      EXPECT_GE(keptUp, oneChannel ? 3 : 4) << c.what << ", seed " << seed;
      const double cleanRate = (result.readings - std::accumulate(got.begin(), got.end(), 0L)) /
                               (3600 - result.faultSeconds) / 4;
      EXPECT_GE(most / result.faultSeconds, c.keptShare * cleanRate) << c.what << ", seed " << seed;
    }
  }
}

// A first conversion measured slow (the thread woken a second late) must not lock the
// channel's prompt answers out as too quick: one refusal, then they count again.
TEST(ConversionMachineTest, AFirstAnswerReadLateLocksNoPromptAnswersOut) {
  ConversionMachine machine;
  machine.setChannels({0, 12});
  ConversionMachine::TimePoint now{};
  ConversionMachine::Step step = machine.start(now);
  const uint8_t answer[3] = {'+', 0, 7};
  int readings = 0;
  for (int request = 0; request < 6 && step.send; ++request) {
    now += std::chrono::milliseconds(request == 0 ? 1000 : 20);
    for (step = machine.received(answer, 3, now); !step.send && !step.lost;) {
      step = machine.timer(now = step.wakeAt);
    }
    readings += step.reading ? 1 : 0;
  }
  EXPECT_GE(readings, 5);
}

}  // namespace
