// Expansion on 100,000 sites x 25 labels, Potts smoothness over a planar
// adjacency of mean degree about 6 (every pair declared twice, as the lazy
// snapper does): time per cycle of PottsExpansion ("ours"), and of the
// reference optimiser on the same instance in the same run ("reference").
// Two kinds of data costs: uniform noise (the hardest case for the cuts), and
// costs that favour one label per block of sites, with noise (closer to costs
// learnt from strokes).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "bench/graphcut/bench_graphs.h"
#include "graphcut/potts_expansion.h"
#include "tests/graphcut/reference/label_optimizer.h"

namespace scribeline {
namespace bench {
namespace {

constexpr int kSide = 317;  // 100,489 sites
constexpr int kLabels = 25;

struct ExpansionInstance {
  std::vector<std::pair<int, int>> pairs;
  std::vector<float> weights;
  std::vector<float> data;
};

ExpansionInstance build(bool blocks) {
  ExpansionInstance e;
  e.pairs = planarPairs(kSide, 99);
  std::mt19937 rng(2024);
  std::uniform_real_distribution<float> weight(0.5f, 3.0f);
  std::uniform_real_distribution<float> cost(0.0f, 10.0f);
  std::uniform_real_distribution<float> noise(0.0f, 2.0f);
  for (std::size_t i = 0; i < e.pairs.size(); ++i)
    e.weights.push_back(weight(rng));
  for (int s = 0; s < kSide * kSide; ++s) {
    int x = s % kSide;
    int y = s / kSide;
    int favoured = (x / 64 + (y / 64) * 5) % kLabels;
    for (int l = 0; l < kLabels; ++l) {
      e.data.push_back(!blocks ? cost(rng)
                               : (l == favoured ? 0.0f : 4.0f) + noise(rng));
    }
  }
  return e;
}

const ExpansionInstance& instance(bool blocks) {
  static const ExpansionInstance noisy = build(false);
  static const ExpansionInstance blocky = build(true);
  return blocks ? blocky : noisy;
}

void setUp(LabelOptimizer& optimizer, bool blocks) {
  const ExpansionInstance& e = instance(blocks);
  for (int a = 0; a < kLabels; ++a) {
    for (int b = 0; b < kLabels; ++b)
      optimizer.setSmoothCost(a, b, a == b ? 0.0f : 1.0f);
  }
  for (std::size_t i = 0; i < e.pairs.size(); ++i) {
    optimizer.setNeighbors(e.pairs[i].first, e.pairs[i].second, e.weights[i]);
    optimizer.setNeighbors(e.pairs[i].second, e.pairs[i].first, e.weights[i]);
  }
  for (int s = 0; s < kSide * kSide; ++s) {
    for (int l = 0; l < kLabels; ++l)
      optimizer.setDataCost(s, l, e.data[s * kLabels + l]);
  }
}

// The pairs as PottsExpansion takes them: every pair declared twice.
std::vector<WeightedPair> weightedPairs(bool blocks) {
  const ExpansionInstance& e = instance(blocks);
  std::vector<WeightedPair> pairs;
  for (std::size_t i = 0; i < e.pairs.size(); ++i) {
    pairs.push_back({e.pairs[i].first, e.pairs[i].second, e.weights[i]});
    pairs.push_back({e.pairs[i].second, e.pairs[i].first, e.weights[i]});
  }
  return pairs;
}

// From the all-zero labelling and the same seed: one cycle (25 moves), or
// cycles until the energy stops falling. Both run one cycle per call so that
// the cycles can be counted; that adds one energy evaluation per cycle (and
// PottsExpansion, whose single call to convergence skips a move confirmed in
// the cycle before, runs every move of every cycle).
template <typename Start, typename Cycle>
void countCycles(benchmark::State& state, Start start, Cycle cycle) {
  const bool untilStable = state.range(0) != 0;
  int cycles = 0;
  double energy = 0;
  for (auto _ : state) {
    state.PauseTiming();
    double previous = start();
    state.ResumeTiming();
    cycles = 0;
    for (;;) {
      energy = cycle();
      ++cycles;
      if (!untilStable || !(energy < previous)) break;
      previous = energy;
    }
    benchmark::DoNotOptimize(energy);
  }
  state.counters["cycles"] = cycles;
  state.counters["energy"] = energy;
  state.counters["msPerCycle"] = benchmark::Counter(
      cycles * 1e-3, benchmark::Counter::kIsIterationInvariantRate |
                         benchmark::Counter::kInvert);
}

// Every iteration starts without kept flows, as a new solver does.
void oursCycles(benchmark::State& state) {
  const bool blocks = state.range(1) != 0;
  const ExpansionInstance& e = instance(blocks);
  std::vector<int> labels(kSide * kSide, 0);
  PottsExpansion solver(kSide * kSide, kLabels, weightedPairs(blocks), 7);
  countCycles(
      state,
      [&] {
        std::fill(labels.begin(), labels.end(), 0);
        solver.seed(7);
        solver.forgetFlows();
        return solver.energy(labels.data(), e.data.data());
      },
      [&] { return solver.expansion(labels.data(), e.data.data(), 1); });
}

void referenceCycles(benchmark::State& state) {
  const int sites = kSide * kSide;
  std::vector<int> labels(sites, 0);
  LabelOptimizer optimizer(labels.data(), sites, kLabels, 0, 0);
  setUp(optimizer, state.range(1) != 0);
  countCycles(
      state,
      [&] {
        std::fill(labels.begin(), labels.end(), 0);
        optimizer.setRandomSeed(7);
        optimizer.resetLabelOrder();
        return optimizer.computeEnergy();
      },
      [&] { return optimizer.expansion(1); });
}

void registerCycles(const char* name, void (*run)(benchmark::State&)) {
  benchmark::RegisterBenchmark(name, run)
      ->ArgNames({"untilStable", "blockCosts"})
      ->Args({0, 0})
      ->Args({1, 0})
      ->Args({0, 1})
      ->Args({1, 1})
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
}

const bool registered = [] {
  registerCycles("expansion/100k_sites_25_labels/cycles/ours", oursCycles);
  registerCycles("expansion/100k_sites_25_labels/cycles/reference",
                 referenceCycles);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace scribeline
