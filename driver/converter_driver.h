#pragma once

#include <QString>
#include <cstdint>

#include "converter_model.h"
#include "line_trouble.h"

/// The trouble in words for the user ("the converter does not answer"); empty for None.
inline QString troubleText(LineTrouble trouble) {
  switch (trouble) {
    case LineTrouble::DeviceGone:
      return QStringLiteral("the device is gone");
    case LineTrouble::NoAnswer:
      return QStringLiteral("the converter does not answer");
    case LineTrouble::AnswersRejected:
      return QStringLiteral("its answers are rejected");
    case LineTrouble::OutOfRange:
      return QStringLiteral("its answers are out of range");
    case LineTrouble::None:
      break;
  }
  return {};
}

/// The converter maker's four calls. Results are the driver's byte flags: non-zero = success.
class ConverterDriver {
 public:
  virtual ~ConverterDriver() = default;
  /// The converter this driver reads: its channels, resolution and counts a millivolt.
  virtual const ConverterModel& model() const { return kAdc16; }
  virtual uint8_t openUnit(int32_t port) = 0;
  virtual uint8_t setChannel(int32_t port, int32_t channel, int32_t a, int32_t b, int32_t c) = 0;
  virtual uint8_t getValue(int32_t* reading, int32_t port, int32_t channel) = 0;
  virtual uint8_t closeUnit(int32_t port) = 0;
  /// Why the last open gave 0, in words for the user; empty when the driver cannot tell.
  virtual QString openFailure() const { return {}; }
  /// Answers refused or given up since the open (line noise, a slow converter); 0 when the
  /// driver cannot tell.
  virtual int rejectedAnswers() const { return 0; }
  /// Requests the converter did not answer in time since the open; 0 when the driver cannot tell.
  virtual int unansweredRequests() const { return 0; }
  /// What kept the last conversion from giving a reading; None when it gave one (or the driver
  /// cannot tell).
  virtual LineTrouble trouble() const { return LineTrouble::None; }
  /// Why `channel` has had no reading lately, when its own requests failed; None otherwise.
  virtual LineTrouble channelTrouble(int32_t /*channel*/) const { return LineTrouble::None; }
};
