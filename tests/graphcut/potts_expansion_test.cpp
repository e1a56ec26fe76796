// PottsExpansion: every move's labelling is a minimum of that move's energy
// (checked against Boost.Graph's push-relabel on an independently built move
// graph), also when moves start from flows kept across calls with changed
// costs; the labelling equals LabelOptimizer's where minimum cuts are unique;
// a seeded solve repeats exactly.
#include "graphcut/potts_expansion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <vector>

#include "tests/graphcut/boost_max_flow.h"
#include "tests/graphcut/reference/label_optimizer.h"

namespace scribeline {
namespace {

constexpr float kForbidden = 1e10f;

struct PottsProblem {
  int numSites = 0;
  int numLabels = 0;
  std::vector<WeightedPair> pairs;  // declarations, some repeated
  std::vector<float> data;          // site-major
};

// Shaped like a lazy-snapping problem: local neighbours plus a few hubs with
// hundreds or thousands of neighbours, each pair declared from both sides;
// small colour costs, seeds that forbid every label but their own, and
// labels that are forbidden everywhere but on their seeds.
PottsProblem snappingLike(std::mt19937& rng, int numSites, int numLabels,
                          int hubDegree, bool forbiddenCosts) {
  PottsProblem p;
  p.numSites = numSites;
  p.numLabels = numLabels;
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::set<std::pair<int, int>> pairs;
  for (int s = 0; s < numSites; ++s) {
    for (int k = 0; k < 3; ++k) {
      const int j = s + 1 + static_cast<int>(rng() % 10);
      if (j < numSites) pairs.emplace(s, j);
    }
  }
  for (int h = 0; h < 2; ++h) {
    const int hub = static_cast<int>(rng() % numSites);
    for (int k = 0; k < hubDegree; ++k) {
      const int j = static_cast<int>(rng() % numSites);
      if (j != hub) pairs.emplace(std::min(hub, j), std::max(hub, j));
    }
  }
  for (const auto& [s, j] : pairs) {
    const float w = 1000.0f / (1.0f + 3000.0f * unit(rng) * unit(rng));
    p.pairs.push_back({s, j, w});
    p.pairs.push_back({j, s, w});
  }
  const int modelled = std::max(2, numLabels / 2);
  p.data.resize(static_cast<std::size_t>(numSites) * numLabels);
  for (int s = 0; s < numSites; ++s) {
    float* costs = &p.data[static_cast<std::size_t>(s) * numLabels];
    const int seed = forbiddenCosts && rng() % 20 == 0
                         ? static_cast<int>(rng() % numLabels)
                         : -1;
    for (int l = 0; l < numLabels; ++l) {
      if (seed >= 0) {
        costs[l] = l == seed ? 0.0f : kForbidden;
      } else if (forbiddenCosts && l >= modelled) {
        costs[l] = kForbidden;
      } else {
        costs[l] = 0.43f * unit(rng) + (forbiddenCosts ? 0.0f : 50 * unit(rng));
      }
    }
  }
  return p;
}

double pairWeight(const WeightedPair& pair) { return pair.weight; }

double energyOf(const PottsProblem& p, const int* labels) {
  double e = 0;
  for (int s = 0; s < p.numSites; ++s) {
    e += p.data[static_cast<std::size_t>(s) * p.numLabels + labels[s]];
  }
  for (const WeightedPair& pair : p.pairs) {
    if (labels[pair.first] != labels[pair.second]) e += pairWeight(pair);
  }
  return e;
}

// The least energy any expansion of alpha from `before` reaches, by Boost's
// push-relabel on the binary move energy built here in double.
double bestMoveEnergy(const PottsProblem& p, const std::vector<int>& before,
                      int alpha) {
  const int n = p.numSites;
  BoostMaxFlow g(n + 2);
  const int source = n, sink = n + 1;
  auto add = [&](int from, int to, double cap) { g.addArc(from, to, cap); };
  // x = 1: takes alpha (source side). Unary terms as coefficients of x.
  double constant = 0;
  std::vector<double> unary(n, 0.0);
  for (int s = 0; s < n; ++s) {
    const double keep =
        p.data[static_cast<std::size_t>(s) * p.numLabels + before[s]];
    const double take =
        p.data[static_cast<std::size_t>(s) * p.numLabels + alpha];
    if (before[s] == alpha) {
      constant += take;
    } else {
      constant += keep;
      unary[s] += take - keep;
    }
  }
  for (const WeightedPair& pair : p.pairs) {
    const int a = pair.first, b = pair.second;
    const double w = pair.weight;
    const bool activeA = before[a] != alpha, activeB = before[b] != alpha;
    auto cost = [&](int la, int lb) { return la == lb ? 0.0 : w; };
    if (!activeA && !activeB) continue;  // both alpha: 0
    if (!activeB) {
      constant += cost(before[a], alpha);
      unary[a] += cost(alpha, alpha) - cost(before[a], alpha);
    } else if (!activeA) {
      constant += cost(alpha, before[b]);
      unary[b] += cost(alpha, alpha) - cost(alpha, before[b]);
    } else {
      const double e00 = cost(before[a], before[b]),
                   e01 = cost(before[a], alpha), e10 = cost(alpha, before[b]),
                   e11 = 0;
      constant += e00;
      unary[a] += e10 - e00;
      unary[b] += e11 - e10;
      // (e01 + e10 - e00 - e11) when a keeps (sink side) and b takes alpha.
      add(b, a, e01 + e10 - e00 - e11);
    }
  }
  for (int s = 0; s < n; ++s) {
    if (unary[s] > 0) {
      add(s, sink, unary[s]);
    } else if (unary[s] < 0) {
      constant += unary[s];
      add(source, s, -unary[s]);
    }
  }
  return constant + g.maxFlow(source, sink);
}

// Runs expansion with every move checked against the oracle.
void expectEveryMoveMinimal(PottsExpansion& solver, const PottsProblem& p,
                            std::vector<int>& labels, unsigned seed) {
  int moves = 0;
  solver.setMoveObserver(
      [&](int alpha, const std::vector<int>& before, const int* after) {
        ++moves;
        const double reached = energyOf(p, after);
        const double best = bestMoveEnergy(p, before, alpha);
        // Float capacities: rounding relative to what the costs add up to,
        // forbidden costs cancelling exactly.
        const double tolerance = 2e-5 * (std::fabs(best) + 1.0);
        EXPECT_NEAR(reached, best, tolerance)
            << "seed " << seed << ", move " << moves << " on label " << alpha;
      });
  solver.expansion(labels.data(), p.data.data());
  solver.setMoveObserver(nullptr);
  EXPECT_GT(moves, 0) << "seed " << seed;
}

TEST(PottsExpansionOracle, EveryMoveIsAMinimumCutOfItsGraph) {
  struct Shape {
    int sites, labels, hubDegree;
    bool forbidden;
  };
  for (const Shape shape :
       {Shape{400, 4, 300, true}, Shape{2500, 6, 2000, true},
        Shape{1500, 5, 1200, false}}) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      std::mt19937 rng(seed * 104729u + shape.sites);
      PottsProblem p = snappingLike(rng, shape.sites, shape.labels,
                                    shape.hubDegree, shape.forbidden);
      PottsExpansion solver(p.numSites, p.numLabels, p.pairs, seed);
      std::vector<int> labels(p.numSites, 0);
      expectEveryMoveMinimal(solver, p, labels, seed);

      // A second call with changed costs starts every move from the flow
      // its label's last move left, cut back to the new graph.
      std::uniform_real_distribution<float> unit(0.0f, 1.0f);
      for (float& cost : p.data) {
        if (cost < kForbidden && rng() % 3 == 0) cost = 0.43f * unit(rng);
      }
      for (int s = 0; s < p.numSites; s += 7) {
        labels[s] = static_cast<int>(rng() % p.numLabels);
      }
      expectEveryMoveMinimal(solver, p, labels, seed);
    }
  }
}

