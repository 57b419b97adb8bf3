// Saves onto a real full file system: a small tmpfs, mounted in a mount namespace of this test
// process's own (as root, or as the user's root in a user namespace), gone when it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>

#include "file_access.h"
#include "journal_recovery.h"
#include "plain_record_fields.h"
#include "run_parts.h"
#include "test_doubles.h"
#include "velan_error.h"

namespace {

bool writeWhole(const char* path, const QByteArray& text) {
  const int fd = ::open(path, O_WRONLY);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.constData(), size_t(text.size())) == text.size();
  ::close(fd);
  return ok;
}

// Before main, while the process has one thread (a user namespace takes no other).
bool enterPrivateMounts() {
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (::unshare(CLONE_NEWNS) != 0) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    writeWhole("/proc/self/setgroups", "deny");
    if (!writeWhole("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1") ||
        !writeWhole("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1")) {
      return false;
    }
  }
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}
const bool g_privateMounts = enterPrivateMounts();

class FullDiskTest : public ::testing::Test {
 protected:
  // A 64 KiB file system on `disk` holding kept.vln ("old"), filled to leave `freeBytes`, and
  // where `noInodes`, without room for one more file.
  void mountFull(qint64 freeBytes, bool noInodes = false) {
    if (!g_privateMounts) GTEST_SKIP() << "no mount namespace can be made here";
    ASSERT_EQ(::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0,
                      noInodes ? "size=64k,nr_inodes=8" : "size=64k"),
              0);
    QFile kept(disk + "/kept.vln");
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.write("old");
    kept.close();
    QFile room(disk + "/room");
    ASSERT_TRUE(room.open(QIODevice::WriteOnly));
    ASSERT_EQ(room.write(QByteArray(freeBytes, 'r')), freeBytes);
    room.close();
    QFile filler(disk + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'f')) == 4096) {
    }
    filler.close();
    ASSERT_TRUE(QFile::remove(disk + "/room"));
    for (int n = 0; noInodes; ++n) {
      QFile inode(disk + QStringLiteral("/inode%1").arg(n));
      noInodes = inode.open(QIODevice::WriteOnly);
    }
  }
  void TearDown() override { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); }
  QStringList files() const {
    return QDir(disk).entryList(QDir::Files | QDir::Hidden | QDir::System);
  }

  QTemporaryDir home;
  QString disk = home.filePath("disk");
  bool made = QDir().mkpath(disk);
};

// Nothing is called saved that the disk does not hold whole: no empty or cut file, no temporary
// file left, and a file being replaced stays as it was.
TEST_F(FullDiskTest, ASaveThatDoesNotFitFailsAndLeavesWhatWasThere) {
  const struct {
    qint64 freeBytes;
    qint64 size;
    bool noInodes;  // no new file either: nothing may be written over the old one in place
  } cases[] = {
      {0, 100, false}, {4096, 10000, false}, {48 * 1024, 100 * 1024, false}, {0, 10000, true}};
  for (const auto& c : cases) {
    mountFull(c.freeBytes, c.noInodes);
    if (IsSkipped()) return;
    const auto write = [&](QIODevice& file) { writeBytes(file, QByteArray(c.size, 'x')); };
    const auto expectFull = [&](const std::function<void()>& save) {
      try {
        save();
        ADD_FAILURE() << c.freeBytes << " bytes free: a file of " << c.size << " was saved";
      } catch (const VelanError& error) {
        EXPECT_EQ(error.message(), "Zu wenig Speicherplatz");
      }
    };
    expectFull([&] { saveFile(disk + "/new.vln", write); });
    expectFull([&] { saveFile(disk + "/kept.vln", write); });
    expectFull([&] { saveNewFile([&](int) { return disk + "/part.vln"; }, write); });
    EXPECT_EQ(files().filter(QRegularExpression("^(?!inode)")), QStringList({"filler", "kept.vln"}))
        << c.freeBytes;
    QFile kept(disk + "/kept.vln");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "old");
    TearDown();
  }
}

// A part that cannot be saved keeps its journal; the next start with room saves every row.
TEST_F(FullDiskTest, APartNotSavedIsSavedWholeAtTheNextStart) {
  mountFull(4096);
  if (IsSkipped()) return;
  qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
  auto store = std::make_unique<RecordStore>();
  DataTable table;
  ScriptedDriver driver;
  PlainRecordFields fields;
  Recorder recorder{*store, table, driver, fields};
  RecordJournal journal{*store, table, fields};
  RunParts parts{*store,
                 table,
                 fields,
                 recorder,
                 journal,
                 [this] { return disk; },
                 [] { return QDateTime(QDate(2026, 12, 8), QTime(7, 0, 0)); }};
  int64_t now = 0;
  recorder.setClock([&now] { return now; });
  recorder.addListener(&journal);
  recorder.setReadingInterval(250);
  recorder.resetRecord();
  recorder.startTimers();
  parts.begin();
  for (int row = 0; row < 300; ++row) {
    now += 250;
    recorder.Timer1Timer();
  }
  const RunParts::Saved saved = parts.finish();
  EXPECT_FALSE(saved.ok());
  EXPECT_TRUE(saved.failure.contains("Zu wenig Speicherplatz")) << saved.failure.toStdString();
  EXPECT_EQ(files(), QStringList({"filler", "kept.vln"}));
  ASSERT_TRUE(QFile::exists(saved.journal));
  journal.sync();

  QStringList said;
  saveOrphanedJournals(home.filePath("room"), QString(), true, QLatin1Char('.'),
                       [&said](const QString& line) { said << line; });
  ASSERT_EQ(said.size(), 1);
  const QStringList recovered = QDir(home.filePath("room")).entryList({"*.vln"});
  ASSERT_EQ(recovered.size(), 1) << said.join('\n').toStdString();
  EXPECT_EQ(recovered[0], "Velan 2026-12-08 07-00-00 recovered.vln") << "named by its own start";
  const auto file = loadDataFile(QFile::encodeName(home.filePath("room/" + recovered[0])), true,
                                 QLatin1Char('.'));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->rowCount, 300) << said.join('\n').toStdString();
  EXPECT_FALSE(QFile::exists(saved.journal));
}

}  // namespace
