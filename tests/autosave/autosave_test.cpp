#include "autosave/autosave.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <opencv2/core.hpp>
#include <thread>

#include "files/mask_file.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() &&
         cv::countNonZero(a.reshape(1) != b.reshape(1)) == 0;
}

// Waits (without a time limit that could be mistaken for a speed target: a
// minute, for a loaded machine) until the file holds the expected mask.
bool eventuallyHolds(const std::string& path, const cv::Mat& expected) {
  for (int tries = 0; tries < 600; ++tries) {
    if (sameBytes(readMaskFile(path), expected)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

cv::Mat maskOf(int value) {
  return cv::Mat(12, 9, CV_8UC3, cv::Scalar(value, 255 - value, value / 2));
}

// A fresh folder for each case.
class AutosaverTest : public testing::Test {
 protected:
  TempFolder temp{"scribeline-autosave"};
  std::string folder = temp.path();
};

TEST_F(AutosaverTest, WritesTheNewestChangeOnItsOwnAndOnFlush) {
  const std::string path = folder + "/p.jpg_Mask.autosave.png";
  Autosaver autosaver(path, std::chrono::milliseconds(20));
  EXPECT_TRUE(autosaver.flush().ok());  // nothing noted: nothing to write
  EXPECT_FALSE(exists(path));
  EXPECT_FALSE(autosaver.holdsWork());

  autosaver.noteChange(maskOf(1));
  autosaver.noteChange(maskOf(2));
  EXPECT_TRUE(eventuallyHolds(path, maskOf(2)));
  EXPECT_TRUE(autosaver.holdsWork());

  // A change taken over by the caller's copy, not by reference.
  cv::Mat live = maskOf(3);
  autosaver.noteChange(live);
  live.setTo(cv::Scalar::all(0));
  const Status flushed = autosaver.flush();
  ASSERT_TRUE(flushed.ok()) << flushed.reason();
  EXPECT_TRUE(sameBytes(readMaskFile(path), maskOf(3)));

  autosaver.discard();
  EXPECT_FALSE(exists(path));
  autosaver.noteChange(maskOf(4));
  EXPECT_EQ(autosaver.flush().reason(), "the autosave was discarded");
  EXPECT_FALSE(exists(path));
}

TEST_F(AutosaverTest, PathsBesideThePhotoOrInTheStateFolder) {
  const char* savedState = getenv("XDG_STATE_HOME");
  const std::string stateHome = folder + "/state";
  setenv("XDG_STATE_HOME", stateHome.c_str(), 1);

  const std::string photo = folder + "/a b.jpg";
  EXPECT_EQ(chooseAutosavePath(photo), folder + "/a b.jpg_Mask.autosave.png");

  // A folder where no file can be made: the state folder, made on demand,
  // with one name per full photo path.
  const std::string unwritable = folder + "/gone/a b.jpg";
  const std::string chosen = chooseAutosavePath(unwritable);
  EXPECT_EQ(chosen.rfind(stateHome + "/scribeline/a b.jpg-", 0), 0u) << chosen;
  EXPECT_NE(chosen, chooseAutosavePath(folder + "/other/a b.jpg"));
  EXPECT_EQ(chosen, autosaveCandidates(unwritable).at(1));
  EXPECT_EQ(autosaveCandidates(unwritable).at(0),
            unwritable + "_Mask.autosave.png");
  struct stat info;
  ASSERT_EQ(stat((stateHome + "/scribeline").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));

  // XDG_STATE_HOME unset or relative: ~/.local/state/scribeline.
  setenv("XDG_STATE_HOME", "relative", 1);
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    EXPECT_EQ(autosaveStateFolder(),
              std::string(home) + "/.local/state/scribeline");
  }
  if (savedState != nullptr) {
    setenv("XDG_STATE_HOME", savedState, 1);
  } else {
    unsetenv("XDG_STATE_HOME");
  }
}

}  // namespace
}  // namespace scribeline
