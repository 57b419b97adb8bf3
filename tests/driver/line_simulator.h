#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "conversion_machine.h"

/// The conversion machine on a simulated line, on simulated time: a converter model (conversion
/// times per resolution with 5 % jitter, power-up, slow spells that drift by up to 5 % a
/// conversion, power loss, every other request ignored) and a line model (noise bursts, foreign
/// answers at any offset, echoes, dribbled and garbled answers, a second device answering too, the
/// device going away), faults mixed at random under a seed in stretches, each followed by a clean
/// stretch; more in `Fault`. It checks on every run:
/// - safety: every reading handed over is the value the converter converted for that channel's
///   request, made while it was idle; no request ever reaches it while it converts;
/// - liveness: within `livenessBound()` of a clean stretch's start, every set-up channel has a
///   fresh reading; while one channel alone is dead, no other goes longer without one.
/// Faults the protocol cannot detect are left out (see README): a magnitude byte garbled into
/// another valid one, a control byte garbled on its way out, an answer's place taken while the
/// converter is mute or a quarter slower than lately.
class LineSimulator {
 public:
  using Duration = ConversionMachine::Duration;
  enum Fault : unsigned {
    kNoise = 1,
    kForeignAnswers = 2,
    kEchoes = 4,
    kDribble = 8,
    kGarbledSign = 16,
    kSecondDevice = 32,
    kSlowSpell = 64,
    kEveryOther = 128,
    kPowerLoss = 256,
    kDeviceGone = 512,
    kDeadChannel = 1024,  ///< one channel's requests never answered (a dead input)
    kBadChannel = 2048,   ///< one channel's answers always refused (out of range)
    kLostByte = 4096,     ///< a byte lost inside an answer
    kLateHost = 8192,     ///< the thread woken late, now and then by up to a second
    kAllFaults = 16383,
  };
  struct Setup {
    uint64_t seed = 1;
    double hours = 1;
    int bits = 12;     ///< of every channel
    int channels = 4;  ///< 1..channels set up
    unsigned faults = kAllFaults;
    double slowSpellMs = 0;  ///< a slow spell's conversions, ms (0: drawn, 500 to 1600)
  };
  struct Result {
    long readings = 0;
    long requests = 0;
    long faultStretches = 0;
    long safetyViolations = 0;
    long busyRequests = 0;  ///< requests that reached a converting converter
    long livenessMisses = 0;
    long reopens = 0;
    double worstFreshness = 0;  ///< seconds from a clean stretch's start to its last channel
    std::array<long, 9> readingsInFaults{};  ///< per channel, handed over during fault stretches
    double faultSeconds = 0;                 ///< the fault stretches' time
    std::string firstProblem;
  };

  explicit LineSimulator(const Setup& setup);
  Result run();
  /// The bound the liveness check holds every clean stretch to, for these settings.
  Duration livenessBound() const;

  /// The converter's conversion time at `bits` (before jitter and spells).
  static Duration conversionTime(int bits);

 private:
  struct Impl;
  Setup setup_;
};
