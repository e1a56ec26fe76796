#include "files/standard_error.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace scribeline {
namespace {

// The file descriptor 2 leads to, as (device, inode).
std::pair<dev_t, ino_t> standardErrorFile() {
  struct stat status {};
  EXPECT_EQ(::fstat(STDERR_FILENO, &status), 0);
  return {status.st_dev, status.st_ino};
}

TEST(StandardErrorTest, CapturesEveryWayOfWritingAndPutsTheDescriptorBack) {
  testing::internal::CaptureStderr();
  const auto before = standardErrorFile();
  const std::string captured = captureStandardError([] {
    std::fputs("stdio\n", stderr);
    std::cerr << "stream\n";
    EXPECT_EQ(::write(STDERR_FILENO, "descriptor\n", 11), 11);
  });
  std::fputs("after\n", stderr);
  EXPECT_EQ(standardErrorFile(), before);
  EXPECT_EQ(captured, "stdio\nstream\ndescriptor\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "after\n");
}

TEST(StandardErrorTest, AThrowingCallPutsTheDescriptorBack) {
  const auto before = standardErrorFile();
  EXPECT_THROW(captureStandardError([] {
                 std::fputs("lost\n", stderr);
                 throw std::runtime_error("thrown");
               }),
               std::runtime_error);
  EXPECT_EQ(standardErrorFile(), before);
  EXPECT_TRUE(holdStandardError().owns_lock());  // the lock was given back
}

// Threads capturing side by side each get their own words; one writing to
// standard error under the lock is never captured, and its words all reach
// standard error. Without the lock the switches interleave: words land in
// the wrong capture, and descriptor 2 can stay on a temporary file.
TEST(StandardErrorTest, CapturesOnThreadsSideBySideKeepTheirOwnWords) {
  constexpr int kRounds = 2000;
  testing::internal::CaptureStderr();
  const auto before = standardErrorFile();
  std::vector<std::string> wrong(2);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 2; ++thread) {
    threads.emplace_back([thread, &wrong] {
      const std::string words = "capture " + std::to_string(thread) + "\n";
      for (int round = 0; round < kRounds; ++round) {
        const std::string captured = captureStandardError(
            [&words] { std::fputs(words.c_str(), stderr); });
        if (captured != words && wrong[thread].empty())
          wrong[thread] = captured;
      }
    });
  }
  threads.emplace_back([] {
    for (int round = 0; round < kRounds; ++round) {
      const auto held = holdStandardError();
      std::fputs("held\n", stderr);
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(standardErrorFile(), before);
  EXPECT_EQ(wrong, std::vector<std::string>(2));
  std::string expected;
  for (int round = 0; round < kRounds; ++round) expected += "held\n";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
}

}  // namespace
}  // namespace scribeline
