#pragma once

#include <array>
#include <opencv2/core.hpp>

#include "scissors/directions.h"

namespace scribeline {

// Cost of every link when the image has no colour difference at all.
constexpr double kUniformLinkCost = 255.0;

// The double nearest one third; the mean over the three channels multiplies
// by it rather than dividing by 3.
constexpr double kOneThird = 0.3333333333333333;

// Raw colour-difference strengths of the eight links of pixel (x, y), written
// to strengths[k] for direction k; returns the largest. An axis link compares
// the mean colour of the two pixels on one side of it with the two on the
// other side; a diagonal link compares the two pixels flanking it. The result
// is the root mean square over blue, green and red.
// Neighbours outside the image are replaced: an axis neighbour by the pixel
// itself; a diagonal neighbour k by neighbour k - 1 if inside, else k + 1 if
// inside, else the pixel itself.
// REQUIRES: image is 8-bit, 3-channel; (x, y) inside it.
double edgeStrengths(const cv::Mat& image, int x, int y,
                     std::array<double, 8>& strengths);

// Cost of a link of raw strength `strength` in direction k, for an image
// whose strongest link has raw strength maxStrength:
// ((M - D) * linkLength[k] * 255) / (sqrt(2) * M), evaluated in that order;
// kUniformLinkCost when maxStrength is 0.
inline double normalisedLinkCost(double strength, int k, double maxStrength) {
  if (maxStrength == 0.0) return kUniformLinkCost;
  return ((maxStrength - strength) * linkLength[k] * 255.0) /
         (kSqrt2 * maxStrength);
}

}  // namespace scribeline
