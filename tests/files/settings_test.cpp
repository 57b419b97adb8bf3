#include <gtest/gtest.h>

#include <QBuffer>
#include <QTemporaryDir>
#include <cstring>

#include "plain_record_fields.h"
#include "settings_file.h"
#include "user_settings.h"
#include "velan_error.h"

namespace {

struct RecordingTarget : SettingsTarget {
  QString port = QStringLiteral("3");
  int portNumber = 0;
  PlainRecordFields fields;
  int interval = 1000;
  QString folder = QStringLiteral("(default)");
  void setPortText(const QString& text) override { port = text; }
  QString portText() const override { return port; }
  void setPortNumber(int p) override { portNumber = p; }
  RecordFields& recordFields() override { return fields; }
  void setReadingInterval(int ms) override { interval = ms; }
  void setInitialDirectory(const QString& f) override { folder = f; }
};

QString readInto(RecordingTarget& target, QByteArray bytes, QChar separator = QLatin1Char('.')) {
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  try {
    readSettings(buffer, target, separator);
  } catch (const VelanError& error) {
    return error.message();
  }
  return {};
}

SettingsValues defaults() {
  SettingsValues values;
  values.portText = QStringLiteral("3");
  values.experiment = QStringLiteral("(Describe experiment here)");
  values.selected = {false, true, false, false, false};
  values.unitLabels.fill(QStringLiteral("mV"));
  values.intervalCaption = QStringLiteral("1.0");
  return values;
}

QByteArray written(const SettingsValues& values) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  writeSettings(buffer, values);
  return buffer.data();
}

TEST(Settings, DefaultsWriteTheEightLines) {
  EXPECT_EQ(written(defaults()),
            QByteArray("3<COM Port #>\r\n(Describe experiment here)<Experiment description>\r\n"
                       "mV<Channel 1>\r\n<Channel 2 not used>\r\n<Channel 3 not used>\r\n"
                       "<Channel 4 not used>\r\n1.0<sec Reading interval>\r\n"
                       "<No initial directory defined>\r\n"));
}

TEST(Settings, ReadsBackWhatWasWrittenIncludingTheFolder) {
  SettingsValues values = defaults();
  values.portText = QStringLiteral("7");
  values.experiment = QStringLiteral("Yeast");
  values.selected = {false, false, true, false, true};
  values.unitLabels[2] = QStringLiteral("pH");
  values.intervalCaption = QStringLiteral("0.25");
  values.lastSaveName = QStringLiteral("/data/run1.vln");
  const QByteArray bytes = written(values);
  EXPECT_TRUE(bytes.endsWith("/data/<Initial directory>\r\n"));
  RecordingTarget target;
  EXPECT_EQ(readInto(target, bytes), QString());
  EXPECT_EQ(target.portNumber, 7);
  EXPECT_EQ(target.fields.experiment(), QStringLiteral("Yeast"));
  EXPECT_FALSE(target.fields.channelSelected(1));
  EXPECT_TRUE(target.fields.channelSelected(2));
  EXPECT_EQ(target.fields.unitLabel(2), QStringLiteral("pH"));
  EXPECT_EQ(target.fields.unitLabel(1), QStringLiteral("mV")) << "unused channel keeps its label";
  EXPECT_EQ(target.interval, 250);
  EXPECT_EQ(target.folder, QStringLiteral("/data/"));
}

// Scalings go after the eighth line, which a reader of the eight never sees; a channel without
// them keeps the scaling it has.
TEST(Settings, ScalingsFollowTheEightLinesAndReadBack) {
  SettingsValues values = defaults();
  values.intervalCaption = QStringLiteral("1,0");
  values.separator = QLatin1Char(',');
  const QByteArray eight = written(values);
  values.scalings[2] = {0.1, -50};
  values.scalings[4] = {2.5, 0};
  const QByteArray bytes = written(values);
  EXPECT_EQ(bytes, eight +
                       "0,1<Channel 2 factor>\r\n-50<Channel 2 offset>\r\n"
                       "2,5<Channel 4 factor>\r\n0<Channel 4 offset>\r\n");
  // Each channel's lines are judged on their own: a bad one is reported, the next applies.
  const QByteArray four = "2,5<Channel 4 factor>\r\n0<Channel 4 offset>\r\n";
  const struct {
    QByteArray file;
    const char* error;
  } cases[] = {
      {bytes, ""},
      {eight, ""},
      {eight + "0<Channel 3 factor>\r\n1<Channel 3 offset>\r\n" + four, "Ch. 3: a factor of 0"},
      {eight + "1e-320<Channel 3 factor>\r\n1<Channel 3 offset>\r\n" + four,
       "Ch. 3 factor: 1e-320 is too small"},
      {eight + "1e298<Channel 3 factor>\r\n1<Channel 3 offset>\r\n" + four,
       "Ch. 3 factor and offset: values up to 1e+298 x 2500 mV + 1 would not fit a file"},
  };
  for (const auto& c : cases) {
    RecordingTarget target;
    target.fields.setScaling(1, {3, 3});
    target.fields.setScaling(4, {7, 7});
    const QString error = readInto(target, c.file, QLatin1Char(','));
    EXPECT_EQ(error.left(static_cast<qsizetype>(std::strlen(c.error))), QLatin1String(c.error))
        << error.toStdString();
    EXPECT_TRUE(target.fields.scaling(3).isIdentity());
    EXPECT_EQ(target.fields.scaling(1), (ChannelScaling{3, 3})) << "no lines: kept";
    EXPECT_EQ(target.fields.scaling(4).factor, c.file.contains("Channel 4 factor") ? 2.5 : 7.0);
  }
}

