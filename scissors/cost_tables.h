#pragma once

#include <cmath>

#include "scissors/link_costs.h"

namespace scribeline {

// Integer terms and tables behind the fast construction of the link costs of
// interior pixels (see link_costs.cpp for why they reproduce edgeStrengths()
// bit for bit).

// (a / sqrt(2))^2 for a byte difference a: the squared channel difference of
// a diagonal link.
const double* diagonalSquares();

// Byte differences of a diagonal link packed as blue << 16 | green << 8 | red.
inline int differenceOf(int key, int channel) {
  return (key >> (16 - 8 * channel)) & 0xff;
}

// Sum of the squared channel differences of a diagonal link, blue, green,
// red in that order.
inline double diagonalSum(int key, const double* squares) {
  return squares[differenceOf(key, 0)] + squares[differenceOf(key, 1)] +
         squares[differenceOf(key, 2)];
}

// Q: the integer sum of the squared byte differences of a diagonal link.
inline int squareSum(int key) {
  const int b = differenceOf(key, 0), g = differenceOf(key, 1),
            r = differenceOf(key, 2);
  return b * b + g * g + r * r;
}

// Raw strength of an axis link from E, the integer sum over the channels of
// (a + b - c - d) squared: the squared channel differences sum to E / 16.
inline double axisStrength(int sum) {
  return std::sqrt((static_cast<double>(sum) / 16.0) * kOneThird);
}

inline double diagonalStrength(double sum) {
  return std::sqrt(sum * kOneThird);
}

// Link costs of one image by their integer terms: axis links by E, diagonal
// links by their packed byte differences. The costs of the commonest terms
// (small differences, as in most of a photograph) come from tables small
// enough to stay in the caches; the others are computed, with the same
// operations, hence the same doubles, as the tables' entries.
class CostTables {
 public:
  static constexpr int kSmallDifferenceBits = 5;
  static constexpr int kSmallDifference = 1 << kSmallDifferenceBits;
  // Bits of a packed key of which one is set when a difference is not small.
  static constexpr int kLargeDifferenceBits =
      0x010101 * (0xff & ~(kSmallDifference - 1));
  // Axis links with E below this come from the table.
  static constexpr int kTabledAxisSums = 1 << 15;

  // REQUIRES: maxStrength is the image's M.
  explicit CostTables(double maxStrength);

  double axis(int sum) const {
    return sum < kTabledAxisSums ? axis_[sum] : computeAxis(sum);
  }
  double diagonal(int key) const {
    return isSmall(key) ? small_[smallIndex(key)] : computeDiagonal(key);
  }

 private:
  static bool isSmall(int key) { return (key & kLargeDifferenceBits) == 0; }
  static int smallIndex(int key) {
    return (differenceOf(key, 0) << (2 * kSmallDifferenceBits)) |
           (differenceOf(key, 1) << kSmallDifferenceBits) |
           differenceOf(key, 2);
  }
  double computeAxis(int sum) const {
    return normalisedLinkCost(axisStrength(sum), 0, maxStrength_);
  }
  double computeDiagonal(int key) const {
    return normalisedLinkCost(diagonalStrength(diagonalSum(key, squares_)), 5,
                              maxStrength_);
  }

  const double* squares_;
  double maxStrength_;
  double axis_[kTabledAxisSums];
  double small_[kSmallDifference * kSmallDifference * kSmallDifference];
};

}  // namespace scribeline
