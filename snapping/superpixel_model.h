#pragma once

#include <opencv2/core.hpp>
#include <vector>

namespace scribeline {

// One pixel of a superpixel, row first (unlike the (x, y) points of strokes).
struct PixelPos {
  int row;
  int col;
};

// A superpixel of the over-segmentation: its pixels, mean colour and the
// superpixels it touches.
struct Superpixel {
  std::vector<PixelPos> pixels;  // raster order
  std::vector<int> neighbours;   // ascending, distinct, never its own number
  float meanR = 0.0f;            // channel 2 of the blue-green-red image
  float meanG = 0.0f;            // channel 1
  float meanB = 0.0f;            // channel 0
  int seed = -1;                 // label forced by the strokes, -1 for none
};

// Builds one record per superpixel with its pixel list (raster order) and
// mean colour; neighbours stay empty and every seed is -1.
// REQUIRES: image is 8-bit, 3 channels; superpixelMap holds rows * cols
// entries, row-major, with values 0 .. n-1 each occurring at least once.
std::vector<Superpixel> buildSuperpixels(const cv::Mat& image,
                                         const int* superpixelMap, int n);

// Fills the neighbour sets from the map. Every base pixel (x, y) with
// x < width - 1 and y < height - 1 is compared with its right, lower and
// lower-right neighbours, and nothing else: pixel pairs along the last row,
// along the last column and along lower-left to upper-right diagonals are
// never compared, so superpixels touching only through such pairs are not
// neighbours. The relation is symmetric.
void findNeighbours(const int* superpixelMap, int width, int height,
                    std::vector<Superpixel>& superpixels);

// Colour-similarity weight of a neighbour pair, in (0, 1000]:
// 1000 / (1 + squared distance of the mean colours).
float neighbourWeight(const Superpixel& a, const Superpixel& b);

// Calls declare(i, j, weight) for every superpixel i >= 1 and every
// neighbour j >= 1 of i, i ascending and j ascending within i. Superpixel 0
// takes part in no pair; every other adjacent pair is declared twice, once
// from each side, with the same weight.
template <typename Declare>
void forEachNeighbourPair(const std::vector<Superpixel>& superpixels,
                          Declare&& declare) {
  const int n = static_cast<int>(superpixels.size());
  for (int i = 1; i < n; ++i) {
    for (int j : superpixels[i].neighbours) {
      if (j == 0) continue;
      declare(i, j, neighbourWeight(superpixels[i], superpixels[j]));
    }
  }
}

}  // namespace scribeline
