#pragma once

#include <memory>

#include "constant_driver.h"
#include "data_table.h"
#include "plain_record_fields.h"
#include "recorder.h"

/// A converter run on all four channels over an empty record.
struct FourChannelRun {
  explicit FourChannelRun(ConverterDriver* over = nullptr)
      : store(std::make_unique<RecordStore>()),
        recorder(*store, table, over ? *over : constant, fields) {
    for (int c = 1; c <= kChannels; ++c) fields.setChannelSelected(c, true);
    store->converterOpen = true;
  }
  std::unique_ptr<RecordStore> store;
  DataTable table;
  PlainRecordFields fields;
  ConstantDriver constant;
  Recorder recorder;
};
