#include "line_simulator.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <random>
#include <sstream>

namespace {
using namespace std::chrono;
using Clock = ConversionMachine::Clock;
using TimePoint = Clock::time_point;
using Duration = Clock::duration;

constexpr Duration kByte = microseconds(1042);  // ten bits at 9600 baud
constexpr Duration kNever = hours(24 * 365);

Duration ms(double milliseconds) {
  return duration_cast<Duration>(duration<double, std::milli>(milliseconds));
}
double inSeconds(Duration d) { return duration<double>(d).count(); }
}  // namespace

Duration LineSimulator::conversionTime(int bits) {
  // 20 ms at 12 bits (as the emulator), about a second at 16 (as the maker says).
  constexpr double kMs[17] = {0, 0, 0, 0, 0, 0, 0, 0, 6, 8, 11, 15, 20, 60, 170, 450, 1000};
  return ms(kMs[std::clamp(bits, 8, 16)]);
}

Duration LineSimulator::livenessBound() const {
  const SerialLineTiming timing;
  const Duration conversion = conversionTime(setup_.bits) * 21 / 20;
  // A slow spell's accepted conversions (up to the answer timeout) stretch the guard until each
  // channel has converted again.
  const Duration seen = std::max<Duration>(conversion, timing.answer);
  const Duration perChannel = conversion + timing.guard + seen + seen / 4 + 4 * kByte;
  // A hold after a broken answer, the request pending when the faults stopped (a converter
  // without power stays mute until it is powered anew), the converter powered anew, then one
  // round over the channels, each refusing an answer once as too quick for a slow spell's pace.
  return 2 * timing.answer + timing.quiet + timing.reopen + timing.settle + timing.quiet +
         setup_.channels * (perChannel + timing.answer + timing.quiet);
}

struct LineSimulator::Impl {
  const Setup setup;
  const SerialLineTiming timing;
  const Duration bound;
  std::mt19937_64 random;
  ConversionMachine machine{timing};
  Result result;
  TimePoint now{};

  // The line, each way. Bytes to the host are the converter's, or put in by a fault.
  struct Byte {
    uint8_t value;
    bool injected;
  };
  std::multimap<TimePoint, Byte> toHost;
  std::multimap<TimePoint, uint8_t> toConverter;

  // The converter.
  struct Conversion {
    int channel = 0;
    int32_t value = 0;
    bool disturbed = false;
  };
  bool powered = true;
  TimePoint readyAt{};
  std::optional<TimePoint> converting;  ///< when the conversion ends
  Conversion current;
  std::map<long, Conversion> conversions;
  long conversionCount = 0;
  bool skipNext = false;  ///< every other request ignored
  bool byteLost = false;  ///< from the answer to the pending request
  // A slow spell: the conversions' pace drifts towards `slowTarget` by at most 5 % a conversion
  // (the guard allows a quarter more than lately seen; with the jitter of 5 %, enough), or
  // jumps there at once.
  double drift = 1;
  double slowTarget = 1;
  bool jumps = false;
  std::array<int, 9> made{};  ///< conversions per channel, for their values
  Duration lastConversion = LineSimulator::conversionTime(12);

  // The host: the driver's thread around the machine.
  enum class Host { Running, Closed, Settling } host = Host::Running;
  TimePoint wakeAt{};
  bool watchLine = true;
  Duration lateness{};
  TimePoint openAt{};   ///< Closed: the next attempt to open
  TimePoint settled{};  ///< Settling: when the machine starts
  TimePoint deviceBack{};
  struct Request {
    int channel = 0;
    long conversion = -1;  ///< -1: never converted (ignored, or lost on a busy converter)
  } request;

  // The faults, in stretches.
  bool faulty = false;
  unsigned active = 0;
  TimePoint stretchEnds{};
  TimePoint nextNoise{};
  TimePoint cleanSince{};
  std::array<std::optional<TimePoint>, 9> freshSince{};
  std::array<TimePoint, 9> turnAt{};  ///< a channel silent in the faults is not asked before
  int deadChannel = 0;
  TimePoint stretchBegan{};
  std::array<TimePoint, 9> lastReadingAt{};

  Impl(const Setup& s, Duration livenessBound) : setup(s), bound(livenessBound), random(s.seed) {}

  double uniform(double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  }
  bool chance(double p) { return uniform(0, 1) < p; }
  bool on(unsigned fault) const { return faulty && (active & fault) != 0; }

  void problem(const std::string& what) {
    if (!result.firstProblem.empty()) return;
    std::ostringstream text;
    text << "seed " << setup.seed << " at " << inSeconds(now.time_since_epoch()) << " s: " << what;
    result.firstProblem = text.str();
  }

