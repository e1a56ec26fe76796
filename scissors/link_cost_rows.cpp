#include "scissors/link_cost_rows.h"

#include <algorithm>
#include <cstdlib>

namespace scribeline {

// Each kernel is built twice, for AVX2 and for the baseline instruction
// set; the loader picks the one the processor runs.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__)
#define SCRIBELINE_VECTOR_CLONES \
  __attribute__((target_clones("avx2", "default")))
#else
#define SCRIBELINE_VECTOR_CLONES
#endif

SCRIBELINE_VECTOR_CLONES
void splitRow(const uchar* bgr, int width, int* blue, int* green, int* red) {
  for (int x = 0; x < width; ++x) {
    blue[x] = bgr[3 * x];
    green[x] = bgr[3 * x + 1];
    red[x] = bgr[3 * x + 2];
  }
}

SCRIBELINE_VECTOR_CLONES
void rowMaxima(const PlanarRows& rows, int& axisMax, int& diagonalQMax) {
  const int *a0 = rows.above[0], *a1 = rows.above[1], *a2 = rows.above[2];
  const int *r0 = rows.row[0], *r1 = rows.row[1], *r2 = rows.row[2];
  const int *b0 = rows.below[0], *b1 = rows.below[1], *b2 = rows.below[2];
  int axis = axisMax;
  int diagonal = diagonalQMax;
  for (int x = 1; x + 1 < rows.width; ++x) {
    const int across0 = a0[x] + a0[x + 1] - b0[x + 1] - b0[x];
    const int across1 = a1[x] + a1[x + 1] - b1[x + 1] - b1[x];
    const int across2 = a2[x] + a2[x + 1] - b2[x + 1] - b2[x];
    const int side0 = r0[x + 1] + b0[x + 1] - r0[x - 1] - b0[x - 1];
    const int side1 = r1[x + 1] + b1[x + 1] - r1[x - 1] - b1[x - 1];
    const int side2 = r2[x + 1] + b2[x + 1] - r2[x - 1] - b2[x - 1];
    const int left0 = r0[x - 1] - b0[x], left1 = r1[x - 1] - b1[x],
              left2 = r2[x - 1] - b2[x];
    const int right0 = r0[x + 1] - b0[x], right1 = r1[x + 1] - b1[x],
              right2 = r2[x + 1] - b2[x];
    const int right = across0 * across0 + across1 * across1 + across2 * across2;
    const int down = side0 * side0 + side1 * side1 + side2 * side2;
    const int downLeft = left0 * left0 + left1 * left1 + left2 * left2;
    const int downRight = right0 * right0 + right1 * right1 + right2 * right2;
    axis = std::max(axis, std::max(right, down));
    diagonal = std::max(diagonal, std::max(downLeft, downRight));
  }
  axisMax = axis;
  diagonalQMax = diagonal;
}

SCRIBELINE_VECTOR_CLONES
void rowTerms(const PlanarRows& rows, int* __restrict right,
              int* __restrict downLeft, int* __restrict down,
              int* __restrict downRight) {
  const int *a0 = rows.above[0], *a1 = rows.above[1], *a2 = rows.above[2];
  const int *r0 = rows.row[0], *r1 = rows.row[1], *r2 = rows.row[2];
  const int *b0 = rows.below[0], *b1 = rows.below[1], *b2 = rows.below[2];
  for (int x = 1; x + 1 < rows.width; ++x) {
    const int across0 = a0[x] + a0[x + 1] - b0[x + 1] - b0[x];
    const int across1 = a1[x] + a1[x + 1] - b1[x + 1] - b1[x];
    const int across2 = a2[x] + a2[x + 1] - b2[x + 1] - b2[x];
    const int side0 = r0[x + 1] + b0[x + 1] - r0[x - 1] - b0[x - 1];
    const int side1 = r1[x + 1] + b1[x + 1] - r1[x - 1] - b1[x - 1];
    const int side2 = r2[x + 1] + b2[x + 1] - r2[x - 1] - b2[x - 1];
    right[x - 1] = across0 * across0 + across1 * across1 + across2 * across2;
    down[x - 1] = side0 * side0 + side1 * side1 + side2 * side2;
    downLeft[x - 1] = (std::abs(r0[x - 1] - b0[x]) << 16) |
                      (std::abs(r1[x - 1] - b1[x]) << 8) |
                      std::abs(r2[x - 1] - b2[x]);
    downRight[x - 1] = (std::abs(r0[x + 1] - b0[x]) << 16) |
                       (std::abs(r1[x + 1] - b1[x]) << 8) |
                       std::abs(r2[x + 1] - b2[x]);
  }
}

}  // namespace scribeline
