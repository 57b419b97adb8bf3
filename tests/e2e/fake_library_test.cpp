#include <gtest/gtest.h>

#include <QLibrary>
#include <QTemporaryDir>

#include "data_file.h"
#include "data_table.h"
#include "library_converter_driver.h"
#include "plain_record_fields.h"
#include "record_store.h"
#include "recorder.h"

namespace {

using ConfigureFn = void (*)(const char*);
using LogFn = const char* (*)();

class FakeLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control.setFileName(QStringLiteral(FAKE_ADC16_PATH));
    ASSERT_TRUE(control.load()) << control.errorString().toStdString();
    configure = reinterpret_cast<ConfigureFn>(control.resolve("fake_adc16_configure"));
    log = reinterpret_cast<LogFn>(control.resolve("fake_adc16_call_log"));
    ASSERT_TRUE(configure && log);
  }
  QLibrary control;
  ConfigureFn configure = nullptr;
  LogFn log = nullptr;
};

/// The recording core over the stand-in library on port 3.
struct LibraryRun {
  explicit LibraryRun(std::initializer_list<int> channels) {
    for (int c : channels) fields.setChannelSelected(c, true);
    store->portNumber = 3;
  }
  LibraryConverterDriver driver{{QStringLiteral(FAKE_ADC16_PATH)}};
  std::unique_ptr<RecordStore> store = std::make_unique<RecordStore>();
  DataTable table;
  PlainRecordFields fields;
  Recorder recorder{*store, table, driver, fields};
};

TEST_F(FakeLibraryTest, BindingOpensReadsAndClosesThroughTheFourCalls) {
  configure("ports=3;ch1=100,x,300;ch2=7");
  LibraryConverterDriver driver({QStringLiteral(FAKE_ADC16_PATH)});
  ASSERT_TRUE(driver.loaded());
  EXPECT_EQ(driver.openUnit(5), 0) << "port 5 does not answer";
  ASSERT_NE(driver.openUnit(3), 0);
  int32_t reading = -1;
  EXPECT_NE(driver.getValue(&reading, 3, 1), 0);
  EXPECT_EQ(reading, 100);
  EXPECT_EQ(driver.getValue(&reading, 3, 1), 0) << "scripted failure";
  EXPECT_NE(driver.getValue(&reading, 3, 1), 0);
  EXPECT_EQ(reading, 300);
  EXPECT_EQ(driver.getValue(&reading, 3, 4), 0) << "a channel without a script fails";
  driver.closeUnit(3);
  EXPECT_EQ(driver.getValue(&reading, 3, 2), 0) << "a closed unit gives no readings";
}

TEST_F(FakeLibraryTest, StartSequenceSetsUpEachSelectedChannelOnce) {
  configure("ports=3;ch1=1638;ch3=819");
  LibraryRun run({1, 3});
  Recorder& recorder = run.recorder;
  ASSERT_TRUE(recorder.openConverter());
  for (int i = 0; i < 4; ++i) recorder.Timer2Timer();
  recorder.Timer1Timer();
  recorder.closeConverter();
  recorder.closeConverter();
  EXPECT_EQ(QString::fromLatin1(log()),
            QStringLiteral("open 3\nset_channel 3 1 12 0 10\nset_channel 3 3 12 0 10\n"
                           "get_value 3 1\nget_value 3 3\nget_value 3 1\nget_value 3 3\n"
                           "get_value 3 1\nget_value 3 3\nget_value 3 1\nget_value 3 3\n"
                           "close 3\n"));
  EXPECT_DOUBLE_EQ(run.store->value[1][1], 1000.0);
  EXPECT_DOUBLE_EQ(run.store->value[3][1], 500.0);
}

TEST_F(FakeLibraryTest, FailingChannelsKeepTheirTrueValueOrStayMissingThroughAFile) {
  // Channel 2 fails every third reading, channel 3 never answers.
  configure("ports=3;ch1=1638;ch2=3276,3276,x");
  LibraryRun run({1, 2, 3});
  auto& [driver, store, table, fields, recorder] = run;
  ASSERT_TRUE(recorder.openConverter());
  recorder.resetRecord();
  for (int row = 0; row < 3; ++row) {
    for (int i = 0; i < 20; ++i) recorder.Timer2Timer();
    recorder.Timer1Timer();
  }
  recorder.closeConverter();
  EXPECT_EQ(table.cell(2, 3), QStringLiteral("2000.00"));
  EXPECT_EQ(table.cell(3, 3), DataTable::blank());

  QTemporaryDir dir;
  const QString name = dir.filePath(QStringLiteral("run.vln"));
  saveDataFile(name, *store, table, fields, true, QLatin1Char('.'));
  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().endsWith("3.0;1000.00;2000.00;;\r\n"));
  auto staged = loadDataFile(name, true, QLatin1Char('.'));
  ASSERT_TRUE(staged);
  auto reopened = std::make_unique<RecordStore>();
  DataTable reopenedTable;
  applyStagedRecord(std::move(*staged), *reopened, reopenedTable, fields);
  for (int row = 1; row <= 3; ++row) {
    for (int column = 0; column <= 3; ++column) {
      EXPECT_EQ(reopenedTable.cell(column, row).trimmed(), table.cell(column, row).trimmed())
          << row << "," << column;
    }
  }
}

TEST(MissingLibrary, GivesASimulationNotACrash) {
  LibraryConverterDriver driver(
      {QStringLiteral("/nonexistent/libadc1632.so"), QStringLiteral("no-such-adc-library")});
  EXPECT_FALSE(driver.loaded());
  EXPECT_EQ(driver.openUnit(3), 0);
  int32_t reading = 0;
  EXPECT_EQ(driver.getValue(&reading, 3, 1), 0);
  EXPECT_EQ(driver.closeUnit(3), 0);
}

TEST(LibraryWithoutTheSymbols, IsTreatedAsMissing) {
  // Any shared library without the four symbols, e.g. the C library itself.
  LibraryConverterDriver driver({QStringLiteral("libc.so.6")});
  EXPECT_FALSE(driver.loaded());
  EXPECT_EQ(driver.openUnit(3), 0);
}

}  // namespace
