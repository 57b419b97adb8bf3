#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

#include "data_table.h"
#include "record_journal.h"
#include "record_store.h"
#include "recorder.h"

/// Why a run cannot start with these fields: a selected scaled channel labelled mV (converted
/// values are never recorded as millivolts); nothing when it can.
std::optional<QString> scaledUnitProblem(const RecordFields& fields, QChar separator);

/// A run's record in parts, below any front end: row 1's start note, the seam where the record
/// is saved as a part and the run goes on in the next on the same schedule (when it is full,
/// or when a channel's scaling changes), and the end of a run saved as its last part. The
/// window and the command line both run on it; they only tell the user what it did.
class RunParts {
 public:
  using Clock = std::function<QDateTime()>;
  /// What a part's save gave: where it went, or why it could not be saved (its rows then wait
  /// in the journal at `journal`, offered at the next start like a crash's).
  struct Saved {
    int part = 0;
    QString path;
    QString folder;  ///< where it was to go
    QString failure;
    QString journal;
    bool ok() const { return failure.isEmpty(); }
  };

  RunParts(RecordStore& store, DataTable& table, RecordFields& fields, Recorder& recorder,
           RecordJournal& journal, std::function<QString()> folder, Clock now = {});

  /// The data file's number format (the system's decimal separator, Options > Decimal comma).
  void setFileFormat(bool decimalComma, QChar separator);

  /// Where the readings come from ("COM 3 (/dev/ttyUSB0)"), named in row 1 of every part so
  /// that two loggers' files are told apart; none by default.
  void setSource(const QString& source) { source_ = source; }

  /// A new run begins now, in part 1: the start time, the journal, row 1's start note.
  void begin();
  /// Row 1's note anew, while row 1 is not stored yet (the scalings changed).
  void rewriteStartNote();
  /// Saves the record as part N and goes on in part N+1, whose start time carries on the clock
  /// of the last row (to the millisecond) and whose row 1 note says where it continues from.
  Saved next();
  /// Saves the rows so far as the run's last part (nothing to do when there are none: part 0);
  /// the journal goes only once the part is saved. `lastRowNote` goes onto its last row.
  Saved finish(const QString& lastRowNote = {});

  int part() const { return part_; }
  /// The part's start, whole seconds as its start text shows it: a row's clock time is this
  /// plus its time.
  QDateTime partStartTime() const { return start_; }
  /// The channels' scalings in words, for the selected scaled channels.
  QString scalingsText() const;

 private:
  Saved save();
  QDateTime partStart() const;
  void setStartNote(const QString& remarks);
  /// Row 1's remark on the readings: the source where one is named, and "(simulated
  /// readings: ...)" when no converter answered, since a saved record must never pass simulated
  /// numbers off as measurements.
  QString readingsRemark() const;

  RecordStore& store_;
  DataTable& table_;
  RecordFields& fields_;
  Recorder& recorder_;
  RecordJournal& journal_;
  std::function<QString()> folder_;
  Clock now_;
  bool decimalComma_ = false;
  QChar separator_ = QLatin1Char('.');
  int part_ = 1;
  QDateTime start_;  ///< the part's start, whole seconds as its start text shows it
  QString startRemarks_;
  QString source_;
};
