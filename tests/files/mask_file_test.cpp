#include "files/mask_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <opencv2/imgcodecs.hpp>

#include "files/photo_list.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

cv::Mat colourfulMask() {
  cv::Mat mask(7, 5, CV_8UC3);
  cv::RNG(11).fill(mask, cv::RNG::UNIFORM, 0, 256);  // off-palette colours too
  return mask;
}

// A fresh folder for each case.
class MaskFileTest : public testing::Test {
 protected:
  TempFolder temp{"scribeline-mask-file"};
  std::string folder = temp.path();
};

TEST_F(MaskFileTest, RoundTripKeepsEveryColourAndLeavesNoTemporaryFile) {
  const std::string path = folder + "/a%s.jpg_Mask.png";
  const cv::Mat mask = colourfulMask();
  const Status written = writeMaskFile(mask, path);
  ASSERT_TRUE(written.ok()) << written.reason();
  const cv::Mat loaded = readMaskFile(path);
  ASSERT_EQ(loaded.size(), mask.size());
  EXPECT_EQ(cv::norm(loaded, mask, cv::NORM_INF), 0);
  EXPECT_EQ(folderEntries(folder),
            std::vector<std::string>{"a%s.jpg_Mask.png"});
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  const mode_t umaskNow = umask(0);
  umask(umaskNow);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~umaskNow);
}

// The mask file is the image library's PNG of the mask, byte for byte (the
// autosave's faster encoding is for autosaves only).
TEST_F(MaskFileTest, IsTheImageLibrarysPngByteForByte) {
  const std::string path = folder + "/m.png";
  ASSERT_TRUE(writeMaskFile(colourfulMask(), path).ok());
  std::vector<unsigned char> expected;
  ASSERT_TRUE(cv::imencode(".png", colourfulMask(), expected));
  EXPECT_EQ(fileBytes(path), std::string(expected.begin(), expected.end()));
}

TEST_F(MaskFileTest, OverwritesAnOlderFile) {
  const std::string path = folder + "/m.png";
  std::ofstream(path) << "old contents";
  const Status written = writeMaskFile(colourfulMask(), path);
  ASSERT_TRUE(written.ok()) << written.reason();
  EXPECT_EQ(cv::norm(readMaskFile(path), colourfulMask(), cv::NORM_INF), 0);
}

struct FailureRow {
  std::string description;
  std::string relativePath;
  bool emptyMask;
  std::string error;
};

class MaskFileFailureTest : public MaskFileTest,
                            public testing::WithParamInterface<FailureRow> {};

