#include "snapping/lsnapper.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "palette/palette.h"
#include "tests/support/snapper_reference.h"

namespace scribeline {
namespace {

// A photograph of blockSize x blockSize blocks, one superpixel per block,
// numbered in raster order of the blocks, each filled with its colour.
struct BlockPhoto {
  BlockPhoto(int blocksWide, int blocksHigh, int blockSize,
             const std::vector<cv::Vec3b>& colours)
      : image(blocksHigh * blockSize, blocksWide * blockSize, CV_8UC3),
        blocksWide(blocksWide),
        blockSize(blockSize) {
    for (int y = 0; y < image.rows; ++y) {
      for (int x = 0; x < image.cols; ++x) {
        image.at<cv::Vec3b>(y, x) = colours[blockAt(x, y)];
      }
    }
  }
  int blockAt(int x, int y) const {
    return (y / blockSize) * blocksWide + x / blockSize;
  }
  // Centre of a block, in image points.
  cv::Point centre(int block) const {
    return cv::Point((block % blocksWide) * blockSize + blockSize / 2,
                     (block / blocksWide) * blockSize + blockSize / 2);
  }

  cv::Mat image;
  int blocksWide;
  int blockSize;
};

std::unique_ptr<LSnapper> snapperOver(const BlockPhoto& photo,
                                      AllocationHook allocate = nullptr,
                                      unsigned seed = 1) {
  auto snapper = std::make_unique<LSnapper>(photo.image, numLabels);
  snapper->optimizerAllocation = allocate;
  snapper->solverSeed = seed;
  snapper->superpixelMap.resize(photo.image.total());
  int n = 0;
  for (int y = 0; y < photo.image.rows; ++y) {
    for (int x = 0; x < photo.image.cols; ++x) {
      const int block = photo.blockAt(x, y);
      snapper->superpixelMap[y * photo.image.cols + x] = block;
      n = std::max(n, block + 1);
    }
  }
  snapper->n = n;
  buildSnapperModel(*snapper);
  return snapper;
}

// A short horizontal stroke through the centre of a block.
Stroke strokeThrough(const BlockPhoto& photo, int block) {
  const cv::Point c = photo.centre(block);
  return {c - cv::Point(1, 0), c + cv::Point(1, 0)};
}

const cv::Vec3b kRed(0, 0, 200), kDarkRed(0, 0, 120), kBlue(200, 0, 0),
    kDarkBlue(120, 0, 0), kGrey(128, 128, 128);

TEST(InitSnapperTest, UniformPhotoIsOneSuperpixelWithoutNeighbours) {
  const cv::Mat image(12, 17, CV_8UC3, cv::Scalar(30, 60, 90));
  LSnapper snapper(image, numLabels);
  initSnapper(snapper, 0.5f, 500.0f, 20, 1);
  ASSERT_EQ(snapper.n, 1);
  EXPECT_EQ(snapper.superpixels.size(), 1u);
  EXPECT_EQ(snapper.superpixels[0].count, image.total());
  EXPECT_EQ(snapper.superpixels[0].top, 0);
  EXPECT_EQ(snapper.superpixels[0].left, 0);
  EXPECT_EQ(snapper.superpixels[0].bottom, image.rows - 1);
  EXPECT_EQ(snapper.superpixels[0].right, image.cols - 1);
  EXPECT_TRUE(snapper.superpixels[0].neighbours.empty());
  EXPECT_EQ(snapper.superpixels[0].meanB, 30.0f);
  EXPECT_EQ(snapper.superpixels[0].meanR, 90.0f);
  EXPECT_EQ(snapper.superpixelLabels, std::vector<int>{0});
  EXPECT_EQ(snapper.superpixelMap, std::vector<int>(image.total(), 0));
  ASSERT_EQ(snapper.labelStrokes.size(), static_cast<size_t>(numLabels));
  EXPECT_EQ(snapper.currentStrokes, &snapper.labelStrokes[0]);
  EXPECT_DOUBLE_EQ(
      referenceOptimizerFor(snapper, snapper.superpixelLabels.data())
          ->smoothEnergy(),
      0.0);
}

TEST(InitSnapperTest, TwoColourPhotoSplitsAlongTheColourEdge) {
  cv::Mat image(30, 40, CV_8UC3, cv::Scalar(kRed));
  image(cv::Rect(20, 0, 20, 30)) = cv::Scalar(kBlue);
  LSnapper snapper(image, numLabels);
  initSnapper(snapper, 0.5f, 500.0f, 20, 1);
  ASSERT_GE(snapper.n, 2);
  EXPECT_NE(snapper.superpixelMap[0], snapper.superpixelMap[39]);
  EXPECT_EQ(snapper.superpixelLabels, std::vector<int>(snapper.n, 0));
  size_t pixels = 0;
  for (const Superpixel& superpixel : snapper.superpixels)
    pixels += superpixel.count;
  EXPECT_EQ(pixels, image.total());
}

TEST(InitSnapperTest, SolverHoldsThePottsModelOverDeclaredPairs) {
  // Blocks: 0 1 2 / 3 4 5. Superpixel 0 takes part in no pair.
  const BlockPhoto photo(3, 2, 4, {kRed, kRed, kBlue, kRed, kBlue, kBlue});
  auto snapper = snapperOver(photo);
  // Pairs without superpixel 0: {1,2} {1,4} {1,5} {2,5} {3,4} {4,5}, each
  // declared twice ({1,3} touch only along a lower-left diagonal). With the
  // labels below, {1,4}, {1,5} and {3,4} (red-blue) and {2,5} (blue-blue)
  // have different labels.
  const std::vector<int> labels = {0, 1, 1, 1, 2, 2};
  std::copy(labels.begin(), labels.end(), snapper->superpixelLabels.begin());
  const float redBlue =
      static_cast<float>(1000.0L / (1.0L + 2 * 200.0L * 200.0L));
  const auto reference =
      referenceOptimizerFor(*snapper, snapper->superpixelLabels.data());
  EXPECT_NEAR(reference->smoothEnergy(), 2.0 * (3.0 * redBlue + 1000.0), 1e-6);
  EXPECT_DOUBLE_EQ(reference->dataEnergy(), 0.0);
  // The solver holds each pair once, with the summed weight of both
  // declarations.
  const std::vector<float> noCosts(labels.size() * numLabels, 0.0f);
  EXPECT_NEAR(snapper->solver->energy(labels.data(), noCosts.data()),
              2.0 * (3.0 * redBlue + 1000.0), 1e-6);
}

TEST(RunSnapperTest, WithoutStrokesNothingIsSeededAndLabelsStay) {
  const BlockPhoto photo(
      3, 3, 5, {kRed, kBlue, kGrey, kRed, kBlue, kGrey, kRed, kBlue, kGrey});
  auto snapper = snapperOver(photo);
  snapper->labelStrokes[4].push_back(
      {photo.centre(2), photo.centre(2), photo.centre(2)});  // click
  snapper->labelStrokes[6].push_back({photo.centre(1)});     // single point
  runSnapper(*snapper, 0.3f);
  for (const Superpixel& superpixel : snapper->superpixels)
    EXPECT_EQ(superpixel.seed, -1);
  // Every label is forbidden everywhere, so only the smoothness term can
  // change the energy, and it is least (0) for the uniform start.
  EXPECT_EQ(snapper->superpixelLabels,
            std::vector<int>(9, snapper->superpixelLabels[0]));
}

TEST(RunSnapperTest, SingleLabelWithTwoColoursTakesEverySuperpixel) {
  const BlockPhoto photo(4, 3, 6,
                         {kRed, kBlue, kGrey, kDarkRed, kBlue, kGrey, kDarkBlue,
                          kRed, kGrey, kGrey, kDarkRed, kBlue});
  auto snapper = snapperOver(photo);
  snapper->labelStrokes[3].push_back({photo.centre(0), photo.centre(1)});
  runSnapper(*snapper, 0.3f);
  EXPECT_EQ(snapper->superpixels[0].seed, 3);
  EXPECT_EQ(snapper->superpixels[1].seed, 3);
  EXPECT_EQ(snapper->superpixels[2].seed, -1);
  EXPECT_EQ(snapper->superpixelLabels, std::vector<int>(12, 3));
}

TEST(RunSnapperTest, UnstrokedSuperpixelsFollowTheNearerColourModel) {
  // Reds on the left, blues on the right; label 1 strokes both reds, label 2
  // both blues, and the unstroked blocks follow their colour.
  const BlockPhoto photo(
      4, 2, 6,
      {kRed, kDarkRed, kDarkBlue, kBlue, kDarkRed, kRed, kBlue, kDarkBlue});
  auto snapper = snapperOver(photo);
  snapper->labelStrokes[1].push_back({photo.centre(0), photo.centre(1)});
  snapper->labelStrokes[2].push_back({photo.centre(2), photo.centre(3)});
  runSnapper(*snapper, 0.3f);
  EXPECT_EQ(snapper->superpixelLabels,
            (std::vector<int>{1, 1, 2, 2, 1, 1, 2, 2}));
}

TEST(RunSnapperTest, OverlappingLabelsSeedTheHigherOne) {
  const BlockPhoto photo(3, 1, 8, {kRed, kGrey, kBlue});
  auto snapper = snapperOver(photo);
  snapper->labelStrokes[5].push_back(strokeThrough(photo, 1));
  snapper->labelStrokes[2].push_back({photo.centre(0), photo.centre(1)});
  runSnapper(*snapper, 0.3f);
  EXPECT_EQ(snapper->superpixels[0].seed, 2);
  EXPECT_EQ(snapper->superpixels[1].seed, 5);
  EXPECT_EQ(snapper->superpixels[2].seed, -1);
  EXPECT_EQ(snapper->superpixelLabels[0], 2);
  EXPECT_EQ(snapper->superpixelLabels[1], 5);
}

TEST(RunSnapperTest, RemovedStrokeNoLongerSeeds) {
  const BlockPhoto photo(4, 1, 6, {kRed, kDarkRed, kBlue, kDarkBlue});
  auto snapper = snapperOver(photo);
  snapper->labelStrokes[1].push_back({photo.centre(0), photo.centre(1)});
  snapper->labelStrokes[7].push_back(strokeThrough(photo, 3));
  runSnapper(*snapper, 0.3f);
  EXPECT_EQ(snapper->superpixelLabels[3], 7);
  snapper->labelStrokes[7].pop_back();
  runSnapper(*snapper, 0.3f);
  EXPECT_EQ(snapper->superpixels[3].seed, -1);
  EXPECT_EQ(snapper->superpixelLabels, std::vector<int>(4, 1));
}

// Blocks of seeded random colours, so that the solve has moves to make.
BlockPhoto randomBlocks(unsigned seed) {
  std::mt19937 random(seed);
  std::vector<cv::Vec3b> colours(6 * 4);
  for (cv::Vec3b& colour : colours) {
    colour = cv::Vec3b(random() % 256, random() % 256, random() % 256);
  }
  return BlockPhoto(6, 4, 5, colours);
}

// Strokes of labels 1 and 2 over two blocks each.
void strokeTwoLabels(LSnapper& snapper, const BlockPhoto& photo) {
  snapper.labelStrokes[1].push_back({photo.centre(0), photo.centre(7)});
  snapper.labelStrokes[2].push_back({photo.centre(16), photo.centre(23)});
}

TEST(RunSnapperTest, ASeededSolveRepeatsExactly) {
  const unsigned seed = 1234;
  const BlockPhoto photo = randomBlocks(31);
  auto snapper = snapperOver(photo);
  strokeTwoLabels(*snapper, photo);
  const std::vector<int> start = snapper->superpixelLabels;
  runSnapper(*snapper, 0.3f, seed);
  const std::vector<int> first = snapper->superpixelLabels;
  const std::vector<int> order = snapper->solver->labelOrder();
  runSnapper(*snapper, 0.3f);  // moves the generator and the order on
  std::copy(start.begin(), start.end(), snapper->superpixelLabels.begin());
  runSnapper(*snapper, 0.3f, seed);
  EXPECT_EQ(snapper->superpixelLabels, first) << "seed " << seed;
  EXPECT_EQ(snapper->solver->labelOrder(), order) << "seed " << seed;
}

// The solver is built with the model's seed: its first solve without a seed
// visits the labels as a solve given that seed does.
TEST(RunSnapperTest, TheModelsSeedOrdersASolveGivenNone) {
  const BlockPhoto photo = randomBlocks(31);
  auto built = snapperOver(photo, nullptr, 77);
  auto given = snapperOver(photo, nullptr, 5);
  strokeTwoLabels(*built, photo);
  strokeTwoLabels(*given, photo);
  runSnapper(*built, 0.3f);
  runSnapper(*given, 0.3f, 77);
  EXPECT_EQ(built->solver->labelOrder(), given->solver->labelOrder());
  EXPECT_EQ(built->superpixelLabels, given->superpixelLabels);
}

// The optimiser's memory: every request fails once allocationsLeft reaches
// 0; a negative count never fails.
int allocationsLeft = -1;
int allocationsMade = 0;
void* limitedAllocation(std::size_t bytes) {
  if (allocationsLeft == 0) return nullptr;
  if (allocationsLeft > 0) --allocationsLeft;
  ++allocationsMade;
  return std::malloc(bytes);
}

// A solve that runs out of memory at any point throws and leaves the
// labelling and the seeds of the solve before it; the next solve then gives
// what it gives on a snapper that never failed.
TEST(RunSnapperTest, RunningOutOfMemoryLeavesLabelsAndSeedsAsTheyWere) {
  const unsigned seed = 9;
  const BlockPhoto photo = randomBlocks(57);
  auto prepared = [&photo] {
    allocationsLeft = -1;
    auto snapper = snapperOver(photo, limitedAllocation);
    strokeTwoLabels(*snapper, photo);
    runSnapper(*snapper, 0.3f, seed);
    snapper->labelStrokes[3].push_back({photo.centre(10), photo.centre(14)});
    return snapper;
  };
  auto twin = prepared();
  allocationsMade = 0;
  runSnapper(*twin, 0.3f, seed);
  const int solveAllocations = allocationsMade;
  ASSERT_GE(solveAllocations, 3);
  for (int failAt : {0, solveAllocations / 3, 2 * solveAllocations / 3,
                     solveAllocations - 1}) {
    SCOPED_TRACE("failing allocation " + std::to_string(failAt));
    auto snapper = prepared();
    const std::vector<int> labels = snapper->superpixelLabels;
    std::vector<int> seeds;
    for (const Superpixel& superpixel : snapper->superpixels)
      seeds.push_back(superpixel.seed);
    allocationsLeft = failAt;
    EXPECT_THROW(runSnapper(*snapper, 0.3f, seed), std::bad_alloc);
    EXPECT_EQ(snapper->superpixelLabels, labels);
    for (int s = 0; s < snapper->n; ++s)
      EXPECT_EQ(snapper->superpixels[s].seed, seeds[s]) << "superpixel " << s;
    allocationsLeft = -1;
    runSnapper(*snapper, 0.3f, seed);
    EXPECT_EQ(snapper->superpixelLabels, twin->superpixelLabels);
  }
}

TEST(RebuildMaskTest, EveryPixelTakesItsSuperpixelsLabelColourFrameIncluded) {
  const BlockPhoto photo(4, 3, 3, std::vector<cv::Vec3b>(12, kGrey));
  auto snapper = snapperOver(photo);
  for (int s = 0; s < snapper->n; ++s)
    snapper->superpixelLabels[s] = (s * 7) % numLabels;
  cv::Mat mask;  // allocated by the rebuild
  rebuildMaskFromSuperpixels(*snapper, mask);
  ASSERT_EQ(mask.size(), photo.image.size());
  ASSERT_EQ(mask.type(), CV_8UC3);
  for (int y = 0; y < mask.rows; ++y) {
    for (int x = 0; x < mask.cols; ++x) {
      const cv::Scalar colour =
          labelColor(snapper->superpixelLabels[photo.blockAt(x, y)]);
      const cv::Vec3b expected(colour[0], colour[1], colour[2]);
      ASSERT_EQ(mask.at<cv::Vec3b>(y, x), expected) << "x " << x << " y " << y;
    }
  }
}

// The mask may be a view into a wider image: nothing right of its rows may
// be written.
TEST(RebuildMaskTest, WritesNothingPastTheEndOfARow) {
  const BlockPhoto photo(3, 2, 3, std::vector<cv::Vec3b>(6, kGrey));
  auto snapper = snapperOver(photo);
  for (int s = 0; s < snapper->n; ++s) snapper->superpixelLabels[s] = 1 + s % 3;
  const cv::Scalar sentinel(7, 8, 9);
  cv::Mat wide(photo.image.rows, photo.image.cols + 2, CV_8UC3, sentinel);
  cv::Mat mask = wide.colRange(0, photo.image.cols);
  rebuildMaskFromSuperpixels(*snapper, mask);
  ASSERT_EQ(mask.data, wide.data);  // drawn in the view
  for (int y = 0; y < wide.rows; ++y) {
    for (int x = photo.image.cols; x < wide.cols; ++x) {
      ASSERT_EQ(wide.at<cv::Vec3b>(y, x), cv::Vec3b(7, 8, 9))
          << "x " << x << " y " << y;
    }
    const int last = photo.image.cols - 1;
    const cv::Scalar colour =
        labelColor(snapper->superpixelLabels[photo.blockAt(last, y)]);
    EXPECT_EQ(mask.at<cv::Vec3b>(y, last),
              cv::Vec3b(colour[0], colour[1], colour[2]));
  }
}

TEST(RebuildMaskTest, OverwritesEarlierPaint) {
  const BlockPhoto photo(2, 2, 4, std::vector<cv::Vec3b>(4, kGrey));
  auto snapper = snapperOver(photo);
  cv::Mat mask(photo.image.size(), CV_8UC3, cv::Scalar(255, 255, 255));
  const uchar* before = mask.data;
  rebuildMaskFromSuperpixels(*snapper, mask);
  EXPECT_EQ(mask.data, before);  // painted in place
  EXPECT_EQ(cv::countNonZero(mask.reshape(1)), 0);
}

}  // namespace
}  // namespace scribeline
