// The lazy snapper's energy given to the reference optimiser, so that tests
// can solve it both ways: what buildSnapperModel gives the solver, declared
// the way the reference takes it.
#pragma once

#include <memory>

#include "snapping/lsnapper.h"
#include "tests/graphcut/reference/label_optimizer.h"

namespace scribeline {

// A reference optimiser over the snapper's superpixels and labels: the Potts
// table (0 for equal labels, 1 otherwise), every neighbour pair as
// forEachNeighbourPair declares it (twice, once from each side), and the data
// costs of the last solve (all 0 before the first). `labels` (snapper.n
// entries in 0 .. numLabels-1) is borrowed: it is read as the starting
// labelling and receives every result, so it must outlive the optimiser.
// REQUIRES: the snapper's model is built (initSnapper or buildSnapperModel).
std::unique_ptr<LabelOptimizer> referenceOptimizerFor(const LSnapper& snapper,
                                                      int* labels);

}  // namespace scribeline
