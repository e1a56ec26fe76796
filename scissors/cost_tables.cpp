#include "scissors/cost_tables.h"

namespace scribeline {

namespace {

struct DiagonalSquareTable {
  double values[256];
  DiagonalSquareTable() {
    for (int a = 0; a < 256; ++a) {
      const double difference = static_cast<double>(a) / kSqrt2;
      values[a] = difference * difference;
    }
  }
};

}  // namespace

const double* diagonalSquares() {
  static const DiagonalSquareTable table;
  return table.values;
}

CostTables::CostTables(double maxStrength)
    : squares_(diagonalSquares()), maxStrength_(maxStrength) {
  for (int sum = 0; sum < kTabledAxisSums; ++sum) axis_[sum] = computeAxis(sum);
  for (int key = 0;
       key < kSmallDifference * kSmallDifference * kSmallDifference; ++key) {
    const int b = key >> (2 * kSmallDifferenceBits);
    const int g = (key >> kSmallDifferenceBits) & (kSmallDifference - 1);
    const int r = key & (kSmallDifference - 1);
    small_[key] = computeDiagonal((b << 16) | (g << 8) | r);
  }
}

}  // namespace scribeline
