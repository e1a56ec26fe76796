#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <vector>

#include "graphcut/potts_expansion.h"
#include "snapping/stroke_paint.h"
#include "snapping/stroke_split.h"
#include "snapping/superpixel_model.h"

namespace scribeline {

// The lazy snapper: the superpixel model of one photograph, the strokes drawn
// over it and the labelling the last solve produced. Built once at start-up
// and kept until exit.
//
// currentStrokes points into labelStrokes, so the record is neither copied
// nor moved.
struct LSnapper {
  // REQUIRES: image is 8-bit, 3 channels, and outlives the snapper;
  // 1 <= numLabels <= 254 (stroke paint and the splits of shared
  // superpixels store labels as bytes beside markers).
  LSnapper(const cv::Mat& image, int numLabels);
  LSnapper(const LSnapper&) = delete;
  LSnapper& operator=(const LSnapper&) = delete;

  std::vector<Superpixel> superpixels;  // indexed by superpixel number
  // Current label of every superpixel; the solver's starting labelling and
  // its result.
  std::vector<int> superpixelLabels;
  // Pixel labels of the superpixels that strokes of several labels cross,
  // left by the last solve (increasing superpixel number); they take the
  // place of superpixelLabels for those superpixels' pixels.
  std::vector<SuperpixelSplit> splits;
  // Superpixel number of every pixel, row-major (width * height entries).
  std::vector<int> superpixelMap;
  // Sites are the superpixels, labels the annotation labels, Potts
  // smoothness over the adjacent pairs (each pair once, with the summed
  // weight of its declarations); solved by runSnapper. Its label order is
  // shuffled by a generator seeded with solverSeed unless a solve is given
  // its own seed.
  std::unique_ptr<PottsExpansion> solver;
  // Seed of the solver's generator, read when buildSnapperModel creates it;
  // initSnapper sets it from its caller.
  unsigned solverSeed = 1;
  LabelStrokes labelStrokes;  // numLabels lists
  int numLabels;
  // The list of the label picked in the toolbox; never null.
  std::vector<Stroke>* currentStrokes;
  cv::Mat image;  // the photograph; shared, never written
  int n = 0;      // number of superpixels
  // Data-cost table of runSnapper, kept so that every stroke reuses it.
  std::vector<float> dataCosts;
  // Memory source of the solver's working arrays in each solve (null:
  // std::malloc), read when buildSnapperModel creates the solver; tests make
  // it fail.
  AllocationHook optimizerAllocation = nullptr;
};

// Over-segments the image, builds the superpixel records (pixel counts,
// bounding boxes, means, neighbours), sets every label to 0 and creates the
// solver over the colour-weighted neighbour pairs, its generator seeded with
// `seed` (kept in solverSeed): a caller that wants a different label order in
// every session passes a seed that differs. Called once.
void initSnapper(LSnapper& snapper, float sigma, float k, int minSize,
                 unsigned seed);

// The part of initSnapper after the over-segmentation: everything built from
// superpixelMap and n, the solver seeded with solverSeed. The solver throws
// std::bad_alloc when its memory runs out (see runSnapper).
// REQUIRES: superpixelMap holds width * height entries with values 0 .. n-1,
// each occurring at least once.
void buildSnapperModel(LSnapper& snapper);

// Relabels every superpixel from all strokes of all labels: stroked
// superpixels take their stroke's label (the highest where labels meet),
// the others are solved by expansion moves over colour-model data costs
// weighted by lambda / (1 - lambda), with `solver`: each move a minimum cut of
// its graph, starting from the previous labelling and from the flows earlier
// solves left, visiting the labels in the order the solver's generator gives
// (seeded with solverSeed when the model was built). The data costs are left
// in dataCosts. Then every superpixel crossed by strokes of two or more labels
// is split among those labels pixel by pixel (splitSharedSuperpixels), so that
// each stroke's label holds at and around the stroke; the splits are left in
// `splits` (none when no superpixel holds two labels' strokes).
// When memory runs out it throws std::bad_alloc and leaves superpixelLabels,
// splits and every seed as they were before the call.
// REQUIRES: initSnapper has run; 0 < lambda < 1.
void runSnapper(LSnapper& snapper, float lambda);

// runSnapper with the label order taken from `seed` alone: the solver's
// generator is seeded with it and its label order restarts from 0, 1, ...
// Float rounding lets the flows kept from earlier solves decide near-ties, so
// two solves from the same strokes, starting labelling, seed and earlier
// solves (or none, after solver->forgetFlows()) give the same labels: a
// session's solves replayed from start-up with their seeds repeat exactly.
void runSnapper(LSnapper& snapper, float lambda, unsigned seed);

// Paints every pixel of mask with labelColor of its superpixel's label, or of
// its own label where its superpixel is split, the pixels along the image
// edges included. The mask is (re)allocated to the
// image's size, 8-bit, 3 channels, if needed; all earlier paint is replaced.
void rebuildMaskFromSuperpixels(const LSnapper& snapper, cv::Mat& mask);

}  // namespace scribeline