  void sendToHost(TimePoint at, const uint8_t (&bytes)[3], bool dribble, bool injected,
                  int lost = -1) {
    for (int i = 0; i < 3; ++i) {
      at += kByte + (dribble ? ms(uniform(0, 15)) : Duration::zero());
      if (i != lost) toHost.emplace(at, Byte{bytes[i], injected});
    }
  }
  void foreignAnswer(TimePoint at) {
    const int magnitude = int(uniform(0, (1 << setup.bits) - 1));
    const uint8_t bytes[3] = {uint8_t(chance(0.5) ? '+' : '-'), uint8_t(magnitude >> 8),
                              uint8_t(magnitude & 0xFF)};
    sendToHost(at, bytes, false, true);
  }

  // The converter hears a byte.
  void converterHears(uint8_t control) {
    request.conversion = -1;
    if (!powered || now < readyAt) return;
    if (converting) {
      ++result.busyRequests;
      current.disturbed = true;
      problem("a request reached the converter while it converted");
      return;
    }
    if (on(kEveryOther) && (skipNext = !skipNext)) return;
    if (on(kDeadChannel) && (control >> 5) + 1 == deadChannel) return;
    const int bits = ((control >> 1) & 0xF) + 1;
    current = {(control >> 5) + 1, 0, false};
    byteLost = on(kLostByte) && chance(0.2);
    drift = jumps ? slowTarget : std::clamp(slowTarget, drift / 1.05, drift * 1.05);
    const Duration time =
        duration_cast<Duration>(conversionTime(bits) * drift * uniform(0.95, 1.05));
    lastConversion = time;
    converting = now + time;
    request.conversion = ++conversionCount;
  }

  void conversionEnds() {
    converting.reset();
    // Each channel's values in a range of its own, so that a value tells its channel.
    const int c = current.channel;
    const int span = setup.bits >= 12 ? 900 : 50;
    current.value = (c - 2) * span + made[c]++ % span;
    conversions[conversionCount] = current;
    const int magnitude = std::abs(current.value);
    uint8_t bytes[3] = {uint8_t(current.value < 0 ? '-' : '+'), uint8_t(magnitude >> 8),
                        uint8_t(magnitude & 0xFF)};
    if (on(kGarbledSign) && chance(0.2)) bytes[0] = uint8_t(uniform(0, 0x2A));
    // Beyond the resolution; at 16 bits every magnitude is within it: a sign never sent.
    if (on(kBadChannel) && c == deadChannel) bytes[setup.bits < 16 ? 1 : 0] = 0xFF;
    sendToHost(now, bytes, on(kDribble), false, byteLost ? int(uniform(0, 3)) : -1);
    if (on(kEchoes) && chance(0.3)) sendToHost(now + ms(uniform(1, 80)), bytes, false, true);
    if (on(kSecondDevice)) foreignAnswer(now + ms(uniform(-5, 40)));
  }

  void hostDoes(const ConversionMachine::Step& step) {
    if (step.reading) {
      ++result.readings;
      const auto& reading = *step.reading;
      const auto converted = conversions.find(request.conversion);
      if (reading.channel != request.channel || converted == conversions.end()) {
        ++result.safetyViolations;
        problem("a reading for a request the converter never converted");
      } else if (converted->second.disturbed || converted->second.value != reading.value) {
        ++result.safetyViolations;
        problem("channel " + std::to_string(reading.channel) + " given " +
                std::to_string(reading.value) + " for its conversion of " +
                std::to_string(converted->second.value));
      }
      if (faulty) ++result.readingsInFaults[reading.channel];
      if (oneChannelFaulty()) checkGap(reading.channel);
      lastReadingAt[reading.channel] = now;
      if (!faulty && !freshSince[reading.channel]) freshSince[reading.channel] = now;
    }
    if (step.send) {
      ++result.requests;
      request = {(*step.send >> 5) + 1, -1};
      byteLost = false;
      toConverter.emplace(now + kByte, *step.send);
      if (on(kForeignAnswers) && chance(0.3)) {
        // Right behind the request, about the conversion's time, or at the guard's edges.
        const Duration conversion = lastConversion;
        const Duration guard = timing.guard + conversion + conversion / 4;
        const Duration offsets[] = {ms(1), duration_cast<Duration>(conversion * uniform(0.4, 1.6)),
                                    conversion + guard - ms(1), conversion + guard + ms(1),
                                    ms(uniform(0, 1500))};
        foreignAnswer(now + offsets[std::uniform_int_distribution<int>(0, 4)(random)]);
      }
    }
    if (step.lost) {
      ++result.reopens;
      close(now + timing.reopen);
      return;
    }
    for (int c = 1; c <= setup.channels; ++c)
      turnAt[c] = std::max(turnAt[c], machine.silentUntil(c));
    // As the thread's poll: time passes even for a wake-up due now.
    wakeAt = std::max(step.wakeAt, now + microseconds(1));
    watchLine = step.watchLine;
    // A busy machine wakes the thread late, once in a while by up to a second; bytes meanwhile
    // are read in a batch (as from a USB adapter's 16 ms batches).
    lateness = !on(kLateHost) ? Duration::zero()
               : chance(0.05) ? ms(uniform(0, 1000))
                              : ms(uniform(0, 30));
  }

