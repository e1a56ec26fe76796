#pragma once

#include <opencv2/core.hpp>
#include <vector>

namespace scribeline {

// Number of starting centres: an 8 x 8 x 8 grid at 16, 48, ..., 240 per
// channel, centre 64 i + 8 j + k at (g_i, g_j, g_k), g_t = 16 + 32 t.
constexpr int kGridCentres = 512;

// K-means of colour samples (three bytes each) started from the fixed grid.
// Assignment passes alternate with updates until no sample changes centre;
// a centre that loses all its samples is dropped for good. Ties go to the
// lower centre number. On return assignment holds each sample's centre
// number (a grid index, 0 with no samples), centres holds 512 entries of
// which the first K are the surviving centres in increasing centre number,
// and K is returned. A centre survives when it holds more than 1% of the
// samples (count * 100 > number of samples).
int clusterColors(const std::vector<cv::Vec3b>& samples,
                  std::vector<int>& assignment,
                  std::vector<cv::Vec3f>& centres);

}  // namespace scribeline
