// What the program asks of the window layer beyond drawing: where frames
// may go, the toolbox's role and raising, and the photo window's close
// reported as Escape; over the scripted window system and whole runs of the
// program.
#include <gtest/gtest.h>

#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/program.h"
#include "canvas/workspace.h"
#include "tests/app/await_preparations.h"
#include "tests/support/temp_folder.h"
#include "ui/frame_position.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

struct FrameCase {
  const char* what;
  cv::Point topLeft;
  cv::Size frame;
  cv::Rect area;
  cv::Point expected;
};

TEST(KeepFrameInAreaTest, MovesTheFrameIntoTheFreeArea) {
  const cv::Rect area(0, 30, 1920, 1050);  // a panel above
  const FrameCase cases[] = {
      {"inside", {100, 200}, {300, 200}, area, {100, 200}},
      {"title bar above the area", {100, 9}, {300, 200}, area, {100, 30}},
      {"left of the area", {-5, 100}, {300, 200}, area, {0, 100}},
      {"past the right edge", {1800, 100}, {300, 200}, area, {1620, 100}},
      {"past the bottom", {10, 1000}, {300, 200}, area, {10, 880}},
      {"larger than the area: top-left corner in sight",
       {-20, -20},
       {2000, 1200},
       area,
       {0, 30}},
      {"unknown size: only the corner",
       {1919, 1079},
       {0, 0},
       area,
       {1919, 1079}},
      {"unknown area", {-7, -20}, {300, 200}, {}, {-7, -20}},
  };
  for (const FrameCase& c : cases)
    EXPECT_EQ(keepFrameInArea(c.topLeft, c.frame, c.area), c.expected)
        << c.what;
}

TEST(ScriptedWindowRolesTest, CloseReportsTheWindowsKeyOrNothing) {
  ScriptedWindowSystem windows;
  windows.createWindow("A", WindowMode::Scale100);
  windows.createWindow("B", WindowMode::Scale100);
  windows.setCloseKey("A", 'q');
  windows.pushClose("B");  // no close key: the wait goes on
  windows.pushKey('k');
  windows.pushClose("A");
  windows.pushClose("A");  // closed already: nothing to report
  windows.pushKey('z');
  EXPECT_EQ(windows.waitKey(), 'k');
  EXPECT_FALSE(windows.isOpen("B"));
  EXPECT_EQ(windows.waitKey(), 'q');
  EXPECT_FALSE(windows.isOpen("A"));
  // Every window is closed now: the queued key never comes.
  EXPECT_EQ(windows.waitKey(), kNoWindowsLeft);

  windows.createWindow("A", WindowMode::Scale100);
  windows.setCloseKey("A", 0);
  windows.pushClose("A");
  EXPECT_EQ(windows.waitKey(), kNoWindowsLeft);
}

TEST(ScriptedWindowRolesTest, OnlyOpenWindowsAreRaised) {
  ScriptedWindowSystem windows;
  windows.raiseWindow("A");
  windows.createWindow("A", WindowMode::Scale100);
  windows.makeToolWindow("A");
  windows.raiseWindow("A");
  EXPECT_EQ(windows.raisedWindows(), std::vector<std::string>{"A"});
  EXPECT_TRUE(windows.isToolWindow("A"));
  EXPECT_FALSE(windows.isToolWindow("B"));
}

// Whole runs over a 60 x 40 photograph.
class WindowRolesSessionTest : public testing::Test {
 protected:
  WindowRolesSessionTest() {
    imagePath = folder + "/photo.png";
    EXPECT_TRUE(
        cv::imwrite(imagePath, cv::Mat(40, 60, CV_8UC3, cv::Scalar(9, 80, 1))));
    settings.labelListPath = folder + "/label_list.txt";
    std::ofstream(settings.labelListPath) << "2\nbackground\nperson\n";
  }
  int run() {
    const char* argv[] = {"scribeline", imagePath.c_str()};
    return runProgram(
        2, argv, console, [this](std::string*) { return windows; }, settings);
  }
  bool endsWith(const std::string& tail) const {
    const std::string text = console.str();
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  }

  TempFolder temp{"scribeline-window-roles"};
  std::string folder = temp.path();
  std::string imagePath;
  ProgramSettings settings;
  std::shared_ptr<ScriptedWindowSystem> windows =
      std::make_shared<ScriptedWindowSystem>();
  std::ostringstream console;
};

TEST_F(WindowRolesSessionTest, ClosingThePhotoWindowEndsAsEscapeDoes) {
  windows->pushKey('2');
  windows->pushDrag(kMainWindow, {{10, 10}, {30, 10}});  // a change to save
  windows->pushClose(kMainWindow);
  windows->pushKey('.');      // never read: the session has ended
  windows->pushAnswer(true);  // "Save?"
  EXPECT_EQ(run(), 1);
  ASSERT_EQ(windows->questions().size(), 1u);
  EXPECT_EQ(windows->questions()[0].title, "Save?");
  EXPECT_TRUE(endsWith("Current Tool = pen\nExiting ...\nSaving mask to" +
                       imagePath + "_Mask.png\nBye Bye :)\n"))
      << console.str();
  EXPECT_FALSE(cv::imread(imagePath + "_Mask.png").empty());
  EXPECT_EQ(windows->pendingInputs(), 1u);
}

TEST_F(WindowRolesSessionTest, ClosingTheToolboxOrMaskGoesOnAndTBringsItBack) {
  windows->pushKey('m');
  windows->pushClose(kMaskWindow);
  windows->pushClose(kToolboxWindow);
  windows->pushKey('t');
  windows->pushClick(kToolboxWindow, 90, 25);  // label 1: the toolbox works
  windows->pushKey(27);
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(windows->pendingInputs(), 0u);
  EXPECT_EQ(windows->droppedMouseEvents(), 0);
  EXPECT_TRUE(windows->isToolWindow(kToolboxWindow));
  EXPECT_EQ(windows->raisedWindows(), std::vector<std::string>{kToolboxWindow});
  EXPECT_TRUE(endsWith("Exiting ...\nBye Bye :)\n")) << console.str();
}

TEST_F(WindowRolesSessionTest, TRaisesTheOpenToolboxEachTime) {
  windows->pushKeys("tt");
  windows->pushKey(27);
  EXPECT_EQ(run(), 1);
  EXPECT_EQ(windows->raisedWindows(),
            std::vector<std::string>(2, kToolboxWindow));
}

}  // namespace
}  // namespace scribeline