TEST_P(MaskFileFailureTest, ReportsAndLeavesTheOldFileWhole) {
  const FailureRow& row = GetParam();
  // The target exists: a file with old contents, or a non-empty folder.
  const std::string path = folder + "/" + row.relativePath;
  if (row.relativePath == "occupied") {
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    std::ofstream(path + "/inside") << "x";
  } else if (row.relativePath == "old.png") {
    std::ofstream(path) << "old contents";
  }
  const auto before = folderEntries(folder);
  const Status written =
      writeMaskFile(row.emptyMask ? cv::Mat() : colourfulMask(), path);
  EXPECT_FALSE(written.ok());
  EXPECT_EQ(written.reason(), row.error);
  EXPECT_EQ(folderEntries(folder), before);
  if (row.relativePath == "old.png") {
    EXPECT_EQ(fileBytes(path), "old contents");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, MaskFileFailureTest,
    testing::Values(FailureRow{"missing folder", "missing/m.png", false,
                               "No such file or directory"},
                    FailureRow{"a folder in the way", "occupied", false,
                               "Is a directory"},
                    FailureRow{"nothing to encode", "old.png", true,
                               "the mask cannot be encoded as PNG"}),
    [](const testing::TestParamInfo<FailureRow>& info) {
      std::string name;
      for (char c : info.param.description) name += std::isalnum(c) ? c : '_';
      return name;
    });

// How a save meets what is at the mask path: nothing, a file (whose
// permission bits and contents must survive, the contents as the backup), a
// symbolic link (absolute, relative, dangling) to a file in another folder.
struct ReplaceRow {
  std::string description;
  std::string linkTarget;  // empty: no link; relative to the test folder
  bool relativeLink;
  bool targetExists;
  mode_t targetMode;  // of an existing target
  bool backup;
};

class MaskFileReplaceTest : public MaskFileTest,
                            public testing::WithParamInterface<ReplaceRow> {};

TEST_P(MaskFileReplaceTest, WritesThroughLinksKeepingModeAndBackup) {
  const ReplaceRow& row = GetParam();
  ASSERT_EQ(mkdir((folder + "/photos").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((folder + "/masks").c_str(), 0755), 0);
  const std::string path = folder + "/photos/p.jpg_Mask.png";
  const std::string target =
      row.linkTarget.empty() ? path : folder + "/" + row.linkTarget;
  if (!row.linkTarget.empty()) {
    const std::string linkText =
        row.relativeLink ? "../" + row.linkTarget : target;
    ASSERT_EQ(symlink(linkText.c_str(), path.c_str()), 0);
  }
  if (row.targetExists) {
    std::ofstream(target) << "old contents";
    ASSERT_EQ(chmod(target.c_str(), row.targetMode), 0);
  }
  const Status written = writeMaskFile(colourfulMask(), path, row.backup);
  ASSERT_TRUE(written.ok()) << written.reason();

  struct stat info;
  ASSERT_EQ(lstat(path.c_str(), &info), 0);
  EXPECT_EQ(S_ISLNK(info.st_mode), !row.linkTarget.empty());
  EXPECT_EQ(cv::norm(readMaskFile(target), colourfulMask(), cv::NORM_INF), 0);
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  const mode_t umaskNow = umask(0);
  umask(umaskNow);
  EXPECT_EQ(info.st_mode & 07777,
            row.targetExists ? row.targetMode : 0666 & ~umaskNow);
  const bool backedUp = row.targetExists && row.backup;
  EXPECT_EQ(fileBytes(target + "~"), backedUp ? "old contents" : "");
  if (backedUp) {
    ASSERT_EQ(stat((target + "~").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, row.targetMode);
  }
  // Nothing else is left in either folder.
  std::vector<std::string> photos = {"p.jpg_Mask.png"};
  std::vector<std::string> masks;
  auto& targetFolder = row.linkTarget.empty() ? photos : masks;
  if (!row.linkTarget.empty()) masks.push_back("m.png");
  if (backedUp) targetFolder.push_back(targetFolder.front() + "~");
  EXPECT_EQ(folderEntries(folder + "/photos"), photos);
  EXPECT_EQ(folderEntries(folder + "/masks"), masks);
}

INSTANTIATE_TEST_SUITE_P(
    Replacing, MaskFileReplaceTest,
    testing::Values(
        ReplaceRow{"new file", "", false, false, 0, true},
        ReplaceRow{"file replaced with backup", "", false, true, 0640, true},
        ReplaceRow{"file replaced without backup", "", false, true, 0604,
                   false},
        ReplaceRow{"absolute link", "masks/m.png", false, true, 0600, true},
        ReplaceRow{"relative link", "masks/m.png", true, true, 0664, true},
        ReplaceRow{"dangling link", "masks/m.png", false, false, 0, true}),
    [](const testing::TestParamInfo<ReplaceRow>& info) {
      std::string name;
      for (char c : info.param.description) name += std::isalnum(c) ? c : '_';
      return name;
    });

// A file only the program writes is read as it is, never through a link,
// and every refusal says why.
struct OwnReadRow {
  std::string name;
  void (*make)(const std::string& path);
  std::string refusal;  // empty: read
};

std::ostream& operator<<(std::ostream& out, const OwnReadRow& row) {
  return out << row.name;
}

class OwnMaskReadTest : public MaskFileTest,
                        public testing::WithParamInterface<OwnReadRow> {};

TEST_P(OwnMaskReadTest, ReadsOnlyARegularFileOfItsOwn) {
  const std::string path = folder + "/p.png_Mask.autosave.png";
  ASSERT_TRUE(writeMaskFile(colourfulMask(), folder + "/good.png").ok());
  GetParam().make(path);
  const Result<cv::Mat> read = readOwnMaskFile(path, ImageLimits{});
  EXPECT_EQ(read.reason(), GetParam().refusal);
  if (read.ok())
    EXPECT_EQ(cv::norm(read.value(), colourfulMask(), cv::NORM_INF), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OwnMaskReadTest,
    testing::Values(
        OwnReadRow{"regular_file",
                   [](const std::string& path) {
                     rename((folderOf(path) + "/good.png").c_str(),
                            path.c_str());
                   },
                   ""},
        OwnReadRow{
            "link_to_a_good_mask",
            [](const std::string& path) { symlink("good.png", path.c_str()); },
            "a symbolic link, not a regular file"},
        OwnReadRow{"folder",
                   [](const std::string& path) { mkdir(path.c_str(), 0755); },
                   "a folder, not a regular file"},
        OwnReadRow{"fifo",
                   [](const std::string& path) { mkfifo(path.c_str(), 0644); },
                   "a FIFO, not a regular file"},
        OwnReadRow{"missing", [](const std::string&) {},
                   "No such file or directory"},
        OwnReadRow{"empty",
                   [](const std::string& path) { std::ofstream{path}; },
                   "the file is empty"},
        OwnReadRow{"cut_short",
                   [](const std::string& path) {
                     const std::string good =
                         fileBytes(folderOf(path) + "/good.png");
                     std::ofstream(path, std::ios::binary)
                         << good.substr(0, good.size() / 2);
                   },
                   "not an image the reader can decode"},
        OwnReadRow{"pam_blank_width",
                   [](const std::string& path) {
                     std::ofstream(path, std::ios::binary)
                         << "P7\nWIDTH  \nHEIGHT 2\nDEPTH 3\nMAXVAL "
                            "255\nENDHDR\n"
                         << std::string(24, '\0');
                   },
                   "a malformed PAM header: its WIDTH is blank"}),
    [](const testing::TestParamInfo<OwnReadRow>& info) {
      return info.param.name;
    });

}  // namespace
}  // namespace scribeline
