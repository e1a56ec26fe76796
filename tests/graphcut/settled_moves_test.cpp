// Moves whose terminal capacities leave no node with source capacity are
// settled without a graph: they must allocate nothing and give exactly the
// labels that building and cutting the graph gives.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphcut/memory.h"
#include "tests/graphcut/reference/label_optimizer.h"

namespace scribeline {
namespace {

constexpr float kForbidden = 1e10f;

int allocations = 0;
void* countingAllocation(std::size_t bytes) {
  ++allocations;
  return std::malloc(bytes);
}

enum class Form {
  kGeneralTable,     // neighbour lists, smoothness table, data table
  kGeneralFunction,  // neighbour lists, smoothness and data functions
  kGridCues,         // grid, table times cues
  kGridFunctions,    // grid, coordinate smoothness and data functions
};

// Costs the function forms read; set by the problem under test.
std::vector<float>* currentData = nullptr;
int currentLabels = 0;
int currentWidth = 1;

float dataFunction(int site, int label) {
  return (*currentData)[static_cast<std::size_t>(site) * currentLabels + label];
}
float dataFunctionXY(int x, int y, int label) {
  return dataFunction(y * currentWidth + x, label);
}
float truncatedLinear(int s1, int s2, int l1, int l2) {
  int d = l1 > l2 ? l1 - l2 : l2 - l1;
  return static_cast<float>(d < 2 ? d : 2) *
         (1.0f + static_cast<float>((s1 + s2) % 3) / 4);
}
float gridHorizontal(int x, int y, int right, int left) {
  return right == left ? 0.0f
                       : 0.5f + static_cast<float>((x * 7 + y * 3) % 5) / 2;
}
float gridVertical(int x, int y, int lower, int upper) {
  return lower == upper ? 0.0f : 1.0f + static_cast<float>((x + y * 5) % 3) / 4;
}

// A seeded problem in the lazy snapper's manner: a few labels with ordinary
// costs, some sites seeded (every label but one forbidden there), labels 3
// and 4 allowed at a few sites only and the others forbidden at every site.
// The few allowed sites give moves whose settling hinges on small margins.
struct Problem {
  Form form;
  int width = 9;
  int height = 7;
  int numLabels = 7;
  std::vector<int> labels;
  std::vector<float> data;
  std::vector<float> smooth;
  std::vector<float> horizontalCues;
  std::vector<float> verticalCues;
  std::unique_ptr<LabelOptimizer> optimizer;

  int numSites() const { return width * height; }

  Problem(Form f, std::uint32_t seed, const OptimizerOptions& options = {})
      : form(f) {
    std::mt19937 rng(seed);
    const int n = numSites();
    const int usable = 3;
    data.assign(static_cast<std::size_t>(n) * numLabels, kForbidden);
    for (int s = 0; s < n; ++s) {
      float* row = &data[static_cast<std::size_t>(s) * numLabels];
      if (rng() % 6 == 0) {
        row[rng() % usable] = 0;
        continue;
      }
      for (int l = 0; l < usable; ++l)
        row[l] = static_cast<float>(rng() % 64) / 8;
      for (int l = usable; l < usable + 2; ++l) {
        if (rng() % 12 == 0) row[l] = static_cast<float>(rng() % 64) / 8;
      }
    }
    for (int a = 0; a < numLabels; ++a) {
      for (int b = 0; b < numLabels; ++b)
        smooth.push_back(a == b ? 0.0f : 1.0f);
    }
    for (int s = 0; s < n; ++s) {
      horizontalCues.push_back(static_cast<float>(rng() % 16) / 4);
      verticalCues.push_back(static_cast<float>(rng() % 16) / 4);
    }
    for (int s = 0; s < n; ++s)
      labels.push_back(static_cast<int>(rng() % numLabels));
    bool grid = form == Form::kGridCues || form == Form::kGridFunctions;
    if (grid) {
      optimizer = std::make_unique<LabelOptimizer>(labels.data(), width, height,
                                                   numLabels, 1, 1, options);
    } else {
      optimizer = std::make_unique<LabelOptimizer>(labels.data(), n, numLabels,
                                                   1, 1, options);
      for (int k = 0; k < 3 * n; ++k) {
        int a = static_cast<int>(rng() % n);
        int b = static_cast<int>(rng() % n);
        if (a != b)
          optimizer->setNeighbors(a, b, static_cast<float>(rng() % 12) / 4);
      }
    }
    switch (form) {
      case Form::kGeneralTable:
        optimizer->setDataCost(data.data());
        optimizer->setSmoothCost(smooth.data());
        break;
      case Form::kGeneralFunction:
        optimizer->setDataCost(&dataFunction);
        optimizer->setSmoothCost(&truncatedLinear);
        break;
      case Form::kGridCues:
        optimizer->setDataCost(data.data());
        optimizer->setSmoothCost(smooth.data(), horizontalCues.data(),
                                 verticalCues.data());
        break;
      case Form::kGridFunctions:
        optimizer->setDataCost(&dataFunctionXY);
        optimizer->setSmoothCost(&gridHorizontal, &gridVertical);
        break;
    }
  }

