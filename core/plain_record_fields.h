#pragma once

#include <QString>
#include <array>

#include "record_store.h"

/// Plain in-memory RecordFields, for code that has no window (tests, benchmarks).
class PlainRecordFields : public RecordFields {
 public:
  PlainRecordFields() {
    selected_[1] = true;
    units_.fill(kMillivolts);
  }
  bool channelSelected(int c) const override { return selected_[c]; }
  void setChannelSelected(int c, bool s) override { selected_[c] = s; }
  QString unitLabel(int c) const override { return units_[c]; }
  void setUnitLabel(int c, const QString& l) override { units_[c] = l; }
  ChannelScaling scaling(int c) const override { return scalings_[c]; }
  void setScaling(int c, const ChannelScaling& s) override { scalings_[c] = s; }
  QString experiment() const override { return experiment_; }
  void setExperiment(const QString& t) override { experiment_ = t; }
  QString startTime() const override { return startTime_; }
  void setStartTime(const QString& t) override { startTime_ = t; }

 private:
  std::array<bool, kChannels + 1> selected_{};
  std::array<QString, kChannels + 1> units_;
  std::array<ChannelScaling, kChannels + 1> scalings_{};
  QString experiment_ = experimentPlaceholder();
  QString startTime_;
};
