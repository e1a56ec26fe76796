#include "scissors/link_costs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "scissors/iscissor.h"
#include "tests/scissors/test_images.h"

namespace scribeline {
namespace {

using testing_images::greyImage;
using testing_images::randomImage;

constexpr double kAxisFlat = 255.0 / kSqrt2;  // axis link of raw strength 0
constexpr double kHalfStep =
    255.0 * (1.0 / kSqrt2 - 0.5);  // axis link of strength M / sqrt 2

// A flat grey 7 x 5 image, 100 in columns 0 to 3 and 140 in columns 4 to 6.
cv::Mat verticalStep() {
  cv::Mat image(5, 7, CV_8UC3, cv::Scalar(100, 100, 100));
  image.colRange(4, 7).setTo(cv::Scalar(140, 140, 140));
  return image;
}

TEST(LinkCosts, VerticalStepMakesTheDiagonalsAcrossItFree) {
  const cv::Mat image = verticalStep();
  const IScissor scissor(image);
  EXPECT_NEAR(scissor.maxStrength(), 40.0 / kSqrt2, 1e-12);

  struct Row {
    int x, y;
    std::array<double, 8> costs;
  };
  const Row rows[] = {
      // Left of the step: the links to (4, 1) and (4, 3) join the columns.
      {3,
       2,
       {kAxisFlat, 0.0, kHalfStep, 255.0, kAxisFlat, 255.0, kHalfStep, 0.0}},
      // Right of the step: the links to (3, 1) and (3, 3).
      {4,
       2,
       {kAxisFlat, 255.0, kHalfStep, 0.0, kAxisFlat, 0.0, kHalfStep, 255.0}},
      // Away from the step everything is flat.
      {1,
       2,
       {kAxisFlat, 255.0, kAxisFlat, 255.0, kAxisFlat, 255.0, kAxisFlat,
        255.0}},
  };
  for (const Row& row : rows) {
    for (int k = 0; k < 8; ++k) {
      SCOPED_TRACE(::testing::Message()
                   << "pixel (" << row.x << ", " << row.y << ") k " << k);
      EXPECT_NEAR(scissor.linkCost(row.x, row.y, k), row.costs[k], 1e-9);
    }
  }
}

TEST(LinkCosts, CheapestRouteAlongTheStepZigzags) {
  const cv::Mat image = verticalStep();
  IScissor scissor(image);
  scissor.searchFromSeed(3, 1);
  EXPECT_EQ(scissor.node(3, 3).pathCost, 0.0);
  EXPECT_EQ(scissor.predecessor({3, 3}), cv::Point(4, 2));
  EXPECT_EQ(scissor.node(4, 4).pathCost, 0.0);
  EXPECT_EQ(scissor.predecessor({4, 4}), cv::Point(3, 3));
}

// Grey 3 x 3 image; every channel holds the same value, so a raw strength is
// the absolute channel difference.
cv::Mat fallbackImage() {
  return greyImage({{10, 50, 90}, {20, 70, 130}, {40, 100, 200}});
}

struct FallbackRow {
  int x, y, k;
  double strength;
};

void PrintTo(const FallbackRow& row, std::ostream* os) {
  *os << "pixel (" << row.x << ", " << row.y << ") k " << row.k;
}

class EdgeStrengthFallbacks : public ::testing::TestWithParam<FallbackRow> {};

TEST_P(EdgeStrengthFallbacks, OutsideNeighboursAreReplaced) {
  const FallbackRow& row = GetParam();
  const cv::Mat image = fallbackImage();
  std::array<double, 8> strengths;
  edgeStrengths(image, row.x, row.y, strengths);
  EXPECT_NEAR(strengths[row.k], row.strength, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    LinkCosts, EdgeStrengthFallbacks,
    ::testing::Values(
        // Left border (0, 1): N4 is the pixel, N3 falls back to up, N5 to down.
        FallbackRow{0, 1, 0, 20.0}, FallbackRow{0, 1, 2, 22.5},
        FallbackRow{0, 1, 3, 10.0 / kSqrt2}, FallbackRow{0, 1, 4, 15.0},
        FallbackRow{0, 1, 5, 20.0 / kSqrt2}, FallbackRow{0, 1, 6, 27.5},
        // Top-left corner: N1 falls back to right, N3 to the pixel, N5 to down.
        FallbackRow{0, 0, 0, 7.5}, FallbackRow{0, 0, 1, 40.0 / kSqrt2},
        FallbackRow{0, 0, 2, 20.0}, FallbackRow{0, 0, 3, 0.0},
        FallbackRow{0, 0, 4, 5.0}, FallbackRow{0, 0, 5, 10.0 / kSqrt2},
        FallbackRow{0, 0, 6, 22.5}, FallbackRow{0, 0, 7, 30.0 / kSqrt2},
        // Bottom-right corner: N1 falls back to up, N5 to left, N7 to the
        // pixel.
        FallbackRow{2, 2, 0, 35.0}, FallbackRow{2, 2, 1, 70.0 / kSqrt2},
        FallbackRow{2, 2, 2, 40.0}, FallbackRow{2, 2, 3, 30.0 / kSqrt2},
        FallbackRow{2, 2, 4, 25.0}, FallbackRow{2, 2, 5, 100.0 / kSqrt2},
        FallbackRow{2, 2, 6, 50.0}, FallbackRow{2, 2, 7, 0.0},
        // Top border (1, 0): N1 falls back to right, N3 to left.
        FallbackRow{1, 0, 0, 15.0}, FallbackRow{1, 0, 2, 40.0},
        FallbackRow{1, 0, 4, 7.5}, FallbackRow{1, 0, 6, 47.5}));

TEST(LinkCosts, OneByOneImageHasOnlyZeroStrengths) {
  const cv::Mat image(1, 1, CV_8UC3, cv::Scalar(12, 200, 31));
  std::array<double, 8> strengths;
  EXPECT_EQ(edgeStrengths(image, 0, 0, strengths), 0.0);
  for (double strength : strengths) EXPECT_EQ(strength, 0.0);

  IScissor scissor(image);
  EXPECT_EQ(scissor.maxStrength(), 0.0);
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(scissor.linkCost(0, 0, k), kUniformLinkCost);
  scissor.searchFromSeed(0, 0);
  const ScissorNode seed = scissor.node(0, 0);
  EXPECT_EQ(seed.searchState, kExpanded);
  EXPECT_EQ(seed.pathCost, 0.0);
  EXPECT_FALSE(seed.prev.has_value());
  EXPECT_TRUE(scissor.pathToSeed({0, 0}).empty());
}

TEST(LinkCosts, UniformImageGetsOneFiniteCostAndIsFullyReached) {
  const cv::Mat image(4, 6, CV_8UC3, cv::Scalar(90, 90, 90));
  IScissor scissor(image);
  scissor.searchFromSeed(5, 3);
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      const ScissorNode node = scissor.node(x, y);
      for (double cost : node.linkCost) EXPECT_EQ(cost, kUniformLinkCost);
      EXPECT_EQ(node.searchState, kExpanded);
      EXPECT_TRUE(testing_images::chainEndsAtSeed(scissor, {x, y}, {5, 3}));
      // Chebyshev distance steps of one constant cost each.
      EXPECT_EQ(node.pathCost, std::max(5 - x, 3 - y) * kUniformLinkCost);
    }
  }
}

// The stored costs against the definition: every link of every pixel equals
// normalisedLinkCost(edgeStrengths(...)) with M the largest strength of all,
// bit for bit. Covers the border pixels, the fast interior path and the
// links read from the neighbour's side.
struct ImageCase {
  int width, height, levels;  // levels 0: a smooth image
  std::uint32_t seed;
};

void PrintTo(const ImageCase& c, std::ostream* os) {
  *os << c.width << "x" << c.height << " levels " << c.levels << " seed "
      << c.seed;
}

class LinkCostsMatchDefinition : public ::testing::TestWithParam<ImageCase> {};

void expectCostsMatchDefinition(const cv::Mat& image) {
  const IScissor scissor(image);
  double strongest = 0.0;
  std::vector<std::array<double, 8>> strengths(image.total());
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      strongest = std::max(
          strongest, edgeStrengths(image, x, y, strengths[y * image.cols + x]));
    }
  }
  ASSERT_EQ(scissor.maxStrength(), strongest);
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      const ScissorNode node = scissor.node(x, y);
      for (int k = 0; k < 8; ++k) {
        ASSERT_EQ(
            node.linkCost[k],
            normalisedLinkCost(strengths[y * image.cols + x][k], k, strongest))
            << "pixel (" << x << ", " << y << ") k " << k;
      }
    }
  }
}

