// What a tool draws over the main view through PhotoOverlay, reduced and
// enlarged, as the main window shows it.
#include "canvas/photo_overlay.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <vector>

#include "canvas/view.h"
#include "tests/canvas/views_fixture.h"

namespace scribeline {
namespace {

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

}  // namespace
}  // namespace scribeline
