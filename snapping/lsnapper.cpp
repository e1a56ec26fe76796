#include "snapping/lsnapper.h"

#include "superpixel/segment_image.h"

namespace scribeline {

LSnapper::LSnapper(const cv::Mat& image, int numLabels)
    : labelStrokes(numLabels),
      numLabels(numLabels),
      currentStrokes(&labelStrokes[0]),
      image(image) {
  CV_Assert(image.type() == CV_8UC3);
  CV_Assert(numLabels >= 1 && numLabels <= kUnpainted);
}

void initSnapper(LSnapper& snapper, float sigma, float k, int minSize) {
  const cv::Mat& image = snapper.image;
  snapper.superpixelMap.assign(static_cast<size_t>(image.cols) * image.rows, 0);
  snapper.n =
      segmentImage(image, snapper.superpixelMap.data(), sigma, k, minSize);
  buildSnapperModel(snapper);
}

void buildSnapperModel(LSnapper& snapper) {
  const cv::Mat& image = snapper.image;
  snapper.superpixels =
      buildSuperpixels(image, snapper.superpixelMap.data(), snapper.n);
  findNeighbours(snapper.superpixelMap.data(), image.cols, image.rows,
                 snapper.superpixels);

  snapper.superpixelLabels.assign(snapper.n, 0);
  OptimizerOptions options;
  options.memory.allocate = snapper.optimizerAllocation;
  // A solve runs inside a mouse handler or a key command: running out of
  // memory there must not end the program with the mask unsaved.
  options.memory.throwWhenExhausted = true;
  snapper.optimizer = std::make_unique<LabelOptimizer>(
      snapper.superpixelLabels.data(), snapper.n, snapper.numLabels, 0, 0,
      options);
  LabelOptimizer& optimizer = *snapper.optimizer;
  for (int l1 = 0; l1 < snapper.numLabels; ++l1) {
    for (int l2 = 0; l2 < snapper.numLabels; ++l2) {
      optimizer.setSmoothCost(l1, l2, l1 == l2 ? 0.0f : 1.0f);
    }
  }
  std::vector<WeightedPair> pairs;
  forEachNeighbourPair(snapper.superpixels, [&](int i, int j, float weight) {
    optimizer.setNeighbors(i, j, weight);
    pairs.push_back({i, j, weight});
  });
  snapper.solver = std::make_unique<PottsExpansion>(
      snapper.n, snapper.numLabels, pairs, options.memory);
}

}  // namespace scribeline
