#include "snapping/stroke_paint.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "tests/support/stroke_map.h"

namespace scribeline {
namespace {

// Pixels (x, y) of a map that hold the label.
std::set<std::pair<int, int>> painted(const std::vector<unsigned char>& map,
                                      int width, unsigned char label) {
  std::set<std::pair<int, int>> pixels;
  for (size_t i = 0; i < map.size(); ++i) {
    if (map[i] == label)
      pixels.insert({static_cast<int>(i % width), static_cast<int>(i / width)});
  }
  return pixels;
}

// The brush footprint around (x, y), clipped to the image.
std::set<std::pair<int, int>> footprint(int x, int y, int width, int height) {
  std::set<std::pair<int, int>> pixels;
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      if (std::abs(dx) == 2 && std::abs(dy) == 2) continue;
      const int px = x + dx, py = y + dy;
      if (px >= 0 && px < width && py >= 0 && py < height)
        pixels.insert({px, py});
    }
  }
  return pixels;
}

struct StampCase {
  const char* name;
  int x, y;
  size_t expectedCount;
};

class StampBrushTest : public testing::TestWithParam<StampCase> {};

TEST_P(StampBrushTest, WritesTheClippedRoundedSquare) {
  const int width = 9, height = 7;
  const StampCase& c = GetParam();
  std::vector<unsigned char> map(width * height, kUnpainted);
  stampBrush(c.y, c.x, map.data(), 4, height, width);
  const auto pixels = painted(map, width, 4);
  EXPECT_EQ(pixels.size(), c.expectedCount);
  EXPECT_EQ(pixels, footprint(c.x, c.y, width, height));
  EXPECT_EQ(painted(map, width, kUnpainted).size() + pixels.size(), map.size());
}

INSTANTIATE_TEST_SUITE_P(
    Positions, StampBrushTest,
    testing::Values(StampCase{"Centre", 4, 3, 21},
                    StampCase{"TopLeftCorner", 0, 0, 8},
                    StampCase{"TopRightCorner", 8, 0, 8},
                    StampCase{"BottomLeftCorner", 0, 6, 8},
                    StampCase{"BottomRightCorner", 8, 6, 8},
                    StampCase{"OneInFromCorner", 1, 1, 15},
                    StampCase{"LeftBorder", 0, 3, 13},
                    StampCase{"TopBorder", 4, 0, 13},
                    StampCase{"RightBorderOneIn", 7, 3, 18},
                    StampCase{"BottomBorder", 4, 6, 13}),
    [](const testing::TestParamInfo<StampCase>& info) {
      return std::string(info.param.name);
    });

TEST(StampBrushTest, TopLeftCornerWritesOnlyTheEightInsidePixels) {
  const int width = 6, height = 6;
  std::vector<unsigned char> map(width * height, kUnpainted);
  stampBrush(0, 0, map.data(), 0, height, width);
  const std::set<std::pair<int, int>> expected = {
      {0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}, {0, 2}, {1, 2}};
  EXPECT_EQ(painted(map, width, 0), expected);
}

// Direction of one line per octant, long and short, through a checker of
// the rounding rule: step k along the major axis, the minor coordinate
// rounded to the nearer grid line, ties away from the start.
struct LineCase {
  int dx, dy;
};

class LineTest : public testing::TestWithParam<LineCase> {};

TEST_P(LineTest, StepsAlongTheMajorAxisAndRoundsTheMinorOne) {
  const LineCase& c = GetParam();
  const cv::Point prev(50, 40), cur(50 + c.dx, 40 + c.dy);
  std::vector<cv::Point> points;
  forEachLinePoint(prev, cur, [&](cv::Point p) { points.push_back(p); });

  const bool xMajor = std::abs(c.dx) > std::abs(c.dy);
  const int major = xMajor ? std::abs(c.dx) : std::abs(c.dy);
  const int minor = xMajor ? std::abs(c.dy) : std::abs(c.dx);
  ASSERT_EQ(points.size(), static_cast<size_t>(major));
  const int majorSign = (xMajor ? c.dx : c.dy) < 0 ? -1 : 1;
  const int minorSign = (xMajor ? c.dy : c.dx) < 0 ? -1 : 1;
  for (int k = 1; k <= major; ++k) {
    const int along = majorSign * k;
    const int across = minorSign * ((2 * k * minor + major) / (2 * major));
    const cv::Point expected = xMajor ? prev + cv::Point(along, across)
                                      : prev + cv::Point(across, along);
    EXPECT_EQ(points[k - 1], expected)
        << "dx " << c.dx << " dy " << c.dy << " step " << k;
  }
  EXPECT_EQ(points.back(), cur);
}

