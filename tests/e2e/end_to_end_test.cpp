#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

#include "../ui/ui_fixture.h"

namespace {

// The one place where real timers run: a short simulated run at the shortest interval.
TEST_F(WindowsTest, RealTimersStoreRowsAtTheReadingInterval) {
  main->recorder().setReadingInterval(250);
  main->StartClick();
  QElapsedTimer clock;
  clock.start();
  // Until four rows are there (a loaded machine may take longer), never more than the schedule
  // has due: one a quarter second.
  ASSERT_TRUE(QTest::qWaitFor([this] { return store->rowCount >= 4; }, 5000));
  main->StopClick();
  const double elapsedRows = clock.elapsed() / 250.0;
  EXPECT_LE(store->rowCount, static_cast<int>(elapsedRows) + 1);
  EXPECT_EQ(table->cell(0, 1), QStringLiteral("  0.3"));
  // A row whose interval got fewer than three polls is rightly missing: some row has values.
  bool measured = false;
  for (int r = 1; r <= store->rowCount; ++r) measured |= !isMissing(store->value[1][r]);
  EXPECT_TRUE(measured) << "simulated channel 1 got values";
  const int rows = store->rowCount;
  QTest::qWait(300);
  EXPECT_EQ(store->rowCount, rows) << "no rows after Stop";
}

}  // namespace
