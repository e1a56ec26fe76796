#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "scissors/iscissor.h"
#include "scissors/link_costs.h"

namespace scribeline {

// Pixels with all eight neighbours inside the image take a fast path that
// gives bit for bit the values of edgeStrengths():
// - an axis channel difference is |e| / 4 for the integer e = a + b - c - d,
//   so the sum of its three squares is exactly E / 16 with E the integer sum
//   of e squared;
// - a diagonal channel difference |a - b| / sqrt(2) takes one of 256 values,
//   whose squares come from a table and are summed blue, green, red as usual.
// The strongest link is found from these sums alone: rounding and the square
// root are monotonic, so the largest sum gives the largest strength.
// Only the links in directions 0, 5, 6 and 7 are computed per pixel; the
// others are the same links seen from the neighbour.

namespace {

struct DiagonalSquares {
  double values[256];
  DiagonalSquares() {
    for (int a = 0; a < 256; ++a) {
      const double difference = static_cast<double>(a) / kSqrt2;
      values[a] = difference * difference;
    }
  }
};

const double* diagonalSquares() {
  static const DiagonalSquares table;
  return table.values;
}

// Sums of squared channel differences of the four stored links of pixel x,
// given the rows above, at and below it (3 bytes per pixel).
struct InteriorSums {
  int right;          // direction 0, integer sum E
  double downLeft;    // direction 5
  int down;           // direction 6, integer sum E
  double downRight;   // direction 7
};

inline InteriorSums interiorSums(const uchar* above, const uchar* row, const uchar* below,
                                 int x, const double* squares) {
  const int at = 3 * x;
  InteriorSums sums{0, 0.0, 0, 0.0};
  for (int c = 0; c < 3; ++c) {
    const int across = above[at + c] + above[at + 3 + c] - below[at + 3 + c] - below[at + c];
    const int sideways = row[at + 3 + c] + below[at + 3 + c] - row[at - 3 + c] - below[at - 3 + c];
    sums.right += across * across;
    sums.down += sideways * sideways;
  }
  const uchar* left = row + at - 3;
  const uchar* right = row + at + 3;
  const uchar* down = below + at;
  sums.downLeft = squares[std::abs(left[0] - down[0])] + squares[std::abs(left[1] - down[1])] +
                  squares[std::abs(left[2] - down[2])];
  sums.downRight = squares[std::abs(right[0] - down[0])] +
                   squares[std::abs(right[1] - down[1])] + squares[std::abs(right[2] - down[2])];
  return sums;
}

inline double axisStrength(int sum) {
  return std::sqrt((static_cast<double>(sum) / 16.0) * kOneThird);
}

inline double diagonalStrength(double sum) { return std::sqrt(sum * kOneThird); }

// Rows are handed to the worker threads in bands of this many.
constexpr int kBandRows = 32;

}  // namespace

void IScissor::computeLinkCosts() {
  const cv::Mat& image = *image_;
  const double* squares = diagonalSquares();
  const bool hasInterior = width_ >= 3 && height_ >= 3;
  const int interiorRows = hasInterior ? height_ - 2 : 0;
  const int bands = (interiorRows + kBandRows - 1) / kBandRows;

  // Pass 1: the largest raw strength. Border pixels go through
  // edgeStrengths(); their four stored links keep the raw strength for now.
  double strongest = 0.0;
  auto borderPixel = [&](int x, int y) {
    std::array<double, 8> strengths;
    strongest = std::max(strongest, edgeStrengths(image, x, y, strengths));
    double* slots = &forwardCosts_[gridIndex(x, y) * 4];
    for (int k : {0, 5, 6, 7}) slots[k & 3] = strengths[k];
  };
  for (int x = 0; x < width_; ++x) {
    borderPixel(x, 0);
    if (height_ > 1) borderPixel(x, height_ - 1);
  }
  for (int y = 1; y + 1 < height_; ++y) {
    borderPixel(0, y);
    if (width_ > 1) borderPixel(width_ - 1, y);
  }

  std::vector<int> bandAxisSum(bands, 0);
  std::vector<double> bandDiagonalSum(bands, 0.0);
  cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
    for (int band = range.start; band < range.end; ++band) {
      int axisSum = 0;
      double diagonalSum = 0.0;
      const int firstRow = 1 + band * kBandRows;
      const int endRow = std::min(firstRow + kBandRows, height_ - 1);
      for (int y = firstRow; y < endRow; ++y) {
        const uchar* above = image.ptr<uchar>(y - 1);
        const uchar* row = image.ptr<uchar>(y);
        const uchar* below = image.ptr<uchar>(y + 1);
        for (int x = 1; x + 1 < width_; ++x) {
          const InteriorSums sums = interiorSums(above, row, below, x, squares);
          axisSum = std::max(axisSum, std::max(sums.right, sums.down));
          diagonalSum = std::max(diagonalSum, std::max(sums.downLeft, sums.downRight));
        }
      }
      bandAxisSum[band] = axisSum;
      bandDiagonalSum[band] = diagonalSum;
    }
  }, bands);
  for (int band = 0; band < bands; ++band) {
    strongest = std::max(strongest, axisStrength(bandAxisSum[band]));
    strongest = std::max(strongest, diagonalStrength(bandDiagonalSum[band]));
  }
  maxStrength_ = strongest;

  // Pass 2: the costs.
  const double m = maxStrength_;
  auto normaliseBorderPixel = [&](int x, int y) {
    double* slots = &forwardCosts_[gridIndex(x, y) * 4];
    for (int k : {0, 5, 6, 7}) slots[k & 3] = normalisedLinkCost(slots[k & 3], k, m);
  };
  for (int x = 0; x < width_; ++x) {
    normaliseBorderPixel(x, 0);
    if (height_ > 1) normaliseBorderPixel(x, height_ - 1);
  }
  for (int y = 1; y + 1 < height_; ++y) {
    normaliseBorderPixel(0, y);
    if (width_ > 1) normaliseBorderPixel(width_ - 1, y);
  }

  cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
    for (int band = range.start; band < range.end; ++band) {
      const int firstRow = 1 + band * kBandRows;
      const int endRow = std::min(firstRow + kBandRows, height_ - 1);
      for (int y = firstRow; y < endRow; ++y) {
        const uchar* above = image.ptr<uchar>(y - 1);
        const uchar* row = image.ptr<uchar>(y);
        const uchar* below = image.ptr<uchar>(y + 1);
        double* slots = &forwardCosts_[gridIndex(1, y) * 4];
        for (int x = 1; x + 1 < width_; ++x, slots += 4) {
          const InteriorSums sums = interiorSums(above, row, below, x, squares);
          slots[0] = normalisedLinkCost(axisStrength(sums.right), 0, m);
          slots[1] = normalisedLinkCost(diagonalStrength(sums.downLeft), 5, m);
          slots[2] = normalisedLinkCost(axisStrength(sums.down), 6, m);
          slots[3] = normalisedLinkCost(diagonalStrength(sums.downRight), 7, m);
        }
      }
    }
  }, bands);
}

}  // namespace scribeline
