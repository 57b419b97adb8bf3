#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "record_journal.h"

/// A recording put back from a journal, and the journal that held it.
struct RecoveredRecording {
  JournalRecord record;
  OrphanedJournal journal;
};

/// What the user is asked and told while journals are recovered.
struct RecoveryDialogue {
  std::function<bool(const QString& question)> askRestore;
  std::function<void(const QString& message)> report;
  QString owner;  ///< whose journals are taken (RecordJournal::setOwner); others are left alone
  /// Hears of each journal left alone (another owner's); `report` when unset.
  std::function<void(const QString& message)> leftAlone;
};

/// Goes through the journals of programs that no longer run, newest first, and offers each one
/// of the dialogue's owner that holds a recording; another owner's is named and left alone. Returns
/// the first the user takes; the others wait for the next start. A journal is deleted only when the
/// user declines it or it holds nothing at all; one with damaged lines is kept as "<name>.damaged"
/// whatever the answer.
std::optional<RecoveredRecording> offerUnsavedRecording(const RecoveryDialogue& dialogue);

/// For a run nobody watches: every journal of `owner` whose program no longer runs that holds a
/// recording is saved as a data file into `folder` ("<experiment> <start> recovered.vln", in
/// the window's number format), and deleted only once saved. `report` hears of each: the file,
/// or why it stays (a damaged one is kept as "<name>.damaged" as in the window).
void saveOrphanedJournals(const QString& folder, const QString& owner, bool decimalComma,
                          QChar separator,
                          const std::function<void(const QString& message)>& report);
