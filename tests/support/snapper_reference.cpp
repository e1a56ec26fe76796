#include "tests/support/snapper_reference.h"

#include <cstddef>

namespace scribeline {

std::unique_ptr<LabelOptimizer> referenceOptimizerFor(const LSnapper& snapper,
                                                      int* labels) {
  auto optimizer = std::make_unique<LabelOptimizer>(labels, snapper.n,
                                                    snapper.numLabels, 0, 0);
  for (int l1 = 0; l1 < snapper.numLabels; ++l1) {
    for (int l2 = 0; l2 < snapper.numLabels; ++l2) {
      optimizer->setSmoothCost(l1, l2, l1 == l2 ? 0.0f : 1.0f);
    }
  }
  forEachNeighbourPair(snapper.superpixels, [&](int i, int j, float weight) {
    optimizer->setNeighbors(i, j, weight);
  });
  if (!snapper.dataCosts.empty()) {
    for (int s = 0; s < snapper.n; ++s) {
      for (int l = 0; l < snapper.numLabels; ++l) {
        optimizer->setDataCost(
            s, l,
            snapper.dataCosts[static_cast<std::size_t>(s) * snapper.numLabels +
                              l]);
      }
    }
  }
  return optimizer;
}

}  // namespace scribeline
