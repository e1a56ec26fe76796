#pragma once

#include <cstddef>
#include <opencv2/core.hpp>
#include <vector>

namespace scribeline {

// A superpixel of the over-segmentation: its size, bounding box and mean
// colour, and the superpixels it touches. Its pixels are the entries of the
// superpixel map that hold its number (see forEachPixelOf).
struct Superpixel {
  std::vector<int> neighbours;  // ascending, distinct, never its own number
  std::size_t count = 0;        // pixels
  // Bounding box, rows and columns inclusive; empty (bottom < top) while the
  // superpixel has no pixels.
  int top = 0;
  int left = 0;
  int bottom = -1;
  int right = -1;
  float meanR = 0.0f;  // channel 2 of the blue-green-red image
  float meanG = 0.0f;  // channel 1
  float meanB = 0.0f;  // channel 0
  int seed = -1;       // label forced by the strokes, -1 for none
};

// Builds one record per superpixel with its pixel count, bounding box and
// mean colour; neighbours stay empty and every seed is -1.
// REQUIRES: image is 8-bit, 3 channels; superpixelMap holds rows * cols
// entries, row-major, with values 0 .. n-1 each occurring at least once.
std::vector<Superpixel> buildSuperpixels(const cv::Mat& image,
                                         const int* superpixelMap, int n);

// Calls visit(row, begin, end) for every run of consecutive pixels of
// superpixel s along a row, columns begin .. end - 1, in raster order (rows
// downwards, runs left to right), by scanning the superpixel's bounding box
// in the map. The runs are maximal: the pixels just before and after one are
// not of s.
// REQUIRES: superpixel is the record of s built from superpixelMap, which is
// row-major with `width` entries a row.
template <typename Visit>
void forEachRunOf(const Superpixel& superpixel, int s, const int* superpixelMap,
                  int width, Visit&& visit) {
  const int end = superpixel.right + 1;
  for (int row = superpixel.top; row <= superpixel.bottom; ++row) {
    const int* line = superpixelMap + static_cast<std::size_t>(row) * width;
    int col = superpixel.left;
    while (true) {
      while (col < end && line[col] != s) ++col;
      if (col == end) break;
      const int begin = col;
      while (col < end && line[col] == s) ++col;
      visit(row, begin, col);
    }
  }
}

// Calls visit(row, col) for every pixel of superpixel s, in raster order (row
// by row, columns ascending within a row). REQUIRES: as forEachRunOf.
template <typename Visit>
void forEachPixelOf(const Superpixel& superpixel, int s,
                    const int* superpixelMap, int width, Visit&& visit) {
  forEachRunOf(superpixel, s, superpixelMap, width,
               [&](int row, int begin, int end) {
                 for (int col = begin; col < end; ++col) visit(row, col);
               });
}

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