  // When the thread runs next: at its wake-up, or when bytes come, late by the machine's load.
  TimePoint hostDue() const {
    TimePoint due = wakeAt;
    if (watchLine && !toHost.empty()) due = std::min(due, toHost.begin()->first);
    return due == TimePoint::max() ? due : due + lateness;
  }

  void close(TimePoint tryOpenAt) {
    host = Host::Closed;
    powered = false;  // the line's RTS powers the converter
    converting.reset();
    openAt = tryOpenAt;
  }

  // Bytes in place of an answer, while the converter is mute (off, or ignoring the request) or
  // converting slower than a quarter beyond its pace lately, cannot be told from its answer by
  // any rule: a fault's bytes reach the host before the answer is due only when the
  // converter's own answer comes when expected too. After that, they reach it always.
  bool reaches(const Byte& byte, TimePoint at) const {
    if (!byte.injected) return true;
    const auto pending = machine.pending();
    if (!pending || at > pending->due) return true;
    if (byteLost) return false;  // noise in its place makes another valid answer
    return powered && request.conversion >= 0 && (!converting || *converting <= pending->expected);
  }

  void hostTurn() {
    switch (host) {
      case Host::Closed:
        if (now < deviceBack) {
          openAt = now + timing.reopen;
          return;
        }
        host = Host::Settling;
        powered = true;
        readyAt = now + ms(uniform(1000, 1500));  // "a little more than one second"
        settled = now + timing.settle;
        return;
      case Host::Settling:
        host = Host::Running;
        hostDoes(machine.start(now));
        return;
      case Host::Running:
        break;
    }
    std::vector<uint8_t> bytes;
    while (!toHost.empty() && toHost.begin()->first <= now) {
      if (reaches(toHost.begin()->second, toHost.begin()->first))
        bytes.push_back(toHost.begin()->second.value);
      toHost.erase(toHost.begin());
    }
    hostDoes(bytes.empty() ? machine.timer(now)
                           : machine.received(bytes.data(), bytes.size(), now));
  }

  // A new stretch: faults of a random mix, or a clean one whose freshness is checked at its end.
  void nextStretch() {
    if (!faulty && cleanSince != TimePoint{}) {
      // A channel silent in the faults may wait its turn into the clean stretch: it is held to
      // the bound from then.
      for (int c = 1; c <= setup.channels; ++c) {
        if (!freshSince[c] && turnAt[c] + bound > now) {
          stretchEnds = turnAt[c] + bound;
          return;
        }
      }
      checkFreshness();
    }
    if (oneChannelFaulty()) {
      for (int c = 1; c <= setup.channels; ++c) checkGap(c);
    }
    if (faulty) result.faultSeconds += inSeconds(now - stretchBegan);
    faulty = !faulty;
    if (faulty) {
      ++result.faultStretches;
      active = 0;
      // A dead channel among one is a dead converter: not this fault.
      const unsigned possible =
          setup.faults & (setup.channels < 2 ? ~unsigned(kDeadChannel | kBadChannel) : ~0U);
      while (active == 0) active = unsigned(uniform(0, kAllFaults + 1)) & possible;
      deadChannel = int(uniform(1, setup.channels + 1));
      stretchBegan = now;
      stretchEnds = now + ms(uniform(500, 30000));
      nextNoise = now + ms(uniform(0, 2000));
      // Slower up to beyond the 3 s any conversion should take, or quicker.
      const double base = inSeconds(conversionTime(setup.bits)) * 1000;
      const double slowest = setup.slowSpellMs > 0 ? setup.slowSpellMs
                             : chance(0.2)         ? base * uniform(0.3, 1)
                                                   : uniform(500, 3600);
      slowTarget = on(kSlowSpell) ? slowest / base : 1;
      jumps = chance(0.5);
      if (on(kPowerLoss)) {
        powered = false;  // until the host powers it anew
        converting.reset();
      }
      if (on(kDeviceGone) && host == Host::Running) {
        deviceBack = std::min(now + ms(uniform(100, 5000)), stretchEnds);
        close(now + timing.reopen);
      }
      return;
    }
    slowTarget = drift = 1;  // quicker at once: the guard only grows too long
    // A fault's bytes still on their way (behind a slow spell's requests: seconds) end with it.
    std::erase_if(toHost, [](const auto& byte) { return byte.second.injected; });
    skipNext = false;
    active = 0;
    cleanSince = now;
    freshSince = {};
    for (int c = 1; c <= setup.channels; ++c) turnAt[c] = machine.silentUntil(c);
    stretchEnds = now + bound + ms(uniform(1000, 10000));
  }

