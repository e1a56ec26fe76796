#include "files/photo_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

std::string contentOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

bool exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The id of a process of this host that has ended and been reaped.
long endedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

LockOwner ownerOn(const std::string& host, long pid) {
  LockOwner owner;
  owner.host = host;
  owner.pid = pid;
  owner.user = "alice";
  owner.started = "2024-05-01 12:00:00 +0200";
  return owner;
}

// --- The text of a lock file ---

struct TextRow {
  const char* name;
  std::string text;
  bool namesOwner;
  long pid;
};

class LockTextTest : public testing::TestWithParam<TextRow> {};

TEST_P(LockTextTest, NamesAnOwnerOnlyWithAHostAndAProcess) {
  const TextRow& row = GetParam();
  const std::optional<LockOwner> owner = parseLockText(row.text);
  ASSERT_EQ(owner.has_value(), row.namesOwner) << row.text;
  if (owner) {
    EXPECT_EQ(owner->pid, row.pid);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LockTextTest,
    testing::Values(
        TextRow{"complete", "host: kestrel\npid: 42\nuser: alice\n", true, 42},
        TextRow{"carriage_returns_and_unknown_lines",
                "host: kestrel\r\ncolour: blue\r\npid: 42\r\n", true, 42},
        TextRow{"no_line_feed_at_the_end", "host: kestrel\npid: 42", true, 42},
        TextRow{"empty", "", false, 0},
        TextRow{"no_host", "pid: 42\nuser: alice\n", false, 0},
        TextRow{"no_pid", "host: kestrel\nuser: alice\n", false, 0},
        TextRow{"pid_zero", "host: kestrel\npid: 0\n", false, 0},
        TextRow{"pid_negative", "host: kestrel\npid: -5\n", false, 0},
        TextRow{"pid_with_letters", "host: kestrel\npid: 42abc\n", false, 0},
        TextRow{"pid_too_large", "host: kestrel\npid: 99999999999999999999\n",
                false, 0},
        TextRow{"binary_garbage", std::string("\x89PNG\r\n\x1a\n\0\0", 10),
                false, 0},
        TextRow{"cut_short", "host: kes", false, 0}),
    [](const testing::TestParamInfo<TextRow>& info) {
      return info.param.name;
    });

TEST(LockTextTest, WhatIsWrittenReadsBackAsItWas) {
  LockOwner owner = ownerOn("kestrel", 4321);
  owner.bootId = "0f4a-boot";
  owner.processStart = 987654;
  const std::optional<LockOwner> read = parseLockText(lockText(owner));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->host, owner.host);
  EXPECT_EQ(read->pid, owner.pid);
  EXPECT_EQ(read->user, owner.user);
  EXPECT_EQ(read->started, owner.started);
  EXPECT_EQ(read->bootId, owner.bootId);
  EXPECT_EQ(read->processStart, owner.processStart);
  // A value cannot break into a line of its own.
  owner.user = "mallory\npid: 1";
  EXPECT_EQ(parseLockText(lockText(owner))->pid, 4321);
  EXPECT_EQ(describeOwner(ownerOn("kestrel", 42)),
            "user alice, process 42 on host kestrel, since 2024-05-01 "
            "12:00:00 +0200");
}

// --- Whether a lock is stale, against the facts of a host ---

struct StaleRow {
  const char* name;
  std::string host;
  std::string bootId;
  unsigned long long processStart;
  // What the host says of the lock's process: none runs, or it runs and
  // started at this tick (0: unknown).
  std::optional<unsigned long long> running;
  bool stale;
};

class StaleLockTest : public testing::TestWithParam<StaleRow> {};

