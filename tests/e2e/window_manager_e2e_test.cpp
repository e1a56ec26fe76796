// The built program under a window manager (openbox, xfwm4) and under none,
// on a 1920 x 1080 screen: the toolbox opens on the screen beside the photo
// and nothing covers it, also while the machine is busy; a label picked in
// it paints; "m" leaves it in sight; "t" brings it back on top after the
// photo window was moved over it or maximised; no window opens with its
// title bar off the screen; closing the photo window ends the session as
// Escape does. What the screen shows is read from the root window.
#include <gtest/gtest.h>

#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <optional>
#include <string>
#include <vector>

#include "palette/palette.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/x_session.h"

namespace scribeline::e2e {
namespace {

const cv::Size kScreen(1920, 1080);
// Larger than the screen: the photo window takes the whole room beside the
// toolbox, as with a camera's photo.
const cv::Size kPhoto(2000, 1125);
constexpr int kRowHeight = 20;

cv::Mat photo() {
  cv::Mat picture(kPhoto, CV_8UC3);
  for (int y = 0; y < picture.rows; ++y)
    for (int x = 0; x < picture.cols; ++x)
      picture.at<cv::Vec3b>(y, x) =
          cv::Vec3b(x * 255 / kPhoto.width, y * 255 / kPhoto.height,
                    ((x / 50 + y / 50) % 2) * 60 + 100);
  return picture;
}

// How many of the toolbox's label rows the screen shows: a row counts when
// its colour block, right of the name, has the label's palette colour at
// four points. `toolbox` is the toolbox's client area on the screen.
int rowsShown(const cv::Mat& screen, const cv::Rect& toolbox) {
  int shown = 0;
  for (int label = 0; label < numLabels; ++label) {
    bool all = true;
    for (const cv::Point& inRow : {cv::Point(150, 4), cv::Point(176, 4),
                                   cv::Point(150, 16), cv::Point(176, 16)}) {
      const cv::Point at =
          toolbox.tl() + inRow + cv::Point(0, label * kRowHeight);
      all = all && cv::Rect({0, 0}, screen.size()).contains(at) &&
            screen.at<cv::Vec3b>(at) == labelPixel(label);
    }
    shown += all ? 1 : 0;
  }
  return shown;
}

// Pixels of the mask that are not black (label 0), or only those of
// `colour`.
int paintedPixels(const cv::Mat& mask, std::optional<cv::Vec3b> colour = {}) {
  int count = 0;
  for (int y = 0; y < mask.rows; ++y)
    for (int x = 0; x < mask.cols; ++x) {
      const cv::Vec3b pixel = mask.at<cv::Vec3b>(y, x);
      if (pixel != cv::Vec3b() && (!colour || pixel == *colour)) ++count;
    }
  return count;
}

class WindowManagerTest : public ::testing::TestWithParam<WindowManager> {
 protected:
  // Starts the manager and the program on the photo. While the program
  // opens its windows (after its over-segmentation, until it is ready),
  // `busyLoops` processes spin on the processors; with pauseManager the
  // manager is stopped from the launch until the program is ready.
  void start(int busyLoops = 0, bool pauseManager = false) {
    ASSERT_FALSE(session.display().empty());
    ASSERT_TRUE(session.startWindowManager(GetParam()));
    ASSERT_TRUE(cv::imwrite(session.workPath("photo.png"), photo()));
    session.copyIn(sourcePath("label_list.txt"));
    if (pauseManager) session.pauseWindowManager(true);
    session.launch(SCRIBELINE_BINARY, {"photo.png"});
    if (!session.waitForOutput("Over-segmenting.... DONE\n", 120)) {
      session.pauseWindowManager(false);
      FAIL() << session.output() << session.errorOutput();
    }
    std::vector<std::unique_ptr<ChildProcess>> load;
    for (int i = 0; i < busyLoops; ++i) {
      load.push_back(std::make_unique<ChildProcess>());
      ASSERT_TRUE(load.back()->start({"sh", "-c", "while :; do :; done"},
                                     session.workDir(), {}, "/dev/null", true));
    }
    const bool ready =
        session.waitForOutput("\n\nCurrent Tool = iScissor\n", 120);
    if (pauseManager) session.pauseWindowManager(false);
    load.clear();
    ASSERT_TRUE(ready) << session.output() << session.errorOutput();
    ASSERT_NE(session.waitForWindow("Toolbox"), 0u);
    ASSERT_NE(session.waitForWindow("Scribeline"), 0u);
    settle();
    session.setPictureSize("Scribeline", kPhoto);
  }

