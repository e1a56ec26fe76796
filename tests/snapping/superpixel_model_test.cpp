#include "snapping/superpixel_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>

namespace scribeline {
namespace {

// Records with a dense map and superpixel records for each of its values.
std::vector<Superpixel> superpixelsForMap(const std::vector<int>& map) {
  int n = 0;
  for (int v : map) n = std::max(n, v + 1);
  return std::vector<Superpixel>(n);
}

struct AdjacencyCase {
  const char* name;
  int width;
  int height;
  std::vector<int> map;
  std::vector<std::vector<int>> expected;  // neighbours of 0, 1, ...
};

class AdjacencyTest : public testing::TestWithParam<AdjacencyCase> {};

TEST_P(AdjacencyTest, NeighbourSetsFollowTheThreeComparisons) {
  const AdjacencyCase& c = GetParam();
  std::vector<Superpixel> superpixels = superpixelsForMap(c.map);
  findNeighbours(c.map.data(), c.width, c.height, superpixels);
  ASSERT_EQ(superpixels.size(), c.expected.size());
  for (size_t s = 0; s < superpixels.size(); ++s) {
    EXPECT_EQ(superpixels[s].neighbours, c.expected[s]) << "superpixel " << s;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Maps, AdjacencyTest,
    testing::Values(
        AdjacencyCase{"LastRowContactIgnored",
                      4,
                      3,
                      {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2},
                      {{1, 2}, {0}, {0}}},
        AdjacencyCase{"LastColumnContactIgnored",
                      3,
                      4,
                      {0, 0, 1, 0, 0, 1, 0, 0, 2, 0, 0, 2},
                      {{1, 2}, {0}, {0}}},
        AdjacencyCase{"LowerLeftDiagonalIgnored",
                      2,
                      2,
                      {3, 1, 2, 3},
                      {{}, {3}, {3}, {1, 2}}},
        AdjacencyCase{"UpperLeftDiagonalCompared",
                      2,
                      2,
                      {1, 0, 0, 2},
                      {{1}, {0, 2}, {1}}},
        AdjacencyCase{"LongBorderStoredOnce",
                      6,
                      3,
                      {0, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2, 2, 2},
                      {{1, 2}, {0, 2}, {0, 1}}},
        AdjacencyCase{
            "SingleSuperpixel", 3, 3, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {{}}},
        AdjacencyCase{"OneRowImage", 4, 1, {0, 1, 2, 3}, {{}, {}, {}, {}}}),
    [](const testing::TestParamInfo<AdjacencyCase>& info) {
      return std::string(info.param.name);
    });

TEST(AdjacencyTest, RandomMapsMatchPairwiseRule) {
  const unsigned seed = 20261210;
  std::mt19937 random(seed);
  for (int round = 0; round < 50; ++round) {
    const int width = 1 + random() % 9, height = 1 + random() % 9,
              n = 1 + random() % 6;
    std::vector<int> map(width * height);
    for (int& v : map) v = random() % n;
    for (int s = 0; s < n; ++s) map[s % map.size()] = s;  // dense values
    std::vector<Superpixel> superpixels = superpixelsForMap(map);
    findNeighbours(map.data(), width, height, superpixels);

    std::vector<std::set<int>> expected(superpixels.size());
    auto contact = [&](int x0, int y0, int x1, int y1) {
      const int p = map[y0 * width + x0], q = map[y1 * width + x1];
      if (p == q) return;
      expected[p].insert(q);
      expected[q].insert(p);
    };
    for (int y = 0; y + 1 < height; ++y) {
      for (int x = 0; x + 1 < width; ++x) {
        contact(x, y, x + 1, y);
        contact(x, y, x, y + 1);
        contact(x, y, x + 1, y + 1);
      }
    }
    for (size_t s = 0; s < superpixels.size(); ++s) {
      EXPECT_EQ(superpixels[s].neighbours,
                std::vector<int>(expected[s].begin(), expected[s].end()))
          << "seed " << seed << " round " << round << " superpixel " << s;
    }
  }
}

TEST(NeighbourPairsTest, SuperpixelZeroSitsOutAndEveryOtherPairComesTwice) {
  // 0 touches 1 and 2; 1, 2 and 3 all touch each other.
  const int width = 4, height = 3;
  const std::vector<int> map = {0, 0, 0, 0, 1, 1, 2, 2, 1, 3, 3, 3};
  cv::Mat image(height, width, CV_8UC3);
  const cv::Vec3b colours[] = {
      {0, 0, 0}, {10, 20, 30}, {20, 30, 40}, {10, 20, 30}};
  for (int i = 0; i < width * height; ++i) {
    image.at<cv::Vec3b>(i / width, i % width) = colours[map[i]];
  }
  std::vector<Superpixel> superpixels = buildSuperpixels(image, map.data(), 4);
  findNeighbours(map.data(), width, height, superpixels);
  ASSERT_EQ(superpixels[0].neighbours, (std::vector<int>{1, 2}));
  ASSERT_EQ(superpixels[1].neighbours, (std::vector<int>{0, 2, 3}));

  std::vector<std::tuple<int, int, float>> declared;
  forEachNeighbourPair(superpixels, [&](int i, int j, float w) {
    declared.emplace_back(i, j, w);
  });
  const float differ = 1000.0f / 301.0f;  // 10 apart in every channel
  const std::vector<std::tuple<int, int, float>> expected = {
      {1, 2, differ}, {1, 3, 1000.0f}, {2, 1, differ},
      {2, 3, differ}, {3, 1, 1000.0f}, {3, 2, differ}};
  ASSERT_EQ(declared.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(std::get<0>(declared[k]), std::get<0>(expected[k])) << k;
    EXPECT_EQ(std::get<1>(declared[k]), std::get<1>(expected[k])) << k;
    EXPECT_FLOAT_EQ(std::get<2>(declared[k]), std::get<2>(expected[k])) << k;
  }
}

TEST(NeighbourWeightTest, ExtendedPrecisionRoundedToFloat) {
  Superpixel a, b;
  a.meanR = 100.25f, a.meanG = 3.5f, a.meanB = 0.125f;
  b.meanR = 90.0f, b.meanG = 7.0f, b.meanB = 255.0f;
  const long double d2 = (100.25L - 90) * (100.25L - 90) + 3.5L * 3.5L +
                         (0.125L - 255) * (0.125L - 255);
  EXPECT_EQ(neighbourWeight(a, b), static_cast<float>(1000.0L / (1.0L + d2)));
  EXPECT_EQ(neighbourWeight(a, a), 1000.0f);
  EXPECT_EQ(neighbourWeight(b, a), neighbourWeight(a, b));
}

// What a superpixel's record should hold, found by scanning the whole map:
// its pixels in raster order and their bounding box.
struct Scan {
  std::vector<std::pair<int, int>> pixels;  // (row, col)
  int top = INT_MAX, left = INT_MAX, bottom = INT_MIN, right = INT_MIN;
};

Scan scanMap(const std::vector<int>& map, int width, int s) {
  Scan scan;
  for (size_t i = 0; i < map.size(); ++i) {
    if (map[i] != s) continue;
    const int row = static_cast<int>(i) / width;
    const int col = static_cast<int>(i) % width;
    scan.pixels.emplace_back(row, col);
    scan.top = std::min(scan.top, row);
    scan.bottom = std::max(scan.bottom, row);
    scan.left = std::min(scan.left, col);
    scan.right = std::max(scan.right, col);
  }
  return scan;
}

std::vector<std::pair<int, int>> visitedPixels(const Superpixel& superpixel,
                                               int s,
                                               const std::vector<int>& map,
                                               int width) {
  std::vector<std::pair<int, int>> visited;
  forEachPixelOf(superpixel, s, map.data(), width,
                 [&](int row, int col) { visited.emplace_back(row, col); });
  return visited;
}

// The record of superpixel s against a scan of the map: count, box, and the
// pixels forEachPixelOf visits, which must be the scan's in its (raster)
// order. forEachRunOf gives the same pixels as maximal runs along rows.
void expectRecordMatchesMap(const Superpixel& superpixel, int s,
                            const std::vector<int>& map, int width,
                            const std::string& where) {
  const Scan scan = scanMap(map, width, s);
  EXPECT_EQ(superpixel.count, scan.pixels.size()) << where;
  EXPECT_EQ(superpixel.top, scan.top) << where;
  EXPECT_EQ(superpixel.left, scan.left) << where;
  EXPECT_EQ(superpixel.bottom, scan.bottom) << where;
  EXPECT_EQ(superpixel.right, scan.right) << where;
  EXPECT_EQ(visitedPixels(superpixel, s, map, width), scan.pixels) << where;

  std::vector<std::pair<int, int>> fromRuns;
  forEachRunOf(superpixel, s, map.data(), width,
               [&](int row, int begin, int end) {
                 ASSERT_LT(begin, end) << where;
                 const int* line = map.data() + row * width;
                 EXPECT_TRUE(begin == 0 || line[begin - 1] != s) << where;
                 EXPECT_TRUE(end == width || line[end] != s) << where;
                 for (int col = begin; col < end; ++col)
                   fromRuns.emplace_back(row, col);
               });
  EXPECT_EQ(fromRuns, scan.pixels) << where;
}

// Maps drawn row by row, one digit per pixel: each superpixel's pixels are
// found from its record and the map alone, whatever its shape.
struct ShapeCase {
  const char* name;
  std::vector<std::string> rows;
};

void PrintTo(const ShapeCase& c, std::ostream* out) { *out << c.name; }

class PixelsOfSuperpixelTest : public testing::TestWithParam<ShapeCase> {};

TEST_P(PixelsOfSuperpixelTest, VisitsExactlyItsPixelsInRasterOrder) {
  const ShapeCase& c = GetParam();
  const int height = static_cast<int>(c.rows.size());
  const int width = static_cast<int>(c.rows[0].size());
  std::vector<int> map;
  for (const std::string& row : c.rows) {
    ASSERT_EQ(static_cast<int>(row.size()), width);
    for (char digit : row) map.push_back(digit - '0');
  }
  const int n = *std::max_element(map.begin(), map.end()) + 1;
  cv::Mat image(height, width, CV_8UC3);
  cv::randu(image, 0, 256);
  const std::vector<Superpixel> superpixels =
      buildSuperpixels(image, map.data(), n);
  ASSERT_EQ(superpixels.size(), static_cast<size_t>(n));
  for (int s = 0; s < n; ++s) {
    expectRecordMatchesMap(superpixels[s], s, map, width,
                           "superpixel " + std::to_string(s));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PixelsOfSuperpixelTest,
    testing::Values(
        // 1 is a U open at the top, 0 fills it and the corners.
        ShapeCase{"NonConvex", {"010010", "010010", "011110", "000000"}},
        // 1 wraps around 2 with a hole; 0 is the frame touching every edge.
        ShapeCase{
            "WrappedAround",
            {"0000000", "0111110", "0122210", "0121210", "0111110", "0000000"}},
        // Each corner and edge of the image belongs to another superpixel;
        // 3 reaches from the top row to the bottom one.
        ShapeCase{"TouchingTheEdges", {"1033302", "0003000", "4443555"}},
        // 1 is one pixel in the middle, 2 and 3 one pixel in corners.
        ShapeCase{"SinglePixels", {"20000", "00100", "00003"}},
        // 1 comes in pieces apart from each other on one row and across rows.
        ShapeCase{"InPieces", {"10101", "00000", "01001"}},
        ShapeCase{"OnePixelImage", {"0"}},
        ShapeCase{"OneColumn", {"0", "1", "0", "1"}}),
    [](const testing::TestParamInfo<ShapeCase>& info) {
      return std::string(info.param.name);
    });

// Overlapping rectangles painted over each other leave superpixels of every
// shape (holes, pieces, boxes from one pixel to the whole image): the counts,
// boxes and visited pixels match a scan of the map, every pixel belongs to
// one superpixel, and the means are the colour sums in raster order, in
// double, over the count.
TEST(BuildSuperpixelsTest, RecordsMatchAScanOfTheMap) {
  const unsigned seed = 7;
  std::mt19937 random(seed);
  for (int round = 0; round < 20; ++round) {
    const int width = 1 + random() % 40, height = 1 + random() % 30;
    std::vector<int> map(width * height, 0);
    const int rectangles = random() % 12;
    for (int r = 1; r <= rectangles; ++r) {
      const int x0 = random() % width, y0 = random() % height;
      const int x1 = x0 + random() % (width - x0);
      const int y1 = y0 + random() % (height - y0);
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) map[y * width + x] = r;
    }
    // Numbers in order of appearance, so that every one occurs.
    std::map<int, int> renumber;
    for (int& v : map) v = renumber.emplace(v, renumber.size()).first->second;
    const int n = static_cast<int>(renumber.size());
    cv::Mat image(height, width, CV_8UC3);
    cv::randu(image, 0, 256);

    const std::vector<Superpixel> superpixels =
        buildSuperpixels(image, map.data(), n);
    ASSERT_EQ(superpixels.size(), static_cast<size_t>(n));
    std::vector<int> seen(width * height, 0);
    for (int s = 0; s < n; ++s) {
      const std::string where = "seed " + std::to_string(seed) + " round " +
                                std::to_string(round) + " superpixel " +
                                std::to_string(s);
      const Superpixel& superpixel = superpixels[s];
      EXPECT_EQ(superpixel.seed, -1) << where;
      EXPECT_TRUE(superpixel.neighbours.empty()) << where;
      expectRecordMatchesMap(superpixel, s, map, width, where);
      cv::Vec3d sum(0, 0, 0);
      for (const auto& [row, col] : visitedPixels(superpixel, s, map, width)) {
        ++seen[row * width + col];
        const cv::Vec3b colour = image.at<cv::Vec3b>(row, col);
        sum += cv::Vec3d(colour[0], colour[1], colour[2]);
      }
      const double count = static_cast<double>(superpixel.count);
      EXPECT_EQ(superpixel.meanB, static_cast<float>(sum[0] / count)) << where;
      EXPECT_EQ(superpixel.meanG, static_cast<float>(sum[1] / count)) << where;
      EXPECT_EQ(superpixel.meanR, static_cast<float>(sum[2] / count)) << where;
    }
    for (int count : seen) ASSERT_EQ(count, 1) << "round " << round;
  }
}

TEST(BuildSuperpixelsTest, MeansOfHugeSuperpixelsStayExact) {
  // 6 million pixels: the colour sums pass 2^24 many times over.
  const int width = 3000, height = 2000;
  const cv::Mat image(height, width, CV_8UC3, cv::Scalar(37, 201, 254));
  const std::vector<int> map(static_cast<size_t>(width) * height, 0);
  const std::vector<Superpixel> superpixels =
      buildSuperpixels(image, map.data(), 1);
  EXPECT_EQ(superpixels[0].meanB, 37.0f);
  EXPECT_EQ(superpixels[0].meanG, 201.0f);
  EXPECT_EQ(superpixels[0].meanR, 254.0f);
  EXPECT_EQ(superpixels[0].count, static_cast<size_t>(width) * height);
  EXPECT_EQ(superpixels[0].top, 0);
  EXPECT_EQ(superpixels[0].left, 0);
  EXPECT_EQ(superpixels[0].bottom, height - 1);
  EXPECT_EQ(superpixels[0].right, width - 1);
}

}  // namespace
}  // namespace scribeline
