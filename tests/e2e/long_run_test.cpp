#include <QCoreApplication>
#include <QFile>

#include "../ui/ui_fixture.h"

namespace {

long residentKilobytes() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
  }
  return -1;
}

// A full record through the handlers with the real windows attached: the run stops itself at
// the store's capacity, the table mirrors every row, and a second full run costs no more memory
// than the first (nothing but the table's own rows grows).
TEST_F(WindowsTest, HundredThousandRowsFillTheStoreAndStop) {
  main->recorder().setReadingInterval(250);
  const long before = residentKilobytes();
  long afterFirst = 0;
  for (int run = 0; run < 2; ++run) {
    store->dataSaved = true;
    main->StartClick();
    for (int row = 0; row < kMaxRows; ++row) {
      for (int poll = 0; poll < 4; ++poll) main->recorder().Timer2Timer();
      main->recorder().Timer1Timer();
      // Between ticks the event loop runs in a real session (deferred layout and paints).
      if (row % 2000 == 0) QCoreApplication::processEvents();
    }
    main->recorder().Timer1Timer();  // a late tick after the stop writes nothing
    EXPECT_EQ(store->rowCount, kMaxRows);
    EXPECT_EQ(table->tableRowCount(), kMaxRows + 25);
    EXPECT_DOUBLE_EQ(store->time[kMaxRows], kMaxRows * 0.25);
    EXPECT_EQ(table->cell(0, kMaxRows), QStringLiteral("25000.0"));
    EXPECT_FALSE(main->recorder().timers().rowEnabled()) << "the run stopped itself";
    EXPECT_EQ(prompts.informations.size(), run + 1);
    if (run == 0) afterFirst = residentKilobytes();
  }
  const long afterSecond = residentKilobytes();
  if (before < 0) GTEST_SKIP() << "no /proc";
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer's quarantine and redzones make resident memory meaningless";
#endif
  // 100000 table rows of six cells: a few tens of MB at most.
  EXPECT_LT(afterFirst - before, 120 * 1024);
  EXPECT_LT(afterSecond - afterFirst, (afterFirst - before) / 4 + 4 * 1024)
      << "a second full run must reuse, not add";
}

}  // namespace