  bool oneChannelFaulty() const {
    return active != 0 && (active & ~unsigned(kDeadChannel | kBadChannel)) == 0;
  }

  // While a channel alone is dead, the others' readings come no further apart than after a
  // clean stretch's start: its silence costs them one power-up at most.
  void checkGap(int c) {
    if (c == deadChannel || c > setup.channels) return;
    const TimePoint since = std::max(lastReadingAt[c], stretchBegan);
    if (now - since <= bound) return;
    ++result.livenessMisses;
    problem("channel " + std::to_string(c) + " without a reading for " +
            std::to_string(inSeconds(now - since)) + " s while channel " +
            std::to_string(deadChannel) + " was dead");
  }

  void checkFreshness() {
    for (int c = 1; c <= setup.channels; ++c) {
      const auto& since = freshSince[c];
      const TimePoint from = std::max(cleanSince, turnAt[c]);
      if (since) result.worstFreshness = std::max(result.worstFreshness, inSeconds(*since - from));
      if (!since || *since - from > bound) {
        ++result.livenessMisses;
        problem("channel " + std::to_string(c) + " had no fresh reading within the bound of " +
                std::to_string(inSeconds(bound)) + " s after the clean stretch began at " +
                std::to_string(inSeconds(cleanSince.time_since_epoch())) + " s");
      }
    }
  }

  Result run() {
    ConversionMachine::ChannelBits bits{};
    for (int c = 1; c <= setup.channels; ++c) bits[c] = setup.bits;
    machine.setChannels(bits);
    const TimePoint end =
        TimePoint{} + duration_cast<Duration>(duration<double>(setup.hours * 3600));
    // The open has proved the converter; the run starts on a clean line.
    cleanSince = now;
    stretchEnds = now + bound;
    hostDoes(machine.start(now));
    while (now < end) {
      TimePoint next = stretchEnds;
      const auto earlier = [&next](TimePoint t) { next = std::min(next, t); };
      if (!toConverter.empty()) earlier(toConverter.begin()->first);
      if (converting) earlier(*converting);
      if (host == Host::Running) {
        earlier(hostDue());
      } else {
        earlier(host == Host::Closed ? openAt : settled);
        // Bytes that come while the line is closed or settling are lost or drained.
        while (host != Host::Running && !toHost.empty() && toHost.begin()->first <= next) {
          if (host == Host::Settling)
            settled = std::max(settled, toHost.begin()->first + timing.quiet);
          toHost.erase(toHost.begin());
        }
        if (host == Host::Settling) earlier(settled);
      }
      if (on(kNoise)) earlier(nextNoise);
      now = next;
      if (!toConverter.empty() && toConverter.begin()->first <= now) {
        const uint8_t control = toConverter.begin()->second;
        toConverter.erase(toConverter.begin());
        if (host == Host::Running) converterHears(control);
      } else if (converting && *converting <= now) {
        conversionEnds();
      } else if (on(kNoise) && nextNoise <= now) {
        const int burst = int(uniform(1, 7));
        for (int i = 0; i < burst; ++i) {
          const uint8_t byte = uint8_t(chance(0.5) ? (chance(0.5) ? '+' : '-') : uniform(0, 256));
          toHost.emplace(now + i * kByte, Byte{byte, true});
        }
        nextNoise = now + ms(uniform(10, 4000));
      } else if (now >= stretchEnds) {
        nextStretch();
      } else if ((host == Host::Closed && now >= openAt) ||
                 (host == Host::Settling && now >= settled) ||
                 (host == Host::Running && now >= hostDue())) {
        hostTurn();
      }
    }
    return result;
  }
};

LineSimulator::LineSimulator(const Setup& setup) : setup_(setup) {}

LineSimulator::Result LineSimulator::run() {
  Impl impl(setup_, livenessBound());
  return impl.run();
}
