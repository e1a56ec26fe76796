#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "snapping/data_costs.h"
#include "snapping/lsnapper.h"

namespace scribeline {

namespace {

void solve(LSnapper& snapper, float lambda) {
  const int width = snapper.image.cols;
  const int height = snapper.image.rows;

  seedSuperpixelsFromStrokes(snapper.labelStrokes, snapper.superpixelMap.data(),
                             width, height, snapper.superpixels);

  const std::vector<ColourModel> models =
      buildColourModels(snapper.superpixels, snapper.numLabels);
  std::vector<float>& costs = snapper.dataCosts;
  computeDataCosts(snapper.superpixels, models, lambda, costs);
  snapper.solver->expansion(snapper.superpixelLabels.data(), costs.data());

  // Expansion only promises not to raise the energy (and runs no cycle at all
  // when the energy is too large to register a change of 1), so it does not
  // guarantee every seed its label; the strokes have the last word.
  for (int s = 0; s < snapper.n; ++s) {
    if (snapper.superpixels[s].seed != -1) {
      snapper.superpixelLabels[s] = snapper.superpixels[s].seed;
    }
  }
  // A superpixel keeps one label in the graph above; where strokes of
  // several labels cross it, its pixels are shared out among them.
  snapper.splits = splitSharedSuperpixels(
      snapper.image, snapper.labelStrokes, snapper.superpixelMap.data(),
      snapper.superpixels, snapper.superpixelLabels);
}

}  // namespace

void runSnapper(LSnapper& snapper, float lambda) {
  // Copies taken before anything changes, so that a solve that runs out of
  // memory leaves the labelling (the next solve's start), the splits and the
  // seeds as it found them. Restoring them allocates nothing.
  const std::vector<int> labels = snapper.superpixelLabels;
  std::vector<SuperpixelSplit> splits = snapper.splits;
  std::vector<int> seeds(snapper.superpixels.size());
  for (std::size_t s = 0; s < seeds.size(); ++s) {
    seeds[s] = snapper.superpixels[s].seed;
  }
  try {
    solve(snapper, lambda);
  } catch (const std::bad_alloc&) {
    std::copy(labels.begin(), labels.end(), snapper.superpixelLabels.begin());
    for (std::size_t s = 0; s < seeds.size(); ++s) {
      snapper.superpixels[s].seed = seeds[s];
    }
    snapper.splits = std::move(splits);
    throw;
  }
}

void runSnapper(LSnapper& snapper, float lambda, unsigned seed) {
  snapper.solver->seed(seed);
  runSnapper(snapper, lambda);
}

}  // namespace scribeline
