// The built-in serial driver over a pseudo-terminal, against the converter emulator.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <functional>

#include "converter_emulator.h"
#include "ordinary_user.h"
#include "serial_converter_driver.h"

namespace {

using std::chrono::milliseconds;
using Answer = ConverterEmulator::Answer;

constexpr int kPort = 3;

class SerialDriverTest : public ::testing::Test {
 protected:
  SerialDriverTest() : emulator(QFile::encodeName(folder.filePath("ttyEMU")).toStdString()) {
    emulator.setValues(1, {1000});
    emulator.setValues(2, {-2000});
    emulator.setValues(3, {0x0801});
    emulator.setValues(4, {7});
  }
  ~SerialDriverTest() override { driver.closeUnit(kPort); }

  static bool waitFor(const std::function<bool()>& done, int milliseconds = 3000) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
      if (waited.elapsed() > milliseconds) return false;
      QThread::msleep(5);
    }
    return true;
  }
  std::optional<int32_t> value(int channel) {
    int32_t reading = 0;
    if (driver.getValue(&reading, kPort, channel) == 0) return std::nullopt;
    return reading;
  }
  void openWithChannels(std::initializer_list<int> channels, int filterFactor = 1) {
    ASSERT_NE(driver.openUnit(kPort), 0) << driver.openFailure().toStdString();
    for (int c : channels) driver.setChannel(kPort, c, 12, 0, filterFactor);
  }

  QTemporaryDir folder;
  ConverterEmulator emulator;
  SerialConverterDriver driver{[this](int32_t port) {
                                 return port == kPort ? folder.filePath("ttyEMU")
                                                      : folder.filePath("ttyNone");
                               },
                               {.settle = milliseconds(50),
                                .answer = milliseconds(100),
                                .quiet = milliseconds(25),
                                .reopen = milliseconds(40),
                                .guard = milliseconds(20),
                                .answerMargin = milliseconds(150),
                                // Room for a thread that waits its turn on a busy machine: a
                                // value gone stale restarts the filter.
                                .freshMargin = milliseconds(600)}};
};

TEST_F(SerialDriverTest, OpensOnlyWhenAConverterAnswersAndSaysWhyNot) {
  struct Case {
    const char* what;
    int port;
    Answer answer;
    int noiseGapMs;       // line noise from before the open; 0: none
    const char* failure;  // the start of the reason; nullptr: it opens
    int atMostMs;
    int powerUpMs = 0;      // the converter ignores requests this long after the open begins
    int brokenAnswers = 0;  // the first answers come as breaks (0x00 bytes)
  } const cases[] = {
      {"no such device", 5, Answer::Normal, 0, "No such device: ", 500},  // the thread's start
      {"a silent line", kPort, Answer::Silent, 0, "No converter answered on ", 1000},
      {"garbage only", kPort, Answer::Garbage, 0, "No converter answered on ", 1500},
      {"a line never quiet", kPort, Answer::Normal, 10,
       "The line never went quiet: noise or another device on COM 3", 1000},
      {"a converter", kPort, Answer::Normal, 0, nullptr, 1000},
      {"a converter asked only once it has powered up", kPort, Answer::Normal, 0, nullptr, 1000,
       40},
      {"a converter behind a break", kPort, Answer::Normal, 0, nullptr, 2000, 0, 1},
  };
  for (const Case& c : cases) {
    emulator.setAnswer(c.answer);
    emulator.setSignNoise(milliseconds(c.noiseGapMs));
    emulator.setPowerUp(milliseconds(c.powerUpMs));
    emulator.setBrokenAnswers(c.brokenAnswers);
    driver.closeUnit(kPort);  // the case before may have opened it
    QElapsedTimer took;
    took.start();
    const uint8_t opened = driver.openUnit(c.port);
    EXPECT_LT(took.elapsed(), c.atMostMs) << c.what;
    EXPECT_EQ(opened != 0, c.failure == nullptr) << c.what;
    if (c.failure) {
      EXPECT_TRUE(driver.openFailure().startsWith(QLatin1String(c.failure)))
          << c.what << ": " << driver.openFailure().toStdString();
    }
  }
  EXPECT_EQ(emulator.controlBytes().back(), 0x17) << "the proof: channel 1, 12 bits";
  // The port's lock goes by name and root passes a terminal's exclusive mode: the device's own
  // path must find it taken all the same.
  const QString samePort = QFileInfo(folder.filePath("ttyEMU")).canonicalFilePath();
  SerialConverterDriver second([samePort](int32_t) { return samePort; });
  EXPECT_EQ(second.openUnit(kPort), 0);
  EXPECT_TRUE(second.openFailure().endsWith(QLatin1String("in use by another program.")))
      << second.openFailure().toStdString();
}

