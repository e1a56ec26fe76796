#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <opencv2/imgproc.hpp>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "canvas/mouse.h"
#include "canvas/pen.h"
#include "canvas/view.h"
#include "canvas/window_placement.h"
#include "palette/palette.h"
#include "tests/support/pen_band.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

constexpr int kWidth = 40, kHeight = 30;

// Records the mouse events it is handed, and in `log` its hooks in the
// order they run ("m<event>" for onMouse, "o" for drawOverlay).
class RecordingTool : public Tool {
 public:
  void onMouse(Workspace&, int event, cv::Point point, int) override {
    events.push_back({event, point});
    log += "m" + std::to_string(event) + " ";
  }
  void drawOverlay(Workspace&) override { log += "o "; }
  struct Seen {
    int event;
    cv::Point point;
  };
  std::vector<Seen> events;
  std::string log;
};

struct MouseFixture : testing::Test {
  MouseFixture() : workspace(windows, console) {
    workspace.image = cv::Mat(kHeight, kWidth, CV_8UC3, cv::Scalar(9, 9, 9));
    workspace.mask = cv::Mat::zeros(kHeight, kWidth, CV_8UC3);
    workspace.tools[kToolScissors] = std::make_unique<RecordingTool>();
    workspace.tools[kToolSnapper] = std::make_unique<RecordingTool>();
    workspace.tools[kToolPen] = std::make_unique<PenTool>();
    workspace.toolsBuilt = true;
    windows.createWindow(kMainWindow, WindowMode::FreeScale);
    registerMainMouse(workspace, kMainWindow);
  }
  void mouse(int event, int x, int y, int flags = 0) {
    ASSERT_TRUE(windows.sendMouse(kMainWindow, event, x, y, flags));
  }
  RecordingTool& recorder(int tool) {
    return static_cast<RecordingTool&>(*workspace.tools[tool]);
  }
  const PenTool& pen() const {
    return static_cast<const PenTool&>(*workspace.tools[kToolPen]);
  }
  cv::Mat blankMask() const { return cv::Mat::zeros(kHeight, kWidth, CV_8UC3); }

  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace;
};

int differingBytes(const cv::Mat& a, const cv::Mat& b) {
  return cv::countNonZero(a.reshape(1) != b.reshape(1));
}

struct BorderCase {
  int x, y;
  bool accepted;
};

class MouseBorderTest : public MouseFixture,
                        public testing::WithParamInterface<BorderCase> {};

