#include "canvas/sampling.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/canvas/random_image.h"

namespace scribeline {
namespace {

struct SamplingCase {
  const char* name;
  cv::Size photo, window;
  int zoomSteps;    // wheel steps in around the window's centre
  cv::Point shift;  // then a pan
};

// Every window pixel shows the source pixel under it through the view, or
// the surround colour off the photo; whole-row copies (one to one) and
// per-pixel sampling agree with that alike.
TEST(Sampling, RenderNearestShowsTheSourcePixelUnderEveryWindowPixel) {
  const std::vector<SamplingCase> cases = {
      {"reduced, fitted", {400, 300}, {150, 100}, 0, {}},
      {"reduced, zoomed and panned", {400, 300}, {150, 100}, 2, {-20, 7}},
      {"one to one, smaller than the window", {30, 20}, {50, 40}, 0, {}},
      {"one to one, panned", {300, 200}, {120, 90}, 100, {}},
      {"enlarged and panned", {30, 20}, {100, 70}, 5, {13, -9}},
      {"one pixel", {1, 1}, {7, 5}, 0, {}},
  };
  for (const SamplingCase& c : cases) {
    SCOPED_TRACE(c.name);
    const cv::Mat source = randomImage(c.photo, 17);
    Viewport view(c.photo, c.window);
    if (c.zoomSteps == 100) {
      view.showActualSize();
    } else if (c.zoomSteps != 0) {
      view.zoomSteps(c.zoomSteps, {c.window.width / 2, c.window.height / 2});
    }
    view.pan(c.shift);
    std::vector<int> columns, rows;
    cv::Mat picture;
    const cv::Rect inside = renderNearest(source, view, columns, rows, picture);
    ASSERT_EQ(picture.size(), c.window);
    ASSERT_EQ(columns.size(), static_cast<size_t>(c.window.width));
    ASSERT_EQ(rows.size(), static_cast<size_t>(c.window.height));
    const cv::Vec3b surround(48, 48, 48);
    for (int y = 0; y < c.window.height; ++y) {
      for (int x = 0; x < c.window.width; ++x) {
        const cv::Point photo = view.toPhoto({x, y});
        ASSERT_EQ(columns[x], photo.x);
        ASSERT_EQ(rows[y], photo.y);
        const bool onPhoto = cv::Rect({}, c.photo).contains(photo);
        ASSERT_EQ(inside.contains({x, y}), onPhoto) << x << "," << y;
        ASSERT_EQ(picture.at<cv::Vec3b>(y, x),
                  onPhoto ? source.at<cv::Vec3b>(photo) : surround)
            << x << "," << y;
      }
    }
    // Sampling from a part of the source cut at `origin` gives the same.
    if (inside.empty()) continue;
    const cv::Point first(columns[inside.x], rows[inside.y]);
    const cv::Point last(columns[inside.br().x - 1], rows[inside.br().y - 1]);
    const cv::Mat part = source(cv::Rect(first, last + cv::Point(1, 1)));
    cv::Mat sampled;
    samplePixels(part, columns, rows, inside, sampled, first);
    EXPECT_EQ(cv::norm(sampled, picture(inside), cv::NORM_INF), 0);
  }
}

}  // namespace
}  // namespace scribeline
