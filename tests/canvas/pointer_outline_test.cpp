#include "canvas/pointer_outline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/core.hpp>

namespace scribeline {
namespace {

struct OutlineCase {
  double scale;  // window pixels per photo pixel
  int radius;    // photo pixels
};

class DiscOutlineTest : public testing::TestWithParam<OutlineCase> {};

// The white line lies at the disc's true size on the screen: radius + 1/2
// photo pixels from the middle of the centre pixel's block, at any zoom,
// with a dark rim beside it.
TEST_P(DiscOutlineTest, CirclesTheDiscAtItsSizeOnScreen) {
  const OutlineCase c = GetParam();
  const cv::Size photo(1600, 1200), window(240, 180);
  Viewport view(photo, window);
  const cv::Point centre(800, 600);
  view.zoomTo(c.scale, view.toWindowCentre(centre));
  ASSERT_NEAR(view.scale(), c.scale, 1e-9);
  cv::Mat picture(window, CV_8UC3, cv::Scalar(128, 128, 128));
  drawDiscOutline(picture, view, centre, c.radius);

  const cv::Rect block = view.toWindow(centre);
  const cv::Point2d middle(block.x + block.width / 2.0,
                           block.y + block.height / 2.0);
  const double expected = std::max(1.0, (c.radius + 0.5) * c.scale);
  int white = 0, dark = 0;
  cv::Rect extent;
  for (int y = 0; y < picture.rows; ++y) {
    for (int x = 0; x < picture.cols; ++x) {
      const cv::Vec3b pixel = picture.at<cv::Vec3b>(y, x);
      const double distance = cv::norm(cv::Point2d(x + 0.5, y + 0.5) - middle);
      if (pixel == cv::Vec3b(255, 255, 255)) {
        ++white;
        EXPECT_NEAR(distance, expected, 1.5) << x << "," << y;
        extent =
            white == 1 ? cv::Rect(x, y, 1, 1) : extent | cv::Rect(x, y, 1, 1);
      } else if (pixel == cv::Vec3b(0, 0, 0)) {
        ++dark;
        EXPECT_NEAR(distance, expected, 2.5) << x << "," << y;
      }
    }
  }
  EXPECT_GT(dark, 0);
  ASSERT_GT(white, 0);
  // A whole circle: as wide and as tall as its diameter.
  if (expected > 2) {
    EXPECT_NEAR(extent.width, 2 * expected, 2.5);
    EXPECT_NEAR(extent.height, 2 * expected, 2.5);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Zooms, DiscOutlineTest,
    testing::Values(OutlineCase{0.25, 20}, OutlineCase{0.25, 3},
                    OutlineCase{1.0, 3}, OutlineCase{1.0, 12},
                    OutlineCase{8.0, 3}, OutlineCase{8.0, 1}));

}  // namespace
}  // namespace scribeline
