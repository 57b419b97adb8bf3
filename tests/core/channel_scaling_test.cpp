#include "channel_scaling.h"

#include <gtest/gtest.h>

#include "velan_error.h"

namespace {

TEST(ChannelScaling, TwoPointsGiveTheLineThroughThemAndRefuseNoLine) {
  const QChar comma = QLatin1Char(',');
  struct Case {
    double reading1, true1, reading2, true2;
    const char* scaling;  // the description, or the start of the refusal
  } const cases[] = {
      {500, 0, 1000, 50, "Ch. 2 scaling: °C = 0,1 x mV - 50"},
      {0, 20, 300, 10, "Ch. 2 scaling: °C = -0,03333333333 x mV + 20"},  // ten digits
      {-200, -1, 200, 1, "Ch. 2 scaling: °C = 0,005 x mV"},
      {500, 0, 500, 50, "The two readings are equal"},
      {500, 7, 1000, 7, "The two true values give a factor of 0"},
  };
  for (const Case& c : cases) {
    QString text;
    try {
      text = scalingDescription(2, twoPointScaling(c.reading1, c.true1, c.reading2, c.true2),
                                QStringLiteral("°C"), comma);
    } catch (const VelanError& error) {
      text = error.message();
    }
    EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.scaling))) << text.toStdString();
  }
}

}  // namespace