TEST_P(LinkCostsMatchDefinition, EveryLinkBitForBit) {
  const ImageCase& c = GetParam();
  SCOPED_TRACE(::testing::Message() << "seed " << c.seed);
  expectCostsMatchDefinition(
      c.levels == 0 ? testing_images::smoothImage(c.width, c.height, c.seed)
                    : randomImage(c.width, c.height, c.seed, c.levels));
}

// The byte differences (252, 255, 255) and (255, 255, 252) have the same sum
// of squares, but their diagonal sums differ in the last bit: the strongest
// link is the second, wherever it lies.
TEST(LinkCosts, StrongestAmongEqualSquareSumsIsExact) {
  for (const bool strongerFirst : {false, true}) {
    cv::Mat image(7, 7, CV_8UC3, cv::Scalar::all(0));
    image.at<cv::Vec3b>(3, strongerFirst ? 2 : 4) = cv::Vec3b(255, 255, 252);
    image.at<cv::Vec3b>(3, strongerFirst ? 4 : 2) = cv::Vec3b(252, 255, 255);
    SCOPED_TRACE(strongerFirst ? "stronger on the left"
                               : "stronger on the right");
    expectCostsMatchDefinition(image);
  }
}

INSTANTIATE_TEST_SUITE_P(
    LinkCosts, LinkCostsMatchDefinition,
    ::testing::Values(ImageCase{1, 1, 256, 1}, ImageCase{5, 1, 256, 2},
                      ImageCase{1, 6, 256, 3}, ImageCase{2, 2, 256, 4},
                      ImageCase{3, 3, 256, 5}, ImageCase{2, 7, 2, 6},
                      ImageCase{7, 5, 256, 7}, ImageCase{31, 17, 256, 8},
                      ImageCase{40, 37, 2, 9}, ImageCase{67, 45, 5, 10},
                      ImageCase{53, 31, 0, 11}, ImageCase{130, 70, 0, 12}));

}  // namespace
}  // namespace scribeline
