#include <gtest/gtest.h>

#include <QLibrary>

#include "converter_driver.h"
#include "data_table.h"
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
  LibraryConverterDriver driver({QStringLiteral(FAKE_ADC16_PATH)});
  auto store = std::make_unique<RecordStore>();
  DataTable table;
  PlainRecordFields fields;
  fields.setChannelSelected(3, true);
  Recorder recorder(*store, table, driver, fields);
  store->portNumber = 3;
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
  EXPECT_DOUBLE_EQ(store->value[1][1], 1000.0);
  EXPECT_DOUBLE_EQ(store->value[3][1], 500.0);
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
