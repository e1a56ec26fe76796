// Superpixels crossed by strokes of several labels: each stroke's label
// holds at and around the stroke, and nothing else changes.
#include "snapping/stroke_split.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "palette/palette.h"
#include "snapping/lsnapper.h"

namespace scribeline {
namespace {

// A photo whose columns left of `split` form superpixel 0 and the others
// superpixel 1; within superpixel 0 the columns from `edge` on have a second
// colour, an edge the over-segmentation did not keep.
struct TwoRegionPhoto {
  int width, height, split, edge;
  cv::Vec3b left, beyondEdge, right;
};

std::unique_ptr<LSnapper> snapperOver(const TwoRegionPhoto& photo,
                                      cv::Mat& image) {
  image.create(photo.height, photo.width, CV_8UC3);
  for (int y = 0; y < photo.height; ++y) {
    for (int x = 0; x < photo.width; ++x) {
      image.at<cv::Vec3b>(y, x) = x >= photo.split  ? photo.right
                                  : x >= photo.edge ? photo.beyondEdge
                                                    : photo.left;
    }
  }
  auto snapper = std::make_unique<LSnapper>(image, numLabels);
  snapper->superpixelMap.resize(image.total());
  for (int y = 0; y < photo.height; ++y) {
    for (int x = 0; x < photo.width; ++x) {
      snapper->superpixelMap[static_cast<size_t>(y) * photo.width + x] =
          x >= photo.split ? 1 : 0;
    }
  }
  snapper->n = 2;
  buildSnapperModel(*snapper);
  return snapper;
}

// A stroke down the whole column x.
Stroke column(int x, int height) { return {{x, 0}, {x, height - 1}}; }

int labelAt(const cv::Mat& mask, int x, int y) {
  const cv::Vec3b pixel = mask.at<cv::Vec3b>(y, x);
  for (int l = 0; l < numLabels; ++l) {
    if (labelPixel(l) == pixel) return l;
  }
  return -1;
}

struct SplitCase {
  std::string name;
  TwoRegionPhoto photo;
  int lowX, highX;  // columns of the label-2 and the label-5 stroke
  // The label-2 stroke's label reaches up to this column, the label-5
  // stroke's from `highFrom` on (equal: the boundary is exact).
  int lowUpTo, highFrom;
};

class SplitTest : public testing::TestWithParam<SplitCase> {};

void PrintTo(const SplitCase& c, std::ostream* out) { *out << c.name; }

// The brushes (5 pixels wide) end at lowX + 2 and highX - 2. In one colour
// the nearer stroke by straight steps wins; an edge inside the superpixel
// costs its colour difference summed over the channels (30 here; more than
// 26 holds the boundary there) to cross, so the boundary moves to it. A
// superpixel of more than kMostSplitCells pixels is split over 2 x 2 cells;
// the cells along the boundary are then searched pixel by pixel, so an edge
// that halves a cell still holds the boundary (at an equal distance from
// both strokes, column 550 in OverCells, either label may win).
const SplitCase kSplitCases[] = {
    {"OneColour",
     {80, 40, 60, 60, {100, 100, 100}, {}, {200, 0, 0}},
     10,
     45,
     27,
     28},
    {"EdgeInside",
     {80, 40, 60, 35, {100, 100, 100}, {110, 110, 110}, {200, 0, 0}},
     10,
     45,
     34,
     35},
    {"OverCells",
     {1300, 900, 1250, 1250, {90, 120, 60}, {}, {200, 0, 0}},
     100,
     1000,
     549,
     551},
    {"OverCellsEdgeInside",
     {1300, 900, 1250, 545, {90, 120, 60}, {100, 130, 70}, {200, 0, 0}},
     100,
     1000,
     544,
     545},
};

TEST_P(SplitTest, EachStrokeKeepsItsLabelAroundIt) {
  const SplitCase& c = GetParam();
  cv::Mat image, mask;
  const auto snapper = snapperOver(c.photo, image);
  snapper->labelStrokes[2].push_back(column(c.lowX, c.photo.height));
  snapper->labelStrokes[5].push_back(column(c.highX, c.photo.height));
  runSnapper(*snapper, 0.3f);
  rebuildMaskFromSuperpixels(*snapper, mask);

  ASSERT_EQ(snapper->splits.size(), 1u);
  EXPECT_EQ(snapper->splits[0].superpixel, 0);
  // The cases named OverCells are split over cells, the others pixel by
  // pixel.
  EXPECT_EQ(snapper->superpixels[0].count > kMostSplitCells,
            c.name.rfind("OverCells", 0) == 0);
  const int otherLabel = snapper->superpixelLabels[1];
  for (int y = 0; y < c.photo.height; ++y) {
    for (int x = 0; x < c.photo.width; ++x) {
      const int expected = x >= c.photo.split ? otherLabel
                           : x <= c.lowUpTo   ? 2
                           : x >= c.highFrom  ? 5
                                              : -1;
      if (expected == -1) continue;
      ASSERT_EQ(labelAt(mask, x, y), expected) << "x " << x << " y " << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Photos, SplitTest, testing::ValuesIn(kSplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) {
                           return info.param.name;
                         });

// A U-shaped superpixel around a gap (another superpixel): the distance is
// measured along paths inside the U, so a pixel of the right arm near the
// label-2 stroke across the gap still goes to the label-5 stroke up its own
// arm.
TEST(SplitCrossingTest, PathsGoAroundOtherSuperpixels) {
  const cv::Mat image(60, 60, CV_8UC3, cv::Scalar(100, 100, 100));
  LSnapper snapper(image, numLabels);
  snapper.superpixelMap.resize(image.total());
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 60; ++x) {
      snapper.superpixelMap[y * 60 + x] = x >= 25 && x < 35 && y < 50 ? 1 : 0;
    }
  }
  snapper.n = 2;
  buildSnapperModel(snapper);
  snapper.labelStrokes[2].push_back({{15, 30}, {22, 30}});
  snapper.labelStrokes[5].push_back({{40, 2}, {55, 2}});
  runSnapper(snapper, 0.3f);
  cv::Mat mask;
  rebuildMaskFromSuperpixels(snapper, mask);
  ASSERT_EQ(snapper.splits.size(), 1u);
  // Across the gap the label-2 brush is 16 steps away, up the arm the
  // label-5 brush 26; around the gap's end the label-2 brush is farther.
  for (int x = 35; x < 60; ++x) {
    for (int y = 0; y < 40; ++y) {
      ASSERT_EQ(labelAt(mask, x, y), 5) << "x " << x << " y " << y;
    }
  }
  for (int x = 0; x < 25; ++x) {
    for (int y = 20; y < 40; ++y) {
      ASSERT_EQ(labelAt(mask, x, y), 2) << "x " << x << " y " << y;
    }
  }
}

// Where the brushes of two labels overlap, the higher label holds the shared
// pixels, as in the stroke paint; each stroke keeps the rest of its own.
TEST(SplitCrossingTest, CrossingStrokesKeepTheirOwnPixels) {
  cv::Mat image, mask;
  const auto snapper =
      snapperOver({60, 60, 60, 60, {100, 100, 100}, {}, {0, 0, 0}}, image);
  snapper->labelStrokes[7].push_back({{5, 30}, {54, 30}});  // across
  snapper->labelStrokes[3].push_back({{30, 5}, {30, 54}});  // down
  runSnapper(*snapper, 0.3f);
  rebuildMaskFromSuperpixels(*snapper, mask);
  ASSERT_EQ(snapper->splits.size(), 1u);
  EXPECT_EQ(labelAt(mask, 30, 30), 7);
  for (int k : {5, 15, 24, 36, 45, 54}) {
    EXPECT_EQ(labelAt(mask, k, 30), 7) << k;
    EXPECT_EQ(labelAt(mask, 30, k), 3) << k;
  }
}

// Strokes of one label per superpixel (also several strokes of one label in
// one superpixel) split nothing: the mask is the superpixels' labels, as
// without splitting.
TEST(SplitCrossingTest, OneLabelPerSuperpixelSplitsNothing) {
  cv::Mat image, mask;
  const TwoRegionPhoto photo{80, 40, 40, 40, {0, 0, 200}, {}, {200, 0, 0}};
  const auto snapper = snapperOver(photo, image);
  snapper->labelStrokes[2].push_back(column(5, photo.height));
  snapper->labelStrokes[2].push_back(column(30, photo.height));
  snapper->labelStrokes[5].push_back(column(60, photo.height));
  runSnapper(*snapper, 0.3f);
  EXPECT_TRUE(snapper->splits.empty());
  EXPECT_TRUE(splitSharedSuperpixels(
                  image, snapper->labelStrokes, snapper->superpixelMap.data(),
                  snapper->superpixels, snapper->superpixelLabels)
                  .empty());
  rebuildMaskFromSuperpixels(*snapper, mask);
  EXPECT_EQ(snapper->superpixelLabels, (std::vector<int>{2, 5}));
  for (int y = 0; y < photo.height; ++y) {
    for (int x = 0; x < photo.width; ++x) {
      ASSERT_EQ(labelAt(mask, x, y), x < photo.split ? 2 : 5)
          << "x " << x << " y " << y;
    }
  }
}

// The splits a solve leaves are part of the snapper's state: a later solve
// whose strokes no longer share a superpixel drops them, and paintSplits
// rejects runs that do not cover their superpixel.
TEST(SplitCrossingTest, SplitsFollowTheStrokesOfEachSolve) {
  cv::Mat image, mask;
  const TwoRegionPhoto photo{80, 40, 60, 60, {100, 100, 100}, {}, {0, 0, 0}};
  const auto snapper = snapperOver(photo, image);
  snapper->labelStrokes[2].push_back(column(10, photo.height));
  snapper->labelStrokes[5].push_back(column(45, photo.height));
  runSnapper(*snapper, 0.3f);
  ASSERT_EQ(snapper->splits.size(), 1u);
  std::vector<SuperpixelSplit> broken = snapper->splits;
  broken[0].runs.back().length += 1;
  mask.create(image.size(), CV_8UC3);
  EXPECT_THROW(paintSplits(broken, snapper->superpixels,
                           snapper->superpixelMap.data(), mask),
               cv::Exception);

  snapper->labelStrokes[2].clear();
  runSnapper(*snapper, 0.3f);
  EXPECT_TRUE(snapper->splits.empty());
  rebuildMaskFromSuperpixels(*snapper, mask);
  EXPECT_EQ(labelAt(mask, 10, 20), 5);
}

// Runs of labels laid over superpixels whose rows hold several stretches of
// them (1 wraps around 2, and both are split): the runs are handed out over
// each superpixel's pixels in raster order, across stretches and rows, empty
// runs included, and paintSplits writes exactly those pixels.
TEST(SplitPixelsTest, RunsFollowEachSuperpixelsPixelsInRasterOrder) {
  const int width = 6, height = 5;
  const std::vector<int> map = {0, 0, 0, 0, 0, 0,  //
                                0, 1, 1, 1, 1, 0,  //
                                0, 1, 2, 2, 1, 0,  //
                                0, 1, 2, 1, 1, 0,  //
                                0, 1, 1, 1, 0, 0};
  const cv::Mat image(height, width, CV_8UC3, cv::Scalar(10, 20, 30));
  const std::vector<Superpixel> superpixels =
      buildSuperpixels(image, map.data(), 3);
  ASSERT_EQ(superpixels[1].count, 12u);
  ASSERT_EQ(superpixels[2].count, 3u);
  const std::vector<SuperpixelSplit> splits = {
      {1, {{3, 4}, {0, 1}, {2, 6}, {5, 3}, {2, 7}}}, {2, {{1, 2}, {2, 0}}}};

  // The labels of every pixel, from the runs over the map in raster order.
  std::vector<int> expected(map.size(), -1);
  for (const SuperpixelSplit& split : splits) {
    std::vector<int> labels;
    for (const LabelRun& run : split.runs)
      labels.insert(labels.end(), run.length, run.label);
    size_t next = 0;
    for (size_t i = 0; i < map.size(); ++i) {
      if (map[i] == split.superpixel) expected[i] = labels.at(next++);
    }
    ASSERT_EQ(next, labels.size());
  }

  std::vector<std::pair<size_t, cv::Vec3b>> visited;
  forEachSplitPixel(splits, superpixels, map.data(), width,
                    [&](int row, int col, cv::Vec3b colour) {
                      visited.emplace_back(size_t(row) * width + col, colour);
                    });
  std::vector<std::pair<size_t, cv::Vec3b>> wanted;
  for (const int s : {1, 2}) {
    for (size_t i = 0; i < map.size(); ++i) {
      if (map[i] == s) wanted.emplace_back(i, labelPixel(expected[i]));
    }
  }
  EXPECT_EQ(visited, wanted);

  const cv::Vec3b blank(1, 2, 3);
  cv::Mat mask(height, width, CV_8UC3, cv::Scalar(blank));
  paintSplits(splits, superpixels, map.data(), mask);
  for (size_t i = 0; i < map.size(); ++i) {
    const cv::Vec3b pixel = mask.at<cv::Vec3b>(int(i) / width, int(i) % width);
    EXPECT_EQ(pixel, expected[i] == -1 ? blank : labelPixel(expected[i]))
        << "pixel " << i;
  }

  // Runs one pixel short or one pixel long are rejected before any paint.
  for (const int change : {-1, 1}) {
    std::vector<SuperpixelSplit> broken = splits;
    broken[1].runs.front().length += change;
    cv::Mat untouched(height, width, CV_8UC3, cv::Scalar(blank));
    EXPECT_THROW(paintSplits(broken, superpixels, map.data(), untouched),
                 cv::Exception);
    const cv::Mat blankMask(height, width, CV_8UC3, cv::Scalar(blank));
    EXPECT_EQ(cv::norm(untouched, blankMask, cv::NORM_INF), 0.0);
  }
}

}  // namespace
}  // namespace scribeline
