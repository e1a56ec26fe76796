// The main and "Mask" pictures through the viewport, with the scripted window
// system standing in for the screen (its pictures are the screenshots).
#include "canvas/window_views.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "canvas/mouse.h"
#include "canvas/opacity.h"
#include "canvas/pen.h"
#include "canvas/view.h"
#include "canvas/workspace.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

const cv::Vec3b kInk(0, 0, 255);

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

struct ViewsFixture : testing::Test {
  explicit ViewsFixture(cv::Size photo) : workspace(windows, console) {
    workspace.image = cv::Mat(photo, CV_8UC3, cv::Scalar(90, 90, 90));
    workspace.mask = cv::Mat::zeros(photo, CV_8UC3);
    workspace.tools[kToolScissors] = std::make_unique<InkTool>();
    workspace.toolsBuilt = true;
    openMainWindow(workspace, WindowMode::FreeScale);
  }
  InkTool& ink() { return static_cast<InkTool&>(*workspace.tools[0]); }
  cv::Mat inkShown() {
    cv::Mat shown = windows.lastShown(kMainWindow), inked;
    cv::inRange(shown, kInk, kInk, inked);
    return inked;
  }

  ScriptedWindowSystem windows;  // a 1920 x 1200 screen
  std::ostringstream console;
  Workspace workspace;
};

// An 18-megapixel photo is shown at about 0.3 of its size; a contour one
// photo pixel wide, with its closing line, still shows as one unbroken line.
struct LargePhoto : ViewsFixture {
  LargePhoto() : ViewsFixture({5640, 3172}) {}
};

TEST_F(LargePhoto, ReducedContourShowsAsAnUnbrokenLine) {
  const std::vector<cv::Point> corners = {
      {100, 100}, {5500, 300}, {3000, 3100}, {150, 2000}};
  for (size_t i = 0; i + 1 < corners.size(); ++i) {
    cv::LineIterator on(workspace.image.size(), corners[i], corners[i + 1], 8);
    for (int n = 0; n < on.count; ++n, ++on) ink().pixels.push_back(on.pos());
  }
  ink().lines.push_back({corners.back(), corners.front()});
  recomposeAndShow(workspace);
  const Viewport& view = workspace.views.main;
  ASSERT_LT(view.scale(), 0.35);
  const cv::Mat inked = inkShown();
  ASSERT_EQ(inked.size(), view.windowSize());
  cv::Mat components;
  EXPECT_EQ(cv::connectedComponents(inked, components, 8), 2)
      << "one line and the background";
  for (const cv::Point& p : ink().pixels)
    ASSERT_NE(inked.at<uchar>(view.toWindow(p).tl()), 0) << p;
  // Nothing far from the path: every inked pixel is within a pixel of a
  // drawn photo pixel's place.
  cv::Mat near = cv::Mat::zeros(inked.size(), CV_8UC1);
  for (const cv::Point& p : ink().pixels)
    near.at<uchar>(view.toWindow(p).tl()) = 255;
  cv::line(near, view.toWindowCentre(corners.back()),
           view.toWindowCentre(corners.front()), cv::Scalar(255), 1,
           cv::LINE_8);
  cv::dilate(near, near, cv::Mat());
  EXPECT_EQ(cv::countNonZero(inked & ~near), 0);
}

// The reduced view keeps a sampled copy of the mask: what the pen paints,
// and what a writer reports through markMaskChanged, shows at once.
TEST(ReducedMaskTest, ShowsEveryChange) {
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace(windows, console);
  workspace.image = cv::Mat(2500, 4000, CV_8UC3, cv::Scalar(90, 90, 90));
  workspace.mask = cv::Mat::zeros(workspace.image.size(), CV_8UC3);
  workspace.tools[kToolPen] = std::make_unique<PenTool>();
  workspace.currentTool = kToolPen;
  workspace.currentLabel = 5;
  workspace.penRadius = 10;
  workspace.maskOverlay = true;
  workspace.maskOpacity = kMaxOpacity;
  workspace.toolsBuilt = true;
  openMainWindow(workspace, WindowMode::FreeScale);
  recomposeAndShow(workspace);
  ASSERT_LT(workspace.views.main.scale(), 1.0);
  const cv::Vec3b black(0, 0, 0), label5(128, 0, 128), label7(128, 128, 128);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 500), black);
  windows.sendMouse(kMainWindow, kLeftButtonDown, 500, 300,
                    kMouseFlagLeftButton);
  windows.sendMouse(kMainWindow, kLeftButtonUp, 500, 300, 0);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 500), label5);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 520), black);
  workspace.mask(cv::Rect(2000, 1000, 500, 500)).setTo(cv::Scalar(label7));
  markMaskChanged(workspace, cv::Rect(2000, 1000, 500, 500));
  recomposeAndShow(workspace);
  const cv::Point inside = workspace.views.main.toWindowCentre({2250, 1250});
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(inside), label7);
  EXPECT_EQ(windows.lastShown(kMainWindow).at<cv::Vec3b>(300, 500), label5);
}

