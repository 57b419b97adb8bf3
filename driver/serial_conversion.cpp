#include "serial_conversion.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <cmath>

#include "converter_protocol.h"
#include "serial_open_error.h"

namespace {
using std::chrono::milliseconds;

// How often the thread looks for a channel set up while none is.
constexpr milliseconds kSetUpSlice{20};

}  // namespace

SerialConversion::SerialConversion(QString device, Timing timing)
    : timing_(timing), device_(std::move(device)), stopEvent_(::eventfd(0, EFD_CLOEXEC)) {}

SerialConversion::~SerialConversion() {
  if (stopEvent_ >= 0) ::close(stopEvent_);
}

void SerialConversion::run(int32_t port, const std::function<void(const QString&)>& opened) {
  QSerialPort line;
  const QString failure = openAndProve(line, port);
  opened(failure);
  if (failure.isEmpty()) convertUntilStopped(line);
}

void SerialConversion::requestStop() {
  stopping_ = true;
  const uint64_t stop = 1;  // ends the conversion thread's wait at once
  while (::write(stopEvent_, &stop, sizeof stop) < 0 && errno == EINTR) {
  }
}

QString SerialConversion::openAndProve(QSerialPort& line, int32_t port) {
  QString failure = openLine(line);
  if (!failure.isEmpty()) return failure;
  const auto giveUp = [this, &line](const QString& why) {
    closeLine(line);
    return why;
  };
  // Until the converter has powered up the line settles: what comes meanwhile (the end of an
  // answer to an earlier program) is discarded. A line that will not go quiet soon after has
  // noise or another device on it: waiting for a pause in it could take any time.
  const Clock::time_point settled = Clock::now() + timing_.settle;
  if (!drain(line, settled, settled + timing_.openQuietBound) && !stopping_) {
    return giveUp(
        QStringLiteral("The line never went quiet: noise or another device on COM %1 (%2)")
            .arg(port)
            .arg(device_));
  }
  // One accepted conversion proves that a converter answers.
  const Conversion proof = stopping_ ? Conversion{} : convert(line, 1, 12);
  if (proof.step != Step::Reading) {
    return giveUp(QStringLiteral("No converter answered on %1").arg(device_));
  }
  const std::lock_guard lock(mutex_);
  firstTook_ = Clock::now() - proof.sent;
  firstConversion_ = proof.conversion;
  // The proof converts channel 1 at 12 bits, as the program sets channel 1 up: its reading is
  // channel 1's first, so that a run's first interval has it from its first poll.
  Channel& first = channels_[1];
  first.bits = 12;
  first.filtered = proof.reading;
  first.converted = Clock::now();
  first.took = firstTook_;
  first.conversion = proof.conversion;
  first.fresh = true;
  first.restartFilter = false;
  return {};
}

bool SerialConversion::setChannel(int32_t channel, int32_t bits, int32_t filterFactor) {
  if (channel < 1 || channel > kDeviceChannels) return false;
  const std::lock_guard lock(mutex_);
  Channel& set = channels_[static_cast<size_t>(channel)];
  set.setUp = true;
  if (set.bits != std::clamp(bits, 8, 16)) set.fresh = false;  // a reading at another resolution
  set.bits = std::clamp(bits, 8, 16);
  set.filterFactor = std::clamp(filterFactor, 1, 100);
  return true;
}

bool SerialConversion::getValue(int32_t* reading, int32_t channel) const {
  if (channel < 1 || channel > kDeviceChannels || stopping_) return false;
  const std::lock_guard lock(mutex_);
  const Channel& kept = channels_[static_cast<size_t>(channel)];
  // A channel not converted lately (a pulled cable, a device gone) has no value: the last one
  // repeated would pass for a measurement.
  if (!kept.fresh || Clock::now() - kept.converted > staleAfter()) return false;
  *reading = static_cast<int32_t>(std::lround(kept.filtered));
  return true;
}

