// Data files through the file system: saves that fail leave the old file, links, devices,
// folders that forbid new files, opens that name their cause.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <thread>

#include "csv_export.h"
#include "data_file.h"
#include "data_file_fixture.h"
#include "date_time_text.h"
#include "file_access.h"
#include "numbers.h"
#include "ordinary_user.h"
#include "plain_record_fields.h"
#include "text_lines.h"
#include "velan_error.h"

namespace {
class DataFileOnDiskTest : public DataFileTest {
 protected:
  QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
  QTemporaryDir dir;
};

TEST_F(DataFileOnDiskTest, SaveAndLoadThroughTheFileSystem) {
  const QString name = path("run.vln");
  saveDataFile(name, *store, table, fields, true, QLatin1Char('.'));
  EXPECT_TRUE(fileExists(name));
  EXPECT_FALSE(fileExists(path("RUN.VLN"))) << "exact name on a case-sensitive file system";
  const auto staged = loadDataFile(name, true, QLatin1Char('.'));
  ASSERT_TRUE(staged);
  EXPECT_EQ(staged->rowCount, 2);
  // Records larger than one written block (data file and CSV) come back whole.
  store->rowCount = 20000;
  table.setTableRowCount(20001);  // the table mirrors every row
  for (int r = 1; r <= store->rowCount; ++r) store->time[r] = r;
  saveDataFile(name, *store, table, fields, true, QLatin1Char('.'));
  EXPECT_EQ(loadDataFile(name, true, QLatin1Char('.'))->time.back(), 20000.0);
  exportCsv(path("run.csv"), *store, table, fields);
  QFile csv(path("run.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_EQ(csv.readAll().count("\r\n"), 20001);
}

TEST_F(DataFileOnDiskTest, FailedSavesLeaveTheOldFileIntact) {
  const QString readOnly = path("old.vln");
  {
    QFile file(readOnly);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old content");
  }
  QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
  struct Case {
    QString name;
    const char* message;
  } const cases[] = {
      {path("missing/run.vln"), "Ungültiger Dateiname"},
      {dir.path(), "Dateizugriff verweigert"},
      {readOnly, "Dateizugriff verweigert"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(errorOf([&] { saveDataFile(c.name, *store, table, fields, true, QLatin1Char('.')); }),
              QString::fromUtf8(c.message))
        << c.name.toStdString();
  }
  QFile file(readOnly);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("old content"));
}

TEST_F(DataFileOnDiskTest, AFolderThatForbidsNewFilesIsSavedIntoInPlace) {
  const QByteArray bytes = write(true, QLatin1Char('.'));
  expectAsOrdinaryUser([this, &bytes] {
    QTemporaryDir locked;
    const QString name = locked.filePath(QStringLiteral("run.vln"));
    QFile old(name);
    if (!old.open(QIODevice::WriteOnly) || old.write("old content, longer than nothing") < 0) {
      return false;
    }
    old.close();
    QFile::setPermissions(locked.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    saveDataFile(name, *store, table, fields, true, QLatin1Char('.'));
    QFile saved(name);
    const bool same = saved.open(QIODevice::ReadOnly) && saved.readAll() == bytes;
    const bool alone = QDir(locked.path()).entryList(QDir::Files) == QStringList{"run.vln"};
    QFile::setPermissions(locked.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    std::fprintf(stderr, "written %d, no other file %d\n", same, alone);
    return same && alone;
  });
}

TEST_F(DataFileOnDiskTest, SavesThroughLinksAndOntoDevicesKeepThem) {
  auto save = [&](const QString& name) {
    return errorOf([&] { saveDataFile(name, *store, table, fields, true, QLatin1Char('.')); });
  };
  const QByteArray expected = write(true, QLatin1Char('.'));
  auto contents = [](const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
  };
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("real")));
  const QString target = path("real/target.vln");
  for (const char* link : {"link.vln", "dangling.vln"}) {  // the second points to nothing yet
    if (QFile::exists(target)) QFile::remove(target);
    ASSERT_TRUE(QFile::link(target, path(link)));
    EXPECT_EQ(save(path(link)), QStringLiteral("(no error)"));
    EXPECT_TRUE(QFileInfo(path(link)).isSymLink()) << link;
    EXPECT_EQ(contents(target), expected) << link;
  }
  EXPECT_EQ(QDir(path("real")).entryList(QDir::Files).size(), 1) << "no temporary file left";

  const QString fifo = path("pipe");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  QByteArray piped;
  std::thread reader([&] { piped = contents(fifo); });
  EXPECT_EQ(save(fifo), QStringLiteral("(no error)"));
  reader.join();
  EXPECT_EQ(piped, expected);
  EXPECT_FALSE(QFileInfo(fifo).isFile()) << "the FIFO stays a FIFO";

  if (QFileInfo::exists(QStringLiteral("/dev/full"))) {
    EXPECT_EQ(save(QStringLiteral("/dev/full")), QStringLiteral("Zu wenig Speicherplatz"));
    EXPECT_FALSE(QFileInfo(QStringLiteral("/dev/full")).isFile());
  }
}

TEST_F(DataFileOnDiskTest, FailedOpensNameTheirCause) {
  EXPECT_EQ(errorOf([&] { loadDataFile(path("none.vln"), true, QLatin1Char('.')); }),
            QStringLiteral("Datei nicht gefunden"));
  EXPECT_EQ(errorOf([&] { loadDataFile(path("no/none.vln"), true, QLatin1Char('.')); }),
            QStringLiteral("Ungültiger Dateiname"));
  EXPECT_EQ(errorOf([&] { loadDataFile(dir.path(), true, QLatin1Char('.')); }),
            QStringLiteral("Dateizugriff verweigert"));
  // Refused at once: reading a FIFO would wait for a writer.
  ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.vln")).constData(), 0600), 0);
  EXPECT_EQ(errorOf([&] { loadDataFile(path("pipe.vln"), true, QLatin1Char('.')); }),
            QStringLiteral("Dateizugriff verweigert"));
}

TEST(FileErrorMessage, MapsThePlatformErrors) {
  EXPECT_EQ(fileErrorMessage(ENOENT), QStringLiteral("Datei nicht gefunden"));
  EXPECT_EQ(fileErrorMessage(ENOTDIR), QStringLiteral("Ungültiger Dateiname"));
  EXPECT_EQ(fileErrorMessage(EACCES), QStringLiteral("Dateizugriff verweigert"));
  EXPECT_EQ(fileErrorMessage(ENOSPC), QStringLiteral("Zu wenig Speicherplatz"));
  EXPECT_EQ(fileErrorMessage(EIO), QStringLiteral("E/A-Fehler %1").arg(EIO));
}

TEST(FullDisk, WritingToDevFullReportsTooLittleSpace) {
  QFile full(QStringLiteral("/dev/full"));
  if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) GTEST_SKIP() << "no /dev/full";
  auto store = std::make_unique<RecordStore>();
  DataTable table;
  PlainRecordFields fields;
  try {
    writeDataFile(full, *store, table, fields, true, QLatin1Char('.'));
    ADD_FAILURE() << "write to a full device succeeded";
  } catch (const VelanError& error) {
    EXPECT_EQ(error.message(), QStringLiteral("Zu wenig Speicherplatz"));
  }
}

}  // namespace