INSTANTIATE_TEST_SUITE_P(EightOctants, LineTest,
                         testing::Values(LineCase{7, 3}, LineCase{3, 7},
                                         LineCase{-3, 7}, LineCase{-7, 3},
                                         LineCase{-7, -3}, LineCase{-3, -7},
                                         LineCase{3, -7}, LineCase{7, -3},
                                         LineCase{9, 0}, LineCase{0, -9},
                                         LineCase{-5, 5}, LineCase{5, -5},
                                         LineCase{8, 4}, LineCase{-4, -8},
                                         LineCase{2, 1}, LineCase{-30, 11}));

TEST(PaintSegmentTest, StampsStartAndEveryStepIncludingTheEnd) {
  const int width = 40, height = 30;
  std::vector<unsigned char> map(width * height, kUnpainted);
  const cv::Point prev(5, 20), cur(30, 8);
  paintSegment(prev, cur, map.data(), 3, height, width);
  std::set<std::pair<int, int>> expected =
      footprint(prev.x, prev.y, width, height);
  forEachLinePoint(prev, cur, [&](cv::Point p) {
    const auto stamp = footprint(p.x, p.y, width, height);
    expected.insert(stamp.begin(), stamp.end());
  });
  EXPECT_EQ(painted(map, width, 3), expected);
  EXPECT_EQ(map[8 * width + 30], 3);
}

TEST(PaintSegmentTest, NeighbouringPointsStampOnlyTheStart) {
  const int width = 20, height = 20;
  for (const cv::Point offset :
       {cv::Point(1, 0), cv::Point(-1, 1), cv::Point(0, -1), cv::Point(1, 1)}) {
    std::vector<unsigned char> map(width * height, kUnpainted);
    const cv::Point prev(10, 10);
    paintSegment(prev, prev + offset, map.data(), 1, height, width);
    EXPECT_EQ(painted(map, width, 1), footprint(10, 10, width, height))
        << offset.x << "," << offset.y;
  }
}

TEST(PaintStrokesTest, HigherLabelWinsAndClicksPaintNothing) {
  const int width = 30, height = 20;
  LabelStrokes strokes(6);
  strokes[5].push_back({{3, 10}, {20, 10}});          // drawn first
  strokes[2].push_back({{10, 2}, {10, 18}});          // crosses it later
  strokes[1].push_back({{25, 3}, {25, 3}, {25, 3}});  // click without movement
  strokes[3].push_back({{4, 4}});                     // a single point
  std::vector<unsigned char> map(width * height, kUnpainted);
  const cv::Rect bounds = paintStrokes(strokes, map.data(), height, width);

  EXPECT_EQ(map[10 * width + 10], 5);  // crossing point
  EXPECT_EQ(map[3 * width + 10], 2);
  EXPECT_TRUE(painted(map, width, 1).empty());
  EXPECT_TRUE(painted(map, width, 3).empty());
  EXPECT_EQ(map[11 * width + 22],
            5);  // the brush reaches two pixels past the end
  EXPECT_EQ(map[10 * width + 23], kUnpainted);
  EXPECT_EQ(bounds & cv::Rect(0, 0, width, height), bounds);
  for (int label : {2, 5}) {
    for (const auto& [x, y] : painted(map, width, label)) {
      EXPECT_TRUE(bounds.contains(cv::Point(x, y))) << x << "," << y;
    }
  }
}

TEST(PaintStrokesTest, NothingToPaintGivesEmptyBounds) {
  LabelStrokes strokes(2);
  strokes[1].push_back({{3, 3}});
  std::vector<unsigned char> map(100, kUnpainted);
  EXPECT_TRUE(paintStrokes(strokes, map.data(), 10, 10).empty());
  EXPECT_TRUE(painted(map, 10, 1).empty());
}

}  // namespace
}  // namespace scribeline
