#include "backlog_sending.h"

#include "mqtt_messages.h"

namespace {
constexpr int kNoId = -1;
}  // namespace

std::optional<BacklogSending::Outgoing> BacklogSending::next(int64_t nowMs, size_t window) {
  while (inFlight_.size() < window) {
    const std::optional<MessageBacklog::Message> message = backlog_.read(readPosition_);
    if (!message) return std::nullopt;
    readPosition_ = message->end;
    const bool row = message->kind == MessageBacklog::Kind::Row;
    const bool late = message->sentLate.value_or(nowMs - message->storedAtMs > dueWithinMs_);
    if (row && !message->sentLate) backlog_.markSent(message->start, late);
    const bool value = message->kind == MessageBacklog::Kind::Value;
    inFlight_.push_back({kNoId, message->start, message->end, row, value, false});
    if (late && value) {
      // An old value is not the latest: never replayed as current.
      inFlight_.back().confirmed = true;
      confirmed(kNoId);
      continue;
    }
    return Outgoing{message->topic.toUtf8(),
                    late && row ? lateRowMessage(message->payload) : message->payload,
                    value ? kChannelTopic.qos : kRowsTopic.qos};
  }
  return std::nullopt;
}

void BacklogSending::sent(int id) {
  inFlight_.back().id = id;
  // QoS 0 is never acknowledged: handed over is as far as it goes.
  if (inFlight_.back().unanswered) confirmed(id);
}

void BacklogSending::confirmed(int id) {
  for (InFlight& message : inFlight_) {
    if (message.id == id) message.confirmed = true;
  }
  // The backlog is confirmed up to the first message still in flight.
  int64_t rows = 0;
  int64_t end = -1;
  while (!inFlight_.empty() && inFlight_.front().confirmed) {
    backlog_.markDone(inFlight_.front().start);
    rows += inFlight_.front().row ? 1 : 0;
    end = inFlight_.front().end;
    inFlight_.pop_front();
  }
  if (end >= 0) backlog_.confirm(end, rows);
}

void BacklogSending::restart() {
  inFlight_.clear();
  readPosition_ = backlog_.confirmed();
}
