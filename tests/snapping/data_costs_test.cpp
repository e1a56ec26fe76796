#include "snapping/data_costs.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/stroke_map.h"

namespace scribeline {
namespace {

constexpr float kWeight = 0.3f / 0.7f;

Superpixel superpixelWithMean(float r, float g, float b, int seed = -1) {
  Superpixel superpixel;
  superpixel.meanR = r;
  superpixel.meanG = g;
  superpixel.meanB = b;
  superpixel.seed = seed;
  return superpixel;
}

ColourModel model(std::vector<cv::Vec3f> centres) {
  return ColourModel{std::move(centres)};
}

TEST(SeedSuperpixelsTest, HighestPaintedLabelWinsAndUnpaintedClears) {
  // Superpixels by pixel: 0 0 1 1 2 2 3 3
  const std::vector<int> map = {0, 0, 1, 1, 2, 2, 3, 3};
  const std::vector<unsigned char> strokes = {
      2, 5, kUnpainted, 0, kUnpainted, kUnpainted, 7, 3};
  std::vector<Superpixel> superpixels(4);
  superpixels[2].seed = 9;  // left over from an earlier run
  seedSuperpixels(strokes.data(), map.data(), 8, cv::Rect(0, 0, 8, 1),
                  superpixels);
  EXPECT_EQ(superpixels[0].seed, 5);
  EXPECT_EQ(superpixels[1].seed, 0);
  EXPECT_EQ(superpixels[2].seed, -1);
  EXPECT_EQ(superpixels[3].seed, 7);

  // Read as a 4 x 2 image, only its left half: the paint of superpixels 1
  // and 3 lies outside.
  seedSuperpixels(strokes.data(), map.data(), 4, cv::Rect(0, 0, 2, 2),
                  superpixels);
  EXPECT_EQ(superpixels[0].seed, 5);
  EXPECT_EQ(superpixels[1].seed, -1);
  EXPECT_EQ(superpixels[2].seed, -1);
  EXPECT_EQ(superpixels[3].seed, -1);
}

// Seeds found from the strokes alone must equal those read from the painted
// stroke map, for strokes that overlap across labels, leave the image, are
// clicks or single points, over a map of small irregular superpixels.
TEST(SeedSuperpixelsTest, FromStrokesMatchesThePaintedMap) {
  const unsigned seed = 20261210;
  std::mt19937 random(seed);
  const int width = 37, height = 23, n = 40;
  std::vector<int> map(width * height);
  for (int& s : map) s = static_cast<int>(random() % n);
  for (int s = 0; s < n; ++s) map[s] = s;  // every number occurs
  std::uniform_int_distribution<int> xs(-6, width + 5), ys(-6, height + 5);
  for (int trial = 0; trial < 50; ++trial) {
    LabelStrokes strokes(1 + trial % 6);
    for (auto& labelStrokes : strokes) {
      for (int k = static_cast<int>(random() % 3); k > 0; --k) {
        Stroke stroke(random() % 5, cv::Point(xs(random), ys(random)));
        for (cv::Point& p : stroke) p = cv::Point(xs(random), ys(random));
        if (k == 2 && !stroke.empty())
          stroke.push_back(stroke.back());  // click
        labelStrokes.push_back(stroke);
      }
    }
    std::vector<unsigned char> paint(width * height, kUnpainted);
    const cv::Rect painted = paintStrokes(strokes, paint.data(), height, width);
    std::vector<Superpixel> expected(n), actual(n);
    seedSuperpixels(paint.data(), map.data(), width, painted, expected);
    for (Superpixel& superpixel : actual) superpixel.seed = 3;  // stale
    seedSuperpixelsFromStrokes(strokes, map.data(), width, height, actual);
    for (int s = 0; s < n; ++s) {
      ASSERT_EQ(actual[s].seed, expected[s].seed)
          << "superpixel " << s << " trial " << trial << " seed " << seed;
    }
  }
}

TEST(BuildColourModelsTest, SamplesAreTruncatedMeansOfSeededSuperpixels) {
  std::vector<Superpixel> superpixels = {
      superpixelWithMean(100.9f, 50.5f, 10.99f, 1),
      superpixelWithMean(200.2f, 30.7f, 220.1f, 1),
      superpixelWithMean(0.5f, 0.5f, 0.5f, -1),
      superpixelWithMean(120.0f, 120.0f, 120.0f, 3)};
  const std::vector<ColourModel> models = buildColourModels(superpixels, 4);
  ASSERT_EQ(models.size(), 4u);
  EXPECT_TRUE(models[0].centres.empty());
  EXPECT_TRUE(models[2].centres.empty());
  ASSERT_EQ(models[1].centres.size(), 2u);
  EXPECT_EQ(models[1].centres[0], cv::Vec3f(100, 50, 10));
  EXPECT_EQ(models[1].centres[1], cv::Vec3f(200, 30, 220));
  ASSERT_EQ(models[3].centres.size(), 1u);
}

TEST(ComputeDataCostsTest, SeededSuperpixelCostsZeroForItsSeedOnly) {
  const std::vector<Superpixel> superpixels = {superpixelWithMean(1, 2, 3, 2)};
  const std::vector<ColourModel> models = {model({{0, 0, 0}, {9, 9, 9}}),
                                           model({}), model({}),
                                           model({{5, 5, 5}, {6, 6, 6}})};
  std::vector<float> table;
  computeDataCosts(superpixels, models, 0.3f, table);
  EXPECT_EQ(table, (std::vector<float>{kForbiddenCost, kForbiddenCost, 0.0f,
                                       kForbiddenCost}));
}

TEST(ComputeDataCostsTest, DistancesAreNormalisedOverUsableLabels) {
  // Label 0: centres at R 10 and R 100; label 1: a single centre (forbidden);
  // label 2: centres at G 40 and G 200; label 3: no strokes (forbidden).
  const std::vector<ColourModel> models = {
      model({{10, 0, 0}, {100, 0, 0}}), model({{13, 0, 0}}),
      model({{0, 40, 0}, {0, 200, 0}}), model({})};
  const std::vector<Superpixel> superpixels = {superpixelWithMean(13, 0, 4)};
  std::vector<float> table;
  computeDataCosts(superpixels, models, 0.3f, table);
  const float d0 = 3 * 3 + 4 * 4;              // nearest: R 10
  const float d2 = 13 * 13 + 40 * 40 + 4 * 4;  // nearest: G 40
  ASSERT_EQ(table.size(), 4u);
  EXPECT_FLOAT_EQ(table[0], kWeight * d0 / (d0 + d2));
  EXPECT_EQ(table[1], kForbiddenCost);
  EXPECT_FLOAT_EQ(table[2], kWeight * d2 / (d0 + d2));
  EXPECT_EQ(table[3], kForbiddenCost);
}

TEST(ComputeDataCostsTest, SingleUsableLabelCostsTheFullWeight) {
  const std::vector<ColourModel> models = {model({}),
                                           model({{0, 0, 0}, {255, 255, 255}})};
  const std::vector<Superpixel> superpixels = {superpixelWithMean(30, 60, 90),
                                               superpixelWithMean(200, 10, 0)};
  std::vector<float> table;
  computeDataCosts(superpixels, models, 0.3f, table);
  EXPECT_EQ(table, (std::vector<float>{kForbiddenCost, kWeight, kForbiddenCost,
                                       kWeight}));
  EXPECT_NEAR(kWeight, 0.4285714f, 1e-7f);
}

TEST(ComputeDataCostsTest, ExactMatchWithEveryUsableLabelCostsThemEqually) {
  const std::vector<ColourModel> models = {
      model({{50, 60, 70}, {1, 1, 1}}), model({}),
      model({{50, 60, 70}, {200, 1, 1}}), model({{50, 60, 70}, {1, 200, 1}})};
  const std::vector<Superpixel> superpixels = {superpixelWithMean(50, 60, 70)};
  std::vector<float> table;
  computeDataCosts(superpixels, models, 0.3f, table);
  const float third = kWeight * (1.0f / 3.0f);
  EXPECT_EQ(table, (std::vector<float>{third, kForbiddenCost, third, third}));
}

TEST(ComputeDataCostsTest, ExactMatchWithOneOfTwoLabelsIsFree) {
  const std::vector<ColourModel> models = {model({{50, 60, 70}, {1, 1, 1}}),
                                           model({{51, 60, 70}, {200, 1, 1}})};
  const std::vector<Superpixel> superpixels = {superpixelWithMean(50, 60, 70)};
  std::vector<float> table;
  computeDataCosts(superpixels, models, 0.3f, table);
  EXPECT_EQ(table, (std::vector<float>{0.0f, kWeight}));
}

TEST(ComputeDataCostsTest, WithoutUsableModelsEveryUnseededCostIsForbidden) {
  const std::vector<ColourModel> models = {model({}), model({{1, 2, 3}})};
  const std::vector<Superpixel> superpixels = {superpixelWithMean(1, 2, 3),
                                               superpixelWithMean(1, 2, 3, 1)};
  std::vector<float> table;
  computeDataCosts(superpixels, models, 0.3f, table);
  EXPECT_EQ(table, (std::vector<float>{kForbiddenCost, kForbiddenCost,
                                       kForbiddenCost, 0.0f}));
}

}  // namespace
}  // namespace scribeline
