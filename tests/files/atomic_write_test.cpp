#include "files/atomic_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <opencv2/core.hpp>

#include "files/mask_file.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Sets a file's (or, for a link, the link's own) times an hour back.
void makeOld(const std::string& path) {
  timeval now;
  gettimeofday(&now, nullptr);
  const timeval old[2] = {{now.tv_sec - 3600, 0}, {now.tv_sec - 3600, 0}};
  lutimes(path.c_str(), old);
}

TEST(TemporaryNameTest, OnlyThePrefixAndSixLettersOrDigits) {
  const struct {
    const char* name;
    bool temporary;
  } rows[] = {
      {".scribeline-tmp-a8Zq0X", true},  {".scribeline-tmp-000000", true},
      {".scribeline-tmp-a8Zq0", false},  {".scribeline-tmp-a8Zq0XY", false},
      {".scribeline-tmp-a8Zq0-", false}, {".scribeline-tmp-a8 q0X", false},
      {"scribeline-tmp-a8Zq0X", false},  {".scribeline-config", false},
      {".scribeline-a8Zq0X", false},     {"photo.png", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(isTemporaryName(row.name), row.temporary) << row.name;

  const TempFolder temp("scribeline-temporary");
  const Result<TemporaryFile> made = createTemporary(temp.path());
  ASSERT_TRUE(made.ok()) << made.reason();
  close(made.value().fd);
  const std::string name = made.value().path.substr(temp.path().size() + 1);
  EXPECT_TRUE(isTemporaryName(name)) << name;
  const Result<std::string> free = freeTemporaryName(temp.path());
  ASSERT_TRUE(free.ok());
  EXPECT_TRUE(isTemporaryName(free.value().substr(temp.path().size() + 1)));
  EXPECT_EQ(folderEntries(temp.path()), std::vector<std::string>{name});
}

// What a start finds in a folder after writes were cut short, beside
// everything else: only the old, unlocked, regular temporaries go.
TEST(StaleTemporariesTest, RemovesOnlyOldUnlockedTemporaries) {
  const TempFolder temp("scribeline-stale");
  const std::string folder = temp.path();
  const auto path = [&](const std::string& name) {
    return folder + "/" + name;
  };
  writeBytes(path(".scribeline-tmp-stale1"), "a killed write");
  writeBytes(path(".scribeline-tmp-stale2"), "");
  writeBytes(path(".scribeline-tmp-fresh1"), "a write under way");
  writeBytes(path(".scribeline-tmp-locked"), "a slow writer, still alive");
  writeBytes(path(".scribeline-config"), "the user's");
  writeBytes(path(".scribeline-tmp-long123"), "not our pattern");
  writeBytes(path("photo.png"), "a photo");
  writeBytes(path("target"), "a link's target");
  ASSERT_EQ(symlink("target", path(".scribeline-tmp-link01").c_str()), 0);
  ASSERT_EQ(mkdir(path(".scribeline-tmp-dir001").c_str(), 0755), 0);
  for (const char* name :
       {".scribeline-tmp-stale1", ".scribeline-tmp-stale2",
        ".scribeline-tmp-locked", ".scribeline-config",
        ".scribeline-tmp-long123", "photo.png", "target",
        ".scribeline-tmp-link01", ".scribeline-tmp-dir001"}) {
    makeOld(path(name));
  }
  const int held = open(path(".scribeline-tmp-locked").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);

  const auto start = std::chrono::system_clock::now() - std::chrono::minutes(1);
  std::vector<std::string> removed = removeStaleTemporaries(folder, start);
  close(held);

  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed,
            (std::vector<std::string>{path(".scribeline-tmp-stale1"),
                                      path(".scribeline-tmp-stale2")}));
  EXPECT_EQ(folderEntries(folder),
            (std::vector<std::string>{
                ".scribeline-config", ".scribeline-tmp-dir001",
                ".scribeline-tmp-fresh1", ".scribeline-tmp-link01",
                ".scribeline-tmp-locked", ".scribeline-tmp-long123",
                "photo.png", "target"}));
  EXPECT_EQ(fileBytes(path("target")), "a link's target");
  EXPECT_TRUE(removeStaleTemporaries(folder + "/missing", start).empty());
}

// How a write of a file only the program writes meets what is at its path:
// nothing and a regular file are replaced; anything else is left exactly as
// it is, the target of a link too, and nothing is left behind.
struct OwnFileRow {
  std::string name;
  void (*make)(const std::string& path, const std::string& elsewhere);
  std::string refusedAs;  // empty: written
};

std::ostream& operator<<(std::ostream& out, const OwnFileRow& row) {
  return out << row.name;
}

class OwnFileTest : public testing::TestWithParam<OwnFileRow> {};

TEST_P(OwnFileTest, ReplacesOnlyARegularFileOrNothing) {
  const OwnFileRow& row = GetParam();
  const TempFolder temp("scribeline-own-file");
  const std::string path = temp.path() + "/p.png_Mask.autosave.png";
  const std::string elsewhere = temp.path() + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0755), 0);
  writeBytes(elsewhere + "/precious", "not the program's");
  row.make(path, elsewhere);
  struct stat before {};
  lstat(path.c_str(), &before);
  const auto entries = folderEntries(temp.path());

  const std::string contents = "new contents";
  const Status written = replaceOwnFile(path, contents.data(), contents.size());

  EXPECT_EQ(fileBytes(elsewhere + "/precious"), "not the program's");
  EXPECT_EQ(folderEntries(elsewhere), std::vector<std::string>{"precious"});
  if (row.refusedAs.empty()) {
    ASSERT_TRUE(written.ok()) << written.reason();
    EXPECT_EQ(fileBytes(path), contents);
    struct stat after {};
    ASSERT_EQ(lstat(path.c_str(), &after), 0);
    EXPECT_TRUE(S_ISREG(after.st_mode));
    if (S_ISREG(before.st_mode))
      EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(
        folderEntries(temp.path()),
        (std::vector<std::string>{"elsewhere", "p.png_Mask.autosave.png"}));
    return;
  }
  EXPECT_EQ(written.reason(),
            path + " is " + row.refusedAs + ", not a file of this program");
  EXPECT_EQ(folderEntries(temp.path()), entries);
  struct stat after {};
  ASSERT_EQ(lstat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OwnFileTest,
    testing::Values(
        OwnFileRow{"nothing", [](const std::string&, const std::string&) {},
                   ""},
        OwnFileRow{"regular_file",
                   [](const std::string& path, const std::string&) {
                     writeBytes(path, "an earlier autosave");
                     chmod(path.c_str(), 0640);
                   },
                   ""},
        OwnFileRow{"link_to_a_file",
                   [](const std::string& path, const std::string& elsewhere) {
                     symlink((elsewhere + "/precious").c_str(), path.c_str());
                   },
                   "a symbolic link"},
        OwnFileRow{"dangling_link",
                   [](const std::string& path, const std::string& elsewhere) {
                     symlink((elsewhere + "/new").c_str(), path.c_str());
                   },
                   "a symbolic link"},
        OwnFileRow{"folder",
                   [](const std::string& path, const std::string&) {
                     mkdir(path.c_str(), 0755);
                   },
                   "a folder"},
        OwnFileRow{"fifo",
                   [](const std::string& path, const std::string&) {
                     mkfifo(path.c_str(), 0644);
                   },
                   "a FIFO"}),
    [](const testing::TestParamInfo<OwnFileRow>& info) {
      return info.param.name;
    });

