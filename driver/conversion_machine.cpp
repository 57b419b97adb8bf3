#include "conversion_machine.h"

#include <algorithm>

namespace {
// How often to look again for a channel set up while none is.
constexpr std::chrono::milliseconds kSetUpSlice{20};
}  // namespace

ConversionMachine::Duration ConversionMachine::conversionSeen() const {
  Duration longest{};
  for (int c = 1; c <= kChannels; ++c) {
    if (bits_[c] > 0) longest = std::max(longest, lastConversion_[c].took);
  }
  return longest;
}

int ConversionMachine::channelFrom(int first) {
  // A channel left silent lately is passed over for a few rounds, each pass one fewer; when
  // every channel is being passed over, the first is asked all the same.
  for (const bool skipping : {true, false}) {
    for (int i = 0; i < kChannels; ++i) {
      const int c = (first - 1 + i) % kChannels + 1;
      if (bits_[c] <= 0) continue;
      if (skipping && skipsLeft_[c] > 0) {
        --skipsLeft_[c];
        continue;
      }
      return c;
    }
  }
  return 0;
}

ConversionMachine::Step ConversionMachine::start(TimePoint now) {
  phase_ = Phase::Idle;
  answer_.reset();
  return advance(now, {});
}

ConversionMachine::Step ConversionMachine::received(const uint8_t* bytes, size_t count,
                                                    TimePoint at) {
  if (count == 0) return timer(at);
  lastByteAt_ = at;
  switch (phase_) {
    case Phase::Closed:
      break;
    case Phase::Idle:  // nobody asked: a request waits for the line to go quiet
      phase_ = Phase::HoldOff;
      break;
    case Phase::Answer:
      answer_->received(bytes, count, at);
      break;
    case Phase::HoldOff:
      break;
  }
  return advance(at, {});
}

ConversionMachine::Step ConversionMachine::timer(TimePoint now) { return advance(now, {}); }

ConversionMachine::Step ConversionMachine::powerAnew(Step step) {
  // The converter may still be converting, for longer than any hold would cover (a slow one,
  // a jump past the maker's figures) while noise or a foreign answer hid its silence: nothing
  // is sent to it. The line is closed, which takes its power and ends any conversion.
  answer_.reset();
  phase_ = Phase::Closed;
  next_ = channel_ % kChannels + 1;  // the round goes on past this channel
  int& streak = silentStreak_[channel_];
  streak = std::min(streak + 1, 3);
  skipsLeft_[channel_] = std::min((1 << streak) - 1, kMostSkippedRounds);
  step.lost = true;
  step.wakeAt = TimePoint::max();
  return step;
}

void ConversionMachine::remember(Duration took) {
  Conversion& last = lastConversion_[channel_];
  const int bits = bits_[channel_];
  last.quickest = last.bits == bits ? std::min(last.quickest, took) : took;
  last.bits = bits;
  last.took = took;
  silentStreak_[channel_] = 0;
  skipsLeft_[channel_] = 0;
}

ConversionMachine::Step ConversionMachine::request(TimePoint now, Step step) {
  const int c = channelFrom(next_);
  if (c == 0) {
    step.wakeAt = now + kSetUpSlice;
    return step;
  }
  const int bits = bits_[c];
  channel_ = c;
  sent_ = now;
  const Duration seen = conversionSeen();
  const Conversion& last = lastConversion_[c];
  const Duration earliest = last.bits == bits ? last.quickest / 2 : Duration::zero();
  answer_.emplace(bits, now, seen + seen / 4, timing_.answer, timing_.guard, earliest);
  phase_ = Phase::Answer;
  step.send = converter_protocol::controlByte(c, bits, true);
  step.wakeAt = answer_->decisionDue();
  return step;
}

ConversionMachine::Step ConversionMachine::advance(TimePoint now, Step step) {
  using Verdict = converter_protocol::AnswerReader::Verdict;
  for (;;) {
    switch (phase_) {
      case Phase::Closed:
        step.wakeAt = TimePoint::max();
        return step;
      case Phase::Idle:
        return request(now, step);
      case Phase::HoldOff: {
        const TimePoint ready = lastByteAt_ + timing_.quiet;
        if (now < ready) {
          step.wakeAt = ready;
          return step;
        }
        phase_ = Phase::Idle;
        continue;
      }
      case Phase::Answer:
        switch (answer_->verdict(now)) {
          case Verdict::Waiting: {
            const int missing = answer_->bytesMissing();
            if (missing > 0 && missing < converter_protocol::kAnswerBytes) {
              // The rest of a begun answer comes a byte a millisecond: one wake-up for all of
              // it. Bytes read later count as later: the guard only grows.
              step.wakeAt = now + converter_protocol::kByteTime * missing;
              step.watchLine = false;
            } else {
              step.wakeAt = answer_->decisionDue();
            }
            return step;
          }
          case Verdict::Accepted:
            remember(answer_->conversionTime());
            step.reading =
                Reading{channel_, answer_->reading(), answer_->conversionTime(), now - sent_};
            next_ = channel_ % kChannels + 1;
            answer_.reset();
            phase_ = Phase::Idle;  // the guard proved the line quiet: the next request at once
            continue;
          case Verdict::Rejected:
            step.trouble = Trouble::Rejected;
            if (answer_->tooEarly()) {
              // Perhaps the converter's own answer, quicker than any seen so far (the first was
              // slow under load): the bound eases, so that it cannot lock the channel out.
              Conversion& last = lastConversion_[channel_];
              last.quickest = last.quickest * 3 / 4;
            }
            return powerAnew(step);
          case Verdict::GivenUp:
            step.trouble = Trouble::GivenUp;
            return powerAnew(step);
        }
    }
  }
}
