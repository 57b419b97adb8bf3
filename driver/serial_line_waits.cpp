// The conversion thread's waits: each one poll() on the line and the stop together, until the
// next decision is due, so that the thread wakes only when something happens.
#include <poll.h>

#include <QSerialPort>
#include <cerrno>

#include "serial_conversion.h"

namespace {
using std::chrono::milliseconds;

// A wait until `when` as poll() takes it: whole milliseconds, rounded up so that the wait ends
// after `when`, never before.
int pollTimeout(SerialConversion::Clock::time_point when) {
  const auto left = std::chrono::ceil<milliseconds>(when - SerialConversion::Clock::now());
  return static_cast<int>(std::clamp(left, milliseconds(0), milliseconds(INT32_MAX)).count());
}
}  // namespace

int SerialConversion::readWaiting(QSerialPort& line, uint8_t* into, size_t capacity) {
  // Straight from the device: the port's own waitForReadyRead would poll it once more and pass
  // every byte through its buffer and a signal, which cost this thread a third of its time.
  ssize_t count;
  while ((count = ::read(static_cast<int>(line.handle()), into, capacity)) < 0 && errno == EINTR) {
  }
  if (count >= 0) return static_cast<int>(count);
  return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

bool SerialConversion::discardWaiting(QSerialPort& line) {
  uint8_t unwanted[256];
  int count;
  while ((count = readWaiting(line, unwanted, sizeof unwanted)) > 0) {
  }
  return count == 0;
}

bool SerialConversion::pause(milliseconds duration) {
  awaitLineUntil(nullptr, Clock::now() + duration);
  return !stopping_;
}

SerialConversion::Heard SerialConversion::awaitLineUntil(QSerialPort* line,
                                                         Clock::time_point until) {
  // One wait on the line and the stop together: the thread wakes only when bytes come, a
  // decision is due or the driver closes (no waking in slices to look at a flag).
  pollfd watched[2] = {{stopEvent_, POLLIN, 0}, {line ? int(line->handle()) : -1, POLLIN, 0}};
  int ready;
  while ((ready = ::poll(watched, 2, pollTimeout(until))) < 0 && errno == EINTR) {
  }
  if (ready <= 0 || watched[0].revents != 0) return Heard::Nothing;
  // A device that went away hangs its line up (an emulator's closed end alike).
  if ((watched[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Heard::Broken;
  return watched[1].revents != 0 ? Heard::Bytes : Heard::Nothing;
}

bool SerialConversion::drain(QSerialPort& line, Clock::time_point notBefore,
                             Clock::time_point deadline) {
  // What has come already, then whatever comes until the line is quiet.
  bool intact = discardWaiting(line);
  Clock::time_point quietSince = Clock::now();
  while (!stopping_ && intact) {
    const Clock::time_point quietEnough = std::max(notBefore, quietSince + timing_.quiet);
    const Clock::time_point now = Clock::now();
    if (now >= quietEnough) break;
    if (now > deadline) return false;
    const Heard heard = awaitLineUntil(&line, std::min(quietEnough, deadline));
    if (heard == Heard::Bytes) {
      intact = discardWaiting(line);
      quietSince = Clock::now();
    }
    intact = intact && heard != Heard::Broken;
  }
  if (!intact) lose(line, false);
  return !stopping_ && line.isOpen();
}
