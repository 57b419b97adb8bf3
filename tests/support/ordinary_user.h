#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>

/// Runs `check` in a child process as an ordinary user: root ignores file permissions, and CI
/// runs as root. The check says what went wrong on stderr and returns false. The child's
/// temporary files go into a folder of its own, since the system's may be closed to that user;
/// where no such folder can be reached, the test is skipped and says why.
inline void expectAsOrdinaryUser(const std::function<bool()>& check) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr uid_t kNobody = 65534;
  QTemporaryDir own;
  ASSERT_TRUE(own.isValid());
  const QByteArray folder = QFile::encodeName(own.path());
  if (geteuid() == 0) {
    ASSERT_EQ(::chown(folder.constData(), kNobody, kNobody), 0);
    for (QDir up(own.path()); up.cdUp();) {  // every folder above must let others through
      struct stat info {};
      if (::stat(QFile::encodeName(up.path()).constData(), &info) == 0 &&
          (info.st_mode & S_IXOTH) == 0) {
        GTEST_SKIP() << "user nobody cannot enter " << up.path().toStdString()
                     << ", which holds the temporary folder: set TMPDIR to a folder it may use";
      }
      if (up.isRoot()) break;
    }
  }
  EXPECT_EXIT(
      {
        ::setenv("TMPDIR", folder.constData(), 1);
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
          std::fprintf(stderr, "cannot become user nobody\n");
          std::exit(2);
        }
        std::exit(check() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
