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
#include "recorded_run.h"
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

// A part that cannot be saved keeps its journal, on another disk or on the same full one (full
// in the middle of the part, or before the start): the next start with room gets back every row
// the journal was said to hold, and every other row was counted lost, never "kept".
TEST_F(FullDiskTest, APartNotSavedIsRecoveredOrCountedLostWhateverDiskHoldsItsJournal) {
  const struct {
    bool journalOnTheDisk;
    int fullAtRow;  // 0: before the start
  } cases[] = {{false, 0}, {true, 120}, {true, 0}};
  for (const auto& c : cases) {
    mountFull(48 * 1024);
    if (IsSkipped()) return;
    qputenv("XDG_DATA_HOME",
            QFile::encodeName(c.journalOnTheDisk ? disk + "/data" : home.filePath("data")));
    RecordedRun run([this] { return disk; });
    const auto fill = [this] {
      QFile filler(disk + "/filler2");
      ASSERT_TRUE(filler.open(QIODevice::Append | QIODevice::Unbuffered));
      while (filler.write(QByteArray(512, 'f')) > 0) {
      }
    };
    if (c.fullAtRow == 0) fill();
    run.parts.begin();
    for (int row = 1; row <= 160; ++row) {
      if (row == c.fullAtRow) fill();
      run.tick();
    }
    const RunParts::Saved saved = run.parts.finish();
    EXPECT_TRUE(saved.failure.contains("Zu wenig Speicherplatz")) << saved.failure.toStdString();
    EXPECT_EQ(saved.rowsOnlyInMemory() > 0, c.journalOnTheDisk);
    EXPECT_EQ(saved.rowsInJournal == 0, saved.journal.isEmpty()) << "never an empty path";
    const QString said = partOutcomeText(saved);
    if (c.journalOnTheDisk) {
      EXPECT_TRUE(said.contains(QStringLiteral("%1 rows (").arg(saved.rowsOnlyInMemory())))
          << said.toStdString();
    }
    ASSERT_TRUE(QFile::remove(disk + "/filler2"));
    QStringList lines;
    saveOrphanedJournals(home.filePath("room"), QString(), true, QLatin1Char('.'),
                         [&lines](const QString& line) { lines << line; });
    int recovered = 0;
    for (const QString& name : QDir(home.filePath("room")).entryList({"*.vln"})) {
      EXPECT_TRUE(name.startsWith("Velan 2026-12-08 07-00-00 recovered")) << "its own start";
      recovered += loadDataFile(home.filePath("room/" + name), true, QLatin1Char('.'))->rowCount;
      QFile::remove(home.filePath("room/" + name));
    }
    EXPECT_EQ(recovered, c.journalOnTheDisk ? saved.rowsInJournal : 160)
        << lines.join('\n').toStdString();
    EXPECT_FALSE(QFile::exists(saved.journal));
    TearDown();
  }
}

}  // namespace
