// The lazy snapper's solve on the 18 MP photograph's superpixel graph: 25
// labels with Potts smoothness, every pair declared twice, three stroke labels
// seeded along five polylines (a superpixel whose centre lies within 40 pixels
// of a polyline is a seed: cost 0 for its label, 1e10 for the others), other
// superpixels costing, for each stroke label, 0.3 / 0.7 times its share of the
// distances to that label's nearest seed colour, and 1e10 for the rest.
// Solved by PottsExpansion as runSnapper calls it ("ours") and by the
// reference optimiser ("reference"), both with seed 1. `first` runs expansion
// to convergence from the all-0 labelling (and, for ours, no kept flow),
// `next` from the converged one (ours keeping the flows its solves left). The
// copy of the photograph (cv::Mat::copyTo) is timed in the same run; the ratio
// to it is the counter `per_copyTo`.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
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
constexpr float kForbidden = 1e10f;

struct SnapperProblem {
  cv::Mat image;
  SuperpixelGraph graph;
  std::vector<float> costs;
  std::vector<WeightedPair> pairs;  // as declared: every pair twice
};

double distanceToSegment(cv::Point2d p, cv::Point2d a, cv::Point2d b) {
  cv::Point2d ab = b - a;
  double t = ab.dot(p - a) / std::max(1e-9, ab.dot(ab));
  t = std::min(1.0, std::max(0.0, t));
  cv::Point2d d = p - (a + t * ab);
  return std::sqrt(d.dot(d));
}

// Seed label of every superpixel (-1: none), from the strokes of the
// snapper's solve benchmark.
std::vector<int> seedLabels(const SuperpixelGraph& g, const cv::Size& size) {
  struct Line {
    int label;
    double x0, y0, x1, y1;
  };
  const Line lines[] = {{1, 0.05, 0.10, 0.25, 0.20},
                        {1, 0.10, 0.80, 0.30, 0.90},
                        {2, 0.40, 0.45, 0.60, 0.55},
                        {3, 0.70, 0.15, 0.90, 0.30},
                        {3, 0.75, 0.70, 0.95, 0.85}};
  std::vector<int> seeds(g.count, -1);
  for (int s = 1; s < g.count; ++s) {
    for (const Line& l : lines) {
      cv::Point2d a(l.x0 * (size.width - 1), l.y0 * (size.height - 1));
      cv::Point2d b(l.x1 * (size.width - 1), l.y1 * (size.height - 1));
      if (distanceToSegment(g.centres[s], a, b) < 40)
        seeds[s] = std::max(seeds[s], l.label);
    }
  }
  return seeds;
}

std::vector<float> dataCosts(const SuperpixelGraph& g,
                             const std::vector<int>& seeds) {
  const float weight = 0.3f / 0.7f;
  std::vector<float> costs(static_cast<std::size_t>(g.count) * kLabels,
                           kForbidden);
  std::vector<int> seeded[4];
  for (int t = 0; t < g.count; ++t) {
    if (seeds[t] != -1) seeded[seeds[t]].push_back(t);
  }
  for (int s = 0; s < g.count; ++s) {
    float* row = &costs[static_cast<std::size_t>(s) * kLabels];
    if (seeds[s] != -1) {
      row[seeds[s]] = 0.0f;
      continue;
    }
    double distance[4] = {0, 0, 0, 0};
    double total = 0;
    for (int l = 1; l <= 3; ++l) {
      double best = std::numeric_limits<double>::max();
      for (int t : seeded[l]) {
        cv::Vec3d d = g.means[s] - g.means[t];
        best = std::min(best, std::sqrt(d.dot(d)));
      }
      distance[l] = best;
      total += best;
    }
    for (int l = 1; l <= 3; ++l) {
      row[l] = total > 0 ? weight * static_cast<float>(distance[l] / total)
                         : weight / 3;
    }
  }
  return costs;
}

