#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "superpixel/float_image.h"

namespace scribeline {

// One side of a symmetric filter: mask[0] is the centre tap, mask[i] the
// weight at distance i on either side.
using GaussianMask = std::vector<float>;

// Unnormalised one-sided Gaussian: ceil(4 sigma) + 1 taps exp(-(i/sigma)^2/2).
// A sigma <= 0.01 (or NaN) is taken as 0.01, giving two taps. A sigma above
// maxMaskSigma is taken as maxMaskSigma, so that the tap count stays an int
// that can be allocated.
GaussianMask gaussianMask(float sigma);
constexpr float maxMaskSigma = 1.0e6f;

// Scales the taps so that the full two-sided filter sums to one in absolute
// value (the sum is held as a float).
void normalizeMask(GaussianMask& mask);

// Filters every row of src with the symmetric mask, replicating the border
// pixel beyond either end, and writes the result transposed: src(row y,
// column x) filtered goes to dst(row x, column y). Sums are accumulated in
// double and stored as float.
// REQUIRES: dst.width() == src.height(), dst.height() == src.width(),
// mask non-empty, dst distinct from src.
void convolveEven(const FloatImage& src, FloatImage& dst,
                  const GaussianMask& mask);

// Separable Gaussian smoothing of one plane with edge replication; returns a
// new plane of the source's size and leaves the source unchanged.
FloatImage smoothChannel(const FloatImage& src, float sigma);

// Three planes smoothed as smoothChannel smooths them.
struct SmoothedPlanes {
  FloatImage planes[3];
};

// The planes smoothChannel(plane c, sigma) for c = 0, 1, 2, where plane c
// holds byte channels[c] of every pixel of pixels, taken as float: the same
// values, bit for bit, read from the bytes directly and with the rows split
// between numThreads threads (1 or 2).
// REQUIRES: pixels is 8-bit with more channels than any of channels[c].
SmoothedPlanes smoothChannels(const cv::Mat& pixels, const int (&channels)[3],
                              float sigma, int numThreads);

}  // namespace scribeline
