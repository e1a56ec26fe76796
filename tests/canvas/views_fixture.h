// A workspace over the scripted window system whose main window is open and
// takes the mouse: the main and "Mask" pictures through the viewport, with
// the scripted window system standing in for the screen (its pictures are
// the screenshots).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <utility>
#include <vector>

#include "canvas/mouse.h"
#include "canvas/window_placement.h"
#include "canvas/workspace.h"
#include "ui/scripted_window_system.h"

namespace scribeline {

inline const cv::Vec3b kInk(0, 0, 255);

// Draws a chain of photo pixels and lines between photo points, as the
// scissors draw contours.
class InkTool : public Tool {
 public:
  void drawOverlay(Workspace& workspace) override {
    for (const cv::Point& p : pixels)
      workspace.views.overlay.paintPixel(p, kInk);
    for (const auto& [from, to] : lines)
      workspace.views.overlay.drawLine(from, to, cv::Scalar(kInk), 1,
                                       cv::LINE_8);
  }
  std::vector<cv::Point> pixels;
  std::vector<std::pair<cv::Point, cv::Point>> lines;
};

// A photo of the size, an all-black mask, InkTool as the current tool, the
// main window open at free scale on a 1920 x 1200 screen.
struct ViewsFixture : testing::Test {
  explicit ViewsFixture(cv::Size photo) : workspace(windows, console) {
    workspace.image = cv::Mat(photo, CV_8UC3, cv::Scalar(90, 90, 90));
    workspace.mask = cv::Mat::zeros(photo, CV_8UC3);
    workspace.tools[kToolScissors] = std::make_unique<InkTool>();
    workspace.toolsBuilt = true;
    openMainWindow(workspace.views, windows, photo, WindowMode::FreeScale);
    registerMainMouse(workspace, kMainWindow);
  }
  InkTool& ink() { return static_cast<InkTool&>(*workspace.tools[0]); }
  // The main picture's pixels in the ink colour.
  cv::Mat inkShown() {
    cv::Mat shown = windows.lastShown(kMainWindow), inked;
    cv::inRange(shown, kInk, kInk, inked);
    return inked;
  }

  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace;
};

// A 600 x 400 photo whose mask differs at every pixel of a row, so that a
// picture of it shows which mask pixel went where.
struct SamplePhoto : ViewsFixture {
  SamplePhoto() : ViewsFixture({600, 400}) {
    for (int y = 0; y < 400; ++y)
      for (int x = 0; x < 600; ++x)
        workspace.mask.at<cv::Vec3b>(y, x) =
            cv::Vec3b(x % 256, y % 256, x / 256);
  }
  // The mask shown is the mask seen through the view.
  void expectMaskShownThrough(const Viewport& view) {
    const cv::Mat shown = windows.lastShown(kMaskWindow);
    ASSERT_EQ(shown.size(), view.windowSize());
    for (int y = 0; y < shown.rows; y += 7)
      for (int x = 0; x < shown.cols; x += 5)
        ASSERT_EQ(shown.at<cv::Vec3b>(y, x),
                  workspace.mask.at<cv::Vec3b>(view.toPhoto({x, y})))
            << x << "," << y;
  }
  void showMask() { showMaskView(workspace.views, windows, workspace.mask); }
};

}  // namespace scribeline
