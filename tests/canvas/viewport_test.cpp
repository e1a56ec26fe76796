#include "canvas/viewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

namespace scribeline {
namespace {

// The defining mapping of one axis in long double arithmetic: the centre of
// the window pixel's cell taken back onto the photo.
int expectedPhotoPixel(int window, int offset, int photo, int cells) {
  return static_cast<int>(std::floor((window + offset + 0.5L) * photo /
                                     static_cast<long double>(cells)));
}

struct MappingCase {
  cv::Size photo;
  cv::Size window;
  int zoomSteps;  // from the fitted view, around the window's centre
  cv::Point pan;  // then this pan
};

void PrintTo(const MappingCase& c, std::ostream* out) {
  *out << c.photo << " in " << c.window << ", " << c.zoomSteps << " steps, pan "
       << c.pan;
}

Viewport viewOf(const MappingCase& c) {
  Viewport view(c.photo, c.window);
  view.zoomSteps(c.zoomSteps, {c.window.width / 2, c.window.height / 2});
  view.pan(c.pan);
  return view;
}

class ViewportMappingTest : public testing::TestWithParam<MappingCase> {};

// Every window pixel, and a ring of two pixels beyond the window's edges,
// maps as the definition says, and back onto window pixels that include it.
TEST_P(ViewportMappingTest, WindowToPhotoAndBack) {
  const Viewport view = viewOf(GetParam());
  const cv::Size window = view.windowSize();
  const cv::Size cells = view.scaledSize();
  const bool enlarged = cells.width >= view.photoSize().width &&
                        cells.height >= view.photoSize().height;
  for (int y = -2; y < window.height + 2; ++y) {
    for (int x = -2; x < window.width + 2; ++x) {
      const cv::Point photo = view.toPhoto({x, y});
      ASSERT_EQ(photo.x,
                expectedPhotoPixel(x, view.offset().x, view.photoSize().width,
                                   cells.width))
          << "window " << x << "," << y;
      ASSERT_EQ(photo.y,
                expectedPhotoPixel(y, view.offset().y, view.photoSize().height,
                                   cells.height))
          << "window " << x << "," << y;
      const cv::Rect block = view.toWindow(photo);
      ASSERT_TRUE(block.contains({x, y}))
          << "window " << x << "," << y << " photo " << photo << " block "
          << block;
      if (!enlarged) continue;
      ASSERT_EQ(view.toPhoto(view.toWindowCentre(photo)), photo);
    }
  }
}

// Neighbouring photo pixels land on the same or neighbouring window pixels
// when reduced, and on adjoining blocks when enlarged: a chain of photo
// pixels stays an unbroken chain on the screen.
TEST_P(ViewportMappingTest, NeighboursStayNeighbours) {
  const Viewport view = viewOf(GetParam());
  const cv::Size photo = view.photoSize();
  for (int y = 0; y < photo.height; y += std::max(1, photo.height / 50)) {
    for (int x = 0; x + 1 < photo.width; ++x) {
      const cv::Rect a = view.toWindow({x, y}), b = view.toWindow({x + 1, y});
      ASSERT_GE(a.width, 1);
      ASSERT_LE(b.x - (a.x + a.width), 0) << "gap after column " << x;
      ASSERT_GE(b.x, a.x) << "column " << x;
    }
  }
  for (int x = 0; x < photo.width; x += std::max(1, photo.width / 50)) {
    for (int y = 0; y + 1 < photo.height; ++y) {
      const cv::Rect a = view.toWindow({x, y}), b = view.toWindow({x, y + 1});
      ASSERT_LE(b.y - (a.y + a.height), 0) << "gap after row " << y;
      ASSERT_GE(b.y, a.y) << "row " << y;
    }
  }
}

// The window is covered where the scaled photo is larger; otherwise the
// photo is centred and shown whole.
TEST_P(ViewportMappingTest, PanLimitsKeepThePictureInTheWindow) {
  const Viewport view = viewOf(GetParam());
  const cv::Rect area = view.photoArea();
  const cv::Size window = view.windowSize();
  if (area.width >= window.width) {
    EXPECT_LE(area.x, 0);
    EXPECT_GE(area.x + area.width, window.width);
  } else {
    EXPECT_LE(std::abs(2 * area.x + area.width - window.width), 1);
  }
  if (area.height >= window.height) {
    EXPECT_LE(area.y, 0);
    EXPECT_GE(area.y + area.height, window.height);
  } else {
    EXPECT_LE(std::abs(2 * area.y + area.height - window.height), 1);
  }
  // The photo's first and last pixels lie in the grid's end cells.
  const cv::Point last(view.photoSize().width - 1, view.photoSize().height - 1);
  EXPECT_EQ(view.toWindow({0, 0}).tl(), area.tl());
  EXPECT_EQ(view.toWindow(last).br(), area.br());
}

// Panning as far as it goes reaches both corners of the photo.
TEST_P(ViewportMappingTest, EveryPartCanBeReached) {
  Viewport view = viewOf(GetParam());
  const cv::Size window = view.windowSize();
  const cv::Point far(1 << 28, 1 << 28);
  const cv::Rect inWindow({0, 0}, window);
  view.pan(far);
  EXPECT_TRUE(inWindow.contains(view.toWindow({0, 0}).tl()));
  view.pan(-far);
  const cv::Point last(view.photoSize().width - 1, view.photoSize().height - 1);
  EXPECT_TRUE(inWindow.contains(view.toWindow(last).br() - cv::Point(1, 1)));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ViewportMappingTest,
    testing::Values(
        // Fitted: reduced, exact, enlarged.
        MappingCase{{5640, 3172}, {1700, 956}, 0, {0, 0}},
        MappingCase{{600, 400}, {600, 400}, 0, {0, 0}},
        MappingCase{{61, 37}, {640, 480}, 0, {0, 0}},
        // Odd sizes, zoomed in and out, panned both ways.
        MappingCase{{1001, 777}, {333, 221}, 1, {17, -5}},
        MappingCase{{1001, 777}, {333, 221}, 2, {-40, 90}},
        MappingCase{{1001, 777}, {333, 221}, 5, {123, 77}},
        MappingCase{{1001, 777}, {333, 221}, 9, {-1000, 1000}},
        MappingCase{{1001, 777}, {333, 221}, 14, {3, 3}},
        MappingCase{{1001, 777}, {333, 221}, 30, {0, 0}},
        // One pixel wide or high.
        MappingCase{{1, 5000}, {800, 600}, 0, {0, 0}},
        MappingCase{{1, 5000}, {800, 600}, 3, {0, -200}},
        MappingCase{{4999, 1}, {800, 600}, 4, {300, 0}},
        MappingCase{{1, 1}, {64, 48}, 0, {0, 0}},
        MappingCase{{1, 1}, {64, 48}, 3, {5, 5}},
        // Smaller than the window, then larger once zoomed.
        MappingCase{{30, 20}, {400, 300}, -3, {0, 0}},
        MappingCase{{97, 61}, {400, 300}, 5, {50, -50}},
        // A window smaller than a pixel block.
        MappingCase{{7, 5}, {3, 2}, 12, {1, 1}}));

TEST(ViewportTest, FittedViewShowsTheWholePhoto) {
  const Viewport view({5640, 3172}, {1700, 1000});
  EXPECT_TRUE(view.fitted());
  EXPECT_EQ(view.scaledSize(), cv::Size(1700, 956));
  EXPECT_EQ(view.photoArea(), cv::Rect(0, 22, 1700, 956));
  const Viewport same({600, 400}, {600, 400});
  EXPECT_EQ(same.scale(), 1.0);
  for (cv::Point p : {cv::Point(0, 0), cv::Point(599, 399), cv::Point(17, 3)}) {
    EXPECT_EQ(same.toPhoto(p), p);
    EXPECT_EQ(same.toWindow(p), cv::Rect(p, cv::Size(1, 1)));
  }
}

// From the fitted view the wheel climbs through natural steps (never more
// than the square root of two apart), meets 1:1 exactly, reaches at least
// 16 screen pixels per photo pixel, and comes back down to the fitted view.
TEST(ViewportTest, ZoomLevelsFromFittedToPixelWork) {
  Viewport view({5640, 3172}, {1700, 956});
  const cv::Point anchor(850, 478);
  std::vector<double> scales{view.scale()};
  for (int i = 0; i < 40; ++i) {
    view.zoomSteps(1, anchor);
    if (view.scale() == scales.back()) break;
    scales.push_back(view.scale());
  }
  EXPECT_GE(scales.back(), 16.0);
  EXPECT_NE(std::find(scales.begin(), scales.end(), 1.0), scales.end());
  for (size_t i = 1; i < scales.size(); ++i) {
    EXPECT_GT(scales[i], scales[i - 1]);
    EXPECT_LE(scales[i] / scales[i - 1], std::sqrt(2.0) + 1e-9) << i;
  }
  for (size_t i = scales.size() - 1; i > 0; --i) {
    view.zoomSteps(-1, anchor);
    EXPECT_DOUBLE_EQ(view.scale(), scales[i - 1]);
  }
  EXPECT_TRUE(view.fitted());
  view.zoomSteps(-1, anchor);
  EXPECT_TRUE(view.fitted()) << "nothing below the whole photo";
}

// Zooming keeps the photo pixel under the pointer under it, wherever the
// pointer is. While the photo is still reduced a screen pixel stands for
// several photo pixels, and the one it shows may move within them.
TEST(ViewportTest, ZoomKeepsThePixelUnderThePointer) {
  for (cv::Point anchor : {cv::Point(850, 478), cv::Point(3, 900),
                           cv::Point(1699, 0), cv::Point(431, 207)}) {
    Viewport view({5640, 3172}, {1700, 956});
    for (int step = 0; step < 14; ++step) {
      const cv::Point before = view.toPhoto(anchor);
      view.zoomSteps(1, anchor);
      const cv::Point after = view.toPhoto(anchor);
      const double span = std::ceil(1.0 / std::min(view.scale(), 1.0));
      EXPECT_LE(std::abs(after.x - before.x), span - 1)
          << "anchor " << anchor << " step " << step;
      EXPECT_LE(std::abs(after.y - before.y), span - 1)
          << "anchor " << anchor << " step " << step;
    }
  }
}

TEST(ViewportTest, ResizeRefitsAFittedViewAndKeepsTheCentreOtherwise) {
  Viewport view({4000, 3000}, {800, 600});
  view.resize({400, 600});
  EXPECT_TRUE(view.fitted());
  EXPECT_EQ(view.scaledSize(), cv::Size(400, 300));
  view.zoomSteps(6, {200, 300});
  const cv::Point centre = view.toPhoto({200, 300});
  view.resize({1000, 700});
  EXPECT_FALSE(view.fitted());
  EXPECT_LE(cv::norm(view.toPhoto({500, 350}) - centre), 1.0);
}

// The mask window follows the main view: one scale, one grid, same centre.
TEST(ViewportTest, FollowSharesScaleAndCentre) {
  Viewport main({5640, 3172}, {1400, 800});
  main.zoomSteps(7, {300, 200});
  main.pan({-120, 45});
  Viewport mask({5640, 3172}, {600, 400});
  mask.setFocus(main.focus());
  EXPECT_EQ(mask.scale(), main.scale());
  EXPECT_EQ(mask.scaledSize(), main.scaledSize());
  EXPECT_EQ(mask.toPhoto({300, 200}), main.toPhoto({700, 400}));
  // A photo pixel has blocks of one size in both.
  const cv::Point pixel = main.toPhoto({700, 400});
  EXPECT_EQ(mask.toWindow(pixel).size(), main.toWindow(pixel).size());
  // Taking back its own focus changes nothing.
  const cv::Point offset = main.offset();
  main.setFocus(main.focus());
  EXPECT_EQ(main.offset(), offset);
  Viewport fitted({5640, 3172}, {1400, 800});
  mask.setFocus(fitted.focus());
  EXPECT_TRUE(mask.fitted());
}

TEST(ViewportTest, ActualSizeIsOneToOneAroundTheCentre) {
  Viewport view({5640, 3172}, {1500, 1000});
  const cv::Point centre = view.toPhoto({750, 500});
  view.showActualSize();
  EXPECT_EQ(view.scale(), 1.0);
  EXPECT_EQ(view.scaledSize(), cv::Size(5640, 3172));
  EXPECT_LE(cv::norm(view.toPhoto({750, 500}) - centre), 2.0);
  EXPECT_EQ(view.toWindow(view.toPhoto({10, 20})), cv::Rect(10, 20, 1, 1));
}

}  // namespace
}  // namespace scribeline
