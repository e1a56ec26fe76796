// One expansion cycle over the superpixel graph of a large photograph, built
// the way the lazy snapper builds it (graph-based segmentation with sigma 0.5,
// k 500, minimum size 20; right, lower and lower-right pixel contacts; every
// pair of superpixels numbered 1 and up declared in both orders with weight
// 1000 / (1 + squared mean-colour difference)), by PottsExpansion ("ours")
// and by the reference optimiser on the same energy in the same run
// ("reference"). Such graphs give single nodes thousands of arcs. Reports the
// largest arc count of a node in the reference's move graphs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "bench/graphcut/photo_superpixels.h"
#include "graphcut/potts_expansion.h"
#include "tests/graphcut/reference/label_optimizer.h"

namespace scribeline {
namespace bench {
namespace {

constexpr int kLabels = 25;

// The energy, built once: pairs as declared, data costs site-major.
struct PhotoEnergy {
  int sites = 0;
  std::vector<WeightedPair> pairs;
  std::vector<float> data;
  std::size_t maxOutArcs = 0;
  std::size_t maxInArcs = 0;
};

// Null when the photograph is not found.
const PhotoEnergy* photoEnergy() {
  static const std::unique_ptr<PhotoEnergy> built =
      []() -> std::unique_ptr<PhotoEnergy> {
    const std::string path = findElephants();
    const cv::Mat image =
        path.empty() ? cv::Mat() : cv::imread(path, cv::IMREAD_COLOR);
    if (image.empty()) return nullptr;
    const SuperpixelGraph g = buildSuperpixels(image);
    auto e = std::make_unique<PhotoEnergy>();
    e->sites = g.count;
    // Arcs of a node in a move of the reference where every site takes part:
    // one per declared record towards a higher-numbered site (outgoing) or a
    // lower one (incoming).
    for (int i = 1; i < g.count; ++i) {
      std::size_t out = 0;
      std::size_t in = 0;
      for (int j : g.neighbors[i]) {
        if (j == 0) continue;
        e->pairs.push_back({i, j, pairWeight(g, i, j)});
        (j > i ? out : in) += 2;  // the pair is declared from both ends
      }
      e->maxOutArcs = std::max(e->maxOutArcs, out);
      e->maxInArcs = std::max(e->maxInArcs, in);
    }
    // Data costs: squared distance of the mean colour to 25 prototypes taken
    // from superpixels spread over the numbering.
    e->data.resize(static_cast<std::size_t>(g.count) * kLabels);
    for (int l = 0; l < kLabels; ++l) {
      const cv::Vec3d& prototype =
          g.means[(static_cast<long long>(g.count) * l) / kLabels];
      for (int s = 0; s < g.count; ++s) {
        const cv::Vec3d d = g.means[s] - prototype;
        e->data[static_cast<std::size_t>(s) * kLabels + l] =
            static_cast<float>(d.dot(d) / 100.0);
      }
    }
    return e;
  }();
  return built.get();
}

bool skipWithoutPhoto(benchmark::State& state, const PhotoEnergy* e) {
  if (e != nullptr) return false;
  state.SkipWithError("no elephants photograph found");
  for (auto _ : state) {
  }
  return true;
}

// From the all-0 labelling, seed 1 and no kept flow.
void oursOnPhoto(benchmark::State& state) {
  const PhotoEnergy* e = photoEnergy();
  if (skipWithoutPhoto(state, e)) return;
  std::vector<int> labels(e->sites, 0);
  PottsExpansion solver(e->sites, kLabels, e->pairs, 1);
  double energy = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::fill(labels.begin(), labels.end(), 0);
    solver.seed(1);
    solver.forgetFlows();
    state.ResumeTiming();
    energy = solver.expansion(labels.data(), e->data.data(), 1);
  }
  state.counters["superpixels"] = e->sites;
  state.counters["energy"] = energy;
}

void referenceOnPhoto(benchmark::State& state) {
  const PhotoEnergy* e = photoEnergy();
  if (skipWithoutPhoto(state, e)) return;
  std::vector<int> labels(e->sites, 0);
  LabelOptimizer optimizer(labels.data(), e->sites, kLabels, 0, 0);
  for (int a = 0; a < kLabels; ++a) {
    for (int b = 0; b < kLabels; ++b)
      optimizer.setSmoothCost(a, b, a == b ? 0.0f : 1.0f);
  }
  for (const WeightedPair& p : e->pairs) {
    optimizer.setNeighbors(p.first, p.second, p.weight);
  }
  for (int s = 0; s < e->sites; ++s) {
    for (int l = 0; l < kLabels; ++l) {
      optimizer.setDataCost(s, l,
                            e->data[static_cast<std::size_t>(s) * kLabels + l]);
    }
  }
  optimizer.computeEnergy();  // builds the neighbour table outside timing
  double energy = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::fill(labels.begin(), labels.end(), 0);
    optimizer.setRandomSeed(1);
    optimizer.resetLabelOrder();
    state.ResumeTiming();
    energy = optimizer.expansion(1);
  }
  state.counters["superpixels"] = e->sites;
  state.counters["maxOutArcs"] = static_cast<double>(e->maxOutArcs);
  state.counters["maxInArcs"] = static_cast<double>(e->maxInArcs);
  state.counters["energy"] = energy;
}

const bool registered = [] {
  benchmark::RegisterBenchmark("expansion/elephants_superpixels/one_cycle/ours",
                               oursOnPhoto)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RegisterBenchmark(
      "expansion/elephants_superpixels/one_cycle/reference", referenceOnPhoto)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace scribeline
