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
// Refused answers to the open's check before it says that no converter answered: one costs
// the 3 s hold, the window waits meanwhile.
constexpr int kOpenRefusals = 1;
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
  // One accepted conversion proves that a converter answers: channel 1 at the model's bits, as the
  // program sets channel 1 up, so its reading is channel 1's first and a run's first interval
  // has it from its first poll.
  ConversionMachine::ChannelBits proofBits{};
  proofBits[1] = kAdc16.bits;
  machine_.setChannels(proofBits);
  std::optional<Step> step = machine_.start(Clock::now());
  // A refused or broken answer (a break, a garbled byte) shows that something answers: asked
  // again once the line allows, a few times. Silence is no converter at once.
  int refusals = 0;
  while (step && !step->reading && !step->lost && !stopping_) {
    if (step->trouble != LineTrouble::None && ++refusals > kOpenRefusals) break;
    step = exchange(line, *step, proofBits);
  }
  if (!step || !step->reading || stopping_) {
    return giveUp(QStringLiteral("No converter answered on %1").arg(device_));
  }
  const std::lock_guard lock(mutex_);
  firstTook_ = step->reading->sinceRequest;
  Channel& first = channels_[1];
  first.bits = kAdc16.bits;
  first.filtered = step->reading->value;
  first.converted = Clock::now();
  first.took = step->reading->sinceRequest;
  first.fresh = true;
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

QString SerialConversion::openLine(QSerialPort& line) {
  line.setPortName(device_);
  // The port's own lock goes by the name, and a terminal's exclusive mode does not bind root: a
  // lock on the device itself keeps a second Velan off it under any name and any user. Taken
  // on a plain descriptor before the port is opened: opening it sets the line up (and closing
  // it sets it back), which would disturb the program recording from it.
  // A lock held from before (a lost converter powered anew) stays: no moment without it.
  if (lockFd_ < 0) {
    lockFd_ =
        ::open(QFile::encodeName(device_).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  }
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

ConversionMachine::ChannelBits SerialConversion::channelBits() const {
  const std::lock_guard lock(mutex_);
  ConversionMachine::ChannelBits bits{};
  for (int c = 1; c <= kDeviceChannels; ++c) bits[c] = channels_[c].setUp ? channels_[c].bits : 0;
  return bits;
}

std::optional<SerialConversion::Step> SerialConversion::exchange(
    QSerialPort& line, const Step& step, const ConversionMachine::ChannelBits& bits) {
  if (step.send) {
    ssize_t written;
    while ((written = ::write(static_cast<int>(line.handle()), &*step.send, 1)) < 0 &&
           errno == EINTR) {
    }
    if (written != 1) return std::nullopt;  // the device failed, or will not take a byte
  }
  if (awaitLineUntil(step.watchLine ? &line : nullptr, step.wakeAt) == Heard::Broken) {
    return std::nullopt;
  }
  uint8_t bytes[256];
  const int count = readWaiting(line, bytes, sizeof bytes);
  if (count < 0) return std::nullopt;
  machine_.setChannels(bits);
  const Clock::time_point now = Clock::now();
  return count > 0 ? machine_.received(bytes, static_cast<size_t>(count), now)
                   : machine_.timer(now);
}

void SerialConversion::convertUntilStopped(QSerialPort& line) {
  machine_.setChannels(channelBits());
  std::optional<Step> step = machine_.start(Clock::now());
  while (!stopping_) {
    if (!line.isOpen()) {  // the device went away or the converter was lost: try it again
      if (!pause(timing_.reopen)) break;
      if (openLine(line).isEmpty() && drain(line, Clock::now() + timing_.settle)) {
        machine_.setChannels(channelBits());
        step = machine_.start(Clock::now());
      }
      continue;
    }
    if (!step) {  // the device failed under the line: gone, and its lock with it
      trouble_ = LineTrouble::DeviceGone;
      lose(line, false);
      continue;
    }
    if (step->reading) {
      keep(*step->reading, Clock::now());
      const auto c = static_cast<size_t>(step->reading->channel);
      trouble_ = channelTrouble_[c] = lastFailure_[c] = LineTrouble::None;
    }
    if (const LineTrouble trouble = step->trouble; trouble != LineTrouble::None) {
      ++(trouble == LineTrouble::NoAnswer ? unanswered_ : rejected_);
      trouble_ = trouble;
      // A channel's reason changes when the new one comes twice: one answer that also lost a
      // byte must not make a log line of its own.
      const auto c = static_cast<size_t>(step->failedChannel);
      if (channelTrouble_[c] == LineTrouble::None || lastFailure_[c] == trouble) {
        channelTrouble_[c] = trouble;
      }
      lastFailure_[c] = trouble;
    }
    if (step->lost) {
      lose(line, true);  // powered off and on again, the device kept locked meanwhile
      continue;
    }
    step = exchange(line, *step, channelBits());
  }
  closeLine(line, false);
}

void SerialConversion::closeLine(QSerialPort& line, bool keepLock) {
  if (line.isOpen()) {
    line.setRequestToSend(false);  // the converter's power
    line.close();
  }
  if (keepLock) return;
  if (lockFd_ >= 0) ::close(lockFd_);  // the lock with it
  lockFd_ = -1;
}

void SerialConversion::lose(QSerialPort& line, bool keepLock) {
  closeLine(line, keepLock);  // powered off, a lost converter forgets what it was doing
  const std::lock_guard lock(mutex_);
  for (Channel& channel : channels_) channel.fresh = false;
}

void SerialConversion::keep(const ConversionMachine::Reading& reading, Clock::time_point when) {
  const std::lock_guard lock(mutex_);
  Channel& kept = channels_[static_cast<size_t>(reading.channel)];
  // The maker's filter: each conversion moves the kept value by 1/factor of the difference. A
  // refused or unanswered request in between changes nothing (it was not averaged in), though
  // the line was held for it (at most until a conversion at the slowest pace accepted, a
  // quarter more, would have been answered, and a quiet line since): only a converter powered
  // anew, or a longer gap, starts the filter from the reading.
  const bool continues =
      kept.fresh && when - kept.converted <= staleAfter() + 2 * timing_.answer + timing_.quiet;
  kept.filtered = continues ? kept.filtered + (reading.value - kept.filtered) / kept.filterFactor
                            : double(reading.value);
  kept.converted = when;
  kept.took = reading.sinceRequest;
  kept.fresh = true;
}
