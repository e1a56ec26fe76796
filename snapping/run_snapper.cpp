#include "snapping/data_costs.h"
#include "snapping/lsnapper.h"

namespace scribeline {

void runSnapper(LSnapper& snapper, float lambda) {
  const int width = snapper.image.cols;
  const int height = snapper.image.rows;
  const size_t numPixels = static_cast<size_t>(width) * height;

  std::vector<unsigned char> strokeMap(numPixels, kUnpainted);
  const cv::Rect painted =
      paintStrokes(snapper.labelStrokes, strokeMap.data(), height, width);
  seedSuperpixels(strokeMap.data(), snapper.superpixelMap.data(), width,
                  painted, snapper.superpixels);

  const std::vector<ColourModel> models =
      buildColourModels(snapper.superpixels, snapper.numLabels);
  std::vector<float> costs;
  computeDataCosts(snapper.superpixels, models, lambda, costs);
  const int numLabels = snapper.numLabels;
  for (int s = 0; s < snapper.n; ++s) {
    for (int l = 0; l < numLabels; ++l) {
      snapper.optimizer->setDataCost(s, l, costs[static_cast<size_t>(s) * numLabels + l]);
    }
  }

  snapper.optimizer->expansion();

  // Expansion only promises not to raise the energy (and runs no cycle at all
  // when the energy is too large to register a change of 1), so it does not
  // guarantee every seed its label; the strokes have the last word.
  for (int s = 0; s < snapper.n; ++s) {
    if (snapper.superpixels[s].seed != -1) {
      snapper.superpixelLabels[s] = snapper.superpixels[s].seed;
    }
  }
}

}  // namespace scribeline
