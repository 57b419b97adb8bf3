#include "serial_converter_driver.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSerialPort>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <future>

#include "converter_protocol.h"

namespace {
using std::chrono::milliseconds;

// Waits on the line in slices this long, so that a close is never kept waiting.
constexpr milliseconds kSlice{20};

QString deviceGroup(const QString& device) {
  struct stat info {};
  if (::stat(QFile::encodeName(device).constData(), &info) != 0) return {};
  const group* owner = ::getgrgid(info.st_gid);
  return owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
}

// The device failed under the line (a USB adapter pulled reads and writes with errors).
bool broken(const QSerialPort& line) {
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

// Why a device could not be opened, in words a user can act on.
QString openError(const QSerialPort& port, const QString& device) {
  const QByteArray path = QFile::encodeName(device);
  if (::access(path.constData(), F_OK) != 0)
    return QStringLiteral("No such device: %1").arg(device);
  if (::access(path.constData(), R_OK | W_OK) != 0) {
    const QString group = deviceGroup(device);
    return QStringLiteral(
               "Permission denied: %1. Your user must be in the group that owns it (%2): "
               "sudo usermod -aG %2 $USER, then log in again.")
        .arg(device, group);
  }
  if (port.error() == QSerialPort::PermissionError) {
    return QStringLiteral("%1 is in use by another program.").arg(device);
  }
  return QStringLiteral("Cannot open %1: %2").arg(device, port.errorString());
}
}  // namespace

SerialConverterDriver::SerialConverterDriver(DeviceForPort deviceForPort, Timing timing)
    : deviceForPort_(std::move(deviceForPort)), timing_(timing) {}

SerialConverterDriver::~SerialConverterDriver() { stop(); }

uint8_t SerialConverterDriver::openUnit(int32_t port) {
  if (thread_) return 0;  // already open: the program never opens twice
  device_ = deviceForPort_(port);
  openFailure_.clear();
  stopping_ = false;
  {
    const std::lock_guard lock(mutex_);
    channels_ = {};
    cycle_ = {};
  }
  std::promise<QString> opened;  // empty: a converter answered; else why not
  std::future<QString> result = opened.get_future();
  thread_.reset(QThread::create([this, &opened] {
    QSerialPort line;
    if (!openLine(line)) {
      opened.set_value(openError(line, device_));
      return;
    }
    int32_t reading = 0;
    // One valid conversion proves that a converter answers.
    const bool answers =
        pause(timing_.settle) && convert(line, 1, 12, timing_.answer, &reading) == Step::Reading;
    if (!answers) {
      line.setRequestToSend(false);
      opened.set_value(QStringLiteral("No converter answered on %1").arg(device_));
      return;
    }
    opened.set_value(QString());
    convertUntilStopped(line);
  }));
  thread_->start();
  openFailure_ = result.get();
  if (openFailure_.isEmpty()) return 1;
  thread_->wait();
  thread_.reset();
  return 0;
}

uint8_t SerialConverterDriver::setChannel(int32_t, int32_t channel, int32_t bits, int32_t,
                                          int32_t filterFactor) {
  if (!thread_ || channel < 1 || channel > kChannels) return 0;
  const std::lock_guard lock(mutex_);
  Channel& set = channels_[static_cast<size_t>(channel)];
  set.setUp = true;
  set.bits = std::clamp(bits, 8, 16);
  set.filterFactor = std::clamp(filterFactor, 1, 100);
  return 1;
}

uint8_t SerialConverterDriver::getValue(int32_t* reading, int32_t, int32_t channel) {
  if (channel < 1 || channel > kChannels) return 0;
  const std::lock_guard lock(mutex_);
  const Channel& kept = channels_[static_cast<size_t>(channel)];
  // A channel not converted lately (a pulled cable, a device gone) has no value: the last one
  // repeated would pass for a measurement.
  if (!kept.fresh || Clock::now() - kept.converted > staleAfter()) return 0;
  *reading = static_cast<int32_t>(std::lround(kept.kept));
  return 1;
}

uint8_t SerialConverterDriver::closeUnit(int32_t) { return stop() ? 1 : 0; }

bool SerialConverterDriver::stop() {
  if (!thread_) return false;
  {
    const std::lock_guard lock(stopMutex_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  thread_->wait();
  thread_.reset();
  const std::lock_guard lock(mutex_);
  channels_ = {};
  return true;
}

SerialConverterDriver::Clock::duration SerialConverterDriver::staleAfter() const {
  return std::max<Clock::duration>(timing_.stale, 3 * cycle_);
}

bool SerialConverterDriver::pause(milliseconds duration) {
  std::unique_lock lock(stopMutex_);
  return !stopSignal_.wait_for(lock, duration, [this] { return stopping_.load(); });
}

bool SerialConverterDriver::openLine(QSerialPort& line) {
  line.setPortName(device_);
  if (!line.open(QIODevice::ReadWrite)) return false;
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
  return true;
}

void SerialConverterDriver::convertUntilStopped(QSerialPort& line) {
  while (!stopping_) {
    if (!line.isOpen()) {  // the device went away: try it again now and then
      if (!pause(timing_.reopen)) break;
      if (openLine(line) && !pause(timing_.settle)) break;
      continue;
    }
    int bits[kChannels + 1] = {};  // 0: not set up (a plain array: cppcheck misreads the bound)
    {
      const std::lock_guard lock(mutex_);
      for (int c = 1; c <= kChannels; ++c) {
        bits[c] = channels_[c].setUp ? channels_[c].bits : 0;
      }
    }
    const Clock::time_point cycleStart = Clock::now();
    bool any = false;
    bool allAnswered = true;
    for (int c = 1; c <= kChannels && !stopping_ && line.isOpen(); ++c) {
      if (bits[c] == 0) continue;
      any = true;
      int32_t reading = 0;
      switch (convert(line, c, bits[c], timing_.answer, &reading)) {
        case Step::Reading:
          keep(c, reading, Clock::now());
          continue;
        case Step::Garbage:
        case Step::Silent:
          drain(line);  // whatever is still on its way must not be taken for the next answer
          break;
        case Step::Gone:
          line.close();
          break;
        case Step::Stopped:
          break;
      }
      allAnswered = false;
    }
    if (!any) {
      pause(kSlice);  // no channel set up yet
      continue;
    }
    // Only a round without failures sets the pace: timeouts must not stretch the time a value
    // stays valid, or a pulled cable would go on showing its last values.
    if (!allAnswered) continue;
    const std::lock_guard lock(mutex_);
    cycle_ = Clock::now() - cycleStart;
  }
  if (line.isOpen()) {
    line.setRequestToSend(false);  // the converter's power
    line.close();
  }
}

SerialConverterDriver::Step SerialConverterDriver::convert(QSerialPort& line, int channel, int bits,
                                                           milliseconds timeout, int32_t* reading) {
  // Nothing may be sent while a conversion is pending; bytes waiting here are a late answer.
  if (line.bytesAvailable() > 0) return Step::Garbage;
  line.clearError();
  const char control = static_cast<char>(converter_protocol::controlByte(channel, bits, true));
  if (line.write(&control, 1) != 1) return Step::Gone;
  const Clock::time_point deadline = Clock::now() + timeout;
  while (line.bytesToWrite() > 0) {
    if (!line.waitForBytesWritten(static_cast<int>(kSlice.count())) && broken(line)) {
      return Step::Gone;
    }
    if (stopping_) return Step::Stopped;
    if (Clock::now() > deadline) return Step::Silent;
  }
  while (line.bytesAvailable() < converter_protocol::kAnswerBytes) {
    if (stopping_) return Step::Stopped;
    if (Clock::now() > deadline) return Step::Silent;
    if (!line.waitForReadyRead(static_cast<int>(kSlice.count())) && broken(line)) {
      return Step::Gone;
    }
  }
  uint8_t answer[converter_protocol::kAnswerBytes];
  line.read(reinterpret_cast<char*>(answer), sizeof answer);
  const std::optional<int32_t> value = converter_protocol::reading(answer);
  if (!value) return Step::Garbage;
  *reading = *value;
  return Step::Reading;
}

void SerialConverterDriver::drain(QSerialPort& line) {
  line.readAll();  // what has come already, then whatever comes until the line is quiet
  Clock::time_point quietSince = Clock::now();
  while (!stopping_ && line.isOpen() && Clock::now() - quietSince < timing_.quiet) {
    if (line.waitForReadyRead(static_cast<int>(kSlice.count()))) {
      line.readAll();
      quietSince = Clock::now();
    } else if (broken(line)) {
      line.close();
    }
  }
}

void SerialConverterDriver::keep(int channel, int32_t reading, Clock::time_point when) {
  const std::lock_guard lock(mutex_);
  Channel& kept = channels_[static_cast<size_t>(channel)];
  // The maker's filter: each conversion moves the kept value by 1/factor of the difference. A
  // channel without a recent value starts from the reading, not from where it was before.
  const bool continues = kept.fresh && when - kept.converted <= staleAfter();
  kept.kept = continues ? kept.kept + (reading - kept.kept) / kept.filterFactor : reading;
  kept.converted = when;
  kept.fresh = true;
}
