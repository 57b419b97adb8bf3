#pragma once

#include <QByteArray>
#include <cstdint>
#include <deque>
#include <optional>

#include "message_backlog.h"

/// The sender's dealings with the backlog, apart from the network: what goes out next (a row as
/// it went before, else late or not by its age; a live value that is late not at all), and what
/// the broker's answers confirm, in the backlog's order.
class BacklogSending {
 public:
  struct Outgoing {
    QByteArray topic;
    QByteArray payload;
    int qos = 1;
  };
  BacklogSending(MessageBacklog& backlog, int64_t dueWithinMs)
      : backlog_(backlog), dueWithinMs_(dueWithinMs) {}

  /// The next message to hand to the broker, nothing when none waits or `window` are in flight.
  std::optional<Outgoing> next(int64_t nowMs, size_t window);
  /// The message next() gave went out under `id`.
  void sent(int id);
  /// The broker took the message sent under `id`.
  void confirmed(int id);
  /// A new connection: what the broker did not confirm goes again, in order.
  void restart();
  /// Nothing waits and nothing is in flight.
  bool drained() const { return inFlight_.empty() && !backlog_.waitingFrom(readPosition_); }

 private:
  struct InFlight {
    int id;
    int64_t start;
    int64_t end;
    bool row;
    bool unanswered;  ///< QoS 0: confirmed once it went out
    bool confirmed;
  };
  MessageBacklog& backlog_;
  int64_t dueWithinMs_;
  int64_t readPosition_ = 0;
  std::deque<InFlight> inFlight_;
};
