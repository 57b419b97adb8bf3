#pragma once

#include <QWidget>

#include "channel_statistics.h"
#include "monitor.h"
#include "record_store.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class Recorder;

/// "Statistics Velan": per shown channel the count, missing values, min, max, mean, sample
/// standard deviation and peak-to-peak of the whole record, the monitor's time window or the
/// span selected on its picture. It follows the rows and the view while shown and computes
/// nothing while hidden.
class StatisticsWindow : public QWidget, public RecordListener {
  Q_OBJECT
 public:
  enum Range { WholeRecord, VisibleWindow, Selection };

  StatisticsWindow(const RecordStore& store, const RecordFields& fields, const Monitor& monitor,
                   Recorder& recorder, QWidget* parent = nullptr);

  /// Computes the chosen range afresh and shows it (while the window is shown).
  void refresh();
  void setRange(Range range);
  /// The table as tab-separated lines, its heading first ("Copy").
  QString tableText() const;
  /// "Add as note": each shown channel's statistics of the range onto the newest row.
  void addAsNote();

  // RecordListener
  void recordReset() override { refresh(); }
  void recordReplaced() override { refresh(); }
  void rowStored() override { refresh(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  /// The chosen range's times; nothing when it holds no time (no selection, no rows).
  std::optional<TimeSpan> rangeSpan() const;

  const RecordStore& store_;
  const RecordFields& fields_;
  const Monitor& monitor_;
  Recorder& recorder_;
  QChar separator_;
  QComboBox* range_ = nullptr;
  QLabel* rangeText_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPushButton* addNote_ = nullptr;
  /// The statistics on show, with their channel and span, for the note.
  struct Shown {
    int channel;
    ChannelStatistics statistics;
  };
  std::vector<Shown> shown_;
  StatisticsCache cache_;
  TimeSpan shownSpan_;
};
