#include "snapping/color_clusters.h"

#include <gtest/gtest.h>

#include <string>

namespace scribeline {
namespace {

std::vector<cv::Vec3b> repeat(cv::Vec3b colour, int count) {
  return std::vector<cv::Vec3b>(count, colour);
}

std::vector<cv::Vec3b> concat(
    std::initializer_list<std::vector<cv::Vec3b>> parts) {
  std::vector<cv::Vec3b> all;
  for (const auto& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

struct ClusterCase {
  const char* name;
  std::vector<cv::Vec3b> samples;
  std::vector<cv::Vec3f> keptCentres;  // in table order
  std::vector<int> assignment;         // empty: not checked
};

class ClusterColorsTest : public testing::TestWithParam<ClusterCase> {};

TEST_P(ClusterColorsTest, KeepsTheExpectedCentres) {
  const ClusterCase& c = GetParam();
  std::vector<int> assignment = {99};
  std::vector<cv::Vec3f> centres;
  const int kept = clusterColors(c.samples, assignment, centres);
  ASSERT_EQ(kept, static_cast<int>(c.keptCentres.size()));
  ASSERT_EQ(centres.size(), static_cast<size_t>(kGridCentres));
  for (int k = 0; k < kept; ++k) {
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_FLOAT_EQ(centres[k][ch], c.keptCentres[k][ch])
          << "centre " << k << " channel " << ch;
    }
  }
  EXPECT_EQ(assignment.size(), c.samples.size());
  if (!c.assignment.empty()) {
    EXPECT_EQ(assignment, c.assignment);
  }
}

// Grid centre numbers: 64 i + 8 j + k for grid values 16 + 32 (i, j, k).
INSTANTIATE_TEST_SUITE_P(
    Cases, ClusterColorsTest,
    testing::Values(
        ClusterCase{"NoSamples", {}, {}, {}},
        ClusterCase{"OneClusterMovesToItsMean",
                    repeat({100, 150, 200}, 10),
                    {{100, 150, 200}},
                    std::vector<int>(10, 3 * 64 + 4 * 8 + 6)},
        ClusterCase{"FirstPassUnchangedKeepsGridValue",
                    concat({repeat({10, 12, 14}, 2), repeat({20, 5, 30}, 1)}),
                    {{16, 16, 16}},
                    {0, 0, 0}},
        ClusterCase{
            "TieGoesToLowerCentre", {{32, 16, 16}}, {{16, 16, 16}}, {0}},
        ClusterCase{"SampleChangesCentreAfterUpdate",
                    {{40, 16, 16}, {44, 16, 16}, {63, 16, 16}, {75, 16, 16}},
                    {{42, 16, 16}, {69, 16, 16}},
                    {64, 64, 128, 128}},
        ClusterCase{"FiveSamplesAllSurvive",
                    {{250, 250, 250},
                     {10, 10, 10},
                     {130, 20, 200},
                     {20, 200, 100},
                     {200, 90, 10}},
                    {{10, 10, 10},
                     {20, 200, 100},
                     {130, 20, 200},
                     {200, 90, 10},
                     {250, 250, 250}},
                    {}},
        ClusterCase{"ThreeOfThreeHundredDropped",
                    concat({repeat({20, 20, 20}, 3), repeat({120, 120, 120}, 4),
                            repeat({230, 230, 230}, 293)}),
                    {{120, 120, 120}, {230, 230, 230}},
                    {}},
        ClusterCase{
            "FourOfThreeHundredSurvive",
            concat({repeat({20, 20, 20}, 4), repeat({230, 230, 230}, 296)}),
            {{20, 20, 20}, {230, 230, 230}},
            {}}),
    [](const testing::TestParamInfo<ClusterCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace scribeline