  // Waits until the program has handled everything sent so far: a key is
  // handled after the events before it.
  void settle() {
    std::string radius;
    session.key("Scribeline", "period");
    ASSERT_TRUE(session.waitForLine("current pen radius = ", &radius));
    session.key("Scribeline", "comma");
    ASSERT_TRUE(session.waitForLine("current pen radius = ", &radius));
  }

  // The toolbox's label rows the screen shows, once every row is shown or,
  // at the latest, after a few seconds in which the manager may still be
  // drawing frames. The screen is kept in the working folder as `shot`.
  int toolboxRowsShown(const std::string& shot) {
    const auto start = Clock::now();
    for (;;) {
      const cv::Mat screen = session.grabScreen();
      const int shown = rowsShown(screen, session.windowRect("Toolbox"));
      if (shown == numLabels || secondsSince(start) > 5) {
        cv::imwrite(session.workPath(shot), screen);
        return shown;
      }
      pollPause();
    }
  }

  // The toolbox lies on the screen with its whole frame; every other open
  // window of the program has its frame's top-left corner, and so its title
  // bar, on the screen.
  void expectFramesOnScreen(const std::string& when) {
    const cv::Rect screen({0, 0}, kScreen);
    const cv::Rect toolbox = session.frameRect("Toolbox");
    EXPECT_EQ(toolbox & screen, toolbox) << "Toolbox " << when;
    for (const char* title : {"Scribeline", "Mask"}) {
      if (!session.hasWindow(title)) continue;
      const cv::Rect frame = session.frameRect(title);
      EXPECT_TRUE(screen.contains(frame.tl()))
          << title << " " << when << ": frame " << frame;
    }
  }

  void expectBesideEachOther(const std::string& a, const std::string& b) {
    const cv::Rect first = session.windowRect(a);
    const cv::Rect second = session.windowRect(b);
    EXPECT_TRUE((first & second).empty())
        << a << " " << first << " overlaps " << b << " " << second;
  }

  void quitWithoutSaving() {
    session.key("Scribeline", "Escape");
    ASSERT_TRUE(session.answer("Save?", false));
    EXPECT_EQ(session.waitForExit(), 1);
  }

