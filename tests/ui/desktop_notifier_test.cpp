// Limit crossings on the desktop: what reaches the notification service, and when.
#include "desktop_notifier.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A value hovering at a limit does not flood the desktop: one notification a channel, updated
// at most once in ten seconds, each channel on its own; the latest state always arrives.
TEST(DesktopNotifierTest, OneAChannelUpdatedInPlaceEndingOnTheLatestState) {
  std::vector<std::pair<uint, QString>> sent;
  uint nextId = 7;
  DesktopNotifier notifier([&](uint replaces, const QString& text, auto shown) {
    sent.emplace_back(replaces, text);
    shown(replaces ? replaces : nextId++);
  });
  EXPECT_TRUE(notifier.notify(1, QStringLiteral("Ch. 1 above high limit 1200 mV")));
  EXPECT_FALSE(notifier.notify(1, QStringLiteral("Ch. 1 back within limits")));
  EXPECT_FALSE(notifier.notify(1, QStringLiteral("Ch. 1 above high limit 1200 mV")));
  EXPECT_FALSE(notifier.notify(1, QStringLiteral("Ch. 1 back within limits")));
  EXPECT_TRUE(notifier.notify(4, QStringLiteral("Ch. 4 below low limit 0 mV")));
  notifier.quietTimeEnded(1);
  notifier.quietTimeEnded(1);  // nothing more waited
  const std::vector<std::pair<uint, QString>> expected = {
      {0, QStringLiteral("Ch. 1 above high limit 1200 mV")},
      {0, QStringLiteral("Ch. 4 below low limit 0 mV")},
      {7, QStringLiteral("Ch. 1 back within limits")}};
  EXPECT_EQ(sent, expected);
}

}  // namespace
