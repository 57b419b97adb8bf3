// The conversion thread's waits: each one poll() on the line and the stop together, until the
// next decision is due, so that the thread wakes only when something happens.
#include <poll.h>

#include <QSerialPort>
#include <cerrno>

#include "serial_converter_driver.h"

namespace {
using std::chrono::milliseconds;

// A wait until `when` as poll() takes it: whole milliseconds, rounded up so that the wait ends
// after `when`, never before.
int pollTimeout(SerialConverterDriver::Clock::time_point when) {
  const auto left = std::chrono::ceil<milliseconds>(when - SerialConverterDriver::Clock::now());
  return static_cast<int>(std::clamp(left, milliseconds(0), milliseconds(INT32_MAX)).count());
}
}  // namespace

bool SerialConverterDriver::broken(const QSerialPort& line) {
  switch (line.error()) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::NotOpenError:
      return true;
    default:
      return false;
  }
}

bool SerialConverterDriver::pause(milliseconds duration) {
  awaitBytesUntil(nullptr, Clock::now() + duration);
  return !stopping_;
}

bool SerialConverterDriver::awaitBytesUntil(QSerialPort* line, Clock::time_point until) {
  // One wait on the line and the stop together: the thread wakes only when bytes come, a
  // decision is due or the driver closes (no waking in slices to look at a flag).
  pollfd watched[2] = {{stopEvent_, POLLIN, 0}, {line ? int(line->handle()) : -1, POLLIN, 0}};
  int ready;
  while ((ready = ::poll(watched, 2, pollTimeout(until))) < 0 && errno == EINTR) {
  }
  if (ready <= 0 || watched[0].revents != 0 || !line) return false;
  // Takes the bytes into the port's buffer; a line that broke sets its error here.
  return watched[1].revents != 0 && line->waitForReadyRead(0);
}

bool SerialConverterDriver::drain(QSerialPort& line, Clock::time_point notBefore,
                                  Clock::time_point deadline) {
  line.readAll();  // what has come already, then whatever comes until the line is quiet
  Clock::time_point quietSince = Clock::now();
  while (!stopping_ && line.isOpen()) {
    const Clock::time_point quietEnough = std::max(notBefore, quietSince + timing_.quiet);
    const Clock::time_point now = Clock::now();
    if (now >= quietEnough) break;
    if (now > deadline) return false;
    if (awaitBytesUntil(&line, std::min(quietEnough, deadline))) {
      line.readAll();
      quietSince = Clock::now();
    } else if (broken(line)) {
      lose(line);
    }
  }
  return !stopping_ && line.isOpen();
}

bool SerialConverterDriver::awaitLateAnswer(QSerialPort& line, Clock::time_point sent) {
  bool heard = line.bytesAvailable() > 0;
  line.readAll();
  Clock::time_point quietSince = Clock::now();
  while (!stopping_ && line.isOpen()) {
    const Clock::time_point now = Clock::now();
    if (heard && now - quietSince >= timing_.quiet) return true;
    if (!heard && now >= sent + timing_.longestConversion) return false;
    if (awaitBytesUntil(&line,
                        heard ? quietSince + timing_.quiet : sent + timing_.longestConversion)) {
      line.readAll();
      heard = true;
      quietSince = Clock::now();
    } else if (broken(line)) {
      lose(line);
    }
  }
  return false;
}
