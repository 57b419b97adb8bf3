#pragma once

#include <QDateTime>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

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
  /// What a part's save gave: where it went, or why it could not be saved yet. A part not
  /// saved keeps its rows in memory and is saved as soon as the disk takes it (tried every few
  /// seconds, at the next seam and at the end); its journal, at `journal`, holds
  /// `rowsInJournal` of its rows meanwhile.
  struct Saved {
    int part = 0;
    QString path;
    QString folder;  ///< where it was to go
    QString failure;
    QString journal;
    int rows = 0;
    int rowsInJournal = 0;
    bool late = false;   ///< saved after it had failed
    bool final = false;  ///< not saved and no longer tried (the run ended): its journal is left
                         ///< for the next start, the rows beyond it are lost
    QDateTime lostFrom;  ///< the clock of the first and last row in memory only
    QDateTime lostTo;
    bool ok() const { return failure.isEmpty(); }
    int rowsOnlyInMemory() const { return ok() ? 0 : rows - rowsInJournal; }
  };
  /// Told of a part saved late, and of a part given up at the end other than the last one.
  using PartReport = std::function<void(const Saved&)>;

  RunParts(RecordStore& store, DataTable& table, RecordFields& fields, Recorder& recorder,
           RecordJournal& journal, std::function<QString()> folder, Clock now = {});

  /// The data file's number format (the system's decimal separator, Options > Decimal comma).
  void setFileFormat(bool decimalComma, QChar separator);

  /// Where the readings come from ("COM 3 (/dev/ttyUSB0)"), named in row 1 of every part so
  /// that two loggers' files are told apart; none by default.
  void setSource(const QString& source) { source_ = source; }

  /// A new run begins now, in part 1: the start time, the journal, row 1's start note.
  void begin();
  /// Row 1's note of the part: its start, its channels' scalings and where the readings came
  /// from.
  QString startNote() const { return startNote_; }
  /// Row 1's note anew, while row 1 is not stored yet (the scalings changed).
  void rewriteStartNote();
  /// Saves the record as part N and goes on in part N+1, whose start time carries on the clock
  /// of the last row (to the millisecond) and whose row 1 note says where it continues from.
  Saved next();
  /// Saves the rows so far as the run's last part (nothing to do when there are none: part 0);
  /// the journal goes only once the part is saved. `lastRowNote` goes onto its last row. Every
  /// part still unsaved is tried once more, then given up (final).
  Saved finish(const QString& lastRowNote = {});
  /// Tries again to save the parts whose save failed (done every 10 s while one waits).
  void retrySaves();
  /// Tries the unsaved parts once more and gives up on the rest (the run has ended).
  void endPending();
  void setPartReport(PartReport report) { report_ = std::move(report); }
  /// What is not on the disk: the journal's trouble and the parts waiting to be saved; empty
  /// when everything is.
  QString trouble() const;

  int part() const { return part_; }
  /// The part's start, whole seconds as its start text shows it: a row's clock time is this
  /// plus its time.
  QDateTime partStartTime() const { return start_; }
  /// The channels' scalings in words, for the selected scaled channels.
  QString scalingsText() const;

 private:
  struct Pending {
    Saved saved;
    QDateTime start;
    QString experiment;
    QByteArray bytes;  ///< the part's file
    KeptJournal journal;
  };
  Saved save();
  bool trySave(Pending& part) const;
  Saved giveUp(Pending& part) const;
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
  QString startNote_;
  QString source_;
  std::vector<Pending> pending_;
  QTimer retryTimer_;
  PartReport report_;
};

/// What became of a part, in a sentence for the user ("Part 2 saved as ...", "Part 2 could not
/// be saved into ... (Zu wenig Speicherplatz): ..."): where its rows are, and how many from
/// when to when are lost.
QString partOutcomeText(const RunParts::Saved& saved);