cv::Mat noisyMask(int seed) {
  cv::Mat mask(120, 160, CV_8UC3);
  cv::RNG(seed).fill(mask, cv::RNG::UNIFORM, 0, 256);
  return mask;
}

// A full disk: a save, with its backup, and an own-file write each fail with
// their reason, leave the files they would replace whole and nothing else
// behind; once there is space again the same writes succeed.
TEST(FullDiskTest, FailedWritesLeaveTheOldFilesAndNoTemporary) {
  const TempFolder temp("scribeline-full-disk");
  const std::string mask = temp.path() + "/p.png_Mask.png";
  const std::string autosave = temp.path() + "/p.png_Mask.autosave.png";
  ASSERT_TRUE(writeMaskFile(noisyMask(1), mask).ok());
  const std::string oldMask = fileBytes(mask);
  writeBytes(autosave, "an earlier autosave");
  const std::string big(64 << 10, 'x');
  {
    FileSizeLimit full(4096);
    const Status saved = writeMaskFile(noisyMask(2), mask, true);
    const Status autosaved = replaceOwnFile(autosave, big.data(), big.size());
    full.lift();
    EXPECT_EQ(saved.reason(), std::strerror(EFBIG));
    EXPECT_EQ(autosaved.reason(), std::strerror(EFBIG));
  }
  EXPECT_EQ(fileBytes(mask), oldMask);
  EXPECT_EQ(fileBytes(autosave), "an earlier autosave");
  // The backup a first save keeps is a second name of the old mask.
  EXPECT_EQ(folderEntries(temp.path()),
            (std::vector<std::string>{"p.png_Mask.autosave.png",
                                      "p.png_Mask.png", "p.png_Mask.png~"}));
  EXPECT_EQ(fileBytes(mask + "~"), oldMask);

  ASSERT_TRUE(writeMaskFile(noisyMask(2), mask, true).ok());
  ASSERT_TRUE(replaceOwnFile(autosave, big.data(), big.size()).ok());
  EXPECT_EQ(cv::norm(readMaskFile(mask), noisyMask(2), cv::NORM_INF), 0);
  EXPECT_EQ(fileBytes(autosave), big);
  EXPECT_EQ(fileBytes(mask + "~"), oldMask);
  // The backup already was a name of the mask replaced: nothing is left of
  // giving it that name again.
  EXPECT_EQ(folderEntries(temp.path()),
            (std::vector<std::string>{"p.png_Mask.autosave.png",
                                      "p.png_Mask.png", "p.png_Mask.png~"}));
}

// A second name replaces what held it, in one rename, and leaves no
// temporary, whether the name was free, another file's, or already the
// file's own.
TEST(LinkAtomicallyTest, GivesASecondNameAndLeavesNothingElse) {
  const TempFolder temp("scribeline-link");
  const std::string file = temp.path() + "/file";
  const std::string name = temp.path() + "/name";
  writeBytes(file, "contents");
  const std::vector<std::pair<std::string, std::function<void()>>> befores = {
      {"free", [] {}},
      {"another file",
       [&] {
         unlink(name.c_str());
         writeBytes(name, "other");
       }},
      {"the same file", [] {}},  // after the cases above
  };
  for (const auto& [before, make] : befores) {
    make();
    ASSERT_TRUE(linkAtomically(file, name).ok()) << before;
    EXPECT_EQ(fileBytes(name), "contents") << before;
    EXPECT_EQ(fileBytes(file), "contents") << before;
    EXPECT_EQ(folderEntries(temp.path()),
              (std::vector<std::string>{"file", "name"}))
        << before;
  }
  EXPECT_EQ(linkAtomically(temp.path() + "/missing", name).reason(),
            std::strerror(ENOENT));
  EXPECT_EQ(fileBytes(name), "contents");
}

}  // namespace
}  // namespace scribeline
