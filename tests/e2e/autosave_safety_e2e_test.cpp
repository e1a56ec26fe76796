// The autosave against the worst a session meets, through the built program
// under its own X server: a kill (-9, nothing written on the way out) in the
// middle of a pen drag, and a disk that fills up during the work and empties
// again.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/sample_session.h"
#include "tests/e2e/x_session.h"
#include "tests/support/temp_folder.h"

namespace scribeline::e2e {
namespace {

const cv::Vec3b kLabel5(128, 0, 128);  // palette colour, stored B, G, R
const char kAutosave[] = "sample.JPG_Mask.autosave.png";
const char kMask[] = "sample.JPG_Mask.png";

// The hidden files of a folder (temporaries of the program's writes).
std::vector<std::string> hiddenFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name[0] == '.' && name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

// Whether every tenth pixel of row y from x0 to x1 has the label's colour.
bool painted(const cv::Mat& mask, int y, int x0, int x1) {
  if (mask.size() != kSampleSize || mask.type() != CV_8UC3) return false;
  for (int x = x0; x <= x1; x += 10)
    if (mask.at<cv::Vec3b>(y, x) != kLabel5) return false;
  return true;
}

// Waits until the file holds a picture painted along row y (a minute at most,
// for a loaded machine: the time is not what is tested here).
bool eventuallyPainted(XSession& session, const std::string& name, int y,
                       int x0, int x1) {
  for (int tries = 0; tries < 600; ++tries) {
    if (painted(cv::imread(session.workPath(name), cv::IMREAD_UNCHANGED), y, x0,
                x1)) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// A drag held for 3 s, then kill -9: the drag's paint so far is in the
// autosave (it is on disk within 2 s of being made, the drag unfinished),
// and the next start offers it at "Recover?".
TEST(AutosaveSafetyE2eTest, APenDragUnderWaySurvivesKill9) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  startOnSample(session);
  waitUntilReady(session);
  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  session.drag("Scribeline", {{100, 200}, {200, 200}, {300, 200}}, true, 1,
               false);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  session.signalProgram(SIGKILL);
  EXPECT_EQ(session.waitForExit(), 128 + SIGKILL);
  session.runTool({"xdotool", "mouseup", "1"});
  const cv::Mat kept =
      cv::imread(session.workPath(kAutosave), cv::IMREAD_UNCHANGED);
  EXPECT_TRUE(painted(kept, 200, 100, 300)) << "no drag in the autosave";
  if (HasFailure()) return;

  session.launch(SCRIBELINE_BINARY, {});
  ASSERT_TRUE(session.answer("Recover?", true));
  waitUntilReady(session);
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", true));
  EXPECT_EQ(session.waitForExit(), 1);
  EXPECT_TRUE(painted(cv::imread(session.workPath(kMask), cv::IMREAD_UNCHANGED),
                      200, 100, 300));
}

// The disk fills up during the work: the failed autosave is said at once,
// a save fails with its reason and leaves the previous mask whole and no
// temporary; once there is space the autosave says it works again and a
// save succeeds.
TEST(AutosaveSafetyE2eTest, AFullDiskIsSaidAndOutlived) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  cv::Mat before(kSampleSize, CV_8UC3, cv::Scalar(0, 0, 0));
  before(cv::Rect(0, 0, 50, 50)).setTo(cv::Scalar(0, 128, 0));
  cv::imwrite(session.workPath(kMask), before);
  const std::string maskBefore = fileBytes(session.workPath(kMask));
  startOnSample(session);
  ASSERT_TRUE(session.answer("Load?", false));
  waitUntilReady(session);
  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  session.drag("Scribeline", {{100, 100}, {300, 100}});
  ASSERT_TRUE(eventuallyPainted(session, kAutosave, 100, 100, 300));
  const std::string autosaveBefore = fileBytes(session.workPath(kAutosave));

  // No PNG of the mask fits any more.
  session.limitProgramFileSize(64);
  session.drag("Scribeline", {{100, 300}, {300, 300}});
  ASSERT_TRUE(session.waitForOutput(
      "Could not autosave the mask to " + std::string(kAutosave) +
      ": File too large; trying again every 10 s\n"))
      << session.output();
  session.key("Scribeline", "M");
  ASSERT_TRUE(session.waitForOutput("Could not save the mask to " +
                                    std::string(kMask) + ": File too large\n"))
      << session.output();
  EXPECT_EQ(fileBytes(session.workPath(kMask)), maskBefore);
  EXPECT_EQ(fileBytes(session.workPath(kAutosave)), autosaveBefore);
  EXPECT_EQ(hiddenFiles(session.workDir()), std::vector<std::string>{});

  session.limitProgramFileSize(std::nullopt);
  ASSERT_TRUE(session.waitForOutput("Autosaved the mask to " +
                                    std::string(kAutosave) + " again\n"))
      << session.output();
  EXPECT_TRUE(
      painted(cv::imread(session.workPath(kAutosave), cv::IMREAD_UNCHANGED),
              300, 100, 300));
  session.key("Scribeline", "M");
  EXPECT_TRUE(eventuallyPainted(session, kMask, 300, 100, 300));
  // Said once each: the tries in between failed quietly.
  const std::string& output = session.output();
  EXPECT_EQ(output.find("Could not autosave"),
            output.rfind("Could not autosave"));
  EXPECT_EQ(output.find(" again\n"), output.rfind(" again\n"));
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
  EXPECT_EQ(hiddenFiles(session.workDir()), std::vector<std::string>{});
}

}  // namespace
}  // namespace scribeline::e2e