// Joining the device's group (Debian's dialout, 20) helps only where that group may read and
// write it.
TEST_F(SerialDriverTest, AnUnreadableDeviceNamesTheGroupToJoinOnlyWhereThatHelps) {
  const struct {
    mode_t mode;
    const char* says;
  } cases[] = {{0660, "group that owns it (dialout): sudo usermod -aG dialout $USER"},
               {0600, "belongs to root (group dialout, mode 0600), and its group may not read"}};
  ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
  for (const auto& c : cases) {
    const QString device = folder.filePath(QStringLiteral("tty%1").arg(c.mode, 0, 8));
    QFile(device).open(QIODevice::WriteOnly);
    const QByteArray path = QFile::encodeName(device);
    ASSERT_EQ(::chown(path.constData(), 0, 20), 0);
    ASSERT_EQ(::chmod(path.constData(), c.mode), 0);
    expectAsOrdinaryUser([device, says = QString::fromLatin1(c.says)] {
      SerialConverterDriver locked([device](int32_t) { return device; });
      if (locked.openUnit(kPort) != 0) return false;
      std::fprintf(stderr, "%s\n", qPrintable(locked.openFailure()));
      return locked.openFailure().startsWith(QStringLiteral("Permission denied: ") + device) &&
             locked.openFailure().contains(says);
    });
  }
}

TEST_F(SerialDriverTest, ConvertsTheSetUpChannelsInTurnSingleEndedAt12Bits) {
  openWithChannels({1, 2, 3, 4});
  ASSERT_TRUE(waitFor([this] { return emulator.controlBytes().size() >= 9; }));
  const std::vector<uint8_t> sent = emulator.controlBytes();
  // The proof converted channel 1: the round goes on from channel 2.
  EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 1, sent.begin() + 9),
            (std::vector<uint8_t>{0x37, 0x57, 0x77, 0x17, 0x37, 0x57, 0x77, 0x17}));
  EXPECT_EQ(value(1), 1000);
  EXPECT_EQ(value(2), -2000) << "'-' is a negative value";
  EXPECT_EQ(value(3), 0x0801) << "the magnitude, high byte first";
  EXPECT_EQ(value(4), 7);
  EXPECT_EQ(value(5), std::nullopt) << "not set up";
  EXPECT_EQ(emulator.overruns(), 0) << "nothing sent while a conversion was pending";
  emulator.setValues(4, {5000});  // out of range: that channel's reason, the others' none
  EXPECT_TRUE(waitFor([this] { return driver.channelTrouble(4) == LineTrouble::OutOfRange; }));
  EXPECT_EQ(driver.channelTrouble(3), LineTrouble::None);
}

TEST_F(SerialDriverTest, TheFilterMovesTheKeptValueByATenthOfEachDifference) {
  emulator.setValues(1, {0});
  openWithChannels({1}, 10);
  ASSERT_TRUE(waitFor([this] { return value(1).has_value(); }));
  emulator.setValues(1, {1000});
  ASSERT_TRUE(waitFor([this] { return value(1) > 300; }));
  // After k readings of 1000: 1000 x (1 - 0.9^k), whatever k is by now.
  const int32_t kept = *value(1);
  bool onTheCurve = false;
  for (int k = 1; k < 200; ++k) onTheCurve |= kept == std::lround(1000 * (1 - std::pow(0.9, k)));
  EXPECT_TRUE(onTheCurve) << kept;
  EXPECT_LT(kept, 1000);

  // A refused answer holds the line longer than a value stays fresh: the filter goes on after.
  SerialConverterDriver held(
      [this](int32_t) { return folder.filePath("ttyEMU"); },
      {.settle = milliseconds(50), .quiet = milliseconds(200), .freshMargin = milliseconds(50)});
  driver.closeUnit(kPort);
  emulator.setValues(1, {0});
  ASSERT_NE(held.openUnit(kPort), 0) << held.openFailure().toStdString();
  held.setChannel(kPort, 1, 12, 0, 100);
  int32_t reading = -1;
  ASSERT_TRUE(waitFor([&] { return held.getValue(&reading, kPort, 1) && reading == 0; }));
  emulator.setBrokenAnswers(1);
  emulator.setValues(1, {1000});
  ASSERT_TRUE(waitFor([&] { return held.getValue(&reading, kPort, 1) && reading > 0; }, 5000));
  EXPECT_EQ(held.rejectedAnswers(), 1);
  EXPECT_LT(reading, 900) << "the filter started again from the reading";
}

