#include "snapping/data_costs.h"
#include "snapping/lsnapper.h"

namespace scribeline {

void runSnapper(LSnapper& snapper, float lambda) {
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
}

void runSnapper(LSnapper& snapper, float lambda, unsigned seed) {
  snapper.solver->seed(seed);
  runSnapper(snapper, lambda);
}

}  // namespace scribeline
