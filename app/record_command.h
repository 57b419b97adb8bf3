#pragma once

#include "record_exit.h"
#include "record_options.h"

/// `velan record [options]`: records from the converter with no display at all, through the
/// same recorder, drivers, journal and parts as the window, and reports on standard error.
/// Returns the exit status.
int runRecordCommand(int argc, char* argv[]);