SerialConversion::Clock::duration SerialConversion::staleAfter() const {
  // Timeouts and drains are left out: they must not stretch the time a value stays valid, or
  // a pulled cable would go on showing its last values.
  Clock::duration round = timing_.freshMargin;
  for (const Channel& channel : channels_) {
    if (channel.setUp) round += channel.took > Clock::duration::zero() ? channel.took : firstTook_;
  }
  return round;
}

SerialConversion::Clock::duration SerialConversion::conversionSeen() const {
  const std::lock_guard lock(mutex_);
  Clock::duration longest = firstConversion_;
  for (const Channel& channel : channels_) {
    if (channel.setUp) longest = std::max(longest, channel.conversion);
  }
  return longest;
}

QString SerialConversion::openLine(QSerialPort& line) {
  line.setPortName(device_);
  // The port's own lock goes by the name, and a terminal's exclusive mode does not bind root: a
  // lock on the device itself keeps a second Velan off it under any name and any user. Taken
  // on a plain descriptor before the port is opened: opening it sets the line up (and closing
  // it sets it back), which would disturb the program recording from it.
  lockFd_ =
      ::open(QFile::encodeName(device_).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (lockFd_ >= 0 && ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(lockFd_);
    lockFd_ = -1;
    return QStringLiteral("%1 is in use by another program.").arg(device_);
  }
  if (!line.open(QIODevice::ReadWrite)) {
    QString why = openError(line, device_);
    closeLine(line);
    return why;
  }
  if (lockFd_ < 0) {  // the device opened for the port but not before: no lock, no use
    closeLine(line);
    return QStringLiteral("Cannot open %1: it cannot be locked").arg(device_);
  }
  line.setBaudRate(QSerialPort::Baud9600);
  line.setDataBits(QSerialPort::Data8);
  line.setParity(QSerialPort::NoParity);
  line.setStopBits(QSerialPort::OneStop);
  line.setFlowControl(QSerialPort::NoFlowControl);
  // The converter lives on RTS on, DTR off. A line without control lines (a pseudo-terminal,
  // some adapters) refuses them: no reason to give up.
  line.setRequestToSend(true);
  line.setDataTerminalReady(false);
  line.clearError();
  line.clear();
  return {};
}

void SerialConversion::convertUntilStopped(QSerialPort& line) {
  while (!stopping_) {
    if (!line.isOpen()) {  // the device went away: try it again now and then
      if (!pause(timing_.reopen)) break;
      if (openLine(line).isEmpty()) drain(line, Clock::now() + timing_.settle);
      continue;
    }
    int bits[kDeviceChannels + 1] = {};  // 0: not set up (a plain array: cppcheck misreads it)
    {
      const std::lock_guard lock(mutex_);
      for (int c = 1; c <= kDeviceChannels; ++c) {
        bits[c] = channels_[c].setUp ? channels_[c].bits : 0;
      }
    }
    bool any = false;
    for (int c = 1; c <= kDeviceChannels && !stopping_ && line.isOpen(); ++c) {
      if (bits[c] == 0) continue;
      any = true;
      const Conversion converted = convert(line, c, bits[c]);
      if (converted.step == Step::Reading) {
        keep(c, converted, Clock::now());
        trouble_ = LineTrouble::None;
        continue;
      }
      if (converted.step == Step::Gone) {
        trouble_ = LineTrouble::DeviceGone;
        lose(line);
        break;
      }
      if (converted.step == Step::Stopped) break;
      {
        const std::lock_guard lock(mutex_);
        channels_[static_cast<size_t>(c)].restartFilter = true;  // nothing suspect is averaged in
      }
      if (converted.step == Step::GivenUp) {
        ++unanswered_;
        trouble_ = LineTrouble::NoAnswer;
        // Nothing may go out while the given-up request may still be converting.
        if (!awaitLateAnswer(line, converted.sent)) {
          lose(line);
          break;
        }
        continue;
      }
      ++rejected_;
      trouble_ = LineTrouble::AnswersRejected;
      // What was refused may have been a stray ahead of the real answer: that one is let come
      // and go before the next request.
      drain(line, converted.sent + conversionSeen() + timing_.guard);
    }
    if (!any) pause(kSetUpSlice);  // no channel set up yet
  }
  closeLine(line);
}

void SerialConversion::closeLine(QSerialPort& line) {
  if (line.isOpen()) {
    line.setRequestToSend(false);  // the converter's power
    line.close();
  }
  if (lockFd_ >= 0) ::close(lockFd_);  // the lock with it
  lockFd_ = -1;
}

SerialConversion::Conversion SerialConversion::convert(QSerialPort& line, int channel, int bits) {
  using converter_protocol::AnswerReader;
  Conversion result;
  // The line must be quiet: a byte waiting here came unasked (a late answer, noise).
  uint8_t bytes[converter_protocol::kAnswerBytes + 1];  // one too many is enough to know
  const int unasked = readWaiting(line, bytes, sizeof bytes);
  if (unasked < 0) return {Step::Gone, 0, {}, {}};
  if (unasked > 0) return {Step::Rejected, 0, Clock::now(), {}};
  const auto control = static_cast<uint8_t>(converter_protocol::controlByte(channel, bits, true));
  ssize_t written;
  while ((written = ::write(static_cast<int>(line.handle()), &control, 1)) < 0 && errno == EINTR) {
  }
  if (written != 1) return {Step::Gone, 0, {}, {}};  // the device failed, or will not take a byte
  result.sent = Clock::now();
  AnswerReader answer(bits, result.sent, conversionSeen(), timing_.answer, timing_.guard);
  const auto ended = [&result](Step step) {
    result.step = step;
    return result;
  };
  for (;;) {
    if (stopping_) return ended(Step::Stopped);
    const Clock::time_point now = Clock::now();
    const int count = readWaiting(line, bytes, sizeof bytes);
    if (count < 0) return ended(Step::Gone);
    answer.received(bytes, static_cast<size_t>(count), now);
    switch (answer.verdict(now)) {
      case AnswerReader::Verdict::Accepted:
        result.reading = answer.reading();
        result.conversion = answer.conversionTime();
        return ended(Step::Reading);
      case AnswerReader::Verdict::Rejected:
        return ended(Step::Rejected);
      case AnswerReader::Verdict::GivenUp:
        return ended(Step::GivenUp);
      case AnswerReader::Verdict::Waiting:
        break;
    }
    if (answer.bytesMissing() > 0 && answer.bytesMissing() < converter_protocol::kAnswerBytes) {
      // The rest of a begun answer is on its way, a byte a millisecond: one wake-up for all of
      // it, not one for each. Bytes read later count as later: the guard only grows.
      awaitLineUntil(nullptr, now + converter_protocol::kByteTime * answer.bytesMissing());
    } else if (awaitLineUntil(&line, answer.decisionDue()) == Heard::Broken) {
      return ended(Step::Gone);
    }
  }
}

void SerialConversion::lose(QSerialPort& line) {
  closeLine(line);  // powered off, a lost converter forgets what it was doing
  const std::lock_guard lock(mutex_);
  for (Channel& channel : channels_) {
    channel.fresh = false;
    channel.restartFilter = true;
  }
}

void SerialConversion::keep(int channel, const Conversion& converted, Clock::time_point when) {
  const std::lock_guard lock(mutex_);
  Channel& kept = channels_[static_cast<size_t>(channel)];
  // The maker's filter: each conversion moves the kept value by 1/factor of the difference. A
  // channel without a recent value, or after a refused answer, starts from the reading.
  const bool continues = kept.fresh && !kept.restartFilter && when - kept.converted <= staleAfter();
  const double reading = converted.reading;
  kept.filtered =
      continues ? kept.filtered + (reading - kept.filtered) / kept.filterFactor : reading;
  kept.converted = when;
  kept.took = when - converted.sent;
  kept.conversion = converted.conversion;
  kept.fresh = true;
  kept.restartFilter = false;
}
