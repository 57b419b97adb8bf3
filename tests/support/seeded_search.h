#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <cstdio>
#include <initializer_list>
#include <random>
#include <string>

/// A schedule's draws, all from its seed: whole numbers from `low` to `high`.
class SeededDraws {
 public:
  explicit SeededDraws(unsigned seed) : random_(seed) {}
  int operator()(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
  }

 private:
  std::mt19937 random_;
};

/// A QTemporaryDir template for a schedule's files: in memory where the system has it, as a
/// search makes thousands of small files.
inline QString inMemoryFolder(const char* name) {
  return (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                    : QDir::tempPath()) +
         QLatin1Char('/') + QLatin1String(name) + QStringLiteral("-XXXXXX");
}

/// Runs `schedule(seed)` (what it found broken, empty when the rule held) over seeds: `count`
/// from 0 in the suite, or for <prefix>_SEARCH_SECONDS from <prefix>_SEED (random when unset)
/// in a longer search (scripts/velan check; a failure's seed to see it again), then the seeds
/// `once` found broken before. Fails with the first three broken.
template <class Schedule>
void searchSeeds(const QString& prefix, unsigned count, Schedule schedule,
                 std::initializer_list<unsigned> once = {}) {
  const int searchSeconds = qEnvironmentVariableIntValue((prefix + "_SEARCH_SECONDS").toUtf8());
  const QByteArray seedName = (prefix + "_SEED").toUtf8();
  const unsigned first = qEnvironmentVariableIsSet(seedName)
                             ? qEnvironmentVariable(seedName).toUInt()
                         : searchSeconds > 0 ? std::random_device()()
                                             : 0;
  QElapsedTimer elapsed;
  elapsed.start();
  int failures = 0;
  const auto check = [&](unsigned seed) {
    const std::string broken = schedule(seed);
    if (!broken.empty() && ++failures <= 3) ADD_FAILURE() << "seed " << seed << ":\n" << broken;
  };
  unsigned seed = first;
  for (; searchSeconds > 0 ? elapsed.elapsed() < searchSeconds * 1000LL : seed < first + count;
       ++seed) {
    check(seed);
  }
  for (const unsigned found : once) check(found);
  EXPECT_EQ(failures, 0) << "of " << seed - first << " schedules from seed " << first;
  if (searchSeconds > 0) {
    std::printf("%u schedules from seed %u\n", seed - first, first);
  }
}
