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
  QTest::qWait(1150);
  main->StopClick();
  const double elapsedRows = clock.elapsed() / 250.0;
  EXPECT_GE(store->rowCount, 3);
  EXPECT_LE(store->rowCount, static_cast<int>(elapsedRows) + 1);
  EXPECT_EQ(table->cell(0, 1), QStringLiteral("  0.3"));
  EXPECT_NE(table->cell(1, 1), DataTable::blank()) << "simulated channel 1 got values";
  const int rows = store->rowCount;
  QTest::qWait(400);
  EXPECT_EQ(store->rowCount, rows) << "no rows after Stop";
}

}  // namespace
