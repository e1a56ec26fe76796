#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "palette/palette.h"
#include "snapping/stroke_paint.h"
#include "snapping/superpixel_model.h"

namespace scribeline {

// A stretch of pixels of a superpixel, consecutive in its raster order
// (forEachPixelOf), that take one label.
struct LabelRun {
  std::uint32_t length;
  int label;
};

// The pixel labels of a superpixel that strokes of two or more labels cross:
// runs covering its pixels exactly, in raster order.
struct SuperpixelSplit {
  int superpixel;
  std::vector<LabelRun> runs;
};

// Step costs of the colour-weighted path distance between 8-neighbour
// pixels: the spatial part plus the sum of the absolute differences of the
// three channels (0 .. 765). The spatial parts stand in for 1 and sqrt(2).
constexpr int kStraightStepCost = 2;
constexpr int kDiagonalStepCost = 3;

// A split works on single pixels while the superpixel has at most this many;
// a larger one is first split over square cells of 2, 4, 8, ... pixels a
// side (the smallest that leave at most this many, and at most 4 times as
// many over its bounding box), each carrying its pixels' mean colour, with
// the spatial step costs times the side; then the cells next to a cell of
// another label are split again pixel by pixel, from the distances their
// neighbouring cells were reached at and the brush pixels within them. The
// time of a split thus grows with the photo's size only through the passes
// over the superpixel's bounding box and the band along the boundaries.
constexpr std::size_t kMostSplitCells = std::size_t(1) << 20;

// Splits every superpixel whose brush pixels (forEachSegmentPixel over every
// stroke of at least 2 points) hold two or more labels. Each of its pixels
// takes the label of the brush pixel nearest to it by the colour-weighted
// path distance over 8-neighbour steps that stay inside the superpixel
// (found over cells first for large superpixels, see kMostSplitCells); a
// brush pixel itself keeps its own label, the highest one where the brushes
// of several labels cover it. Ties between labels at equal distance are
// settled by a fixed order, so the result depends on nothing but the inputs.
// A pixel that no path reaches keeps the superpixel's label in
// superpixelLabels. The splits come in increasing superpixel number;
// superpixels crossed by one label only (or none) have none.
//
// Memory, besides the result and the queue's front: per cell of the
// superpixel's bounding box (plus a frame of one cell) a label byte and 3
// colour bytes, and over cells also 8 bytes of distance and band slot, plus a
// byte per pixel of the band and 12 bytes per stretch of the superpixel's
// pixels along a row; all freed before the next superpixel.
// Throws std::bad_alloc when memory runs out.
// REQUIRES: image is 8-bit, 3 channels, width x height; superpixelMap and
// superpixels describe it (buildSuperpixels, values 0 .. n-1);
// labelStrokes.size() <= 254.
std::vector<SuperpixelSplit> splitSharedSuperpixels(
    const cv::Mat& image, const LabelStrokes& labelStrokes,
    const int* superpixelMap, const std::vector<Superpixel>& superpixels,
    const std::vector<int>& superpixelLabels);

// Calls visit(row, col, colour) for every pixel of the splits, with the
// colour (labelPixel) of its label, split by split and each in raster order.
// REQUIRES: superpixelMap (row-major, `width` entries a row) and superpixels
// are those the splits were made from; every split covers its superpixel's
// pixels exactly.
template <typename Visit>
void forEachSplitPixel(const std::vector<SuperpixelSplit>& splits,
                       const std::vector<Superpixel>& superpixels,
                       const int* superpixelMap, int width, Visit&& visit) {
  for (const SuperpixelSplit& split : splits) {
    if (split.runs.empty()) continue;
    const LabelRun* run = split.runs.data();
    std::uint32_t left = run->length;  // pixels of *run not yet visited
    cv::Vec3b colour = labelPixel(run->label);
    forEachRunOf(superpixels[split.superpixel], split.superpixel, superpixelMap,
                 width, [&](int row, int begin, int end) {
                   for (int col = begin; col < end;) {
                     if (left == 0) {
                       ++run;
                       left = run->length;
                       colour = labelPixel(run->label);
                       continue;
                     }
                     const std::uint32_t remaining =
                         static_cast<std::uint32_t>(end - col);
                     const int stop =
                         col + static_cast<int>(std::min(left, remaining));
                     left -= static_cast<std::uint32_t>(stop - col);
                     for (; col < stop; ++col) visit(row, col, colour);
                   }
                 });
  }
}

// Writes the colour (labelPixel) of every split pixel's label into mask.
// Throws cv::Exception when a split's runs do not add up to its superpixel's
// pixel count.
// REQUIRES: mask is 8-bit, 3 channels, of the image's size; superpixelMap
// (row-major, mask.cols entries a row) and superpixels are those the splits
// were made from.
void paintSplits(const std::vector<SuperpixelSplit>& splits,
                 const std::vector<Superpixel>& superpixels,
                 const int* superpixelMap, cv::Mat& mask);

}  // namespace scribeline
