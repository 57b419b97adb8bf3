#include "serial_converter_driver.h"

#include <QDeadlineTimer>
#include <QThread>
#include <future>

#include "serial_conversion.h"

SerialConverterDriver::SerialConverterDriver(DeviceForPort deviceForPort, Timing timing)
    : deviceForPort_(std::move(deviceForPort)), timing_(timing) {}

SerialConverterDriver::~SerialConverterDriver() { stop(); }

uint8_t SerialConverterDriver::openUnit(int32_t port) {
  if (thread_) return 0;  // already open: the program never opens twice
  openFailure_.clear();
  conversion_ = std::make_shared<SerialConversion>(deviceForPort_(port), timing_);
  std::promise<QString> opened;  // empty: a converter answered; else why not
  std::future<QString> result = opened.get_future();
  // The thread owns the promise and shares the conversion: nothing it touches lives on this
  // function's stack, or goes with the driver.
  thread_.reset(
      QThread::create([conversion = conversion_, port, opened = std::move(opened)]() mutable {
        conversion->run(port, [&opened](const QString& failure) { opened.set_value(failure); });
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
  return thread_ && conversion_->setChannel(channel, bits, filterFactor) ? 1 : 0;
}

uint8_t SerialConverterDriver::getValue(int32_t* reading, int32_t, int32_t channel) {
  return conversion_ && conversion_->getValue(reading, channel) ? 1 : 0;
}

uint8_t SerialConverterDriver::closeUnit(int32_t) { return stop() ? 1 : 0; }

int SerialConverterDriver::rejectedAnswers() const {
  return conversion_ ? conversion_->rejectedAnswers() : 0;
}

int SerialConverterDriver::unansweredRequests() const {
  return conversion_ ? conversion_->unansweredRequests() : 0;
}

LineTrouble SerialConverterDriver::trouble() const {
  return conversion_ ? conversion_->trouble() : LineTrouble::None;
}

LineTrouble SerialConverterDriver::channelTrouble(int32_t channel) const {
  return conversion_ ? conversion_->channelTrouble(channel) : LineTrouble::None;
}

bool SerialConverterDriver::stop() {
  if (!thread_) return false;
  conversion_->requestStop();
  if (!thread_->wait(QDeadlineTimer(timing_.stopBound))) {
    // Held up in a system call: the thread ends on its own, with the conversion it shares, and
    // its QThread goes once it has finished. The window and a service's stop go on meanwhile.
    QThread* heldUp = thread_.release();
    QObject::connect(heldUp, &QThread::finished, heldUp, &QObject::deleteLater);
    if (heldUp->isFinished()) heldUp->deleteLater();  // it finished while being connected
  }
  thread_.reset();
  return true;
}
