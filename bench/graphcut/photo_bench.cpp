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
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/ximgproc/segmentation.hpp>
#include <set>
#include <string>
#include <vector>

#include "graphcut/label_optimizer.h"

namespace scribeline {
namespace bench {
namespace {

constexpr int kLabels = 25;

std::string findPhoto() {
  const char* candidates[] = {
      "../shared/images/elephants_5640x3172.jpg",
      "/work/shared/images/elephants_5640x3172.jpg",
      "/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg",
  };
  for (const char* path : candidates) {
    if (std::ifstream(path).good()) return path;
  }
  return "";
}

struct SuperpixelGraph {
  int count = 0;
  std::vector<cv::Vec3d> means;
  std::vector<std::set<int>> neighbors;
};

SuperpixelGraph buildSuperpixels(const cv::Mat& image) {
  cv::Mat map;
  cv::ximgproc::segmentation::createGraphSegmentation(0.5, 500.0f, 20)->processImage(image, map);
  SuperpixelGraph g;
  double maxLabel = 0;
  cv::minMaxLoc(map, nullptr, &maxLabel);
  g.count = static_cast<int>(maxLabel) + 1;
  g.means.assign(g.count, cv::Vec3d(0, 0, 0));
  g.neighbors.resize(g.count);
  std::vector<int> sizes(g.count, 0);
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      int p = map.at<int>(y, x);
      const cv::Vec3b& c = image.at<cv::Vec3b>(y, x);
      g.means[p] += cv::Vec3d(c[0], c[1], c[2]);
      ++sizes[p];
      if (y + 1 >= image.rows || x + 1 >= image.cols) continue;
      for (int q : {map.at<int>(y, x + 1), map.at<int>(y + 1, x), map.at<int>(y + 1, x + 1)}) {
        if (q == p) continue;
        g.neighbors[p].insert(q);
        g.neighbors[q].insert(p);
      }
    }
  }
  for (int i = 0; i < g.count; ++i) g.means[i] /= std::max(1, sizes[i]);
  return g;
}

void expansionOnPhoto(benchmark::State& state) {
  std::string path = findPhoto();
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
    for (int b = 0; b < kLabels; ++b) optimizer.setSmoothCost(a, b, a == b ? 0.0f : 1.0f);
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
      cv::Vec3d d = g.means[i] - g.means[j];
      float weight = static_cast<float>(1000.0L / (1.0L + d.dot(d)));
      optimizer.setNeighbors(i, j, weight);
      (j > i ? out : in) += 2;  // the pair is declared from both ends
    }
    maxOut = std::max(maxOut, out);
    maxIn = std::max(maxIn, in);
  }
  // Data costs: squared distance of the mean colour to 25 prototypes taken
  // from superpixels spread over the numbering.
  for (int l = 0; l < kLabels; ++l) {
    const cv::Vec3d& prototype = g.means[(static_cast<long long>(g.count) * l) / kLabels];
    for (int s = 0; s < g.count; ++s) {
      cv::Vec3d d = g.means[s] - prototype;
      optimizer.setDataCost(s, l, static_cast<float>(d.dot(d) / 100.0));
    }
  }
  double energy = 0;
  for (auto _ : state) {
    std::fill(labels.begin(), labels.end(), 0);
    std::srand(1);
    energy = optimizer.expansion(1);
  }
  state.counters["superpixels"] = g.count;
  state.counters["maxOutArcs"] = static_cast<double>(maxOut);
  state.counters["maxInArcs"] = static_cast<double>(maxIn);
  state.counters["energy"] = energy;
}

const bool registered = [] {
  benchmark::RegisterBenchmark("expansion/elephants_superpixels/one_cycle", expansionOnPhoto)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace scribeline
