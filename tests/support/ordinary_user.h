#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

/// Runs `check` in a child process as an ordinary user: root ignores file permissions, and CI
/// runs as root. The check says what went wrong on stderr and returns false.
inline void expectAsOrdinaryUser(const std::function<bool()>& check) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        constexpr uid_t kNobody = 65534;
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
          std::exit(2);
        }
        std::exit(check() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
