#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "snapping/stroke_paint.h"
#include "snapping/superpixel_model.h"

namespace scribeline {

// Cost of a label a superpixel must not take.
constexpr float kForbiddenCost = 1e10f;

// Colour model of one label: cluster centres as (R, G, B).
struct ColourModel {
  std::vector<cv::Vec3f> centres;
};

// A label takes part in the data term only with at least this many centres.
constexpr int kMinModelCentres = 2;

// Sets every superpixel's seed to the highest label whose brush
// (forEachSegmentPixel over every stroke of at least 2 points) covers any of
// its pixels, or -1 when none does. This is the seed the highest label painted
// on the superpixel gives when all strokes are first painted into a byte map,
// later paint over earlier, without the map: a painted pixel holds the
// highest label whose brush covers it. Work grows with the strokes' length
// only. superpixelMap is row-major over the width x height image.
// REQUIRES: labelStrokes.size() <= kUnpainted.
void seedSuperpixelsFromStrokes(const LabelStrokes& labelStrokes,
                                const int* superpixelMap, int width, int height,
                                std::vector<Superpixel>& superpixels);

// Clusters, per label, the mean colours (truncated to bytes) of the
// superpixels seeded with it, in increasing superpixel number.
std::vector<ColourModel> buildColourModels(
    const std::vector<Superpixel>& superpixels, int numLabels);

// Fills table (site-major: entry s * numLabels + l) with the data costs.
// A seeded superpixel costs 0 for its seed and kForbiddenCost otherwise.
// For an unseeded one, each label whose model has at least 2 centres costs
// lambda / (1 - lambda) times its squared colour distance to the nearest
// centre, divided by the sum of these distances over those labels; every
// other label is forbidden. When that sum is 0 (the superpixel lies exactly
// on a centre of every such label) the labels are equally good, and each
// gets the normalised distance 1 / (their number), so the smoothness term
// alone decides between them.
void computeDataCosts(const std::vector<Superpixel>& superpixels,
                      const std::vector<ColourModel>& models, float lambda,
                      std::vector<float>& table);

}  // namespace scribeline
