#pragma once

#include <QDateTime>
#include <QIODevice>
#include <QLockFile>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "data_file.h"
#include "record_store.h"

/// A record rebuilt from a journal: what an opened file would give, plus a note that went to
/// the heading row (a note added before the record's first row).
struct JournalRecord {
  StagedRecord staged;
  std::optional<QString> headingNote;
  int damagedLines = 0;  ///< complete lines that could not be read (a cut last line is not)
  QString owner;         ///< the run that wrote it: empty for the window's
};

/// Reads a journal. Nothing when it is not a journal at all. Damaged lines are skipped and
/// counted: every valid row, note and cell around them is kept.
std::optional<JournalRecord> readJournal(QIODevice& device);

/// A journal left by a program that no longer runs, locked by this one; without a lock when
/// its folder refuses one (a read-only medium).
struct OrphanedJournal {
  QString path;
  std::unique_ptr<QLockFile> lock;
};

/// A journal no longer written by the program that wrote it: left for the next start, or
/// deleted once its rows are saved elsewhere.
struct KeptJournal {
  QString path;  ///< empty: nothing of the record reached the disk
  std::unique_ptr<QLockFile> lock;
  int rowsOnDisk = 0;  ///< the record's rows a next start gets back from it
  /// Deletes it: its rows are saved.
  void remove();
};

/// The crash journal of the running record: a plain text file in the user's data folder that
/// gets every stored row and every note the moment it exists, so a killed program loses at
/// most the row in progress. One journal per running program, held by a lock file so that no
/// other Velan takes it while its owner runs.
///
/// A write or flush that fails (a full disk, a quota, a read-only or failing disk) leaves the
/// rows in memory; the journal is then written anew from the record, whole, as soon as the
/// disk takes it (tried every 5 s), and appended to as before.
class RecordJournal : public RecordListener {
 public:
  RecordJournal(const RecordStore& store, const DataTable& table, const RecordFields& fields);
  ~RecordJournal() override;
  RecordJournal(const RecordJournal&) = delete;
  RecordJournal& operator=(const RecordJournal&) = delete;

  /// The folder that holds the journals.
  static QString directory();

  /// Called with the reason when the journal cannot be created or written, once until it is
  /// written again; `onResumed` when it is (every row on the disk again).
  void setFailureHandler(std::function<void(const QString& reason)> handler,
                         std::function<void()> onResumed = {}) {
    onFailure_ = std::move(handler);
    onResumed_ = std::move(onResumed);
  }

  /// Names the run that owns the journals begun from now on (empty: the window's); only the
  /// same owner takes them back after a crash.
  void setOwner(const QString& owner) { owner_ = owner; }
  const QString& owner() const { return owner_; }

  /// Starts the journal of the record just begun: its descriptive texts and channels.
  void begin();
  /// Starts a new journal for a record put back from the journal `old`, which it then
  /// deletes; when no new journal can be written, the old one is kept in its place.
  void restoreFrom(OrphanedJournal&& old);
  /// Journals cells the user changed: rows first..last, one column or (-1) all of them.
  void cellsEdited(const DataTable& table, int firstRow, int lastRow, int column);
  /// Deletes the journal: the record was saved or deliberately discarded.
  void discard();
  /// Writes the journal one last time where it failed, flushes it and hands it over, still
  /// locked; this journal then holds no record.
  KeptJournal handOver();
  /// Writes the descriptive texts and channels again; the last ones written count.
  void fieldsChanged();
  /// The journal file, empty when there is none.
  const QString& path() const { return path_; }
  /// Flushes to the disk now (also done at most a second after every write).
  void sync();
  /// The flush to the disk and the clock in milliseconds that spaces the flushes (tests count
  /// and steer them; by default fdatasync and the monotonic clock).
  void setDiskSync(std::function<int(int fd)> sync, std::function<int64_t()> clock);
  /// A flush is due within a second.
  bool syncPending() const { return syncTimer_.isActive(); }
  /// Tries to write a failed journal anew now (done every 5 s while it fails); whether every
  /// row is on the disk.
  bool retry();
  /// Why the journal is not being written, since when, and how many rows are in memory only
  /// ("recovery file not written since 14:03:07 (Zu wenig Speicherplatz): 12 rows only in
  /// memory"); empty while it is written.
  QString trouble() const;
  /// The record's rows that are on the disk (flushed) in the journal.
  int rowsOnDisk() const { return rowsSynced_; }

  // RecordListener
  void rowStored() override;
  void noteAdded(int row, const QString& /*note*/, const QString& cell) override {
    noteAdded(row, cell);
  }
  /// Journals the notes cell of `row` as it now reads.
  void noteAdded(int row, const QString& cell);

 private:
  QByteArray rowLine(int n) const;
  static QByteArray cellLine(const DataTable& table, int row, int column);
  QByteArray wholeRecord() const;
  QByteArray fieldLines() const;
  /// Writes the whole record into a new file that then takes the journal's name.
  bool writeAnew();
  /// Appends `bytes`; nothing where the journal failed (it is written anew, whole).
  void append(const QByteArray& bytes);
  void fail(int errorNumber);
  void closeFile();

  const RecordStore& store_;
  const DataTable& table_;
  const RecordFields& fields_;
  std::function<void(const QString&)> onFailure_;
  std::function<void()> onResumed_;
  QString owner_;
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  int fd_ = -1;
  bool active_ = false;  ///< a record is being journaled (begun, not discarded or handed over)
  bool dirty_ = false;   ///< written since the last flush to the disk
  int rowsWritten_ = 0;  ///< the record's rows written to the file
  int rowsSynced_ = 0;   ///< ... and flushed to the disk
  QString failure_;      ///< why the journal is not written; empty while it is
  QDateTime failedAt_;
  std::function<int(int fd)> diskSync_;
  std::function<int64_t()> clock_;  ///< milliseconds
  std::optional<int64_t> lastSync_;
  QTimer syncTimer_;
  QTimer retryTimer_;
};

/// The journals whose owners are not running, newest first, each now locked by the caller.
std::vector<OrphanedJournal> findOrphanedJournals();