// Null when the photograph is not found.
SnapperProblem* problem() {
  static std::unique_ptr<SnapperProblem> built =
      []() -> std::unique_ptr<SnapperProblem> {
    auto p = std::make_unique<SnapperProblem>();
    std::string path = findElephants();
    if (!path.empty()) p->image = cv::imread(path, cv::IMREAD_COLOR);
    if (p->image.empty()) return nullptr;
    p->graph = buildSuperpixels(p->image);
    const SuperpixelGraph& g = p->graph;
    p->costs = dataCosts(g, seedLabels(g, p->image.size()));
    for (int i = 1; i < g.count; ++i) {
      for (int j : g.neighbors[i]) {
        if (j != 0) p->pairs.push_back({i, j, pairWeight(g, i, j)});
      }
    }
    return p;
  }();
  return built.get();
}

double copySeconds(const cv::Mat& image) {
  cv::Mat copy(image.size(), image.type());
  double best = std::numeric_limits<double>::max();
  for (int k = 0; k < 30; ++k) {
    auto t0 = std::chrono::steady_clock::now();
    image.copyTo(copy);
    benchmark::DoNotOptimize(copy.data);
    benchmark::ClobberMemory();
    best = std::min(best, std::chrono::duration<double>(
                              std::chrono::steady_clock::now() - t0)
                              .count());
  }
  return best;
}

// Times `solve` (returning the energy) over `labels`; `reset` runs before
// each solve outside timing when fromZero.
template <typename Reset, typename Solve>
void timeSolves(benchmark::State& state, const SnapperProblem& p, bool fromZero,
                Reset reset, Solve solve) {
  if (!fromZero) solve();
  double energy = 0;
  double solveSeconds = 0;
  for (auto _ : state) {
    if (fromZero) {
      state.PauseTiming();
      reset();
      state.ResumeTiming();
    }
    auto t0 = std::chrono::steady_clock::now();
    energy = solve();
    solveSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0)
            .count();
  }
  const double copy = copySeconds(p.image);
  state.counters["superpixels"] = p.graph.count;
  state.counters["energy"] = energy;
  state.counters["copyTo_ms"] = copy * 1e3;
  state.counters["per_copyTo"] =
      solveSeconds / static_cast<double>(state.iterations()) / copy;
}

bool skipWithoutPhoto(benchmark::State& state, const SnapperProblem* p) {
  if (p != nullptr) return false;
  state.SkipWithError("no elephants photograph found");
  for (auto _ : state) {
  }
  return true;
}

void oursSolve(benchmark::State& state, bool fromZero) {
  const SnapperProblem* p = problem();
  if (skipWithoutPhoto(state, p)) return;
  std::vector<int> labels(p->graph.count, 0);
  PottsExpansion solver(p->graph.count, kLabels, p->pairs, 1);
  timeSolves(
      state, *p, fromZero,
      [&] {
        std::fill(labels.begin(), labels.end(), 0);
        solver.seed(1);
        solver.forgetFlows();
      },
      [&] { return solver.expansion(labels.data(), p->costs.data()); });
}

void referenceSolve(benchmark::State& state, bool fromZero) {
  SnapperProblem* p = problem();
  if (skipWithoutPhoto(state, p)) return;
  std::vector<int> labels(p->graph.count, 0);
  LabelOptimizer optimizer(labels.data(), p->graph.count, kLabels, 1, 0);
  for (int a = 0; a < kLabels; ++a) {
    for (int b = 0; b < kLabels; ++b)
      optimizer.setSmoothCost(a, b, a == b ? 0.0f : 1.0f);
  }
  for (const WeightedPair& pair : p->pairs) {
    optimizer.setNeighbors(pair.first, pair.second, pair.weight);
  }
  optimizer.setDataCost(p->costs.data());
  optimizer.setRandomSeed(1);
  optimizer.computeEnergy();  // builds the neighbour table outside timing
  timeSolves(
      state, *p, fromZero,
      [&] {
        std::fill(labels.begin(), labels.end(), 0);
        optimizer.setRandomSeed(1);
        optimizer.resetLabelOrder();
      },
      [&] { return optimizer.expansion(); });
}

const bool registered = [] {
  for (bool fromZero : {true, false}) {
    const std::string kind = fromZero ? "first" : "next";
    benchmark::RegisterBenchmark(
        ("snapper_solve/elephants/" + kind + "/ours").c_str(), oursSolve,
        fromZero)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(fromZero ? 3 : 5);
    benchmark::RegisterBenchmark(
        ("snapper_solve/elephants/" + kind + "/reference").c_str(),
        referenceSolve, fromZero)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(fromZero ? 3 : 5);
  }
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace scribeline
