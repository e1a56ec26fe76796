// A whole solve over the superpixel graph of real photographs, whose largest
// superpixels touch far more neighbours than any synthetic fixture: a node of
// the max-flow graph then carries thousands of arcs. The photographs are not
// part of the project; a missing one skips its case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <utility>
#include <vector>

#include "palette/palette.h"
#include "snapping/lsnapper.h"
#include "tests/support/photos.h"
#include "tests/support/snapper_reference.h"

namespace scribeline {
namespace {

struct PhotoCase {
  const char* name;
  // Whether some node needs more arcs than one 1024-arc chunk holds.
  bool needsLongArcRuns;
};

// Arcs a node of an expansion move's graph holds when every superpixel is
// active: each pair with both numbers at least 1 is declared twice, and each
// declaration adds one edge from the lower-numbered site, so a superpixel
// holds two outgoing arcs per higher-numbered neighbour and two incoming per
// lower-numbered one.
struct ArcCounts {
  int maxOutgoing = 0;
  int maxIncoming = 0;
  int maxTotal = 0;
};

ArcCounts countArcs(const std::vector<Superpixel>& superpixels) {
  ArcCounts counts;
  for (int s = 1; s < static_cast<int>(superpixels.size()); ++s) {
    int higher = 0, lower = 0;
    for (int j : superpixels[s].neighbours) {
      if (j == 0) continue;
      (j > s ? higher : lower) += 1;
    }
    counts.maxOutgoing = std::max(counts.maxOutgoing, 2 * higher);
    counts.maxIncoming = std::max(counts.maxIncoming, 2 * lower);
    counts.maxTotal = std::max(counts.maxTotal, 2 * (higher + lower));
  }
  return counts;
}

Stroke polyline(const cv::Mat& image, double x0, double y0, double x1,
                double y1) {
  Stroke stroke;
  for (int k = 0; k <= 20; ++k) {
    const double t = k / 20.0;
    stroke.push_back(
        cv::Point(static_cast<int>((x0 + (x1 - x0) * t) * (image.cols - 1)),
                  static_cast<int>((y0 + (y1 - y0) * t) * (image.rows - 1))));
  }
  return stroke;
}

// Loads the photograph (or skips when it is absent) and builds its snapper.
class RealPhotoTest : public testing::TestWithParam<PhotoCase> {
 protected:
  void SetUp() override {
    const std::string path = findPhoto(GetParam().name);
    if (path.empty()) GTEST_SKIP() << GetParam().name << " not found";
    image = cv::imread(path, cv::IMREAD_COLOR);
    ASSERT_FALSE(image.empty()) << path;
    snapperStore = std::make_unique<LSnapper>(image, 25);
    initSnapper(*snapperStore, 0.5f, 500.0f, 20, 1);
  }

