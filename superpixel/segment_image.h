#pragma once

#include <opencv2/core.hpp>

namespace scribeline {

// Over-segments an 8-bit blue-green-red photograph into superpixels: the
// planes are smoothed with a Gaussian of the given sigma, the 8-neighbour
// pixel graph is merged with the threshold function k / size, and every
// component smaller than minSize is then merged into a neighbour.
//
// Fills superpixelMap (width*height ints, row-major, caller-allocated) and
// returns the number of superpixels n. The map's values run over 0 .. n-1
// without gaps, numbered in increasing order of each component's root pixel
// index; every superpixel is 8-connected and holds at least minSize pixels
// unless the whole image holds fewer. An empty image returns 0 and leaves the
// map untouched. Images of another depth or channel count are read as if
// converted to 8-bit blue-green-red (one channel is read as grey).
//
// REQUIRES: superpixelMap has room for image.cols * image.rows ints, and that
// product is at most INT_MAX (pixel indices are ints).
//
// Runs on two threads (see Concurrency); the result does not depend on it.
int segmentImage(const cv::Mat& image, int* superpixelMap, float sigma, float k,
                 int minSize);

// How many threads segmentImage may use. The map and the count are the same
// with either: the threads split work whose outcome is fixed in advance
// (halves of the rows, sorting ahead of the merge, the search for edges the
// minimum-size pass may join), never the order in which edges are merged.
enum class Concurrency { singleThread, twoThreads };

int segmentImage(const cv::Mat& image, int* superpixelMap, float sigma, float k,
                 int minSize, Concurrency concurrency);

}  // namespace scribeline
