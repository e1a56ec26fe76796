#include "snapping/lsnapper.h"

#include "superpixel/segment_image.h"

namespace scribeline {

LSnapper::LSnapper(const cv::Mat& image, int numLabels)
    : labelStrokes(numLabels),
      numLabels(numLabels),
      currentStrokes(&labelStrokes[0]),
      image(image) {
  CV_Assert(image.type() == CV_8UC3);
  CV_Assert(numLabels >= 1 && numLabels < kUnpainted);
}

void initSnapper(LSnapper& snapper, float sigma, float k, int minSize,
                 unsigned seed) {
  const cv::Mat& image = snapper.image;
  snapper.superpixelMap.assign(static_cast<size_t>(image.cols) * image.rows, 0);
  snapper.n =
      segmentImage(image, snapper.superpixelMap.data(), sigma, k, minSize);
  snapper.solverSeed = seed;
  buildSnapperModel(snapper);
}

void buildSnapperModel(LSnapper& snapper) {
  const cv::Mat& image = snapper.image;
  snapper.superpixels =
      buildSuperpixels(image, snapper.superpixelMap.data(), snapper.n);
  findNeighbours(snapper.superpixelMap.data(), image.cols, image.rows,
                 snapper.superpixels);

  snapper.superpixelLabels.assign(snapper.n, 0);
  std::vector<WeightedPair> pairs;
  forEachNeighbourPair(snapper.superpixels, [&](int i, int j, float weight) {
    pairs.push_back({i, j, weight});
  });
  MemoryPolicy memory;
  memory.allocate = snapper.optimizerAllocation;
  snapper.solver = std::make_unique<PottsExpansion>(
      snapper.n, snapper.numLabels, pairs, snapper.solverSeed, memory);
}

}  // namespace scribeline
