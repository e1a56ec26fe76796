#pragma once

#include <opencv2/core.hpp>

namespace scribeline {

// Row kernels of the link-cost construction for pixels whose eight
// neighbours all lie inside the image. They work on one colour channel per
// array ("planar" rows of ints), which lets the compiler vectorise them.

// Three consecutive image rows, split into blue, green and red arrays of
// `width` ints each.
struct PlanarRows {
  const int* above[3];
  const int* row[3];
  const int* below[3];
  int width;
};

// Splits an 8-bit BGR row into three arrays of ints.
void splitRow(const uchar* bgr, int width, int* blue, int* green, int* red);

// Largest integer sums over the interior pixels x = 1 .. width - 2 of the
// middle row: axisMax over E of the links in directions 0 and 6 (E the sum
// over the channels of (a + b - c - d) squared), diagonalQMax over Q of the
// links in directions 5 and 7 (Q the sum of the squared byte differences).
void rowMaxima(const PlanarRows& rows, int& axisMax, int& diagonalQMax);

// The per-pixel terms of the four stored links of the interior pixels of
// the middle row, at index x - 1: E for directions 0 and 6, and for
// directions 5 and 7 the byte differences packed as blue << 16 | green << 8
// | red.
void rowTerms(const PlanarRows& rows, int* right, int* downLeft, int* down,
              int* downRight);

}  // namespace scribeline