TEST_P(MouseBorderTest, OnlyEventsInsideTheImageRedrawAndReachTheTool) {
  const BorderCase c = GetParam();
  mouse(kLeftButtonDown, c.x, c.y, kMouseFlagLeftButton);
  EXPECT_EQ(windows.showCount(kMainWindow), c.accepted ? 1 : 0);
  ASSERT_EQ(recorder(kToolScissors).events.size(), c.accepted ? 1u : 0u);
  if (c.accepted) {
    EXPECT_EQ(recorder(kToolScissors).events[0].point, cv::Point(c.x, c.y));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Border, MouseBorderTest,
    testing::Values(BorderCase{0, 0, true}, BorderCase{kWidth - 1, 0, true},
                    BorderCase{0, kHeight - 1, true},
                    BorderCase{kWidth - 1, kHeight - 1, true},
                    BorderCase{kWidth, 5, false}, BorderCase{5, kHeight, false},
                    BorderCase{-1, 5, false}, BorderCase{5, -1, false},
                    BorderCase{-100000, 100000, false}));

// One event, one redraw: the tool handles the event first, then the view is
// composed (drawing the tool's overlay) and shown once.
TEST_F(MouseFixture, EachEventReachesTheToolThenRedrawsOnce) {
  mouse(kLeftButtonDown, 3, 3, kMouseFlagLeftButton);
  mouse(kMouseMove, 4, 3, kMouseFlagLeftButton);
  mouse(kLeftButtonUp, 5, 3, 0);
  mouse(7, 5, 3, kMouseFlagLeftButton);  // a double click
  EXPECT_EQ(recorder(kToolScissors).log, "m1 o m0 o m4 o m7 o ");
  EXPECT_EQ(windows.showCount(kMainWindow), 4);
}

struct DragCase {
  const char* name;
  // Events in window pixels of the 40 x 30 photo (x beyond 39 is outside);
  // `switchTo` >= 0 makes that tool current before the event.
  struct Step {
    int event, x, y, flags, switchTo = -1;
  };
  std::vector<Step> steps;
  std::string scissors, snapper;  // what each recording tool hears
};

std::ostream& operator<<(std::ostream& out, const DragCase& c) {
  return out << c.name;
}

class MouseDragTest : public MouseFixture,
                      public testing::WithParamInterface<DragCase> {};

// A left release outside the photo is never seen; the drag's tool hears it
// at the first event inside the photo without the left button, as a release
// there, before that event itself; only once, and only while it is current.
TEST_P(MouseDragTest, MissedReleaseReachesTheToolOfTheDrag) {
  const DragCase& c = GetParam();
  int shows = 0;
  for (const DragCase::Step& step : c.steps) {
    if (step.switchTo >= 0) workspace.currentTool = step.switchTo;
    mouse(step.event, step.x, step.y, step.flags);
    shows += step.x < kWidth;
  }
  EXPECT_EQ(recorder(kToolScissors).log, c.scissors);
  EXPECT_EQ(recorder(kToolSnapper).log, c.snapper);
  EXPECT_EQ(windows.showCount(kMainWindow), shows);
  for (const RecordingTool::Seen& seen : recorder(kToolScissors).events)
    EXPECT_LT(seen.point.x, kWidth);
}

constexpr int kHeld = kMouseFlagLeftButton;

INSTANTIATE_TEST_SUITE_P(
    Drags, MouseDragTest,
    testing::Values(DragCase{"release inside",
                             {{kLeftButtonDown, 5, 5, kHeld},
                              {kLeftButtonUp, 6, 5, 0},
                              {kMouseMove, 7, 5, 0}},
                             "m1 o m4 o m0 o ",
                             ""},
                    DragCase{"release outside, then a move without the button",
                             {{kLeftButtonDown, 5, 5, kHeld},
                              {kMouseMove, 45, 5, kHeld},
                              {kLeftButtonUp, 50, 5, 0},
                              {kMouseMove, 20, 5, 0},
                              {kMouseMove, 21, 5, 0}},
                             "m1 o m4 m0 o m0 o ",
                             ""},
                    DragCase{"leaving and coming back with the button held",
                             {{kLeftButtonDown, 5, 5, kHeld},
                              {kMouseMove, 45, 5, kHeld},
                              {kMouseMove, 30, 5, kHeld},
                              {kLeftButtonUp, 30, 6, 0}},
                             "m1 o m0 o m4 o ",
                             ""},
                    DragCase{"a second press while the drag is under way",
                             {{kLeftButtonDown, 5, 5, kHeld},
                              {kLeftButtonUp, 50, 5, 0},
                              {kLeftButtonDown, 8, 8, kHeld},
                              {kMouseMove, 9, 8, 0}},
                             "m1 o m1 o m4 m0 o ",
                             ""},
                    DragCase{"the tool changed during the drag",
                             {{kLeftButtonDown, 5, 5, kHeld},
                              {kLeftButtonUp, 50, 5, 0},
                              {kMouseMove, 20, 5, 0, kToolSnapper},
                              {kMouseMove, 21, 5, 0, kToolScissors}},
                             "m1 o m0 o ",
                             "m0 o "}),
    [](const testing::TestParamInfo<DragCase>& info) {
      std::string name = info.param.name;
      for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST_F(MouseFixture, NothingHappensBeforeTheToolsAreBuilt) {
  workspace.toolsBuilt = false;
  mouse(kLeftButtonDown, 3, 3, kMouseFlagLeftButton);
  EXPECT_EQ(windows.showCount(kMainWindow), 0);
  EXPECT_TRUE(recorder(kToolScissors).events.empty());
}

TEST_F(MouseFixture, EventsGoToTheCurrentToolOnly) {
  workspace.currentTool = kToolSnapper;
  mouse(kMouseMove, 3, 4);
  mouse(7, 5, 6);  // a double click
  EXPECT_TRUE(recorder(kToolScissors).events.empty());
  ASSERT_EQ(recorder(kToolSnapper).events.size(), 2u);
  EXPECT_EQ(recorder(kToolSnapper).events[1].event, 7);
  EXPECT_EQ(windows.showCount(kMainWindow), 2);
}

// The right button and double clicks only redraw; the middle button pans
// (a press and release at one point move nothing, so nothing is redrawn).
TEST_F(MouseFixture, OtherButtonsOnlyRedrawWithThePen) {
  workspace.currentTool = kToolPen;
  for (int event : {2, 3, 5, 6, 7, 8, 9}) mouse(event, 10, 10, 0);
  EXPECT_EQ(windows.showCount(kMainWindow), 5);
  EXPECT_EQ(differingBytes(workspace.mask, blankMask()), 0);
  EXPECT_FALSE(pen().dragging());
}

struct PenCase {
  int radius;
  int label;
  std::vector<cv::Point> path;  // press, moves, release at the last point
};

class PenStrokeTest : public MouseFixture,
                      public testing::WithParamInterface<PenCase> {};

// The expected paint: a disc at every position and, from the second
// position on, every pixel within `radius` of the segment back to the
// previous one.
TEST_P(PenStrokeTest, PaintsDiscsAndJoiningLines) {
  const PenCase c = GetParam();
  workspace.currentTool = kToolPen;
  workspace.penRadius = c.radius;
  workspace.currentLabel = c.label;
  mouse(kLeftButtonDown, c.path[0].x, c.path[0].y, kMouseFlagLeftButton);
  for (size_t i = 1; i < c.path.size(); ++i)
    mouse(kMouseMove, c.path[i].x, c.path[i].y, kMouseFlagLeftButton);
  mouse(kLeftButtonUp, c.path.back().x, c.path.back().y, 0);

  cv::Mat expected = blankMask();
  const cv::Scalar colour = labelColor(c.label);
  for (size_t i = 0; i < c.path.size(); ++i) {
    cv::circle(expected, c.path[i], c.radius, colour, -1, cv::LINE_4);
    if (i > 0) paintBand(expected, c.path[i], c.path[i - 1], c.radius, colour);
  }
  EXPECT_EQ(differingBytes(workspace.mask, expected), 0);
  EXPECT_FALSE(pen().dragging());
  EXPECT_EQ(pen().penLastPoint(), c.path.back());
}

INSTANTIATE_TEST_SUITE_P(
    Strokes, PenStrokeTest,
    testing::Values(PenCase{3, 5, {{10, 10}}}, PenCase{1, 1, {{0, 0}}},
                    PenCase{1, 7, {{2, 2}, {12, 9}, {30, 9}}},
                    PenCase{4, 24, {{5, 25}, {35, 3}}},
                    PenCase{6, 3, {{39, 29}, {39, 29}, {20, 15}}},
                    // A fast drag: positions far apart, steep and shallow.
                    PenCase{2, 9, {{1, 1}, {38, 4}, {3, 28}, {37, 27}}},
                    PenCase{5, 12, {{20, 0}, {21, 29}, {0, 14}}}));

// With the mask over the photo, each event's picture shows the paint of
// that event.
TEST_F(MouseFixture, PenPaintShowsInTheSameEvent) {
  workspace.currentTool = kToolPen;
  workspace.currentLabel = 5;
  workspace.maskOverlay = true;
  workspace.maskOpacity = 1.0;
  const cv::Scalar colour = labelColor(5);
  const cv::Vec3b painted(colour[0], colour[1], colour[2]);
  // Segments long enough that their middles lie beyond the outline drawn
  // around the pointer.
  const std::vector<cv::Point> path = {{5, 5}, {25, 8}, {35, 25}, {10, 25}};
  mouse(kLeftButtonDown, path[0].x, path[0].y, kMouseFlagLeftButton);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(path[0]), painted);
  for (size_t i = 1; i < path.size(); ++i) {
    mouse(kMouseMove, path[i].x, path[i].y, kMouseFlagLeftButton);
    EXPECT_EQ(windows.showCount(kMainWindow), static_cast<int>(i) + 1);
    const cv::Mat shown = windows.lastShown(kMainWindow);
    EXPECT_EQ(shown.at<cv::Vec3b>(path[i]), painted) << i;
    const cv::Point between = (path[i] + path[i - 1]) / 2;
    EXPECT_EQ(shown.at<cv::Vec3b>(between), painted) << i;
  }
}

int whitePixels(const cv::Mat& picture) {
  int count = 0;
  for (int y = 0; y < picture.rows; ++y)
    for (int x = 0; x < picture.cols; ++x)
      count += picture.at<cv::Vec3b>(y, x) == cv::Vec3b(255, 255, 255);
  return count;
}

// The pen's outline follows the pointer into the window it is over and is
// gone from the other one; other tools draw none.
TEST_F(MouseFixture, PenOutlineFollowsThePointerBetweenWindows) {
  windows.createWindow(kMaskWindow, WindowMode::Scale100);
  registerMainMouse(workspace, kMaskWindow);
  showMaskView(workspace.views, windows, workspace.mask);
  workspace.currentTool = kToolScissors;
  mouse(kMouseMove, 20, 15);
  EXPECT_EQ(whitePixels(windows.lastShown(kMainWindow)), 0);

  workspace.currentTool = kToolPen;
  mouse(kMouseMove, 20, 15);
  EXPECT_GT(whitePixels(windows.lastShown(kMainWindow)), 0);
  EXPECT_EQ(whitePixels(windows.lastShown(kMaskWindow)), 0);

  ASSERT_TRUE(windows.sendMouse(kMaskWindow, kMouseMove, 10, 10, 0));
  EXPECT_GT(whitePixels(windows.lastShown(kMaskWindow)), 0);
  EXPECT_EQ(whitePixels(windows.lastShown(kMainWindow)), 0);

  mouse(kMouseMove, 20, 15);
  EXPECT_EQ(whitePixels(windows.lastShown(kMaskWindow)), 0);
  EXPECT_GT(whitePixels(windows.lastShown(kMainWindow)), 0);

  // A larger radius takes effect at once, and the outline grows with it.
  const int before = whitePixels(windows.lastShown(kMainWindow));
  workspace.penRadius = 8;
  refreshPointerOutline(workspace);
  EXPECT_GT(whitePixels(windows.lastShown(kMainWindow)), before);
  // The painted mask itself never holds the outline.
  EXPECT_EQ(whitePixels(workspace.mask), 0);
}

TEST_F(MouseFixture, PenDiscOfRadiusOneIsAPlus) {
  workspace.currentTool = kToolPen;
  workspace.penRadius = 1;
  workspace.currentLabel = 1;
  mouse(kLeftButtonDown, 10, 10, kMouseFlagLeftButton);
  const cv::Vec3b red(0, 0, 128);
  std::vector<cv::Point> painted;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (workspace.mask.at<cv::Vec3b>(y, x) == red) painted.emplace_back(x, y);
  EXPECT_GE(painted.size(), 5u);
  for (const cv::Point& p : painted)
    EXPECT_LE(cv::norm(p - cv::Point(10, 10)), 1.5);
}

TEST_F(MouseFixture, PenIgnoresMovesWithoutADragAndASecondPress) {
  workspace.currentTool = kToolPen;
  mouse(kMouseMove, 10, 10, 0);
  EXPECT_EQ(differingBytes(workspace.mask, blankMask()), 0);
  mouse(kLeftButtonDown, 5, 5, kMouseFlagLeftButton);
  const cv::Mat afterPress = workspace.mask.clone();
  mouse(kLeftButtonDown, 30, 20, kMouseFlagLeftButton);
  EXPECT_EQ(differingBytes(workspace.mask, afterPress), 0);
  EXPECT_EQ(pen().penLastPoint(), cv::Point(5, 5));
}

// A release outside the image is never seen; the drag ends at the next event
// inside the image without the left button, and that event paints nothing.
TEST_F(MouseFixture, DragReleasedOutsideEndsAtTheNextEventWithoutTheButton) {
  workspace.currentTool = kToolPen;
  workspace.currentLabel = 2;
  mouse(kLeftButtonDown, 5, 5, kMouseFlagLeftButton);
  mouse(kMouseMove, 38, 5, kMouseFlagLeftButton);
  mouse(kMouseMove, 45, 5, kMouseFlagLeftButton);  // outside
  mouse(kLeftButtonUp, 50, 5, 0);                  // outside
  const cv::Mat beforeReturn = workspace.mask.clone();
  EXPECT_TRUE(pen().dragging());
  mouse(kMouseMove, 20, 25, 0);
  EXPECT_FALSE(pen().dragging());
  mouse(kMouseMove, 10, 25, 0);
  EXPECT_EQ(differingBytes(workspace.mask, beforeReturn), 0);
  // The next press starts a fresh drag with no line back to the old one.
  mouse(kLeftButtonDown, 20, 20, kMouseFlagLeftButton);
  cv::Mat expected = beforeReturn.clone();
  cv::circle(expected, {20, 20}, workspace.penRadius, labelColor(2), -1,
             cv::LINE_4);
  EXPECT_EQ(differingBytes(workspace.mask, expected), 0);
}

TEST_F(MouseFixture, DragWithButtonHeldContinuesAfterLeavingAndReturning) {
  workspace.currentTool = kToolPen;
  mouse(kLeftButtonDown, 5, 5, kMouseFlagLeftButton);
  mouse(kMouseMove, 45, 5, kMouseFlagLeftButton);  // outside, ignored
  mouse(kMouseMove, 30, 5, kMouseFlagLeftButton);
  EXPECT_TRUE(pen().dragging());
  EXPECT_EQ(pen().penLastPoint(), cv::Point(30, 5));
}

TEST_F(MouseFixture, LeavingThePenEndsItsDrag) {
  workspace.currentTool = kToolPen;
  mouse(kLeftButtonDown, 5, 5, kMouseFlagLeftButton);
  workspace.tools[kToolPen]->onEnter(workspace);
  EXPECT_TRUE(pen().dragging());
  workspace.tools[kToolPen]->onLeave(workspace);
  EXPECT_FALSE(pen().dragging());
  // The next press starts a fresh drag: no line back to (5, 5).
  const cv::Mat before = workspace.mask.clone();
  mouse(kMouseMove, 30, 5, kMouseFlagLeftButton);
  EXPECT_EQ(differingBytes(workspace.mask, before), 0);
}

}  // namespace
}  // namespace scribeline
