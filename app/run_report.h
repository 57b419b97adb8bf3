#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <set>

#include "channel_silence.h"
#include "record_store.h"
#include "run_parts.h"

/// What `velan record` says of its run, decided from the run's events alone (the times come
/// with them; no clock, converter or process of its own): its log lines, the status a service
/// manager shows and the exit status.
class RunReport {
 public:
  using Say = std::function<void(const QString&)>;
  RunReport(int port, Say say) : port_(port), say_(std::move(say)) {}

  /// No converter answered on the port (`failure` says why, if the driver knows): the exit
  /// status, or nothing when the run goes on with simulated readings (`simulate`).
  std::optional<int> converterMissing(const QString& failure, bool simulate);
  /// The run began at `now`: a converter silent from the first row is silent since then.
  void begin(const QDateTime& now) { lastReadingAt_ = now; }
  /// The newest row of `store` was stored at `now`. A converter gone silent is told once, with
  /// `trouble` (why the line may be silent, if the driver knows), and so is its return; a
  /// channel gone silent alone with `reason`'s.
  void rowStored(const RecordStore& store, const RecordFields& fields, const QDateTime& now,
                 const QString& trouble, const ChannelSilence::Reason& reason = {});
  void partSaved(const RunParts::Saved& saved);
  void stopping(const QString& why) { say_(QStringLiteral("stopping: %1").arg(why)); }
  void unpublished(int64_t rows);
  /// The last line; returns the exit status.
  int finish();
  /// What the service manager shows once the run has ended (`why`: what stopped it).
  QString endStatus(const QString& why) const;

  /// Where the readings stand, then the part and row; `publishing` is the publisher's state.
  QString status(const RecordStore& store, int part, const QString& publishing) const;
  int rows() const { return rows_; }

 private:
  int port_;
  Say say_;
  int rows_ = 0;
  bool silent_ = false;
  QDateTime lastReadingAt_;
  ChannelSilence channelSilence_;
  std::set<int> unsaved_;  ///< parts not saved (yet)
  int64_t rowsLost_ = 0;   ///< rows no file on the disk holds
  QStringList files_;
};
