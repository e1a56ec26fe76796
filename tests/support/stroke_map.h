// The stroke map: every stroke painted with the brush into a byte per pixel,
// and the seeds read back from it. The solve seeds straight from the strokes
// (seedSuperpixelsFromStrokes); these straightforward versions are the
// reference it is checked against.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "snapping/stroke_paint.h"
#include "snapping/superpixel_model.h"

namespace scribeline {

// Writes label at the pixels forEachBrushPixel visits. strokeMap is
// height * width bytes, row-major.
void stampBrush(int y, int x, unsigned char* strokeMap, unsigned char label,
                int height, int width);

// Paints label at the pixels forEachSegmentPixel visits.
void paintSegment(cv::Point prev, cv::Point cur, unsigned char* strokeMap,
                  unsigned char label, int height, int width);

// Paints every stroke of at least 2 points, label 0 first and within a label
// in drawing order, so later paint overwrites earlier: where labels overlap
// the higher label wins. strokeMap must be filled with kUnpainted before.
// Returns a rectangle, inside the image, outside which nothing was painted.
// REQUIRES: labelStrokes.size() <= kUnpainted.
cv::Rect paintStrokes(const LabelStrokes& labelStrokes,
                      unsigned char* strokeMap, int height, int width);

// Sets every superpixel's seed to the highest label painted on any of its
// pixels, or -1 when none is painted (all kUnpainted). strokeMap and
// superpixelMap are row-major over an image `width` pixels wide; only the
// pixels inside `painted` are read, the rest must be unpainted.
void seedSuperpixels(const unsigned char* strokeMap, const int* superpixelMap,
                     int width, cv::Rect painted,
                     std::vector<Superpixel>& superpixels);

}  // namespace scribeline
