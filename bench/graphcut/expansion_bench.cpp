// Expansion on 100,000 sites x 25 labels, Potts smoothness over a planar
// adjacency of mean degree about 6 (every pair declared twice, as the lazy
// snapper does), random data costs: time per cycle.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "bench/graphcut/bench_graphs.h"
#include "graphcut/label_optimizer.h"

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

const ExpansionInstance& instance() {
  static const ExpansionInstance built = [] {
    ExpansionInstance e;
    e.pairs = planarPairs(kSide, 99);
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> weight(0.5f, 3.0f);
    std::uniform_real_distribution<float> cost(0.0f, 10.0f);
    for (std::size_t i = 0; i < e.pairs.size(); ++i) e.weights.push_back(weight(rng));
    for (int i = 0; i < kSide * kSide * kLabels; ++i) e.data.push_back(cost(rng));
    return e;
  }();
  return built;
}

void setUp(LabelOptimizer& optimizer) {
  const ExpansionInstance& e = instance();
  for (int a = 0; a < kLabels; ++a) {
    for (int b = 0; b < kLabels; ++b) optimizer.setSmoothCost(a, b, a == b ? 0.0f : 1.0f);
  }
  for (std::size_t i = 0; i < e.pairs.size(); ++i) {
    optimizer.setNeighbors(e.pairs[i].first, e.pairs[i].second, e.weights[i]);
    optimizer.setNeighbors(e.pairs[i].second, e.pairs[i].first, e.weights[i]);
  }
  for (int s = 0; s < kSide * kSide; ++s) {
    for (int l = 0; l < kLabels; ++l) optimizer.setDataCost(s, l, e.data[s * kLabels + l]);
  }
}

// One cycle (25 moves) from the all-zero labelling, and the full run to
// convergence from it.
void expansionCycles(benchmark::State& state) {
  const int sites = kSide * kSide;
  std::vector<int> labels(sites, 0);
  LabelOptimizer optimizer(labels.data(), sites, kLabels, 0, 0);
  setUp(optimizer);
  const int maxCycles = static_cast<int>(state.range(0));
  int cycles = 0;
  double energy = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::fill(labels.begin(), labels.end(), 0);
    std::srand(7);
    double before = optimizer.computeEnergy();
    state.ResumeTiming();
    energy = optimizer.expansion(maxCycles);
    benchmark::DoNotOptimize(energy);
    state.PauseTiming();
    cycles = 0;
    // Count the cycles of the run by replaying it one cycle at a time.
    std::fill(labels.begin(), labels.end(), 0);
    std::srand(7);
    double previous = before;
    for (int c = 0; c < maxCycles; ++c) {
      ++cycles;
      double next = optimizer.expansion(1);
      if (!(next < previous)) break;
      previous = next;
    }
    state.ResumeTiming();
  }
  state.counters["cycles"] = cycles;
  state.counters["energy"] = energy;
  state.counters["msPerCycle"] = benchmark::Counter(
      cycles * 1e-3, benchmark::Counter::kIsIterationInvariantRate |
                         benchmark::Counter::kInvert);
}

const bool registered = [] {
  benchmark::RegisterBenchmark("expansion/100k_sites_25_labels/cycles", expansionCycles)
      ->Arg(1)
      ->Arg(1000000000)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(2);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace scribeline
