// A pen drag under way is no step of the history until its release, yet its
// paint must reach the autosave as it goes: each dab is announced by the
// area it painted, and the areas together carry every painted pixel.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <vector>

#include "canvas/mouse.h"
#include "canvas/pen.h"
#include "canvas/workspace.h"
#include "palette/palette.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

TEST(PenPaintTest, ADragUnderWayIsAnnouncedAreaByArea) {
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace(windows, console);
  workspace.image = cv::Mat(60, 80, CV_8UC3, cv::Scalar(9, 9, 9));
  workspace.mask = cv::Mat::zeros(60, 80, CV_8UC3);
  workspace.tools[kToolPen] = std::make_unique<PenTool>();
  workspace.toolsBuilt = true;
  workspace.currentTool = kToolPen;
  workspace.currentLabel = 5;
  workspace.penRadius = 4;
  windows.createWindow(kMainWindow, WindowMode::Scale100);
  registerMainMouse(workspace, kMainWindow);

  // What the autosave keeps: a copy brought up to date area by area.
  cv::Mat kept = workspace.mask.clone();
  std::vector<cv::Rect> areas;
  int wholeChanges = 0;
  workspace.onMaskPainted = [&](const cv::Mat& mask, const cv::Rect& area) {
    areas.push_back(area);
    mask(area).copyTo(kept(area));
  };
  workspace.onMaskChanged = [&](const cv::Mat&, const cv::Rect&) {
    ++wholeChanges;
  };

  const struct {
    int event;
    cv::Point point;
  } drag[] = {{kLeftButtonDown, {10, 10}},
              {kMouseMove, {30, 12}},
              {kMouseMove, {31, 40}},
              {kMouseMove, {70, 55}},
              {kMouseMove, {79, 0}}};
  for (const auto& step : drag) {
    ASSERT_TRUE(windows.sendMouse(kMainWindow, step.event, step.point.x,
                                  step.point.y, kMouseFlagLeftButton));
    EXPECT_EQ(cv::norm(kept, workspace.mask, cv::NORM_INF), 0)
        << "at " << step.point;
    ASSERT_FALSE(areas.empty());
    EXPECT_LT(areas.back().area(), workspace.mask.total() / 2);
    EXPECT_EQ(areas.back() & cv::Rect(0, 0, 80, 60), areas.back());
  }
  EXPECT_EQ(wholeChanges, 0);
  EXPECT_GT(cv::countNonZero(workspace.mask.reshape(1)), 0);
  // The release makes the drag a step, told as a whole change.
  ASSERT_TRUE(windows.sendMouse(kMainWindow, kLeftButtonUp, 79, 0,
                                kMouseFlagLeftButton));
  EXPECT_EQ(wholeChanges, 1);
}

// The marks hold 1 + label exactly where the pen's paint lands, for discs
// and bands cut by the photo's edge too.
TEST(PenPaintTest, MarksMatchThePaintPixelForPixel) {
  const struct {
    cv::Point from, to;
    int radius;
  } strokes[] = {{{10, 10}, {10, 10}, 1}, {{3, 4}, {40, 25}, 3},
                 {{0, 0}, {0, 0}, 6},     {{47, 2}, {30, 33}, 5},
                 {{20, 15}, {21, 16}, 9}, {{-3, 40}, {50, 39}, 2}};
  for (const auto& stroke : strokes) {
    for (int label : {0, 7, 24}) {
      cv::Mat mask(36, 48, CV_8UC3, cv::Scalar::all(255));
      cv::Mat marks = cv::Mat::zeros(mask.size(), CV_8UC1);
      paintPenDisc(mask, stroke.to, stroke.radius, label);
      markPenDisc(marks, stroke.to, stroke.radius, label);
      paintPenLine(mask, stroke.from, stroke.to, stroke.radius, label);
      markPenLine(marks, stroke.from, stroke.to, stroke.radius, label);
      cv::Mat painted;
      cv::inRange(mask, cv::Scalar::all(255), cv::Scalar::all(255), painted);
      cv::Mat expected = (255 - painted) / 255 * (label + 1);
      EXPECT_EQ(cv::norm(marks, expected, cv::NORM_INF), 0)
          << stroke.from << " " << stroke.to << " r" << stroke.radius << " l"
          << label;
    }
  }
}

// The marks appear with the first paint; a pixel counts as the pen's while
// it holds the label the pen last painted there.
TEST(PenPaintTest, PenMarksItsDragAndPaintCountsWhileItStays) {
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace(windows, console);
  workspace.image = cv::Mat(30, 40, CV_8UC3, cv::Scalar(9, 9, 9));
  workspace.mask = cv::Mat(30, 40, CV_8UC3, cv::Scalar::all(255));
  workspace.tools[kToolPen] = std::make_unique<PenTool>();
  workspace.toolsBuilt = true;
  workspace.currentTool = kToolPen;
  workspace.currentLabel = 4;
  workspace.penRadius = 2;
  windows.createWindow(kMainWindow, WindowMode::Scale100);
  registerMainMouse(workspace, kMainWindow);
  ASSERT_TRUE(windows.sendMouse(kMainWindow, kMouseMove, 5, 5, 0));
  EXPECT_TRUE(workspace.penMarks.empty());

  windows.sendMouse(kMainWindow, kLeftButtonDown, 5, 5, kMouseFlagLeftButton);
  windows.sendMouse(kMainWindow, kMouseMove, 20, 9, kMouseFlagLeftButton);
  windows.sendMouse(kMainWindow, kLeftButtonUp, 20, 9, 0);
  workspace.currentLabel = 6;
  windows.sendMouse(kMainWindow, kLeftButtonDown, 20, 9, kMouseFlagLeftButton);
  windows.sendMouse(kMainWindow, kLeftButtonUp, 20, 9, 0);
  ASSERT_EQ(workspace.penMarks.size(), workspace.mask.size());
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const cv::Vec3b pixel = workspace.mask.at<cv::Vec3b>(y, x);
      const uchar mark = workspace.penMarks.at<uchar>(y, x);
      ASSERT_EQ(mark != 0, pixel != cv::Vec3b(255, 255, 255)) << x << "," << y;
      ASSERT_EQ(mark, pixel == labelPixel(6)   ? 7
                      : pixel == labelPixel(4) ? 5
                                               : 0);
      ASSERT_EQ(penPainted(mark, pixel), mark != 0);
    }
  }
  // Paint replaced by another label no longer counts.
  EXPECT_FALSE(penPainted(7, labelPixel(4)));
  EXPECT_FALSE(penPainted(0, labelPixel(0)));
  EXPECT_TRUE(penPainted(1, labelPixel(0)));
}

}  // namespace
}  // namespace scribeline
