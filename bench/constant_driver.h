#pragma once

#include "converter_driver.h"

/// A converter that always answers, each channel about its own value.
class ConstantDriver : public ConverterDriver {
 public:
  uint8_t openUnit(int32_t) override { return 1; }
  uint8_t setChannel(int32_t, int32_t, int32_t, int32_t, int32_t) override { return 1; }
  uint8_t getValue(int32_t* reading, int32_t, int32_t channel) override {
    *reading = 1600 + channel + (++tick_ & 7);
    return 1;
  }
  uint8_t closeUnit(int32_t) override { return 1; }

 private:
  int32_t tick_ = 0;
};
