// A pen drag under way is no step of the history until its release, yet its
// paint must reach the autosave as it goes: each dab is announced by the
// area it painted, and the areas together carry every painted pixel.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "canvas/mouse.h"
#include "canvas/pen.h"
#include "canvas/workspace.h"
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
  workspace.onMaskChanged = [&](const cv::Mat&) { ++wholeChanges; };

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

}  // namespace
}  // namespace scribeline