TEST_P(StaleLockTest, OnlyAProcessOfThisHostThatIsGoneMakesItStale) {
  const StaleRow& row = GetParam();
  LockOwner owner = ownerOn(row.host, 4321);
  owner.bootId = row.bootId;
  owner.processStart = row.processStart;
  int asked = 0;
  const HostFacts here{"kestrel", "boot-1",
                       [&](long pid) -> std::optional<unsigned long long> {
                         ++asked;
                         EXPECT_EQ(pid, 4321);
                         return row.running;
                       }};
  EXPECT_EQ(isStale(owner, here), row.stale);
  // Another host's processes are never looked for here.
  if (row.host != "kestrel") EXPECT_EQ(asked, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Owners, StaleLockTest,
    testing::Values(
        StaleRow{"same_host_process_gone", "kestrel", "boot-1", 500,
                 std::nullopt, true},
        StaleRow{"same_host_process_runs", "kestrel", "boot-1", 500, 500,
                 false},
        StaleRow{"same_host_runs_start_not_in_lock", "kestrel", "", 0, 500,
                 false},
        StaleRow{"same_host_runs_start_unreadable", "kestrel", "boot-1", 500, 0,
                 false},
        StaleRow{"same_host_id_reused_by_a_later_process", "kestrel", "boot-1",
                 500, 900, true},
        StaleRow{"same_host_booted_since", "kestrel", "boot-0", 500, 500, true},
        StaleRow{"other_host", "osprey", "boot-9", 500, std::nullopt, false},
        StaleRow{"other_host_same_boot_id", "osprey", "boot-1", 500,
                 std::nullopt, false}),
    [](const testing::TestParamInfo<StaleRow>& info) {
      return info.param.name;
    });

// --- Lock files as found on disk, judged with this host's real facts ---

enum class Content { Self, EndedProcess, OtherHost, Garbled, Empty };
enum class Kind { File, SymbolicLink, Folder };

struct FoundRow {
  const char* name;
  Kind kind;
  Content content;
  FoundLock::State state;
  std::string problem;
};

class InspectLockTest : public testing::TestWithParam<FoundRow> {
 protected:
  TempFolder temp{"scribeline-lock"};
};

TEST_P(InspectLockTest, JudgesWhatTheFileSays) {
  const FoundRow& row = GetParam();
  const std::string path = temp.path() + "/photo.png_Mask.lock";
  const LockOwner self = thisProcess();
  std::string text;
  switch (row.content) {
    case Content::Self:
      text = lockText(self);
      break;
    case Content::EndedProcess:
      text = lockText(ownerOn(self.host, endedProcess()));
      break;
    case Content::OtherHost:
      text = lockText(ownerOn(self.host + "-elsewhere", endedProcess()));
      break;
    case Content::Garbled:
      text = "this is no lock\n";
      break;
    case Content::Empty:
      break;
  }
  switch (row.kind) {
    case Kind::File:
      std::ofstream(path) << text;
      break;
    case Kind::SymbolicLink:
      std::ofstream(temp.path() + "/target") << text;
      ASSERT_EQ(::symlink("target", path.c_str()), 0);
      break;
    case Kind::Folder:
      ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
      break;
  }
  const FoundLock found = inspectLock(path, HostFacts::ofThisHost());
  EXPECT_EQ(found.state, row.state);
  EXPECT_EQ(found.problem, row.problem);
  EXPECT_EQ(found.owner.has_value(), row.problem.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, InspectLockTest,
    testing::Values(
        FoundRow{"same_host_live_process", Kind::File, Content::Self,
                 FoundLock::State::Held, ""},
        FoundRow{"same_host_dead_process", Kind::File, Content::EndedProcess,
                 FoundLock::State::Stale, ""},
        FoundRow{"other_host", Kind::File, Content::OtherHost,
                 FoundLock::State::Held, ""},
        FoundRow{"garbled", Kind::File, Content::Garbled,
                 FoundLock::State::Unknown, "names no process"},
        FoundRow{"empty", Kind::File, Content::Empty, FoundLock::State::Unknown,
                 "is empty"},
        FoundRow{"symbolic_link_to_a_stale_lock", Kind::SymbolicLink,
                 Content::EndedProcess, FoundLock::State::Unknown,
                 "is a symbolic link, not a lock file"},
        FoundRow{"folder", Kind::Folder, Content::Empty,
                 FoundLock::State::Unknown, "is not a regular file"}),
    [](const testing::TestParamInfo<FoundRow>& info) {
      return info.param.name;
    });

TEST(InspectLockTest, AMissingFileCannotBeRead) {
  const FoundLock found =
      inspectLock("/nonexistent-folder/x_Mask.lock", HostFacts::ofThisHost());
  EXPECT_EQ(found.state, FoundLock::State::Unknown);
  EXPECT_EQ(found.problem, "cannot be read: No such file or directory");
}

// --- Taking and leaving the lock of a photo ---

class PhotoLockTest : public testing::Test {
 protected:
  PhotoLockTest() { std::ofstream(photo) << "a photo"; }

  // A lock file naming another running process of this host: the test
  // program's parent.
  void lockedByParent(const std::string& path) {
    std::ofstream(path) << lockText(ownerOn(thisProcess().host, ::getppid()));
  }

  TempFolder temp{"scribeline-photo-lock"};
  std::string photo = temp.path() + "/photo.png";
  std::string lockPath = photo + "_Mask.lock";
  std::string fallback = temp.path() + "/state/scribeline";
};

TEST_F(PhotoLockTest, TakesTheLockBesideThePhotoAndRemovesItWhenLeft) {
  const mode_t umask = ::umask(0);
  ::umask(umask);
  {
    LockAttempt attempt = lockPhoto(photo, fallback);
    ASSERT_EQ(attempt.outcome, LockAttempt::Outcome::Taken);
    EXPECT_EQ(attempt.path, lockPath);
    ASSERT_NE(attempt.lock, nullptr);
    const std::optional<LockOwner> owner = parseLockText(contentOf(lockPath));
    ASSERT_TRUE(owner.has_value());
    EXPECT_EQ(owner->pid, static_cast<long>(::getpid()));
    EXPECT_EQ(owner->host, thisProcess().host);
    EXPECT_FALSE(owner->user.empty());
    EXPECT_FALSE(owner->started.empty());
    struct stat info;
    ASSERT_EQ(::stat(lockPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u & ~umask);
  }
  EXPECT_FALSE(exists(lockPath));
  EXPECT_FALSE(exists(fallback));
}

TEST_F(PhotoLockTest, EveryPathOfThePhotoMeetsTheOneLock) {
  const std::string link = temp.path() + "/link.png";
  ASSERT_EQ(::symlink("photo.png", link.c_str()), 0);
  ASSERT_EQ(::mkdir((temp.path() + "/sub").c_str(), 0755), 0);
  const std::string roundabout = temp.path() + "/sub/../photo.png";
  EXPECT_EQ(lockPathBeside(link), lockPath);
  EXPECT_EQ(lockPathBeside(roundabout), lockPath);
  EXPECT_EQ(lockPathInFolder(link, fallback),
            lockPathInFolder(photo, fallback));

  lockedByParent(lockPath);
  const std::string before = contentOf(lockPath);
  for (const std::string& path : {photo, link, roundabout}) {
    const LockAttempt attempt = lockPhoto(path, fallback);
    EXPECT_EQ(attempt.outcome, LockAttempt::Outcome::Held) << path;
    EXPECT_EQ(attempt.path, lockPath);
    EXPECT_EQ(attempt.found.state, FoundLock::State::Held);
    ASSERT_TRUE(attempt.found.owner.has_value());
    EXPECT_EQ(attempt.found.owner->pid, static_cast<long>(::getppid()));
    EXPECT_EQ(attempt.lock, nullptr);
  }
  EXPECT_EQ(contentOf(lockPath), before);
}

TEST_F(PhotoLockTest, AStaleLockIsTakenOver) {
  const long ended = endedProcess();
  std::ofstream(lockPath) << lockText(ownerOn(thisProcess().host, ended));
  {
    LockAttempt attempt = lockPhoto(photo, fallback);
    ASSERT_EQ(attempt.outcome, LockAttempt::Outcome::TakenOver);
    ASSERT_TRUE(attempt.found.owner.has_value());
    EXPECT_EQ(attempt.found.owner->pid, ended);
    EXPECT_EQ(parseLockText(contentOf(lockPath))->pid,
              static_cast<long>(::getpid()));
  }
  // Nothing is left of the takeover beside the photo.
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"photo.png"});
}

TEST_F(PhotoLockTest, ALockTakenWhileTheStaleOneIsJudgedIsLeftInPlace) {
  std::ofstream(lockPath) << lockText(ownerOn("kestrel", 4321));
  const std::string fresh = lockText(ownerOn("osprey", 77));
  int asked = 0;
  // Another process takes the lock over between the judging and the
  // taking over.
  const HostFacts here{"kestrel", "",
                       [&](long) -> std::optional<unsigned long long> {
                         if (++asked == 1) {
                           ::unlink(lockPath.c_str());
                           std::ofstream(lockPath) << fresh;
                         }
                         return std::nullopt;
                       }};
  const LockAttempt attempt = lockPhoto(photo, fallback, here);
  EXPECT_EQ(attempt.outcome, LockAttempt::Outcome::Held);
  ASSERT_TRUE(attempt.found.owner.has_value());
  EXPECT_EQ(attempt.found.owner->host, "osprey");
  EXPECT_EQ(contentOf(lockPath), fresh);
}

TEST_F(PhotoLockTest, ALinkAtTheLockPathIsNeverFollowed) {
  const std::string victim = temp.path() + "/victim";
  ASSERT_EQ(::symlink(victim.c_str(), lockPath.c_str()), 0);
  const LockAttempt attempt = lockPhoto(photo, fallback);
  EXPECT_EQ(attempt.outcome, LockAttempt::Outcome::Held);
  EXPECT_EQ(attempt.found.problem, "is a symbolic link, not a lock file");
  EXPECT_FALSE(exists(victim));
}

TEST_F(PhotoLockTest, HoldersInOneProcessShareTheFile) {
  const std::string link = temp.path() + "/link.png";
  ASSERT_EQ(::symlink("photo.png", link.c_str()), 0);
  LockAttempt first = lockPhoto(photo, fallback);
  LockAttempt second = lockPhoto(link, fallback);
  ASSERT_EQ(first.outcome, LockAttempt::Outcome::Taken);
  ASSERT_EQ(second.outcome, LockAttempt::Outcome::Taken);
  EXPECT_EQ(second.path, lockPath);
  first.lock.reset();
  EXPECT_TRUE(exists(lockPath));
  second.lock.reset();
  EXPECT_FALSE(exists(lockPath));
}

TEST_F(PhotoLockTest, ANameTheFolderCannotTakeGoesToTheFallbackFolder) {
  // The photo's name is as long as a name can be; its lock's is longer.
  const std::string longPhoto =
      temp.path() + "/" + std::string(251, 'p') + ".png";
  std::ofstream(longPhoto) << "a photo";
  {
    LockAttempt attempt = lockPhoto(longPhoto, fallback);
    ASSERT_EQ(attempt.outcome, LockAttempt::Outcome::Taken) << attempt.problem;
    EXPECT_EQ(attempt.path, lockPathInFolder(longPhoto, fallback));
    EXPECT_EQ(attempt.path.rfind(fallback + "/", 0), 0u);
    EXPECT_TRUE(exists(attempt.path));
    // A second look meets it there.
    EXPECT_EQ(lockPhoto(longPhoto, fallback).path, attempt.path);
  }
  EXPECT_FALSE(exists(lockPathInFolder(longPhoto, fallback)));

  const LockAttempt nowhere = lockPhoto(longPhoto, "");
  EXPECT_EQ(nowhere.outcome, LockAttempt::Outcome::NoLock);
  EXPECT_EQ(nowhere.problem,
            "cannot make " + longPhoto + "_Mask.lock: File name too long");
  EXPECT_EQ(nowhere.lock, nullptr);
}

TEST_F(PhotoLockTest, AnAbruptEndRemovesOnlyTheFilesTheProcessMade) {
  LockAttempt attempt = lockPhoto(photo, fallback);
  ASSERT_EQ(attempt.outcome, LockAttempt::Outcome::Taken);
  releaseHeldPhotoLocks();
  EXPECT_FALSE(exists(lockPath));
  // Another process locks the photo; the object left behind removes nothing.
  lockedByParent(lockPath);
  attempt.lock.reset();
  EXPECT_TRUE(exists(lockPath));
}

}  // namespace
}  // namespace scribeline
