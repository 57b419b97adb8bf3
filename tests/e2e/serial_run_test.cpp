// The program over the built-in serial driver, with the converter emulator assigned to port 3.
#include <gtest/gtest.h>

#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include "../ui/ui_fixture.h"
#include "converter_emulator.h"
#include "serial_converter_driver.h"
#include "user_settings.h"

namespace {

using std::chrono::milliseconds;

TEST_F(WindowsTest, SerialRunRecordsTheConvertersCountsAndNothingWhileItIsSilent) {
  const QString link = path("ttyEMU");
  ConverterEmulator emulator(QFile::encodeName(link).toStdString());
  emulator.setValues(1, {1000});
  emulator.setValues(2, {-500});
  UserSettings::assignSerialDevice(3, link);
  SerialConverterDriver serial(
      &UserSettings::serialDevice,
      {.settle = milliseconds(50), .answer = milliseconds(300), .quiet = milliseconds(40)});
  Program run(serial, prompts);
  TForm1& window = run.main();
  RecordStore& record = run.store();
  window.setChannelSelected(2, true);
  window.recorder().setReadingInterval(250);
  window.StartClick();
  EXPECT_EQ(window.statusText(), QStringLiteral("Recording"));
  // QTest's own waiting checks report to QTest, not to this suite: a plain wait and a check.
  // Generous bounds: a busy machine may starve the driver's thread, never change a value.
  ASSERT_TRUE(QTest::qWaitFor([&record] { return record.rowCount >= 3; }, 10000));
  const int measured = record.rowCount;
  int valued = 0;
  for (int r = 1; r <= measured; ++r) {
    // Row 1 may hold too few readings of channel 2, converted only after the open's proof; on
    // a starved machine a reading may go stale and its value missing, never wrong.
    if (!isMissing(record.value[1][r])) {
      EXPECT_DOUBLE_EQ(record.value[1][r], 1000 / 1.638) << r;
    }
    if (!isMissing(record.value[2][r])) {
      EXPECT_DOUBLE_EQ(record.value[2][r], -500 / 1.638) << r;
    }
    valued += !isMissing(record.value[1][r]) && !isMissing(record.value[2][r]) ? 1 : 0;
    EXPECT_TRUE(isMissing(record.value[3][r]));
  }
  EXPECT_GT(valued, 0);
  emulator.setAnswer(ConverterEmulator::Answer::Silent);
  // A silent converter gives no values, not its last ones again: missing once they are older
  // than a round over the channels and the margin.
  const auto missing = [&record](int row) {
    return isMissing(record.value[1][row]) && isMissing(record.value[2][row]);
  };
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return record.rowCount >= measured + 2 && missing(record.rowCount) &&
               missing(record.rowCount - 1);
      },
      10000));
  auto* status = window.findChild<QLabel*>(QStringLiteral("LbStatus"));
  EXPECT_TRUE(
      window.statusText().startsWith(QLatin1String("Recording: no readings from COM 3 since ")))
      << window.statusText().toStdString();
  EXPECT_TRUE(status->accessibleDescription().startsWith("Status: " + window.statusText() +
                                                         "\nthe converter does not answer\n"))
      << status->accessibleDescription().toStdString();
  window.StopClick();
  EXPECT_EQ(window.statusText(), QStringLiteral("Stopped"));
  EXPECT_TRUE(status->accessibleDescription().contains(QRegularExpression(
      "^Status: Stopped\n[1-9][0-9]* requests? unanswered: a silent or slow converter$")))
      << "the silent converter's given-up requests, for the user";
}

}  // namespace