// Random float costs make every move's minimum cut unique, so the labellings
// must agree exactly when both follow the same label order.
TEST(PottsExpansionReference, SameLabellingAsLabelOptimizer) {
  for (unsigned seed = 1; seed <= 8; ++seed) {
    std::mt19937 rng(seed);
    const PottsProblem p = snappingLike(rng, 600, 5, 400, false);

    std::vector<int> expected(p.numSites, 0);
    LabelOptimizer reference(expected.data(), p.numSites, p.numLabels, 0, 0);
    for (int a = 0; a < p.numLabels; ++a) {
      for (int b = 0; b < p.numLabels; ++b) {
        reference.setSmoothCost(a, b, a == b ? 0.0f : 1.0f);
      }
    }
    for (const WeightedPair& pair : p.pairs) {
      reference.setNeighbors(pair.first, pair.second, pair.weight);
    }
    for (int s = 0; s < p.numSites; ++s) {
      for (int l = 0; l < p.numLabels; ++l) {
        reference.setDataCost(
            s, l, p.data[static_cast<std::size_t>(s) * p.numLabels + l]);
      }
    }
    reference.setRandomSeed(seed);
    const double referenceEnergy = reference.expansion();

    PottsExpansion solver(p.numSites, p.numLabels, p.pairs, seed);
    std::vector<int> labels(p.numSites, 0);
    const double energy = solver.expansion(labels.data(), p.data.data());

    EXPECT_EQ(labels, expected) << "seed " << seed;
    EXPECT_NEAR(energy, referenceEnergy, 1e-9 * referenceEnergy)
        << "seed " << seed;
  }
}

TEST(PottsExpansionSeed, ASeededSolveRepeatsExactly) {
  std::mt19937 rng(5);
  const PottsProblem p = snappingLike(rng, 1500, 6, 1000, true);
  PottsExpansion first(p.numSites, p.numLabels, p.pairs, 99);
  PottsExpansion second(p.numSites, p.numLabels, p.pairs, 7);
  std::vector<int> a(p.numSites, 0), b(p.numSites, 0);
  first.expansion(a.data(), p.data.data());
  // Another solver that already solved something else, then is given the
  // seed the first was built with, and the same start.
  second.expansion(b.data(), p.data.data());
  std::fill(b.begin(), b.end(), 0);
  second.forgetFlows();
  second.seed(99);
  second.expansion(b.data(), p.data.data());
  EXPECT_EQ(a, b);
  EXPECT_EQ(first.labelOrder(), second.labelOrder());
}

TEST(PottsExpansionEdges, NoCycleWhenTheEnergyCannotRegisterAChange) {
  PottsExpansion solver(2, 2, {{0, 1, 1.0f}}, 1);
  const float data[] = {0, 1e30f, 1e30f, 0};
  std::vector<int> labels = {1, 0};
  solver.expansion(labels.data(), data);
  EXPECT_EQ(labels, (std::vector<int>{1, 0}));
}

TEST(PottsExpansionEdges, RepeatedDeclarationsAddUp) {
  // Two declarations of 0.6 outweigh a data advantage of 1.
  PottsExpansion solver(2, 2, {{0, 1, 0.6f}, {1, 0, 0.6f}}, 1);
  const float data[] = {0, 5, 1, 0};  // site 1 prefers label 1 by 1
  std::vector<int> labels = {0, 0};
  solver.setRandomOrder(false);
  EXPECT_DOUBLE_EQ(solver.expansion(labels.data(), data), 1.0);
  EXPECT_EQ(labels, (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace scribeline