  // Points the function forms at this problem's costs.
  void activate() {
    currentData = &data;
    currentLabels = numLabels;
    currentWidth = width;
  }
};

class SettledMoves : public testing::TestWithParam<Form> {};

// Every move and the energies, with the shortcut on and off, from the same
// start and the same seed.
TEST_P(SettledMoves, LabelsEqualThoseOfTheBuiltGraph) {
  OptimizerOptions everyGraphBuilt;
  everyGraphBuilt.settledMovesSkipped = false;
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Problem skipped(GetParam(), seed);
    Problem built(GetParam(), seed, everyGraphBuilt);
    auto step = [&](const std::function<double(LabelOptimizer&)>& move) {
      skipped.activate();
      double e1 = move(*skipped.optimizer);
      built.activate();
      double e2 = move(*built.optimizer);
      ASSERT_EQ(e1, e2);
      ASSERT_EQ(skipped.labels, built.labels);
    };
    for (int alpha = 0; alpha < skipped.numLabels; ++alpha) {
      step([alpha](LabelOptimizer& o) { return o.expandOnLabel(alpha); });
    }
    step([](LabelOptimizer& o) { return o.swapLabels(4, 1); });
    step([](LabelOptimizer& o) { return o.swapLabels(0, 2); });
    step([seed](LabelOptimizer& o) {
      o.setRandomSeed(seed);
      return o.expansion();
    });
    step([seed](LabelOptimizer& o) {
      o.setRandomSeed(seed + 1000);
      return o.swap();
    });
  }
}

// A move on a label forbidden everywhere settles without allocating; a move
// that changes labels still builds its graph.
TEST_P(SettledMoves, OnlyMovesThatCanChangeLabelsBuildAGraph) {
  const std::uint32_t seed = 7;
  SCOPED_TRACE("seed " + std::to_string(seed));
  OptimizerOptions counted;
  counted.memory.allocate = countingAllocation;
  Problem p(GetParam(), seed, counted);
  p.activate();
  LabelOptimizer& o = *p.optimizer;
  for (int s = 0; s < p.numSites(); ++s) p.labels[s] = s % 5 == 0 ? 5 : 0;
  o.computeEnergy();  // lays out the neighbour table
  const std::vector<int> allZero(p.labels.size(), 0);

  // Swapping 5 (forbidden) with 0: every site labelled 5 or 0 takes 0.
  allocations = 0;
  o.swapLabels(5, 0);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(p.labels, allZero);

  allocations = 0;
  o.expandOnLabel(6);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(p.labels, allZero);

  // From all 0, some site prefers label 1.
  allocations = 0;
  o.expandOnLabel(1);
  EXPECT_GT(allocations, 0);
  EXPECT_NE(p.labels, allZero);
}

INSTANTIATE_TEST_SUITE_P(Forms, SettledMoves,
                         testing::Values(Form::kGeneralTable,
                                         Form::kGeneralFunction,
                                         Form::kGridCues, Form::kGridFunctions),
                         [](const testing::TestParamInfo<Form>& info) {
                           switch (info.param) {
                             case Form::kGeneralTable:
                               return std::string("GeneralTable");
                             case Form::kGeneralFunction:
                               return std::string("GeneralFunction");
                             case Form::kGridCues:
                               return std::string("GridCues");
                             default:
                               return std::string("GridFunctions");
                           }
                         });

}  // namespace
}  // namespace scribeline
