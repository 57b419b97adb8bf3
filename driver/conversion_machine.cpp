#include "conversion_machine.h"

#include <algorithm>

namespace {
// How often to look again for a channel set up while none is.
constexpr std::chrono::milliseconds kSetUpSlice{20};
// A channel silent while others answer is asked again after this, doubled with each silence.
constexpr std::chrono::seconds kFirstSilencePause{2};
constexpr std::chrono::seconds kLongestSilencePause{30};
}  // namespace

ConversionMachine::Duration ConversionMachine::conversionSeen() const {
  Duration longest{};
  for (int c = 1; c <= kChannels; ++c) {
    if (bits_[c] > 0) longest = std::max(longest, lastConversion_[c].took);
  }
  return longest;
}

int ConversionMachine::channelFrom(int first, TimePoint now) const {
  for (int i = 0; i < kChannels; ++i) {
    const int c = (first - 1 + i) % kChannels + 1;
    if (bits_[c] > 0 && silence_[c].retryAt <= now) return c;
  }
  return 0;
}

std::optional<ConversionMachine::Pending> ConversionMachine::pending() const {
  if (phase_ != Phase::Answer) return std::nullopt;
  return Pending{sent_ + expected_, due_};
}

ConversionMachine::Step ConversionMachine::start(TimePoint now) {
  phase_ = Phase::Idle;
  answer_.reset();
  answeredSinceStart_ = false;
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

void ConversionMachine::failed(LineTrouble trouble, Step& step) {
  const TimePoint deadline = answer_->deadline();
  const std::optional<TimePoint> firstByte = answer_->firstByteAt();
  if (answer_->refusal() == converter_protocol::AnswerReader::Refusal::TooEarly) {
    // Measured slow once (a thread woken late), it must not lock prompt answers out.
    lastConversion_[channel_].quickest = {};
  }
  answer_.reset();
  step.trouble = firstByte ? trouble : LineTrouble::NoAnswer;
  step.failedChannel = channel_;
  next_ = channel_ % kChannels + 1;
  if (firstByte && *firstByte <= due_) {
    // The converter answered (broken, or behind noise). It is idle, its answer sent, once a
    // conversion at the pace lately has ended and its answer has come; at a pace not yet known,
    // once the answer timeout is over.
    phase_ = Phase::HoldOff;
    notBefore_ = std::max(paceKnown_ ? TimePoint{} : deadline,
                          sent_ + expected_ + timing_.guard + converter_protocol::kAnswerTransfer);
    return;
  }
  // Silent after others answered: a dead input if the next one answers too (else the
  // converter itself was silent).
  suspect_ = !firstByte && answeredSinceStart_ ? channel_ : 0;
  // The converter may still be converting, however long: only its power ends that for sure.
  // The round goes on past this channel once the line is open again.
  phase_ = Phase::Closed;
  step.lost = true;
  pacesSincePowerUp_ = 0;
}

ConversionMachine::Step ConversionMachine::request(TimePoint now, Step step) {
  const int c = channelFrom(next_, now);
  if (c == 0) {
    // None set up, or every one silent and waiting its turn.
    TimePoint due = TimePoint::max();
    for (int s = 1; s <= kChannels; ++s) {
      if (bits_[s] > 0) due = std::min(due, silence_[s].retryAt);
    }
    step.wakeAt = due == TimePoint::max() ? now + kSetUpSlice : due;
    return step;
  }
  const int bits = bits_[c];
  channel_ = c;
  sent_ = now;
  const Conversion& last = lastConversion_[c];
  const Duration seen = conversionSeen() * 5 / 4;
  expected_ = seen;
  const Duration paced = seen + timing_.guard + timing_.answerMargin;
  // One converter, one pace at a resolution: any channel's answer at these bits since the
  // power-up tells it.
  paceKnown_ = (pacesSincePowerUp_ & 1U << bits) != 0;
  const Duration timeout =
      paceKnown_ ? std::min<Duration>(timing_.answer, paced) : Duration(timing_.answer);
  due_ = now + std::max<Duration>(timeout, paced);
  const Duration earliest = last.bits == bits ? last.quickest / 2 : Duration::zero();
  answer_.emplace(bits, now, seen, timeout, timing_.guard, earliest);
  phase_ = Phase::Answer;
  step.send = converter_protocol::controlByte(c, bits, true);
  step.wakeAt = answer_->decisionDue();
  return step;
}

ConversionMachine::Step ConversionMachine::advance(TimePoint now, Step step) {
  using Verdict = converter_protocol::AnswerReader::Verdict;
  using Refusal = converter_protocol::AnswerReader::Refusal;
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
              step.wakeAt =
                  std::min(now + converter_protocol::kByteTime * missing, answer_->decisionDue());
              step.watchLine = false;
            } else {
              step.wakeAt = answer_->decisionDue();
            }
            return step;
          }
          case Verdict::Accepted: {
            const Duration took = answer_->conversionTime();
            Conversion& last = lastConversion_[channel_];
            const int bits = bits_[channel_];
            last.quickest = last.bits == bits && last.quickest > Duration::zero()
                                ? std::min(last.quickest, took)
                                : took;
            last.bits = bits;
            last.took = took;
            if (suspect_ != 0 && suspect_ != channel_) {
              // Silent between answers again: a dead input, asked less and less often (once is
              // a converter that missed a request).
              Silence& silence = silence_[suspect_];
              if (silence.times > 0) {
                silence.retryAt =
                    now +
                    std::min<Duration>(kFirstSilencePause * (1 << std::min(silence.times - 1, 4)),
                                       kLongestSilencePause);
              }
              ++silence.times;
            }
            suspect_ = 0;
            silence_[channel_] = {};
            answeredSinceStart_ = true;
            pacesSincePowerUp_ |= 1U << bits;
            step.reading = Reading{channel_, answer_->reading(), took, now - sent_};
            next_ = channel_ % kChannels + 1;
            answer_.reset();
            phase_ = Phase::Idle;  // the guard proved the line quiet: the next request at once
            continue;
          }
          case Verdict::Rejected:
            failed(answer_->refusal() == Refusal::OutOfRange ? LineTrouble::OutOfRange
                                                             : LineTrouble::AnswersRejected,
                   step);
            continue;
          case Verdict::GivenUp:
            if (!answer_->firstByteAt() && now < due_) {
              // Past the timeout but not the pace lately: an answer now is still the one asked
              // for, and tells the converter idle.
              step.wakeAt = due_;
              return step;
            }
            // Bytes that never made a whole answer were refused.
            failed(LineTrouble::AnswersRejected, step);
            continue;
        }
    }
  }
}