  cv::Mat image;
  std::unique_ptr<LSnapper> snapperStore;
};

TEST_P(RealPhotoTest, ThreeLabelSolveOverTheWholeSuperpixelGraph) {
  LSnapper& snapper = *snapperStore;
  const ArcCounts arcs = countArcs(snapper.superpixels);
  std::printf(
      "%s: %d superpixels; largest arc count of a node: %d outgoing, %d "
      "incoming, "
      "%d in all\n",
      GetParam().name, snapper.n, arcs.maxOutgoing, arcs.maxIncoming,
      arcs.maxTotal);
  RecordProperty("superpixels", snapper.n);
  RecordProperty("maxOutgoingArcs", arcs.maxOutgoing);
  RecordProperty("maxIncomingArcs", arcs.maxIncoming);
  if (GetParam().needsLongArcRuns) {
    EXPECT_GT(std::max(arcs.maxOutgoing, arcs.maxIncoming), 1024);
  }

  snapper.labelStrokes[1].push_back(polyline(image, 0.05, 0.10, 0.25, 0.20));
  snapper.labelStrokes[1].push_back(polyline(image, 0.10, 0.80, 0.30, 0.90));
  snapper.labelStrokes[2].push_back(polyline(image, 0.40, 0.45, 0.60, 0.55));
  snapper.labelStrokes[3].push_back(polyline(image, 0.70, 0.15, 0.90, 0.30));
  snapper.labelStrokes[3].push_back(polyline(image, 0.75, 0.70, 0.95, 0.85));
  runSnapper(snapper, 0.3f);

  int seeded = 0;
  for (int s = 0; s < snapper.n; ++s) {
    const int label = snapper.superpixelLabels[s];
    ASSERT_TRUE(label >= 0 && label < 25) << "superpixel " << s;
    if (snapper.superpixels[s].seed != -1) {
      ++seeded;
      ASSERT_EQ(label, snapper.superpixels[s].seed) << "superpixel " << s;
    }
  }
  EXPECT_GT(seeded, 0);
}

// The snapping solve (pairs merged, its own max-flow) against the reference
// optimiser on the same data costs, from the same start and in the same label
// order: they may part only where float rounding decides between cuts of
// (nearly) equal value.
TEST_P(RealPhotoTest, SolveAgreesWithTheReferenceOptimiser) {
  LSnapper& snapper = *snapperStore;
  snapper.labelStrokes[1].push_back(polyline(image, 0.05, 0.10, 0.25, 0.20));
  snapper.labelStrokes[2].push_back(polyline(image, 0.40, 0.45, 0.60, 0.55));
  snapper.labelStrokes[3].push_back(polyline(image, 0.70, 0.15, 0.90, 0.30));
  snapper.labelStrokes[3].push_back(polyline(image, 0.75, 0.70, 0.95, 0.85));
  snapper.labelStrokes[4].push_back(polyline(image, 0.10, 0.80, 0.30, 0.90));

  const unsigned seed = 20261210;
  runSnapper(snapper, 0.3f, seed);
  const std::vector<int> solved = snapper.superpixelLabels;

  std::fill(snapper.superpixelLabels.begin(), snapper.superpixelLabels.end(),
            0);
  // Given the data costs the solve left in dataCosts.
  const auto optimizer =
      referenceOptimizerFor(snapper, snapper.superpixelLabels.data());
  optimizer->setRandomSeed(seed);
  optimizer->resetLabelOrder();
  optimizer->expansion();
  std::vector<int>& reference = snapper.superpixelLabels;
  for (int s = 0; s < snapper.n; ++s) {
    if (snapper.superpixels[s].seed != -1) {
      reference[s] = snapper.superpixels[s].seed;
    }
  }

  long long agreeing = 0, pixels = 0;
  for (int s = 0; s < snapper.n; ++s) {
    const long long size = static_cast<long long>(snapper.superpixels[s].count);
    pixels += size;
    if (solved[s] == reference[s]) agreeing += size;
  }
  EXPECT_GE(static_cast<double>(agreeing), 0.999 * static_cast<double>(pixels))
      << pixels - agreeing << " pixels differ";
  const double energy =
      snapper.solver->energy(solved.data(), snapper.dataCosts.data());
  const double referenceEnergy =
      snapper.solver->energy(reference.data(), snapper.dataCosts.data());
  EXPECT_NEAR(energy, referenceEnergy, 1e-6 * referenceEnergy);
  std::printf("%s: %lld of %lld pixels agree; energy %.9g, reference %.9g\n",
              GetParam().name, agreeing, pixels, energy, referenceEnergy);
}

// Two labels' strokes far apart in the largest superpixel (the ladybird's
// blurred background, most of the photo): each label holds at and around its
// own stroke, and the split is the same every time it is computed.
TEST_P(RealPhotoTest, TwoLabelsShareTheLargestSuperpixel) {
  LSnapper& snapper = *snapperStore;
  int largest = 0;
  for (int s = 1; s < snapper.n; ++s) {
    if (snapper.superpixels[s].count > snapper.superpixels[largest].count)
      largest = s;
  }
  const auto inLargest = [&](int x, int y) {
    return snapper.superpixelMap[static_cast<size_t>(y) * image.cols + x] ==
           largest;
  };
  // Centres whose 41 x 41 square lies wholly in the superpixel, the leftmost
  // and the rightmost on a 40-pixel grid.
  constexpr int kReach = 20;
  std::vector<cv::Point> centres;
  for (int x = kReach; x + kReach < image.cols; x += 40) {
    for (int y = kReach; y + kReach < image.rows; y += 40) {
      bool inside = true;
      for (int dy = -kReach; dy <= kReach && inside; ++dy) {
        for (int dx = -kReach; dx <= kReach && inside; ++dx) {
          inside = inLargest(x + dx, y + dy);
        }
      }
      if (inside) centres.push_back({x, y});
    }
  }
  ASSERT_GE(centres.size(), 2u);
  const cv::Point left = centres.front(), right = centres.back();
  ASSERT_GT(right.x - left.x, image.cols / 4);
  std::printf("%s: superpixel %d holds %.1f%% of the photo\n", GetParam().name,
              largest,
              100.0 * snapper.superpixels[largest].count / image.total());

  snapper.labelStrokes[3].push_back(
      {left - cv::Point(10, 0), left + cv::Point(10, 0)});
  snapper.labelStrokes[6].push_back(
      {right - cv::Point(10, 0), right + cv::Point(10, 0)});
  const std::vector<int> start = snapper.superpixelLabels;
  runSnapper(snapper, 0.3f, 7);
  cv::Mat mask;
  rebuildMaskFromSuperpixels(snapper, mask);
  ASSERT_EQ(snapper.splits.size(), 1u);
  EXPECT_EQ(snapper.splits[0].superpixel, largest);
  for (const auto& [centre, label] :
       {std::pair<cv::Point, int>{left, 3}, {right, 6}}) {
    for (int dy = -kReach; dy <= kReach; ++dy) {
      for (int dx = -kReach; dx <= kReach; ++dx) {
        ASSERT_EQ(mask.at<cv::Vec3b>(centre + cv::Point(dx, dy)),
                  labelPixel(label))
            << "label " << label << " at " << centre + cv::Point(dx, dy);
      }
    }
  }

  const auto sameSplits = [](const std::vector<SuperpixelSplit>& a,
                             const std::vector<SuperpixelSplit>& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
      if (a[k].superpixel != b[k].superpixel ||
          a[k].runs.size() != b[k].runs.size())
        return false;
      for (size_t r = 0; r < a[k].runs.size(); ++r) {
        if (a[k].runs[r].length != b[k].runs[r].length ||
            a[k].runs[r].label != b[k].runs[r].label)
          return false;
      }
    }
    return true;
  };
  EXPECT_TRUE(sameSplits(
      splitSharedSuperpixels(image, snapper.labelStrokes,
                             snapper.superpixelMap.data(), snapper.superpixels,
                             snapper.superpixelLabels),
      snapper.splits));
  const std::vector<SuperpixelSplit> first = snapper.splits;
  std::copy(start.begin(), start.end(), snapper.superpixelLabels.begin());
  snapper.solver->forgetFlows();
  runSnapper(snapper, 0.3f, 7);
  EXPECT_TRUE(sameSplits(snapper.splits, first));
  cv::Mat again;
  rebuildMaskFromSuperpixels(snapper, again);
  EXPECT_EQ(cv::norm(mask, again, cv::NORM_INF), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Photos, RealPhotoTest,
    testing::Values(PhotoCase{"ladybird_2560x1600.jpg", false},
                    PhotoCase{"elephants_5640x3172.jpg", true}),
    [](const testing::TestParamInfo<PhotoCase>& info) {
      return std::string(info.param.name)
          .substr(0, std::string(info.param.name).find('_'));
    });

}  // namespace
}  // namespace scribeline
