// One expansion cycle over the superpixel graph of a large photograph, built
// the way the lazy snapper builds it (graph-based segmentation with sigma 0.5,
// k 500, minimum size 20; right, lower and lower-right pixel contacts; every
// pair of superpixels numbered 1 and up declared in both orders with weight
// 1000 / (1 + squared mean-colour difference)). Such graphs give single nodes
// more arcs than one arc chunk holds. Reports the largest arc count of a node.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "bench/graphcut/photo_superpixels.h"
#include "graphcut/label_optimizer.h"

namespace scribeline {
namespace bench {
namespace {

constexpr int kLabels = 25;

void expansionOnPhoto(benchmark::State& state) {
  std::string path = findElephants();
  cv::Mat image = path.empty() ? cv::Mat() : cv::imread(path, cv::IMREAD_COLOR);
  if (image.empty()) {
    state.SkipWithError("no elephants photograph found");
    for (auto _ : state) {
    }
    return;
  }
  SuperpixelGraph g = buildSuperpixels(image);
  std::vector<int> labels(g.count, 0);
  LabelOptimizer optimizer(labels.data(), g.count, kLabels, 0, 0);
  for (int a = 0; a < kLabels; ++a) {
    for (int b = 0; b < kLabels; ++b)
      optimizer.setSmoothCost(a, b, a == b ? 0.0f : 1.0f);
  }
  // Arcs of a node in a move where every site takes part: one per declared
  // record towards a higher-numbered site (outgoing) or a lower one (incoming).
  std::size_t maxOut = 0;
  std::size_t maxIn = 0;
  for (int i = 1; i < g.count; ++i) {
    std::size_t out = 0;
    std::size_t in = 0;
    for (int j : g.neighbors[i]) {
      if (j == 0) continue;
      optimizer.setNeighbors(i, j, pairWeight(g, i, j));
      (j > i ? out : in) += 2;  // the pair is declared from both ends
    }
    maxOut = std::max(maxOut, out);
    maxIn = std::max(maxIn, in);
  }
  // Data costs: squared distance of the mean colour to 25 prototypes taken
  // from superpixels spread over the numbering.
  for (int l = 0; l < kLabels; ++l) {
    const cv::Vec3d& prototype =
        g.means[(static_cast<long long>(g.count) * l) / kLabels];
    for (int s = 0; s < g.count; ++s) {
      cv::Vec3d d = g.means[s] - prototype;
      optimizer.setDataCost(s, l, static_cast<float>(d.dot(d) / 100.0));
    }
  }
  double energy = 0;
  for (auto _ : state) {
    std::fill(labels.begin(), labels.end(), 0);
    optimizer.setRandomSeed(1);
    energy = optimizer.expansion(1);
  }
  state.counters["superpixels"] = g.count;
  state.counters["maxOutArcs"] = static_cast<double>(maxOut);
  state.counters["maxInArcs"] = static_cast<double>(maxIn);
  state.counters["energy"] = energy;
}

const bool registered = [] {
  benchmark::RegisterBenchmark("expansion/elephants_superpixels/one_cycle",
                               expansionOnPhoto)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace scribeline
