// Label optimiser set-up and energies: hand-computed energies on small
// general and grid problems, and the fatal messages.
#include "tests/graphcut/reference/label_optimizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "graphcut/memory.h"

namespace scribeline {
namespace {

void setPotts(LabelOptimizer& optimizer) {
  for (int a = 0; a < optimizer.numLabels(); ++a) {
    for (int b = 0; b < optimizer.numLabels(); ++b)
      optimizer.setSmoothCost(a, b, a == b ? 0.0f : 1.0f);
  }
}

TEST(LabelOptimizerEnergy, GeneralGraphByHand) {
  int labels[4] = {0, 1, 1, 2};
  LabelOptimizer optimizer(labels, 4, 3, 0, 0);
  setPotts(optimizer);
  optimizer.setSmoothCost(2, 1,
                          5.0f);  // entry (label of higher, label of lower)
  for (int site = 0; site < 4; ++site) {
    for (int label = 0; label < 3; ++label) {
      optimizer.setDataCost(site, label, static_cast<float>(10 * site + label));
    }
  }
  optimizer.setNeighbors(0, 1, 2.0f);  // labels 0,1: 2 x 1
  optimizer.setNeighbors(2, 1, 3.0f);  // labels 1,1: 0
  optimizer.setNeighbors(
      1, 3, 0.5f);  // lower 1 (label 1), higher 3 (label 2): 0.5 x 5
  optimizer.setNeighbors(1, 3, 0.5f);  // declared twice: counted twice
  optimizer.setNeighbors(3, 3, 7.0f);  // a self-pair is never counted
  EXPECT_DOUBLE_EQ(optimizer.dataEnergy(), 0 + 11 + 21 + 32);
  EXPECT_DOUBLE_EQ(optimizer.smoothEnergy(), 2.0 + 2.5 + 2.5);
  EXPECT_DOUBLE_EQ(optimizer.computeEnergy(), 64 + 7.0);
}

TEST(LabelOptimizerEnergy, PottsCountsTheWeightsOfDifferingPairs) {
  int labels[5] = {0, 1, 0, 0, 1};
  LabelOptimizer optimizer(labels, 5, 2, 0, 0);
  setPotts(optimizer);
  optimizer.setNeighbors(0, 1, 1.5f);
  optimizer.setNeighbors(1, 2, 0.25f);
  optimizer.setNeighbors(2, 3, 4.0f);
  optimizer.setNeighbors(3, 4);
  EXPECT_DOUBLE_EQ(optimizer.smoothEnergy(), 1.5 + 0.25 + 1.0);
  EXPECT_DOUBLE_EQ(optimizer.dataEnergy(), 0);
}

TEST(LabelOptimizerEnergy, NoSitesHasZeroEnergy) {
  LabelOptimizer optimizer(0, 3, 0, 0);
  EXPECT_DOUBLE_EQ(optimizer.computeEnergy(), 0);
  EXPECT_DOUBLE_EQ(optimizer.expansion(), 0);
}

TEST(LabelOptimizerEnergy, CallersLabelsAreKeptNotCopied) {
  int labels[3] = {2, 0, 1};
  LabelOptimizer optimizer(labels, 3, 3, 0, 0);
  EXPECT_EQ(optimizer.labels(), labels);
  for (int label = 0; label < 3; ++label)
    optimizer.setDataCost(1, label, label == 2 ? 0.0f : 9.0f);
  optimizer.expandOnLabel(2);
  EXPECT_EQ(labels[1], 2);
}

TEST(LabelOptimizerEnergy, AllocatedLabelsStartAtZero) {
  LabelOptimizer general(4, 2, 0, 0);
  LabelOptimizer grid(3, 2, 2, 0, 0);
  EXPECT_FALSE(general.isGrid());
  EXPECT_TRUE(grid.isGrid());
  EXPECT_EQ(grid.numSites(), 6);
  for (int site = 0; site < 4; ++site) EXPECT_EQ(general.label(site), 0);
  for (int site = 0; site < 6; ++site) EXPECT_EQ(grid.label(site), 0);
}

// 3 x 2 grid, labels
//   0 1 1
//   2 1 0
int gridLabels[6] = {0, 1, 1, 2, 1, 0};

float diffTimesTen(int a, int b) {
  return a == b ? 0.0f : 10.0f * static_cast<float>(a + b);
}
float horizontalXY(int x, int y, int right, int left) {
  return static_cast<float>(100 * x + 10 * y + (right != left ? 1 : 0));
}
float verticalXY(int x, int y, int lower, int upper) {
  return static_cast<float>(1000 * (x + y) + (lower != upper ? 2 : 0));
}
float pairFunction(int site1, int site2, int label1, int label2) {
  return label1 == label2 ? 0.0f : static_cast<float>(site1 + site2);
}
float dataBySite(int site, int label) {
  return static_cast<float>(site * label);
}
float dataByXY(int x, int y, int label) {
  return static_cast<float>(x + 10 * y + 100 * label);
}

TEST(LabelOptimizerEnergy, GridFormsByHand) {
  int labels[6];
  std::copy(gridLabels, gridLabels + 6, labels);
  // Horizontal pairs: (0,1) (1,1) (2,1) (1,0); vertical: (0,2) (1,1) (1,0).
  {
    LabelOptimizer table(labels, 3, 2, 3, 0, 1);
    float smooth[9];
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) smooth[a * 3 + b] = diffTimesTen(a, b);
    table.setSmoothCost(smooth);
    EXPECT_DOUBLE_EQ(table.smoothEnergy(), 10 + 0 + 30 + 10 + 20 + 0 + 10);
  }
  {
    LabelOptimizer cued(labels, 3, 2, 3, 0, 1);
    float smooth[9];
    for (int i = 0; i < 9; ++i) smooth[i] = (i % 4 == 0) ? 0.0f : 1.0f;
    float horizontal[6] = {1, 2, 3, 4, 5, 6};
    float vertical[6] = {7, 8, 9, 10, 11, 12};
    cued.setSmoothCost(smooth, horizontal, vertical);
    // Differing pairs weighted by the left (upper) site's cue.
    EXPECT_DOUBLE_EQ(cued.smoothEnergy(), 1 + 4 + 5 + 7 + 9);
  }
  {
    LabelOptimizer coordinates(labels, 3, 2, 3, 1, 1);
    coordinates.setSmoothCost(horizontalXY, verticalXY);
    coordinates.setDataCost(dataByXY);
    double horizontal = (0 + 1) + (100 + 0) + (10 + 1) + (110 + 1);
    double vertical = (0 + 2) + (1000 + 0) + (2000 + 2);
    EXPECT_DOUBLE_EQ(coordinates.smoothEnergy(), horizontal + vertical);
    EXPECT_DOUBLE_EQ(coordinates.dataEnergy(), 0 + 101 + 102 + 210 + 111 + 12);
  }
  {
    LabelOptimizer function(labels, 3, 2, 3, 1, 1);
    function.setSmoothCost(pairFunction);
    function.setDataCost(dataBySite);
    // Differing pairs: (0,1) (3,4) (4,5) across, (0,3) (2,5) down.
    EXPECT_DOUBLE_EQ(function.smoothEnergy(),
                     (0 + 1) + (3 + 4) + (4 + 5) + (0 + 3) + (2 + 5));
    EXPECT_DOUBLE_EQ(function.dataEnergy(), 0 + 1 + 2 + 6 + 4 + 0);
  }
}

TEST(LabelOptimizerEnergy, WholeTablesAreAdopted) {
  int labels[2] = {1, 0};
  float data[4] = {1, 2, 3, 4};
  float smooth[4] = {0, 5, 7, 0};
  LabelOptimizer optimizer(labels, 2, 2, 1, 1);
  optimizer.setDataCost(data);
  optimizer.setSmoothCost(smooth);
  optimizer.setNeighbors(0, 1, 2.0f);
  EXPECT_DOUBLE_EQ(optimizer.dataEnergy(), 2 + 3);
  EXPECT_DOUBLE_EQ(optimizer.smoothEnergy(), 2.0 * 5);  // entry (0, 1)
  data[1] = 20;                                         // borrowed, not copied
  EXPECT_DOUBLE_EQ(optimizer.dataEnergy(), 20 + 3);
}

// Fatal messages: the text goes to standard output, which the death-test
// child sends to standard error for the matcher.
void redirectStdoutToStderr() {
  std::fflush(stdout);
  dup2(2, 1);
}

float someData(int, int) { return 0; }
float someDataXY(int, int, int) { return 0; }
float someSmooth(int, int, int, int) { return 0; }
float someSmoothXY(int, int, int, int) { return 0; }
float table[4];
int outOfRange[2] = {0, 2};
int failAfter = 0;
void* failLater(std::size_t bytes) {
  return failAfter-- > 0 ? std::malloc(bytes) : nullptr;
}
OptimizerOptions failingLater() {
  OptimizerOptions options;
  options.memory.allocate = failLater;
  return options;
}

struct FatalCase {
  const char* name;
  std::function<void()> run;
  const char* message;
};

class LabelOptimizerFatal : public testing::TestWithParam<FatalCase> {};

TEST_P(LabelOptimizerFatal, PrintsTheMessageAndExitsWithOne) {
  auto run = [] {
    redirectStdoutToStderr();
    GetParam().run();
    std::exit(0);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              testing::StrEq(std::string("\n ") + GetParam().message + " \n"));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LabelOptimizerFatal,
    testing::Values(
        FatalCase{"NegativeSites", [] { LabelOptimizer o(-1, 3, 0, 0); },
                  "Illegal negative parameters"},
        FatalCase{"NegativeLabels", [] { LabelOptimizer o(4, -3, 0, 0); },
                  "Illegal negative parameters"},
        FatalCase{"NegativeWidth", [] { LabelOptimizer o(-2, 3, 3, 0, 0); },
                  "Illegal negative parameters"},
        FatalCase{"LabelEqualToNumLabels",
                  [] { LabelOptimizer o(outOfRange, 2, 2, 0, 0); },
                  "Initial labels are out of valid range"},
        FatalCase{"SitesButNoLabels", [] { LabelOptimizer o(2, 0, 0, 0); },
                  "Initial labels are out of valid range"},
        FatalCase{"DataTableAfterFlagZero",
                  [] {
                    LabelOptimizer o(2, 2, 0, 0);
                    o.setDataCost(table);
                  },
                  "ERROR: you already set the data, or said you'll use member "
                  "function "
                  "setDataCost() to set data"},
        FatalCase{"DataFunctionTwice",
                  [] {
                    LabelOptimizer o(2, 2, 1, 0);
                    o.setDataCost(someData);
                    o.setDataCost(someData);
                  },
                  "ERROR: you already set the data, or said you'll use member "
                  "function "
                  "setDataCost() to set data"},
        FatalCase{
            "DataXYOnGeneral",
            [] {
              LabelOptimizer o(2, 2, 1, 0);
              o.setDataCost(someDataXY);
            },
            "Cannot use data function based on coordinates for non-grid graph"},
        FatalCase{"SmoothTableAfterFlagZero",
                  [] {
                    LabelOptimizer o(2, 2, 0, 0);
                    o.setSmoothCost(someSmooth);
                  },
                  "ERROR: you already set smoothness, or said you'll use "
                  "member function "
                  "setSmoothCost() to set Smoothness Costs"},
        FatalCase{"CuesOnGeneral",
                  [] {
                    LabelOptimizer o(2, 2, 0, 1);
                    o.setSmoothCost(table, table, table);
                  },
                  "ERROR: for a grid graph, you can't use vertical and "
                  "horizontal cues.  "
                  "Use setNeighbors() member function to encode spatially "
                  "varying cues"},
        FatalCase{"SmoothXYOnGeneral",
                  [] {
                    LabelOptimizer o(2, 2, 0, 1);
                    o.setSmoothCost(someSmoothXY, someSmoothXY);
                  },
                  "Cannot use smoothness function based on coordinates for "
                  "non-grid graph"},
        FatalCase{"DataEnergyWithoutData",
                  [] {
                    LabelOptimizer o(2, 2, 1, 0);
                    o.dataEnergy();
                  },
                  "Did not initialize the data costs yet"},
        FatalCase{"SmoothEnergyWithoutSmoothness",
                  [] {
                    LabelOptimizer o(2, 2, 0, 1);
                    o.smoothEnergy();
                  },
                  "Did not initialize smoothness costs yet, can't compute "
                  "smooth energy"},
        FatalCase{"ExpansionMeetsTheEnergyFirst",
                  [] {
                    LabelOptimizer o(2, 2, 1, 0);
                    o.expansion();
                  },
                  "Did not initialize the data costs yet"},
        FatalCase{
            "ExpandWithoutData",
            [] {
              LabelOptimizer o(2, 2, 1, 0);
              o.expandOnLabel(1);
            },
            "You have to set up the data cost before running optimization"},
        FatalCase{"SwapWithoutSmoothness",
                  [] {
                    LabelOptimizer o(2, 2, 0, 1);
                    o.swapLabels(0, 1);
                  },
                  "You have to set up the smoothness cost before running "
                  "optimization"},
        FatalCase{"ExpandOnLabelOutOfRange",
                  [] {
                    LabelOptimizer o(2, 2, 0, 0);
                    o.expandOnLabel(2);
                  },
                  "Illegal Label to Expand On"},
        FatalCase{"SwapLabelOutOfRange",
                  [] {
                    LabelOptimizer o(2, 2, 0, 0);
                    o.swapLabels(0, -1);
                  },
                  "Illegal Label to Expand On"},
        FatalCase{"NeighborsOnGrid",
                  [] {
                    LabelOptimizer o(2, 2, 2, 0, 0);
                    o.setNeighbors(0, 1);
                  },
                  "Cannot use setNeighbors() on a grid graph"},
        FatalCase{"PerElementDataWithoutTable",
                  [] {
                    LabelOptimizer o(2, 2, 1, 0);
                    o.setDataCost(0, 0, 1.0f);
                  },
                  "There is no data cost table to set"},
        FatalCase{"PerElementSmoothWithoutTable",
                  [] {
                    LabelOptimizer o(2, 2, 0, 1);
                    o.setSmoothCost(0, 1, 1.0f);
                  },
                  "There is no smoothness cost table to set"},
        FatalCase{"LabelsAllocationFails",
                  [] {
                    failAfter = 0;
                    LabelOptimizer o(2, 2, 0, 0, failingLater());
                  },
                  "out of memory"},
        FatalCase{"TableAllocationFails",
                  [] {
                    failAfter = 1;
                    LabelOptimizer o(2, 2, 0, 0, failingLater());
                  },
                  "Not enough memory"}),
    [](const testing::TestParamInfo<FatalCase>& info) {
      return info.param.name;
    });

TEST(LabelOptimizerFatalNeighbors, ChunkAllocationFailurePrintsOutOfMemory) {
  auto run = [] {
    redirectStdoutToStderr();
    failAfter = 1000;
    LabelOptimizer optimizer(2, 2, 0, 0, failingLater());
    failAfter = 0;
    optimizer.setNeighbors(0, 1);
  };
  EXPECT_EXIT(run(), testing::ExitedWithCode(1),
              testing::StrEq("\nOut of memory"));
}

}  // namespace
}  // namespace scribeline