TEST(Settings, IntervalsRoundHalfToEvenAndStayWithinTheControlsRange) {
  struct Case {
    const char* line;
    int interval;
  } const cases[] = {{"0.5", 500}, {"0.3", 300}, {"2", 2000},      {"0.0005", 250},
                     {"0", 250},   {"-3", 250},  {"9999", 500000}, {"1.5", 1500}};
  for (const Case& c : cases) {
    RecordingTarget target;
    const QByteArray bytes = "3<>\r\n<>\r\n<>\r\n<>\r\n<>\r\n<>\r\n" + QByteArray(c.line) +
                             "<sec Reading interval>\r\n<No initial directory defined>\r\n";
    EXPECT_EQ(readInto(target, bytes), QString()) << c.line;
    EXPECT_EQ(target.interval, c.interval) << c.line;
  }
}

TEST(Settings, FailuresStopWhereTheyHappen) {
  RecordingTarget port;
  EXPECT_EQ(readInto(port, "COM3<COM Port #>\r\nExp<>\r\n"),
            QStringLiteral("'COM3' ist kein gültiger Integerwert"));
  EXPECT_EQ(port.port, QStringLiteral("COM3")) << "the field already holds the value";
  EXPECT_EQ(port.fields.experiment(), QStringLiteral("(Describe experiment here)"));

  RecordingTarget interval;
  EXPECT_EQ(readInto(interval,
                     "4<>\r\nExp<>\r\n<Channel 1 not used>\r\n<>\r\n<>\r\n<>\r\n"
                     "0,5<sec Reading interval>\r\n/x/<Initial directory>\r\n"),
            QStringLiteral("'0,5' ist kein gültiger Gleitkommawert"));
  EXPECT_EQ(interval.fields.experiment(), QStringLiteral("Exp"));
  EXPECT_FALSE(interval.fields.channelSelected(1));
  EXPECT_EQ(interval.interval, 1000);
  EXPECT_EQ(interval.folder, QStringLiteral("(default)"));

  RecordingTarget empty;
  EXPECT_EQ(readInto(empty, ""), QStringLiteral("'' ist kein gültiger Integerwert"));
}

TEST(Settings, ChannelNotUsedTagCountsOnlyAtTheFirstByte) {
  RecordingTarget target;
  readInto(target,
           "3<>\r\nE<>\r\n<Channel 1>\r\n <Channel 2 not used>\r\n\r\n<Channel 4 not used>\r\n"
           "1<>\r\n\r\n");
  EXPECT_TRUE(target.fields.channelSelected(2));
  EXPECT_EQ(target.fields.unitLabel(2), QStringLiteral(" "));
  EXPECT_TRUE(target.fields.channelSelected(3)) << "an empty line selects the channel";
  EXPECT_EQ(target.fields.unitLabel(3), QString());
  EXPECT_FALSE(target.fields.channelSelected(4));
  EXPECT_EQ(target.folder, QString()) << "an empty line 8 empties the folders";
}

TEST(Settings, CommaSystemRoundTrip) {
  SettingsValues values = defaults();
  values.intervalCaption = QStringLiteral("0,50");
  RecordingTarget target;
  EXPECT_EQ(readInto(target, written(values), QLatin1Char(',')), QString());
  EXPECT_EQ(target.interval, 500);
}

// The limits and scalings kept per user, which the next start and velan record read: as set,
// and cleared for good once the user clears them; a hand-edited band or scaling that cannot be
// one is none.
TEST(KeptSettings, LimitsAndScalingsReadBackAsSetAndStayClearedOnceCleared) {
  QTemporaryDir home;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
  const ChannelLimits both{800.0, 1200.0, 50.0};
  const ChannelLimits highOnly{std::nullopt, 40.5, 0.25};
  UserSettings::setChannelLimits(2, both);
  UserSettings::setChannelLimits(3, highOnly);
  EXPECT_EQ(UserSettings::channelLimits(2), both);
  EXPECT_EQ(UserSettings::channelLimits(3), highOnly);
  UserSettings::setChannelLimits(2, {});
  EXPECT_EQ(UserSettings::channelLimits(2), ChannelLimits{});
  EXPECT_EQ(UserSettings::channelLimits(3), highOnly);
  UserSettings::setValue(QStringLiteral("ChannelLimits3/low"), 60.0);  // above the high limit
  EXPECT_EQ(UserSettings::channelLimits(3), ChannelLimits{});
  UserSettings::setChannelScaling(4, {2.0, 5.0}, QStringLiteral("°C"));
  EXPECT_EQ(UserSettings::channelScaling(4), (ChannelScaling{2.0, 5.0}));
  EXPECT_EQ(UserSettings::channelUnit(4), QStringLiteral("°C"));
  UserSettings::setChannelScaling(4, {}, QStringLiteral("°C"));
  EXPECT_EQ(UserSettings::channelScaling(4), ChannelScaling{});
  EXPECT_EQ(UserSettings::channelUnit(4), QString());
  UserSettings::setValue(QStringLiteral("ChannelScaling4/factor"), 0.0);  // no scaling
  UserSettings::setValue(QStringLiteral("ChannelScaling4/offset"), 1.0);
  EXPECT_EQ(UserSettings::channelScaling(4), ChannelScaling{});
  qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
