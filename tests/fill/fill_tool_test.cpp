// The fill tool through the mouse dispatch and the keys, over photos built in
// code: the region written at the release as one step, the live tolerance
// measured in screen pixels at any zoom and in either window, and the ways a
// press is discarded.
#include "fill/fill_tool.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "app/commands.h"
#include "canvas/mask_steps.h"
#include "canvas/mouse.h"
#include "canvas/pen.h"
#include "canvas/window_placement.h"
#include "canvas/workspace.h"
#include "palette/palette.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

const cv::Vec3b kWhite(255, 255, 255);
constexpr int kLabel = 5;

// Blue rises by 3 per column, green and red stay: from column 0, tolerance t
// reaches the columns up to t / 3, on every row.
cv::Mat gradientPhoto(cv::Size size) {
  cv::Mat photo(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x)
      photo.at<cv::Vec3b>(y, x) = cv::Vec3b(3 * x, 100, 60);
  return photo;
}

// The mask expected after a fill from column 0 with tolerance t over the
// gradient photo on a white mask.
cv::Mat filledColumns(cv::Size size, int tolerance) {
  cv::Mat mask(size, CV_8UC3, cv::Scalar::all(255));
  mask.colRange(0, std::min(size.width, tolerance / 3 + 1))
      .setTo(labelColor(kLabel));
  return mask;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

struct FillFixture : testing::Test {
  explicit FillFixture(cv::Size photo = {60, 100})
      : workspace(windows, console) {
    workspace.image = gradientPhoto(photo);
    workspace.mask = cv::Mat(photo, CV_8UC3, cv::Scalar::all(255));
    workspace.tools[kToolPen] = std::make_unique<PenTool>();
    workspace.tools[kToolFill] = std::make_unique<FillTool>();
    workspace.currentTool = kToolFill;
    workspace.currentLabel = kLabel;
    workspace.toolsBuilt = true;
    openMainWindow(workspace.views, windows, photo, WindowMode::FreeScale);
    registerMainMouse(workspace, kMainWindow);
    startMaskHistory(workspace);
  }
  const FillTool& fill() const {
    return static_cast<const FillTool&>(*workspace.tools[kToolFill]);
  }
  // Window pixel showing the photo pixel in the window's view.
  cv::Point at(cv::Point photo, const std::string& window = kMainWindow) {
    const Viewport& view =
        window == kMainWindow ? workspace.views.main : workspace.views.mask;
    return view.toWindowCentre(photo);
  }
  void mouse(const std::string& window, int event, cv::Point p, int flags) {
    ASSERT_TRUE(windows.sendMouse(window, event, p.x, p.y, flags));
  }
  void press(cv::Point p, const std::string& window = kMainWindow) {
    mouse(window, kLeftButtonDown, p, kMouseFlagLeftButton);
  }
  void drag(cv::Point p, const std::string& window = kMainWindow) {
    mouse(window, kMouseMove, p, kMouseFlagLeftButton);
  }
  void release(cv::Point p, const std::string& window = kMainWindow) {
    mouse(window, kLeftButtonUp, p, 0);
  }
  // The main window's last picture at the window pixel of a photo pixel.
  cv::Vec3b shown(cv::Point photo) {
    return windows.lastShown(kMainWindow).at<cv::Vec3b>(at(photo));
  }

  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace;
};

TEST_F(FillFixture,
       ReleaseWritesTheRegionAsOneStepThatUndoAndBackspaceTakeBack) {
  ASSERT_EQ(workspace.fillTolerance, 20);
  const cv::Mat blank = workspace.mask.clone();
  const cv::Point seed = at({0, 50});
  press(seed);
  EXPECT_TRUE(fill().filling());
  EXPECT_TRUE(same(workspace.mask, blank)) << "nothing written before release";
  release(seed);
  EXPECT_FALSE(fill().filling());
  const cv::Mat filled = filledColumns(workspace.image.size(), 20);
  EXPECT_TRUE(same(workspace.mask, filled));
  EXPECT_EQ(workspace.history.undoCount(), 1u);

  runCommand(workspace, kKeyUndo);
  EXPECT_TRUE(same(workspace.mask, blank));
  runCommand(workspace, kKeyRedo);
  EXPECT_TRUE(same(workspace.mask, filled));
  runCommand(workspace, kKeyBackspace);
  EXPECT_TRUE(same(workspace.mask, blank));
  EXPECT_EQ(workspace.history.undoCount(), 0u);
  runCommand(workspace, kKeyRedo);  // Backspace undid it: redo brings it back
  EXPECT_TRUE(same(workspace.mask, filled));

  // A second fill over the same pixels in the same label changes nothing:
  // no step, so Backspace still takes back the first.
  press(seed);
  release(seed);
  EXPECT_EQ(workspace.history.undoCount(), 1u);
  runCommand(workspace, kKeyBackspace);
  EXPECT_TRUE(same(workspace.mask, blank));
}

// Backspace takes back a fill only when it is the newest step: the pen's
// drag made after a fill stays.
TEST_F(FillFixture, BackspaceLeavesOtherToolsSteps) {
  press(at({0, 50}));
  release(at({0, 50}));
  runCommand(workspace, '2');
  press(at({50, 10}));
  release(at({50, 10}));
  ASSERT_EQ(workspace.history.undoCount(), 2u);
  const cv::Mat both = workspace.mask.clone();
  runCommand(workspace, '3');
  EXPECT_EQ(console.str(), "Current Tool = pen\nCurrent Tool = fill\n");
  runCommand(workspace, kKeyBackspace);
  EXPECT_TRUE(same(workspace.mask, both));
  EXPECT_EQ(workspace.history.undoCount(), 2u);
}

// Up raises, down lowers, one per screen pixel; the region shows over the
// photo (the mask overlay off) and the release writes the region shown.
TEST_F(FillFixture, DragChangesTheToleranceAndShowsTheRegionLive) {
  ASSERT_FALSE(workspace.maskOverlay);
  ASSERT_EQ(workspace.views.main.scale(), 1.0);
  const cv::Mat blank = workspace.mask.clone();
  press(at({0, 90}));
  const cv::Vec3b photoAt20 = workspace.image.at<cv::Vec3b>(90, 20);
  EXPECT_EQ(shown({20, 90}), photoAt20);
  drag(at({2, 60}));  // 30 up
  EXPECT_EQ(fill().region().tolerance(), 50);
  EXPECT_TRUE(fill().region().contains({16, 90}));
  EXPECT_FALSE(fill().region().contains({17, 90}));
  EXPECT_NE(shown({16, 90}), workspace.image.at<cv::Vec3b>(90, 16));
  EXPECT_EQ(shown({17, 90}), workspace.image.at<cv::Vec3b>(90, 17));
  EXPECT_TRUE(same(workspace.mask, blank));
  drag(at({2, 95}));  // 35 down
  EXPECT_EQ(fill().region().tolerance(), 15);
  EXPECT_EQ(shown({16, 90}), workspace.image.at<cv::Vec3b>(90, 16));
  drag(at({2, 81}));  // 14 up
  EXPECT_EQ(fill().region().tolerance(), 29);
  release(at({2, 81}));
  EXPECT_TRUE(same(workspace.mask, filledColumns(workspace.image.size(), 29)));
  EXPECT_EQ(workspace.fillTolerance, 20) << "the next press starts at 20";
}

// Past either end the tolerance stays there, and the way back changes it at
// once (the movement beyond the end is not owed).
TEST_F(FillFixture, DragStopsAtTheEndsOfTheRange) {
  struct Row {
    int start, firstRow, stop, secondRow, after;
  };
  for (const Row& row :
       {Row{10, 80, 0, 75, 5}, Row{kMaxFillTolerance - 2, 40, kMaxFillTolerance,
                                   45, kMaxFillTolerance - 5}}) {
    workspace.fillTolerance = row.start;
    press(at({0, 50}));
    drag(at({0, row.firstRow}));
    EXPECT_EQ(fill().region().tolerance(), row.stop);
    drag(at({0, row.secondRow}));
    EXPECT_EQ(fill().region().tolerance(), row.after);
    runCommand(workspace, kKeyBackspace);
  }
}

// Zoomed in 4x the pointer moves 4 screen pixels per photo row; the
// tolerance follows the screen pixels.
TEST_F(FillFixture, ToleranceFollowsScreenPixelsWhenZoomed) {
  const cv::Point middle = at({10, 50});
  ASSERT_TRUE(windows.sendMouse(kMainWindow, kMouseWheel, middle.x, middle.y,
                                wheelFlags(4 * kWheelNotch)));
  ASSERT_EQ(workspace.views.main.scale(), 4.0);
  const cv::Point seed = at({0, 50});
  press(seed);
  drag(seed + cv::Point(0, -13));  // 13 screen pixels, 3 photo rows
  EXPECT_EQ(fill().region().tolerance(), 33);
  release(seed + cv::Point(0, -13));
  EXPECT_TRUE(same(workspace.mask, filledColumns(workspace.image.size(), 33)));
}

// The "Mask" window at 100% hands its events to the tool the same way.
TEST_F(FillFixture, WorksInTheMaskWindow) {
  showMaskView(workspace.views, windows, workspace.mask);
  registerMainMouse(workspace, kMaskWindow);
  const cv::Point seed = at({0, 40}, kMaskWindow);
  press(seed, kMaskWindow);
  drag(seed + cv::Point(0, -7), kMaskWindow);
  release(seed + cv::Point(0, -7), kMaskWindow);
  EXPECT_TRUE(same(workspace.mask, filledColumns(workspace.image.size(), 27)));
  EXPECT_TRUE(same(windows.lastShown(kMaskWindow), workspace.mask));
}

// Leaving the tool or Backspace during a press drops the region: no step,
// no overlay left on screen, and the release that follows writes nothing.
TEST_F(FillFixture, ToolSwitchOrBackspaceDuringAPressDiscardsIt) {
  for (const int key : {int{'2'}, kKeyBackspace}) {
    workspace.currentTool = kToolFill;
    const cv::Mat blank = workspace.mask.clone();
    press(at({0, 50}));
    drag(at({0, 40}));
    ASSERT_NE(shown({5, 50}), workspace.image.at<cv::Vec3b>(50, 5));
    runCommand(workspace, key);
    EXPECT_FALSE(fill().filling()) << key;
    EXPECT_EQ(shown({5, 50}), workspace.image.at<cv::Vec3b>(50, 5)) << key;
    workspace.currentTool = kToolFill;
    release(at({0, 40}));
    EXPECT_TRUE(same(workspace.mask, blank)) << key;
    EXPECT_EQ(workspace.history.undoCount(), 0u) << key;
  }
}

TEST_F(FillFixture, BracketsMoveTheStartingToleranceWithinItsRange) {
  runCommand(workspace, '[');
  runCommand(workspace, ']');
  runCommand(workspace, ']');
  EXPECT_EQ(workspace.fillTolerance, 25);
  workspace.fillTolerance = 3;
  runCommand(workspace, '[');
  workspace.fillTolerance = kMaxFillTolerance - 1;
  runCommand(workspace, ']');
  EXPECT_EQ(console.str(),
            "current fill tolerance = 15\ncurrent fill tolerance = 20\n"
            "current fill tolerance = 25\ncurrent fill tolerance = 0\n"
            "current fill tolerance = 442\n");
  // A press starts from it.
  workspace.fillTolerance = 30;
  press(at({0, 50}));
  EXPECT_EQ(fill().region().tolerance(), 30);
  release(at({0, 50}));
  EXPECT_TRUE(same(workspace.mask, filledColumns(workspace.image.size(), 30)));
}

}  // namespace
}  // namespace scribeline
