#include "publish_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <cstring>

#include "user_settings.h"

namespace {
QString key(const char* name) { return QStringLiteral("Publishing/") + QLatin1String(name); }
}  // namespace

PublishSettings keptPublishSettings() {
  PublishSettings settings;
  settings.broker = UserSettings::value(key("broker")).toString();
  settings.topic = UserSettings::value(key("topic")).toString();
  settings.userName = UserSettings::value(key("userName")).toString();
  settings.caFile = UserSettings::value(key("caFile")).toString();
  settings.enabled = UserSettings::value(key("enabled"), false).toBool();
  settings.homeAssistant = UserSettings::value(key("homeAssistant"), false).toBool();
  return settings;
}

void keepPublishSettings(const PublishSettings& settings) {
  UserSettings::setValue(key("broker"), settings.broker);
  UserSettings::setValue(key("topic"), settings.topic);
  UserSettings::setValue(key("userName"), settings.userName);
  UserSettings::setValue(key("caFile"), settings.caFile);
  UserSettings::setValue(key("enabled"), settings.enabled);
  UserSettings::setValue(key("homeAssistant"), settings.homeAssistant);
}

std::variant<BrokerAddress, QString> parseBrokerUrl(const QString& url) {
  // Never a password in a message: it would reach the logs.
  QString shown = url;
  shown.replace(QRegularExpression(QStringLiteral("(://[^/:@]*):.*@")), QStringLiteral("\\1:***@"));
  const QString notOne =
      QStringLiteral("'%1' is not a broker URL (mqtt://[user@]host[:port] or mqtts://...)")
          .arg(shown);
  const QUrl parsed(url, QUrl::StrictMode);
  if (!parsed.isValid()) {
    // QUrl refuses a port beyond 65535 as a whole: say which part is wrong.
    if (url.contains(QLatin1String("://")) && url.section(QLatin1Char(':'), -1).toLongLong() > 0)
      return QStringLiteral("the port of '%1' is out of range (1 to 65535)").arg(shown);
    return notOne;
  }
  BrokerAddress address;
  const QString scheme = parsed.scheme().toLower();
  if (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) return notOne;
  address.tls = scheme == QLatin1String("mqtts");
  if (parsed.host().isEmpty() || (!parsed.path().isEmpty() && parsed.path() != QLatin1String("/")))
    return notOne;
  if (!parsed.password().isEmpty()) {
    return QStringLiteral(
        "a password never goes into the broker URL (it would show in the "
        "process list and the logs): give it in a password file");
  }
  address.host = parsed.host();
  address.userName = parsed.userName();
  const int port = parsed.port(address.tls ? 8883 : 1883);
  if (port < 1 || port > 65535)
    return QStringLiteral("the port of '%1' is out of range (1 to 65535)").arg(shown);
  address.port = port;
  return address;
}

CheckedText topicPrefix(const QString& prefix) {
  if (prefix.isEmpty()) {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    QString host = QString::fromLocal8Bit(name).section(QLatin1Char('.'), 0, 0);
    host.remove(QLatin1Char('+')).remove(QLatin1Char('#')).remove(QLatin1Char('/'));
    return {QStringLiteral("velan/") + (host.isEmpty() ? QStringLiteral("velan") : host), {}};
  }
  const auto refused = [&prefix](const char* why) {
    return CheckedText{{}, QStringLiteral("the topic '%1' %2").arg(prefix, QLatin1String(why))};
  };
  if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
    return refused("holds a wildcard (+ or #), which no publisher may use");
  for (const QChar character : prefix) {
    if (character.unicode() < 0x20) return refused("holds a control character");
  }
  for (const QString& level : prefix.split(QLatin1Char('/'))) {
    if (level.isEmpty()) return refused("has an empty level (a leading, trailing or double /)");
  }
  return {prefix, {}};
}

CheckedText readPasswordFile(const QString& path) {
  const auto failed = [](const QString& why) { return CheckedText{{}, why}; };
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return failed(QStringLiteral("the password file %1 cannot be read: %2")
                      .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
  }
  struct stat status {};
  QByteArray bytes;
  if (::fstat(fd, &status) == 0 && (status.st_mode & 077) == 0) {
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0 && bytes.size() < 65536) {
      bytes.append(buffer, got);
    }
  }
  ::close(fd);
  if ((status.st_mode & 077) != 0) {
    return failed(QStringLiteral("the password file %1 may be read by others (mode %2): "
                                 "refused; make it the user's alone with chmod 600")
                      .arg(path)
                      .arg(status.st_mode & 0777, 4, 8, QLatin1Char('0')));
  }
  const qsizetype end = bytes.indexOf('\n');
  QString password = QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
  if (password.endsWith(QLatin1Char('\r'))) password.chop(1);
  return {password, {}};
}

QString userPasswordFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/Velan/mqtt-password");
}

QString defaultPasswordFile() {
  const QString credentials = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
  if (!credentials.isEmpty()) {
    QString credential = QDir(credentials).filePath(QStringLiteral("mqtt-password"));
    if (QFileInfo::exists(credential)) return credential;
  }
  return QFileInfo::exists(userPasswordFile()) ? userPasswordFile() : QString();
}

QString passwordPlaces() {
  const QString credentials = qEnvironmentVariable("CREDENTIALS_DIRECTORY");
  return QStringLiteral("no %1, no %2")
      .arg(credentials.isEmpty()
               ? QStringLiteral(
                     "systemd credential mqtt-password (no LoadCredential= delivered one)")
               : QDir(credentials).filePath(QStringLiteral("mqtt-password")),
           userPasswordFile());
}

QString writePasswordFile(const QString& path, const QString& password) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
  const QByteArray bytes = password.toUtf8() + '\n';
  const bool written = ::fchmod(fd, 0600) == 0 &&
                       ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) ==
                           static_cast<ssize_t>(bytes.size()) &&
                       ::fsync(fd) == 0;
  QString why = written ? QString() : QString::fromLocal8Bit(std::strerror(errno));
  ::close(fd);
  return why;
}
