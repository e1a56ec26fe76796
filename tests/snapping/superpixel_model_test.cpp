#include "snapping/superpixel_model.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <tuple>

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

TEST(BuildSuperpixelsTest, PixelListsInRasterOrderCoverEveryPixelOnce) {
  const unsigned seed = 7;
  std::mt19937 random(seed);
  const int width = 37, height = 23, n = 9;
  std::vector<int> map(width * height);
  for (int& v : map) v = random() % n;
  for (int s = 0; s < n; ++s) map[s * 11] = s;
  cv::Mat image(height, width, CV_8UC3);
  cv::randu(image, 0, 256);

  const std::vector<Superpixel> superpixels =
      buildSuperpixels(image, map.data(), n);
  ASSERT_EQ(superpixels.size(), static_cast<size_t>(n));
  std::vector<int> seen(width * height, 0);
  for (int s = 0; s < n; ++s) {
    const Superpixel& superpixel = superpixels[s];
    EXPECT_EQ(superpixel.seed, -1);
    EXPECT_TRUE(superpixel.neighbours.empty());
    cv::Vec3d sum(0, 0, 0);
    for (size_t k = 0; k < superpixel.pixels.size(); ++k) {
      const PixelPos p = superpixel.pixels[k];
      ASSERT_EQ(map[p.row * width + p.col], s) << "seed " << seed;
      ++seen[p.row * width + p.col];
      if (k > 0) {
        const PixelPos q = superpixel.pixels[k - 1];
        EXPECT_LT(q.row * width + q.col, p.row * width + p.col)
            << "seed " << seed;
      }
      const cv::Vec3b colour = image.at<cv::Vec3b>(p.row, p.col);
      sum += cv::Vec3d(colour[0], colour[1], colour[2]);
    }
    const double count = static_cast<double>(superpixel.pixels.size());
    EXPECT_FLOAT_EQ(superpixel.meanB, sum[0] / count) << "seed " << seed;
    EXPECT_FLOAT_EQ(superpixel.meanG, sum[1] / count) << "seed " << seed;
    EXPECT_FLOAT_EQ(superpixel.meanR, sum[2] / count) << "seed " << seed;
  }
  for (int count : seen) ASSERT_EQ(count, 1) << "seed " << seed;
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
  EXPECT_EQ(superpixels[0].pixels.size(), static_cast<size_t>(width) * height);
}

}  // namespace
}  // namespace scribeline