  XSession session{kScreen.width, kScreen.height};
};

TEST_P(WindowManagerTest, ToolboxBesideThePhotoPicksAndStaysInSight) {
  start();
  EXPECT_EQ(toolboxRowsShown("start.png"), numLabels);
  expectBesideEachOther("Toolbox", "Scribeline");
  expectFramesOnScreen("at start");

  // A label picked in the toolbox paints.
  session.click("Toolbox", 100, 5 * kRowHeight + 10);
  session.key("Scribeline", "2");
  ASSERT_TRUE(session.waitForOutput("Current Tool = pen\n"));
  session.drag("Scribeline", {{400, 500}, {800, 500}, {1200, 500}});
  session.key("Scribeline", "M");
  const cv::Mat mask = session.waitForPicture("photo.png_Mask.png");
  ASSERT_EQ(mask.size(), kPhoto);
  EXPECT_EQ(mask.at<cv::Vec3b>(500, 800), labelPixel(5));
  EXPECT_EQ(paintedPixels(mask, labelPixel(5)), paintedPixels(mask));

  // The "Mask" window opens where it leaves the toolbox in sight.
  session.key("Scribeline", "m");
  ASSERT_NE(session.waitForWindow("Mask"), 0u);
  settle();
  EXPECT_EQ(toolboxRowsShown("mask.png"), numLabels);
  expectBesideEachOther("Toolbox", "Mask");
  expectFramesOnScreen("after m");
  quitWithoutSaving();
}

TEST_P(WindowManagerTest, TBringsTheToolboxBackOverThePhotoWindow) {
  start();
  const cv::Rect toolbox = session.windowRect("Toolbox");
  // The user drags the photo window over the toolbox and works in it.
  ASSERT_TRUE(session.moveOnTop("Scribeline", toolbox.x, toolbox.y));
  settle();
  if (GetParam() == WindowManager::NoManager) {
    EXPECT_LT(toolboxRowsShown("covered.png"), numLabels)
        << "the photo window should lie over the toolbox now";
  }
  session.key("Scribeline", "t");
  settle();
  EXPECT_EQ(toolboxRowsShown("raised.png"), numLabels);

  if (GetParam() != WindowManager::NoManager) {
    ASSERT_TRUE(session.maximize("Scribeline"));
    session.key("Scribeline", "t");
    settle();
    EXPECT_EQ(toolboxRowsShown("maximised.png"), numLabels);
  }
  quitWithoutSaving();
}

// "S", "s", "X" and "x" open their window anew in another mode, in the
// same place, title bar on the screen.
TEST_P(WindowManagerTest, ReopenedWindowsKeepTheirPlace) {
  start();
  session.key("Scribeline", "m");
  ASSERT_NE(session.waitForWindow("Mask"), 0u);
  settle();
  const cv::Point main = session.frameRect("Scribeline").tl();
  const cv::Point mask = session.frameRect("Mask").tl();
  const struct {
    const char* key;
    const char* window;
    cv::Point place;
  } reopenings[] = {{"S", "Scribeline", main},
                    {"s", "Scribeline", main},
                    {"X", "Mask", mask},
                    {"x", "Mask", mask}};
  for (const auto& reopening : reopenings) {
    const unsigned long before = session.waitForWindow(reopening.window);
    session.key("Scribeline", reopening.key);
    ASSERT_NE(session.waitForNewWindow(reopening.window, before), 0u)
        << reopening.key;
    settle();
    const auto start = Clock::now();
    while (session.frameRect(reopening.window).tl() != reopening.place &&
           secondsSince(start) < 10) {
      pollPause();
    }
    EXPECT_EQ(session.frameRect(reopening.window).tl(), reopening.place)
        << "after " << reopening.key;
    expectFramesOnScreen(std::string("after ") + reopening.key);
  }
  EXPECT_EQ(toolboxRowsShown("reopened.png"), numLabels);
  quitWithoutSaving();
}

// The manager's placement, delayed by a busy machine, must not win over the
// program's: the toolbox ends up where it belongs, uncovered.
TEST_P(WindowManagerTest, ToolboxInSightWhenTheMachineIsBusy) {
  start(2);
  EXPECT_EQ(toolboxRowsShown("start.png"), numLabels);
  expectBesideEachOther("Toolbox", "Scribeline");
  expectFramesOnScreen("at start");
  quitWithoutSaving();
}

// A manager that takes the windows on only after the program has opened
// them all (and has asked for their places, and given up waiting for the
// manager) still ends up with them where they belong.
TEST_P(WindowManagerTest, ToolboxInSightWhenTheManagerIsLate) {
  start(0, true);
  EXPECT_EQ(toolboxRowsShown("start.png"), numLabels);
  expectBesideEachOther("Toolbox", "Scribeline");
  expectFramesOnScreen("at start");
  quitWithoutSaving();
}

TEST_P(WindowManagerTest, ClosingThePhotoWindowAsksSaveAsEscapeDoes) {
  start();
  session.click("Toolbox", 100, 5 * kRowHeight + 10);
  session.key("Scribeline", "2");
  ASSERT_TRUE(session.waitForOutput("Current Tool = pen\n"));
  session.drag("Scribeline", {{400, 500}, {800, 500}});
  settle();
  session.closeThroughManager("Scribeline");
  ASSERT_TRUE(session.waitForOutput("Exiting ...\n"));
  ASSERT_TRUE(session.answer("Save?", true));
  EXPECT_EQ(session.waitForExit(), 1);
  const std::string& console = session.output();
  const std::string tail =
      "Exiting ...\nSaving mask tophoto.png_Mask.png\nBye Bye :)\n";
  ASSERT_GE(console.size(), tail.size());
  EXPECT_EQ(console.substr(console.size() - tail.size()), tail);
  const cv::Mat mask = session.waitForPicture("photo.png_Mask.png");
  ASSERT_EQ(mask.size(), kPhoto);
  EXPECT_EQ(mask.at<cv::Vec3b>(500, 600), labelPixel(5));
}

INSTANTIATE_TEST_SUITE_P(
    Managers, WindowManagerTest,
    ::testing::Values(WindowManager::NoManager, WindowManager::Openbox,
                      WindowManager::Xfwm4),
    [](const ::testing::TestParamInfo<WindowManager>& info) {
      return windowManagerName(info.param);
    });

}  // namespace
}  // namespace scribeline::e2e
