// Expansion and swap moves against brute force on small random problems.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "graphcut/shuffle_random.h"
#include "tests/graphcut/reference/label_optimizer.h"

namespace scribeline {
namespace {

struct Pair {
  int a;
  int b;
  float weight;
};

// A general-graph problem kept apart from the optimiser, so that energies can
// be evaluated independently of it.
struct Problem {
  int numSites;
  int numLabels;
  std::vector<float> data;    // site-major
  std::vector<float> smooth;  // row-major, symmetric
  std::vector<Pair> pairs;

  double energy(const std::vector<int>& labels) const {
    double total = 0;
    for (int s = 0; s < numSites; ++s) total += data[s * numLabels + labels[s]];
    for (const Pair& p : pairs) {
      total += p.weight * smooth[labels[p.a] * numLabels + labels[p.b]];
    }
    return total;
  }
};

enum class Smoothness { kPotts, kTruncatedLinear };

Problem randomProblem(std::mt19937& rng, int numSites, int numLabels,
                      Smoothness kind) {
  std::uniform_real_distribution<float> cost(0.0f, 10.0f);
  std::uniform_real_distribution<float> weight(0.0f, 4.0f);
  Problem p{numSites, numLabels, {}, {}, {}};
  for (int i = 0; i < numSites * numLabels; ++i) p.data.push_back(cost(rng));
  for (int a = 0; a < numLabels; ++a) {
    for (int b = 0; b < numLabels; ++b) {
      float d = static_cast<float>(std::abs(a - b));
      p.smooth.push_back(kind == Smoothness::kPotts ? (a == b ? 0.0f : 1.0f)
                                                    : std::min(d, 2.0f));
    }
  }
  std::uniform_int_distribution<int> site(0, numSites - 1);
  for (int i = 0; i < numSites * 2; ++i) {
    int a = site(rng);
    int b = site(rng);
    if (a != b) p.pairs.push_back({a, b, weight(rng)});
  }
  if (numSites > 1)
    p.pairs.push_back(p.pairs.empty() ? Pair{0, 1, 1.0f} : p.pairs.front());
  return p;
}

void load(LabelOptimizer& optimizer, const Problem& p) {
  for (int s = 0; s < p.numSites; ++s) {
    for (int l = 0; l < p.numLabels; ++l)
      optimizer.setDataCost(s, l, p.data[s * p.numLabels + l]);
  }
  for (int a = 0; a < p.numLabels; ++a) {
    for (int b = 0; b < p.numLabels; ++b)
      optimizer.setSmoothCost(a, b, p.smooth[a * p.numLabels + b]);
  }
  for (const Pair& pair : p.pairs)
    optimizer.setNeighbors(pair.a, pair.b, pair.weight);
}

std::vector<int> randomLabels(std::mt19937& rng, const Problem& p) {
  std::uniform_int_distribution<int> label(0, p.numLabels - 1);
  std::vector<int> labels(p.numSites);
  for (int& l : labels) l = label(rng);
  return labels;
}

// Lowest energy over every labelling reachable by one move: an expansion on
// alpha (any subset of sites switches to alpha) or a swap of a and b.
double bestMove(const Problem& p, const std::vector<int>& start, int first,
                int second, bool isSwap) {
  double best = p.energy(start);
  for (int mask = 0; mask < (1 << p.numSites); ++mask) {
    std::vector<int> labels = start;
    bool valid = true;
    for (int s = 0; s < p.numSites; ++s) {
      bool chosen = (mask >> s) & 1;
      if (!isSwap) {
        if (chosen) labels[s] = first;
      } else if (start[s] == first || start[s] == second) {
        labels[s] = chosen ? first : second;
      } else if (chosen) {
        valid = false;
      }
    }
    if (valid) best = std::min(best, p.energy(labels));
  }
  return best;
}

double bruteForceOptimum(const Problem& p) {
  std::vector<int> labels(p.numSites, 0);
  double best = p.energy(labels);
  for (;;) {
    int s = 0;
    while (s < p.numSites && ++labels[s] == p.numLabels) labels[s++] = 0;
    if (s == p.numSites) return best;
    best = std::min(best, p.energy(labels));
  }
}

class Moves : public testing::TestWithParam<Smoothness> {};

TEST_P(Moves, EachMoveFindsTheBestLabellingWithinItsReach) {
  for (unsigned seed = 1; seed <= 120; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    int numSites = 2 + static_cast<int>(seed % 7);
    Problem p = randomProblem(rng, numSites, 4, GetParam());
    std::vector<int> labels = randomLabels(rng, p);
    LabelOptimizer optimizer(labels.data(), numSites, 4, 0, 0);
    load(optimizer, p);
    ASSERT_NEAR(optimizer.computeEnergy(), p.energy(labels), 1e-4);
    int alpha = static_cast<int>(seed % 4);
    std::vector<int> start = labels;
    double expected = bestMove(p, start, alpha, 0, false);
    double energy = optimizer.expandOnLabel(alpha);
    ASSERT_NEAR(energy, expected, 1e-4);
    ASSERT_NEAR(p.energy(labels), energy, 1e-4);

    int a = static_cast<int>(seed % 3);
    int b = 3;
    start = labels;
    expected = bestMove(p, start, a, b, true);
    energy = optimizer.swapLabels(a, b);
    ASSERT_NEAR(energy, expected, 1e-4);
    ASSERT_NEAR(p.energy(labels), energy, 1e-4);
  }
}

TEST_P(Moves, ExpansionNeverRaisesTheEnergy) {
  for (unsigned seed = 200; seed <= 260; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    Problem p = randomProblem(rng, 40, 5, GetParam());
    std::vector<int> labels = randomLabels(rng, p);
    LabelOptimizer optimizer(labels.data(), p.numSites, p.numLabels, 0, 0);
    load(optimizer, p);
    double energy = optimizer.computeEnergy();
    for (int round = 0; round < 3; ++round) {
      for (int alpha = 0; alpha < p.numLabels; ++alpha) {
        double next = optimizer.expandOnLabel(alpha);
        ASSERT_LE(next, energy + 1e-4);
        energy = next;
      }
    }
    optimizer.setRandomSeed(seed);
    double final = optimizer.expansion();
    ASSERT_LE(final, energy + 1e-4);
    ASSERT_NEAR(final, p.energy(labels), 1e-3);
  }
}

INSTANTIATE_TEST_SUITE_P(Tables, Moves,
                         testing::Values(Smoothness::kPotts,
                                         Smoothness::kTruncatedLinear));

TEST(Expansion, PottsResultWithinTwiceTheOptimum) {
  for (unsigned seed = 300; seed <= 500; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    int numSites = 1 + static_cast<int>(seed % 7);
    Problem p = randomProblem(rng, numSites, 3, Smoothness::kPotts);
    std::vector<int> labels = randomLabels(rng, p);
    LabelOptimizer optimizer(labels.data(), numSites, 3, 0, 0);
    load(optimizer, p);
    optimizer.setRandomSeed(seed);
    double energy = optimizer.expansion();
    ASSERT_LE(energy, 2 * bruteForceOptimum(p) + 1e-4);
  }
}

// The shuffle: 2 x numLabels exchanges, each of entries next() % n, then
// next() % n, applied to the order left by the previous cycle.
std::vector<int> predictedOrder(unsigned seed, int numLabels, int cycles) {
  ShuffleRandom random(seed);
  std::vector<int> order(numLabels);
  for (int l = 0; l < numLabels; ++l) order[l] = l;
  for (int c = 0; c < cycles; ++c) {
    for (int n = 0; n < 2 * numLabels; ++n) {
      int i = random.next() % numLabels;
      int j = random.next() % numLabels;
      std::swap(order[i], order[j]);
    }
  }
  return order;
}

TEST(Expansion, LabelOrderFollowsTheSeededGenerator) {
  const unsigned seed = 4242;
  std::mt19937 rng(seed);
  Problem p = randomProblem(rng, 30, 7, Smoothness::kPotts);
  std::vector<int> labels(30, 0);
  LabelOptimizer optimizer(labels.data(), 30, 7, 0, 0);
  load(optimizer, p);
  optimizer.setRandomSeed(seed);
  optimizer.expansion(1);  // exactly one cycle
  std::vector<int> order(optimizer.labelOrder(), optimizer.labelOrder() + 7);
  EXPECT_EQ(order, predictedOrder(seed, 7, 1));
  optimizer.setRandomSeed(seed + 1);
  optimizer.expansion(1);  // the next cycle shuffles the order it found
  std::vector<int> expected = predictedOrder(seed, 7, 1);
  std::vector<int> second = predictedOrder(seed + 1, 7, 1);
  std::vector<int> composed(7);
  for (int i = 0; i < 7; ++i) composed[i] = expected[second[i]];
  order.assign(optimizer.labelOrder(), optimizer.labelOrder() + 7);
  EXPECT_EQ(order, composed);

  // Same seed, same problem, same start: same result.
  std::vector<int> first(30, 0);
  std::vector<int> again(30, 0);
  LabelOptimizer a(first.data(), 30, 7, 0, 0);
  LabelOptimizer b(again.data(), 30, 7, 0, 0);
  load(a, p);
  load(b, p);
  a.setRandomSeed(seed);
  a.expansion();
  b.setRandomSeed(seed);
  b.expansion();
  EXPECT_EQ(first, again);
}

TEST(Expansion, IterationLimitsAndTrivialMoves) {
  std::mt19937 rng(77);
  Problem p = randomProblem(rng, 12, 3, Smoothness::kPotts);
  std::vector<int> labels = randomLabels(rng, p);
  const std::vector<int> start = labels;
  LabelOptimizer optimizer(labels.data(), 12, 3, 0, 0);
  load(optimizer, p);
  EXPECT_DOUBLE_EQ(optimizer.expansion(0), p.energy(start));
  EXPECT_EQ(labels, start);

  // A move on a label every site already has builds nothing and changes
  // nothing.
  std::vector<int> same(12, 2);
  LabelOptimizer uniform(same.data(), 12, 3, 0, 0);
  load(uniform, p);
  EXPECT_DOUBLE_EQ(uniform.expandOnLabel(2), p.energy(same));
  EXPECT_EQ(same, std::vector<int>(12, 2));

  // One label: no move has an active site; one cycle, energy unchanged.
  std::vector<int> single(5, 0);
  LabelOptimizer lone(single.data(), 5, 1, 0, 0);
  for (int s = 0; s < 5; ++s) lone.setDataCost(s, 0, 1.5f);
  lone.setNeighbors(0, 1, 2.0f);
  EXPECT_DOUBLE_EQ(lone.expansion(), 7.5);
}

// Grid forms against the same problem stated as a general graph.
float gridWeight(int x, int y, int right, int left) {
  return right == left ? 0.0f : 1.0f + static_cast<float>((x * 7 + y * 3) % 5);
}
float gridWeightV(int x, int y, int lower, int upper) {
  return lower == upper ? 0.0f : 2.0f + static_cast<float>((x * 5 + y) % 3);
}

TEST(Expansion, GridFormsMatchTheGeneralGraph) {
  for (unsigned seed = 600; seed <= 640; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const int width = 4;
    const int height = 3;
    const int n = width * height;
    Problem p = randomProblem(rng, n, 3, Smoothness::kPotts);
    p.pairs.clear();
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int s = y * width + x;
        if (x + 1 < width)
          p.pairs.push_back(
              {s, s + 1, 1.0f + static_cast<float>((x * 7 + y * 3) % 5)});
        if (y + 1 < height)
          p.pairs.push_back(
              {s, s + width, 2.0f + static_cast<float>((x * 5 + y) % 3)});
      }
    }
    std::vector<int> general = randomLabels(rng, p);
    std::vector<int> grid = general;
    LabelOptimizer reference(general.data(), n, 3, 0, 0);
    load(reference, p);
    LabelOptimizer optimizer(grid.data(), width, height, 3, 0, 1);
    for (int s = 0; s < n; ++s) {
      for (int l = 0; l < 3; ++l)
        optimizer.setDataCost(s, l, p.data[s * 3 + l]);
    }
    // Even seeds: coordinate functions; odd seeds: Potts table with cues.
    std::vector<float> horizontal(n);
    std::vector<float> vertical(n);
    for (int s = 0; s < n; ++s) {
      horizontal[s] =
          1.0f + static_cast<float>(((s % width) * 7 + (s / width) * 3) % 5);
      vertical[s] =
          2.0f + static_cast<float>(((s % width) * 5 + s / width) % 3);
    }
    if (seed % 2 == 0) {
      optimizer.setSmoothCost(gridWeight, gridWeightV);
    } else {
      optimizer.setSmoothCost(p.smooth.data(), horizontal.data(),
                              vertical.data());
    }
    ASSERT_NEAR(optimizer.computeEnergy(), reference.computeEnergy(), 1e-4);
    int alpha = static_cast<int>(seed % 3);
    ASSERT_NEAR(optimizer.expandOnLabel(alpha), reference.expandOnLabel(alpha),
                1e-4);
    ASSERT_NEAR(optimizer.swapLabels(0, 2), reference.swapLabels(0, 2), 1e-4);
    ASSERT_NEAR(optimizer.computeEnergy(), p.energy(grid), 1e-4);
  }
}

}  // namespace
}  // namespace scribeline