// Enlarged, a drawn photo pixel covers exactly its block of screen pixels,
// lines included: the drawing follows the photo's pixels.
struct SmallPhoto : ViewsFixture {
  SmallPhoto() : ViewsFixture({40, 30}) {}
};

TEST_F(SmallPhoto, EnlargedDrawingFollowsThePhotoPixels) {
  ASSERT_EQ(workspace.views.main.scale(), 1.0);
  windows.sendMouse(kMainWindow, kMouseWheel, 20, 15,
                    wheelFlags(4 * kWheelNotch));
  const Viewport& view = workspace.views.main;
  ASSERT_EQ(view.scale(), 4.0);
  ink().pixels = {{20, 15}, {21, 16}};
  ink().lines = {{{15, 12}, {25, 14}}};
  recomposeAndShow(workspace);
  cv::Mat drawn = cv::Mat::zeros(workspace.image.size(), CV_8UC1);
  for (const cv::Point& p : ink().pixels) drawn.at<uchar>(p) = 255;
  cv::line(drawn, {15, 12}, {25, 14}, cv::Scalar(255), 1, cv::LINE_8);
  const cv::Mat inked = inkShown();
  int covered = 0;
  for (int y = 0; y < inked.rows; ++y)
    for (int x = 0; x < inked.cols; ++x) {
      const cv::Point photo = view.toPhoto({x, y});
      const bool expected = drawn.at<uchar>(photo) != 0;
      ASSERT_EQ(inked.at<uchar>(y, x) != 0, expected) << x << "," << y;
      covered += expected;
    }
  EXPECT_GT(covered, 16 * 10);
}

// The "Mask" window follows the main view's zoom and pan pixel for pixel,
// and navigating in it moves the main view too.
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
};

TEST_F(SamplePhoto, MaskWindowFollowsTheMainView) {
  showMaskView(workspace);
  // Beside the main window on a roomy screen, at its size.
  EXPECT_TRUE(
      (windows.pictureArea(kMaskWindow) & windows.pictureArea(kMainWindow))
          .empty());
  EXPECT_EQ(
      cv::norm(windows.lastShown(kMaskWindow), workspace.mask, cv::NORM_INF),
      0);
  registerMainMouse(workspace, kMaskWindow);
  windows.sendMouse(kMainWindow, kMouseWheel, 100, 80,
                    wheelFlags(3 * kWheelNotch));
  windows.sendMouse(kMainWindow, kMiddleButtonDown, 300, 200,
                    kMouseFlagMiddleButton);
  windows.sendMouse(kMainWindow, kMouseMove, 250, 170, kMouseFlagMiddleButton);
  windows.sendMouse(kMainWindow, kMiddleButtonUp, 240, 160, 0);
  const Viewport& main = workspace.views.main;
  const Viewport& mask = workspace.views.mask;
  EXPECT_GT(main.scale(), 2.0);
  EXPECT_EQ(mask.scale(), main.scale());
  EXPECT_EQ(mask.offset(), main.offset());
  expectMaskShownThrough(mask);

  windows.sendMouse(kMaskWindow, kMouseWheel, 10, 10, wheelFlags(-kWheelNotch));
  EXPECT_EQ(main.scale(), mask.scale());
  EXPECT_EQ(main.offset(), mask.offset());
  expectMaskShownThrough(mask);
  EXPECT_EQ(windows.lastShown(kMainWindow).size(), main.windowSize());
}

// A user-resized free-scale window gets pictures of its new size, fitted
// again while the whole photo is shown.
TEST_F(SamplePhoto, ResizedWindowIsFittedAgain) {
  windows.resizeByUser(kMainWindow, {300, 300});
  recomposeAndShow(workspace);
  EXPECT_EQ(windows.lastShown(kMainWindow).size(), cv::Size(300, 300));
  EXPECT_EQ(workspace.views.main.scaledSize(), cv::Size(300, 200));
}

// Arrow keys pan by an eighth of the window.
TEST_F(SamplePhoto, PanStepsAnEighthOfTheWindow) {
  windows.sendMouse(kMainWindow, kMouseWheel, 300, 200,
                    wheelFlags(2 * kWheelNotch));
  const cv::Point before = workspace.views.main.toPhoto({300, 200});
  panStep(workspace, {1, 0});
  EXPECT_EQ(workspace.views.main.toPhoto({300 - 75, 200}), before);
  panStep(workspace, {0, -1});
  EXPECT_EQ(workspace.views.main.toPhoto({300 - 75, 200 + 50}), before);
}

}  // namespace
}  // namespace scribeline
