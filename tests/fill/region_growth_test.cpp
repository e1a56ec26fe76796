// The region a fill covers, from photos built in code, against the regions
// expected by construction and against an oracle made with the library: the
// pixels within the tolerance of the seed's colour, thresholded, and the
// seed's 8-connected component among them.
#include "fill/region_growth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <opencv2/imgproc.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace scribeline {
namespace {

// The region as a 0/255 mask of the photo's size.
cv::Mat regionOf(const RegionGrowth& growth) {
  const cv::Mat& photo = growth.photo();
  cv::Mat region = cv::Mat::zeros(photo.size(), CV_8UC1);
  for (int y = 0; y < photo.rows; ++y)
    for (int x = 0; x < photo.cols; ++x)
      if (growth.contains({x, y})) region.at<uchar>(y, x) = 255;
  return region;
}

// The oracle: threshold by exact Euclidean distance in double, then the
// seed's 8-connected component.
cv::Mat expectedRegion(const cv::Mat& photo, cv::Point seed, int tolerance) {
  const cv::Vec3b s = photo.at<cv::Vec3b>(seed);
  cv::Mat within = cv::Mat::zeros(photo.size(), CV_8UC1);
  for (int y = 0; y < photo.rows; ++y)
    for (int x = 0; x < photo.cols; ++x) {
      const cv::Vec3b p = photo.at<cv::Vec3b>(y, x);
      const double d =
          std::sqrt(std::pow(p[0] - s[0], 2.0) + std::pow(p[1] - s[1], 2.0) +
                    std::pow(p[2] - s[2], 2.0));
      if (d <= tolerance) within.at<uchar>(y, x) = 255;
    }
  cv::Mat components;
  cv::connectedComponents(within, components, 8, CV_32S);
  const int seedComponent = components.at<int>(seed);
  cv::Mat region = cv::Mat::zeros(photo.size(), CV_8UC1);
  region.setTo(255, components == seedComponent);
  return region;
}

int differing(const cv::Mat& a, const cv::Mat& b) {
  return cv::countNonZero(a != b);
}

void expectRegion(const RegionGrowth& growth, const cv::Mat& expected) {
  const cv::Mat region = regionOf(growth);
  EXPECT_EQ(differing(region, expected), 0)
      << "tolerance " << growth.tolerance();
  EXPECT_EQ(growth.area(), static_cast<size_t>(cv::countNonZero(expected)));
  EXPECT_EQ(growth.bounds(), cv::boundingRect(expected));
}

struct DistanceRow {
  cv::Vec3b a, b;
  int distance;
};

TEST(FillColourDistanceTest, EuclideanInRgbRoundedUp) {
  const DistanceRow rows[] = {
      {{0, 0, 0}, {0, 0, 0}, 0},
      {{9, 9, 9}, {10, 9, 9}, 1},
      {{0, 3, 0}, {0, 0, 4}, 5},
      {{1, 1, 1}, {0, 0, 0}, 2},
      {{0, 0, 0}, {3, 3, 3}, 6},
      {{10, 20, 30}, {13, 24, 30}, 5},
      {{0, 0, 0}, {255, 255, 255}, kMaxFillTolerance},
      {{0, 0, 0}, {255, 0, 0}, 255},  // no channel counts more than another
      {{0, 0, 0}, {0, 0, 255}, 255},
  };
  for (const DistanceRow& row : rows) {
    EXPECT_EQ(fillColourDistance(row.a, row.b), row.distance)
        << row.a << " " << row.b;
    EXPECT_EQ(fillColourDistance(row.b, row.a), row.distance);
  }
}

// Photos built in code, each with its seed and the tolerances to check;
// `expect` gives the region by construction (empty: the oracle alone).
struct PhotoCase {
  const char* name;
  std::function<cv::Mat()> photo;
  cv::Point seed;
  std::vector<int> tolerances;
  std::function<cv::Mat(const cv::Mat& photo, int tolerance)> expect;
};

std::ostream& operator<<(std::ostream& out, const PhotoCase& c) {
  return out << c.name;
}

cv::Mat twoColours() {
  // Left 12 columns (10, 20, 30), the rest (10, 23, 34): distance 5.
  cv::Mat photo(9, 20, CV_8UC3, cv::Scalar(10, 23, 34));
  photo.colRange(0, 12).setTo(cv::Scalar(10, 20, 30));
  return photo;
}

cv::Mat gradient() {
  // Blue rises by 3 per column: column x is 3x from column 0.
  cv::Mat photo(6, 40, CV_8UC3);
  for (int x = 0; x < photo.cols; ++x)
    photo.col(x).setTo(cv::Scalar(3 * x, 100, 100));
  return photo;
}

cv::Mat noise() {
  cv::Mat photo(48, 64, CV_8UC3);
  cv::RNG random(12345);
  random.fill(photo, cv::RNG::UNIFORM, cv::Scalar::all(60),
              cv::Scalar::all(140));
  return photo;
}

// Smoothed noise: blobs and winding channels, long runs along the rows that
// meet and part again.
cv::Mat blurredNoise() {
  cv::Mat photo(72, 96, CV_8UC3);
  cv::RNG random(777);
  random.fill(photo, cv::RNG::UNIFORM, cv::Scalar::all(0),
              cv::Scalar::all(256));
  cv::GaussianBlur(photo, photo, cv::Size(0, 0), 3.0);
  return photo;
}

cv::Mat columnsUpTo(cv::Size size, int lastColumn) {
  cv::Mat region = cv::Mat::zeros(size, CV_8UC1);
  region.colRange(0, lastColumn + 1).setTo(255);
  return region;
}

const PhotoCase kPhotoCases[] = {
    {"TwoFlatColours",
     twoColours,
     {3, 4},
     {0, 4, 5, 6, 442},
     [](const cv::Mat& photo, int t) {
       return columnsUpTo(photo.size(), t < 5 ? 11 : photo.cols - 1);
     }},
    {"TwoFlatColoursFromTheRight",
     twoColours,
     {19, 8},
     {0, 4, 5},
     [](const cv::Mat& photo, int t) {
       cv::Mat region = cv::Mat::zeros(photo.size(), CV_8UC1);
       region.colRange(t < 5 ? 12 : 0, photo.cols).setTo(255);
       return region;
     }},
    {"Gradient",
     gradient,
     {0, 2},
     {0, 2, 3, 29, 30, 31, 116, 117, 200},
     [](const cv::Mat& photo, int t) {
       return columnsUpTo(photo.size(), std::min(t / 3, photo.cols - 1));
     }},
    // From the middle the region spreads both ways.
    {"GradientFromTheMiddle",
     gradient,
     {20, 5},
     {0, 3, 10, 60, 61},
     [](const cv::Mat& photo, int t) {
       cv::Mat region = cv::Mat::zeros(photo.size(), CV_8UC1);
       region
           .colRange(std::max(0, 20 - t / 3), std::min(photo.cols, 21 + t / 3))
           .setTo(255);
       return region;
     }},
    {"Noise", noise, {31, 20}, {0, 30, 35, 40, 45, 55, 70, 100}, nullptr},
    {"BlurredNoise",
     blurredNoise,
     {48, 36},
     {0, 4, 8, 12, 16, 24, 32, 48},
     nullptr},
    {"NoiseFromACorner", noise, {63, 47}, {0, 70, 80, 90, 100}, nullptr},
};

class RegionTableTest : public testing::TestWithParam<PhotoCase> {};

// Each tolerance from a fresh start, then all of them in one growth raised
// step by step and lowered again: the live change is exactly the threshold.
TEST_P(RegionTableTest, RegionIsTheSeedsComponentWithinTheTolerance) {
  const PhotoCase& c = GetParam();
  const cv::Mat photo = c.photo();
  for (const int t : c.tolerances) {
    const cv::Mat oracle = expectedRegion(photo, c.seed, t);
    if (c.expect) {
      ASSERT_EQ(differing(c.expect(photo, t), oracle), 0)
          << "the case's region for tolerance " << t;
    }
    RegionGrowth fresh;
    fresh.start(photo, c.seed, t);
    expectRegion(fresh, oracle);
  }
  RegionGrowth live;
  live.start(photo, c.seed, c.tolerances.front());
  std::vector<int> order(c.tolerances.begin(), c.tolerances.end());
  order.insert(order.end(), c.tolerances.rbegin(), c.tolerances.rend());
  for (const int t : order) {
    live.setTolerance(t);
    expectRegion(live, expectedRegion(photo, c.seed, t));
  }
}

INSTANTIATE_TEST_SUITE_P(Photos, RegionTableTest,
                         testing::ValuesIn(kPhotoCases),
                         [](const testing::TestParamInfo<PhotoCase>& info) {
                           return std::string(info.param.name);
                         });

// A rise past tolerances never asked for, then a fall below the start, then
// a rise again: the buckets kept for later rises are not lost by a fall.
TEST(RegionGrowthTest, RaiseLowerRaiseOnNoiseMatchesTheThreshold) {
  const cv::Mat photo = noise();
  const cv::Point seed(10, 40);
  RegionGrowth growth;
  growth.start(photo, seed, 30);
  for (const int t : {90, 12, 0, 40, 41, 120, 442, 45}) {
    growth.setTolerance(t);
    expectRegion(growth, expectedRegion(photo, seed, t));
  }
}

// 8-connected: two areas that touch only at a corner are one region; a
// straight wall one pixel thick stops it. A diagonal line of other colour
// does not (it leaves diagonal steps open).
TEST(RegionGrowthTest, CornersJoinAndOnePixelWallsStop) {
  const cv::Scalar flat(50, 50, 50), other(50, 50, 200);
  cv::Mat corners(8, 8, CV_8UC3, other);
  corners(cv::Rect(0, 0, 4, 4)).setTo(flat);
  corners(cv::Rect(4, 4, 4, 4)).setTo(flat);
  RegionGrowth growth;
  growth.start(corners, {0, 0}, 10);
  EXPECT_EQ(growth.area(), 32u);
  EXPECT_TRUE(growth.contains({7, 7}));
  EXPECT_FALSE(growth.contains({4, 3}));

  for (const bool vertical : {true, false}) {
    cv::Mat walled(9, 9, CV_8UC3, flat);
    if (vertical) {
      walled.col(4).setTo(other);
    } else {
      walled.row(4).setTo(other);
    }
    growth.start(walled, {0, 0}, 10);
    EXPECT_EQ(growth.area(), 36u) << vertical;
    EXPECT_FALSE(growth.contains({8, 8})) << vertical;
    growth.setTolerance(150);  // the wall is within 150: all of it
    EXPECT_EQ(growth.area(), 81u) << vertical;
  }

  cv::Mat diagonal(9, 9, CV_8UC3, flat);
  for (int i = 0; i < 9; ++i) diagonal.at<cv::Vec3b>(i, 8 - i) = {50, 50, 200};
  growth.start(diagonal, {0, 0}, 10);
  EXPECT_EQ(growth.area(), 81u - 9u);
  EXPECT_TRUE(growth.contains({8, 8}));
}

// Every edge and corner of the photo bounds the region without losing or
// wrapping pixels (an index past a row's end is the next row's start).
TEST(RegionGrowthTest, PhotoEdgesBoundTheRegion) {
  // A frame one pixel wide in one colour, the inside in another: the frame
  // is one region from every pixel on it, and never leaks inward.
  cv::Mat framed(7, 11, CV_8UC3, cv::Scalar(0, 0, 0));
  framed(cv::Rect(1, 1, 9, 5)).setTo(cv::Scalar(255, 255, 255));
  const cv::Point onFrame[] = {{0, 0}, {10, 0}, {0, 6},  {10, 6},
                               {5, 0}, {0, 3},  {10, 3}, {5, 6}};
  RegionGrowth growth;
  for (const cv::Point& seed : onFrame) {
    growth.start(framed, seed, 0);
    EXPECT_EQ(growth.area(), 2u * 11 + 2u * 5) << seed;
    EXPECT_EQ(growth.bounds(), cv::Rect(0, 0, 11, 7)) << seed;
    EXPECT_FALSE(growth.contains({1, 1})) << seed;
  }
  // One column and one row photos.
  for (const cv::Size size : {cv::Size(1, 9), cv::Size(9, 1), cv::Size(1, 1)}) {
    const cv::Mat line(size, CV_8UC3, cv::Scalar(7, 7, 7));
    growth.start(line, {size.width - 1, size.height - 1}, 0);
    EXPECT_EQ(growth.area(), line.total()) << size;
  }
}

TEST(RegionGrowthTest, ClearFreesAndStartsOver) {
  const cv::Mat photo = noise();
  RegionGrowth growth;
  growth.start(photo, {5, 5}, 40);
  ASSERT_TRUE(growth.active());
  growth.clear();
  EXPECT_FALSE(growth.active());
  EXPECT_EQ(growth.area(), 0u);
  EXPECT_EQ(growth.bounds(), cv::Rect());
  growth.setTolerance(60);  // inactive: nothing
  EXPECT_FALSE(growth.active());
  growth.start(photo, {40, 30}, 25);
  expectRegion(growth, expectedRegion(photo, {40, 30}, 25));
}

}  // namespace
}  // namespace scribeline
