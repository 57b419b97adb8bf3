#pragma once

/// Exit statuses of `velan record` that a service manager can act on (as sysexits.h names them).
enum RecordExit {
  kRecordDone = 0,
  kRecordUsage = 64,
  kRecordNoConverter = 69,
  kRecordRecorderMissing = 72,
  kRecordCannotWrite = 73,
  kRecordNotSaved = 74,
  kRecordPortInUse = 75,
};

/// One exit status as the usage text, the manual page, the service unit and README tell it.
struct RecordExitStatus {
  const char* name;     ///< sysexits.h's
  const char* meaning;  ///< the words every one of those places uses
  RecordExit code;
  bool restartHelps;  ///< whether the service unit may restart on it (else a person must act)
};

/// The one table of them; a test holds the manual page, the unit and README to it.
inline constexpr RecordExitStatus kRecordExitStatuses[] = {
    {"EX_OK", "done, also after a stop signal", kRecordDone, false},
    {"EX_USAGE", "a mistake on the command line or in the set-up", kRecordUsage, false},
    {"EX_UNAVAILABLE", "no converter answered (and no --simulate)", kRecordNoConverter, false},
    {"EX_OSFILE", "the recorder's program is missing (a broken installation)",
     kRecordRecorderMissing, false},
    {"EX_CANTCREAT", "the folder cannot be made or written", kRecordCannotWrite, false},
    {"EX_IOERR",
     "a part could not be saved by the end of the run (its journal kept, lost rows counted)",
     kRecordNotSaved, false},
    {"EX_TEMPFAIL", "the port is in use by another program", kRecordPortInUse, true},
};
