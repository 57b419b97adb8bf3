#pragma once

#include <chrono>

#include "converter_protocol.h"

/// How long things take on the converter's line (the protocol's figures); tests shorten them.
struct SerialLineTiming {
  /// After power-up, before the first conversion: the maker's "a little more than one second",
  /// taken as up to 1.5 s.
  std::chrono::milliseconds settle{1600};
  std::chrono::milliseconds answer{converter_protocol::kAnswerTimeout};
  std::chrono::milliseconds quiet{converter_protocol::kQuietLine};
  std::chrono::milliseconds reopen{500};  ///< between attempts on a device that went away
  std::chrono::milliseconds guard{converter_protocol::kAnswerGuard};
  /// How much later than its pace (and the guard) a converter's answer may complete: a
  /// dribbling adapter's batches (three bytes, 16 ms each) and, mostly, a conversion thread
  /// woken late on a busy machine (a few hundred ms beside a full load), whose bytes count as
  /// read when it runs: a request taken as unanswered costs every channel a power-up.
  std::chrono::milliseconds answerMargin{600};
  std::chrono::milliseconds openQuietBound{converter_protocol::kOpenQuietBound};
  /// A value is fresh for one round over the set-up channels and this much more.
  std::chrono::milliseconds freshMargin{200};
  /// How long a close waits for the conversion thread, which ends at once unless a system call
  /// holds it up.
  std::chrono::milliseconds stopBound{2000};
};
