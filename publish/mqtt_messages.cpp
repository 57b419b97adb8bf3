#include "mqtt_messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include "numbers.h"

namespace {
QString channelKey(int channel) { return QStringLiteral("ch%1").arg(channel); }

QByteArray compact(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
}  // namespace

QString isoTime(const QDateTime& time) {
  // With its offset written out: a local time alone would not say which one.
  return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

double fileRounded(double value, int decimals) {
  return fileValueText(value, decimals, QLatin1Char('.')).toDouble();
}

QByteArray rowMessage(const PublishedRow& row) {
  QJsonObject object{
      {QStringLiteral("run"), row.run},   {QStringLiteral("seq"), static_cast<qint64>(row.seq)},
      {QStringLiteral("part"), row.part}, {QStringLiteral("row"), row.row},
      {QStringLiteral("t"), row.seconds}, {QStringLiteral("time"), isoTime(row.time)}};
  for (int c = 1; c <= kChannels; ++c) {
    if (!row.selected[c]) continue;
    object.insert(channelKey(c), row.values[c] ? QJsonValue(*row.values[c]) : QJsonValue());
  }
  return compact(object);
}

QByteArray lateRowMessage(const QByteArray& message) {
  QJsonObject object = QJsonDocument::fromJson(message).object();
  object.insert(QStringLiteral("late"), true);
  return compact(object);
}

QByteArray noteMessage(const QString& run, int64_t seq, const QDateTime& time,
                       const QString& text) {
  return compact({{QStringLiteral("run"), run},
                  {QStringLiteral("seq"), static_cast<qint64>(seq)},
                  {QStringLiteral("time"), isoTime(time)},
                  {QStringLiteral("text"), text}});
}

QByteArray statusMessage(const RunStatus& status) {
  QJsonObject units;
  for (int c = 1; c <= kChannels; ++c) {
    if (!status.units[c].isEmpty()) units.insert(channelKey(c), status.units[c]);
  }
  QJsonObject object{{QStringLiteral("state"), status.state},
                     {QStringLiteral("run"), status.run},
                     {QStringLiteral("experiment"), status.experiment},
                     {QStringLiteral("interval"), status.intervalSeconds},
                     {QStringLiteral("units"), units},
                     {QStringLiteral("part"), status.part}};
  if (status.unpublished > 0) {
    object.insert(QStringLiteral("unpublished"), static_cast<qint64>(status.unpublished));
  }
  return compact(object);
}

QByteArray offlineMessage() { return compact({{QStringLiteral("state"), "offline"}}); }

QByteArray channelValueMessage(double value) {
  // As JSON writes a number: the shortest text that reads back as the same value.
  return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

DiscoveryMessage discoveryMessage(const QString& prefix, int channel, const QString& unit) {
  QString id = prefix + QStringLiteral("_") + channelKey(channel);
  // Home Assistant takes only ASCII letters, digits, '_' and '-' in an id.
  for (QChar& character : id) {
    const char16_t c = character.unicode();
    const bool taken = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
    if (!taken) character = QLatin1Char('_');
  }
  const QJsonObject config{
      {QStringLiteral("name"), QStringLiteral("Ch. %1").arg(channel)},
      {QStringLiteral("unique_id"), id},
      {QStringLiteral("state_topic"), prefix + QStringLiteral("/") + channelKey(channel)},
      {QStringLiteral("unit_of_measurement"), unit},
      {QStringLiteral("availability_topic"), prefix + QStringLiteral("/status")},
      {QStringLiteral("availability_template"),
       QStringLiteral("{{ 'offline' if value_json.state == 'offline' else 'online' }}")},
      {QStringLiteral("device"),
       QJsonObject{{QStringLiteral("identifiers"), QJsonArray{prefix}},
                   {QStringLiteral("name"), QStringLiteral("Velan ") + prefix}}}};
  return {QStringLiteral("homeassistant/sensor/%1/config").arg(id), compact(config)};
}
