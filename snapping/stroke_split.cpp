#include "snapping/stroke_split.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "palette/palette.h"

namespace scribeline {

namespace {

// A pixel of the bounding box no label has reached yet. Labels are below it
// (LSnapper allows at most kUnpainted labels).
constexpr std::uint8_t kUnreached = kUnpainted;

// The bucket queue's ring: more buckets than the dearest step costs, so that
// a step never lands in the bucket being emptied nor wraps onto a live one.
constexpr int kRingSize = 1024;
static_assert(kDiagonalStepCost + 3 * 255 < kRingSize,
              "a step must not wrap around the ring");
static_assert(kStraightStepCost > 0 && kDiagonalStepCost > 0,
              "a step must leave the bucket being emptied");

// Calls visit(row, col, label) for every brush pixel of every stroke, labels
// in increasing order, strokes and their points in stored order.
template <typename Visit>
void forEachBrushPixelOfStrokes(const LabelStrokes& labelStrokes, int height,
                                int width, Visit&& visit) {
  const int numLabels = static_cast<int>(labelStrokes.size());
  for (int label = 0; label < numLabels; ++label) {
    for (const Stroke& stroke : labelStrokes[label]) {
      for (size_t k = 1; k < stroke.size(); ++k) {
        forEachSegmentPixel(stroke[k - 1], stroke[k], height, width,
                            [&](int row, int col) { visit(row, col, label); });
      }
    }
  }
}

struct Box {
  int top, left, width, height;
};

Box boundingBox(const Superpixel& superpixel) {
  int left = INT_MAX, right = INT_MIN;
  for (const PixelPos& pixel : superpixel.pixels) {
    left = std::min(left, pixel.col);
    right = std::max(right, pixel.col);
  }
  // Raster order: the first pixel lies on the top row, the last on the
  // bottom one.
  const int top = superpixel.pixels.front().row;
  const int bottom = superpixel.pixels.back().row;
  return {top, left, right - left + 1, bottom - top + 1};
}

// Queue entries: the box index of a pixel above 8 bits of label.
using Entry = std::uint64_t;

Entry entryOf(size_t boxIndex, int label) {
  return (static_cast<Entry>(boxIndex) << 8) | static_cast<Entry>(label);
}

// Dijkstra's search from all brush pixels of superpixel s at once over a ring
// of buckets, one per distance (the step costs are small integers); each
// pixel keeps the label of the first entry taken for it, which is one of
// least distance. Entries go into a bucket's vector at its back and leave
// from there; several entries per pixel are allowed and the later ones
// skipped, so that nothing but the label byte is stored per pixel.
SuperpixelSplit splitOne(const cv::Mat& image, const LabelStrokes& labelStrokes,
                         const int* superpixelMap, int s,
                         const Superpixel& superpixel, int fallbackLabel) {
  const int width = image.cols;
  const int height = image.rows;
  const Box box = boundingBox(superpixel);
  std::vector<std::uint8_t> labels(static_cast<size_t>(box.width) * box.height,
                                   kUnreached);
  std::vector<std::vector<Entry>> ring(kRingSize);

  // Brush pixels at distance 0, pushed label by label upwards, so that the
  // highest label covering a pixel is taken first.
  std::vector<Entry>& sources = ring[0];
  forEachBrushPixelOfStrokes(
      labelStrokes, height, width, [&](int row, int col, int label) {
        if (superpixelMap[static_cast<size_t>(row) * width + col] != s) return;
        sources.push_back(entryOf(
            static_cast<size_t>(row - box.top) * box.width + (col - box.left),
            label));
      });

  struct Step {
    int dx, dy, cost;
  };
  static constexpr Step kSteps[8] = {
      {-1, -1, kDiagonalStepCost}, {0, -1, kStraightStepCost},
      {1, -1, kDiagonalStepCost},  {-1, 0, kStraightStepCost},
      {1, 0, kStraightStepCost},   {-1, 1, kDiagonalStepCost},
      {0, 1, kStraightStepCost},   {1, 1, kDiagonalStepCost}};

  const unsigned char* const pixels = image.data;
  const size_t rowBytes = image.step;
  size_t pending = sources.size();
  for (std::uint64_t distance = 0; pending > 0; ++distance) {
    std::vector<Entry>& bucket = ring[distance % kRingSize];
    while (!bucket.empty()) {
      const Entry entry = bucket.back();
      bucket.pop_back();
      --pending;
      const size_t index = static_cast<size_t>(entry >> 8);
      if (labels[index] != kUnreached) continue;
      const std::uint8_t label = static_cast<std::uint8_t>(entry & 0xff);
      labels[index] = label;

      const int boxRow = static_cast<int>(index / box.width);
      const int boxCol = static_cast<int>(index - size_t(boxRow) * box.width);
      const int row = box.top + boxRow;
      const int col = box.left + boxCol;
      const unsigned char* here = pixels + row * rowBytes + 3 * size_t(col);
      const int* mapHere =
          superpixelMap + static_cast<size_t>(row) * width + col;
      for (const Step& step : kSteps) {
        const int r = boxRow + step.dy;
        const int c = boxCol + step.dx;
        if (r < 0 || r >= box.height || c < 0 || c >= box.width) continue;
        const size_t next =
            index + static_cast<ptrdiff_t>(step.dy) * box.width + step.dx;
        if (labels[next] != kUnreached) continue;
        if (mapHere[static_cast<ptrdiff_t>(step.dy) * width + step.dx] != s)
          continue;
        const unsigned char* there =
            here + static_cast<ptrdiff_t>(step.dy) * rowBytes + 3 * step.dx;
        const int cost = step.cost + std::abs(here[0] - there[0]) +
                         std::abs(here[1] - there[1]) +
                         std::abs(here[2] - there[2]);
        ring[(distance + cost) % kRingSize].push_back(entryOf(next, label));
        ++pending;
      }
    }
  }

  SuperpixelSplit split{s, {}};
  for (const PixelPos& pixel : superpixel.pixels) {
    const std::uint8_t reached =
        labels[static_cast<size_t>(pixel.row - box.top) * box.width +
               (pixel.col - box.left)];
    const int label = reached == kUnreached ? fallbackLabel : reached;
    if (!split.runs.empty() && split.runs.back().label == label) {
      ++split.runs.back().length;
    } else {
      split.runs.push_back({1, label});
    }
  }
  split.runs.shrink_to_fit();
  return split;
}

}  // namespace

std::vector<SuperpixelSplit> splitSharedSuperpixels(
    const cv::Mat& image, const LabelStrokes& labelStrokes,
    const int* superpixelMap, const std::vector<Superpixel>& superpixels,
    const std::vector<int>& superpixelLabels) {
  const int width = image.cols;
  const int height = image.rows;
  const size_t n = superpixels.size();
  std::vector<int> lowest(n, INT_MAX), highest(n, -1);
  forEachBrushPixelOfStrokes(
      labelStrokes, height, width, [&](int row, int col, int label) {
        const int s = superpixelMap[static_cast<size_t>(row) * width + col];
        lowest[s] = std::min(lowest[s], label);
        highest[s] = std::max(highest[s], label);
      });

  std::vector<SuperpixelSplit> splits;
  for (size_t s = 0; s < n; ++s) {
    if (highest[s] < 0 || lowest[s] == highest[s]) continue;
    splits.push_back(splitOne(image, labelStrokes, superpixelMap,
                              static_cast<int>(s), superpixels[s],
                              superpixelLabels[s]));
  }
  return splits;
}

void paintSplits(const std::vector<SuperpixelSplit>& splits,
                 const std::vector<Superpixel>& superpixels, cv::Mat& mask) {
  CV_Assert(mask.type() == CV_8UC3);
  for (const SuperpixelSplit& split : splits) {
    const std::vector<PixelPos>& pixels = superpixels[split.superpixel].pixels;
    size_t covered = 0;
    for (const LabelRun& run : split.runs) covered += run.length;
    CV_Assert(covered == pixels.size());
    const PixelPos* pixel = pixels.data();
    for (const LabelRun& run : split.runs) {
      const cv::Vec3b colour = labelPixel(run.label);
      for (const PixelPos* end = pixel + run.length; pixel != end; ++pixel) {
        mask.at<cv::Vec3b>(pixel->row, pixel->col) = colour;
      }
    }
  }
}

}  // namespace scribeline
