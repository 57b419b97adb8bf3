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

int ConversionMachine::channelFrom(int first) const {
  for (int i = 0; i < kChannels; ++i) {
    const int c = (first - 1 + i) % kChannels + 1;
    if (bits_[c] > 0) return c;
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
      notBefore_ = at;
      lostIfSilent_ = false;
      break;
    case Phase::Answer:
      bytesSinceRequest_ = true;
      answer_->received(bytes, count, at);
      break;
    case Phase::HoldOff:
      bytesSinceRequest_ = true;
      break;
  }
  return advance(at, {});
}

ConversionMachine::Step ConversionMachine::timer(TimePoint now) { return advance(now, {}); }

void ConversionMachine::holdOff(bool lostIfSilent) {
  answer_.reset();
  phase_ = Phase::HoldOff;
  notBefore_ = sent_ + timing_.longestConversion;
  lostIfSilent_ = lostIfSilent;
}

void ConversionMachine::remember(Duration took) {
  Conversion& last = lastConversion_[channel_];
  const int bits = bits_[channel_];
  last.quickest = last.bits == bits ? std::min(last.quickest, took) : took;
  last.bits = bits;
  last.took = took;
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
  bytesSinceRequest_ = false;
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
        const TimePoint ready = std::max(notBefore_, lastByteAt_ + timing_.quiet);
        if (now < ready) {
          step.wakeAt = ready;
          return step;
        }
        if (lostIfSilent_ && !bytesSinceRequest_) {
          // The round goes on past this channel once the line is open again: a dead input
          // never keeps the others from their turns.
          phase_ = Phase::Closed;
          step.lost = true;
          step.wakeAt = TimePoint::max();
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
            next_ = channel_ % kChannels + 1;
            holdOff(false);
            continue;
          case Verdict::GivenUp:
            step.trouble = Trouble::GivenUp;
            next_ = channel_ % kChannels + 1;
            holdOff(true);
            continue;
        }
    }
  }
}
