#pragma once

#include <QElapsedTimer>
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
};

/// Reads a journal. Nothing when it is not a journal at all; a journal cut off in the middle
/// of a line, or damaged further on, gives everything before the damage.
std::optional<JournalRecord> readJournal(QIODevice& device);

/// The crash journal of the running record: a plain text file in the user's data folder that
/// gets every stored row and every note the moment it exists, so a killed program loses at
/// most the row in progress. One journal per running program, held by a lock file so that no
/// other Velan takes it while its owner runs.
class RecordJournal : public RecordListener {
 public:
  RecordJournal(const RecordStore& store, const RecordFields& fields);
  ~RecordJournal() override;
  RecordJournal(const RecordJournal&) = delete;
  RecordJournal& operator=(const RecordJournal&) = delete;

  /// The folder that holds the journals.
  static QString directory();

  /// Called once per run with the reason when the journal cannot be created or written.
  void setFailureHandler(std::function<void(const QString& reason)> handler) {
    onFailure_ = std::move(handler);
  }

  /// Starts the journal of the record just begun: its descriptive texts and channels.
  void begin();
  /// Takes over a journal found at start-up whose lock is already held by this program.
  void adopt(const QString& path, std::unique_ptr<QLockFile> lock);
  /// Deletes the journal: the record was saved or deliberately discarded.
  void discard();
  /// Writes the descriptive texts and channels again; the last ones written count.
  void fieldsChanged();
  /// The journal file, empty when there is none.
  const QString& path() const { return path_; }
  /// Flushes to the disk now (also done at most a second after every write).
  void sync();

  // RecordListener
  void rowStored() override;
  void noteAdded(int row, const QString& note) override;

 private:
  void append(const QByteArray& bytes);
  void fail(int errorNumber);
  void closeFile();

  const RecordStore& store_;
  const RecordFields& fields_;
  std::function<void(const QString&)> onFailure_;
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  int fd_ = -1;
  bool failed_ = false;  ///< the failure of this run was reported; nothing more is written
  bool dirty_ = false;   ///< written since the last flush to the disk
  QElapsedTimer sinceSync_;
  QTimer syncTimer_;
};

/// A journal left by a program that no longer runs, locked by this one.
struct OrphanedJournal {
  QString path;
  std::unique_ptr<QLockFile> lock;
};

/// The journals whose owners are not running, newest first, each now locked by the caller.
std::vector<OrphanedJournal> findOrphanedJournals();
