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
  RecordExit code;
  const char* name;     ///< sysexits.h's
  const char* meaning;  ///< the words every one of those places uses
  bool restartHelps;    ///< whether the service unit may restart on it (else a person must act)
};

/// The one table of them; a test holds the manual page, the unit and README to it.
inline constexpr RecordExitStatus kRecordExitStatuses[] = {
    {kRecordDone, "EX_OK", "done, also after a stop signal", false},
    {kRecordUsage, "EX_USAGE", "a mistake on the command line or in the set-up", false},
    {kRecordNoConverter, "EX_UNAVAILABLE", "no converter answered (and no --simulate)", false},
    {kRecordRecorderMissing, "EX_OSFILE",
     "the recorder's program is missing (a broken installation)", false},
    {kRecordCannotWrite, "EX_CANTCREAT", "the folder cannot be made or written", false},
    {kRecordNotSaved, "EX_IOERR", "a part could not be saved (its journal kept, the path said)",
     false},
    {kRecordPortInUse, "EX_TEMPFAIL", "the port is in use by another program", true},
};