// Refused answers (garbage, wrong signs) are the simulator's (conversion_machine_test.cpp);
// here what only a real device does.
TEST_F(SerialDriverTest, ALineThatFailsGivesNoValueAndRecoversWhenItAnswersAgain) {
  struct Case {
    const char* what;
    std::function<void()> fail;
    std::function<void()> recover;
    // One round and the margin (about 730 ms here), with room for a machine busy with other
    // work: the thread may wait its turn for the processor.
    int missingWithinMs;
  } const cases[] = {
      {"a pulled cable", [this] { emulator.setAnswer(Answer::Silent); },
       [this] { emulator.setAnswer(Answer::Normal); }, 2000},
      {"the device gone", [this] { emulator.goAway(); }, [this] { emulator.comeBack(); }, 2000},
      {"the link re-pointed to another converter", [this] { emulator.repoint(); }, [] {}, 2000},
  };
  openWithChannels({1, 2});
  for (const Case& c : cases) {
    ASSERT_TRUE(waitFor([this] { return value(1) == 1000 && value(2) == -2000; }))
        << "before " << c.what;
    c.fail();
    EXPECT_TRUE(waitFor([this] { return !value(1) && !value(2); }, c.missingWithinMs))
        << c.what << ": a value older than the bound";
    c.recover();
  }
  EXPECT_TRUE(waitFor([this] { return value(1) == 1000; })) << "the device came back";
  EXPECT_EQ(emulator.overruns(), 0);
}

// A converter lost is powered anew with the device locked all along: no second program gets
// in meanwhile (it would take the port of a running recorder for good).
TEST_F(SerialDriverTest, TheDeviceStaysLockedWhileALostConverterIsPoweredAnew) {
  openWithChannels({1});
  ASSERT_TRUE(waitFor([this] { return value(1) == 1000; }));
  emulator.setAnswer(Answer::Silent);
  const int requested = emulator.requests();
  SerialConverterDriver second{[this](int32_t) { return folder.filePath("ttyEMU"); }};
  QElapsedTimer watched;
  watched.start();
  int refused = 0;
  // Lost once the answer is overdue (100 ms), reopened after 40 ms, again and again.
  while (watched.elapsed() < 500 || emulator.requests() < requested + 3) {
    ASSERT_EQ(second.openUnit(kPort), 0) << "opened while the first one powered it anew";
    EXPECT_TRUE(second.openFailure().contains("in use by another program"))
        << second.openFailure().toStdString();
    ++refused;
    if (watched.elapsed() > 10000) break;
  }
  EXPECT_GE(emulator.requests(), requested + 3) << "the converter was powered anew and asked";
  emulator.setAnswer(Answer::Normal);
  EXPECT_TRUE(waitFor([this] { return value(1) == 1000; }));
}

TEST_F(SerialDriverTest, SlowConversionsAreWaitedForAndACloseDoesNotWaitForThem) {
  emulator.setConversionTime(12, milliseconds(80));
  openWithChannels({1});
  EXPECT_TRUE(waitFor([this] { return value(1) == 1000; }));
  emulator.setConversionTime(12, milliseconds(5000));
  const int requested = emulator.requests();
  // A request after the change: its conversion is pending now.
  ASSERT_TRUE(waitFor([&] { return emulator.requests() > requested; }));
  QElapsedTimer took;
  took.start();
  driver.closeUnit(kPort);
  EXPECT_LT(took.elapsed(), 200);
  EXPECT_EQ(value(1), std::nullopt) << "a closed unit gives no readings";
}

}  // namespace
