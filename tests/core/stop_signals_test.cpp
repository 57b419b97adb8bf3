// Stop signals as the recorder and the window hear them: in the running event loop.
#include "stop_signals.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>

namespace {

// SIGHUP too: a closed terminal or session must save the run, not end the program at once.
TEST(StopSignalsTest, EachStopSignalReachesTheRunningEventLoop) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    int heard = 0;
    const StopSignals stopSignals([&heard](int which) { heard = which; });
    ASSERT_EQ(StopSignals::received(), 0);
    ::raise(signal);
    QElapsedTimer waited;
    waited.start();
    while (heard == 0 && waited.elapsed() < 5000) QCoreApplication::processEvents();
    EXPECT_EQ(heard, signal) << StopSignals::name(signal);
    EXPECT_EQ(StopSignals::received(), signal) << "heard before the loop runs, too";
  }
}

}  // namespace
