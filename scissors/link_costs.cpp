#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "scissors/cost_tables.h"
#include "scissors/iscissor.h"
#include "scissors/link_cost_rows.h"
#include "scissors/link_costs.h"

namespace scribeline {

// Pixels with all eight neighbours inside the image take a fast path that
// gives bit for bit the values of edgeStrengths():
// - an axis channel difference is |e| / 4 for the integer e = a + b - c - d,
//   so the sum of its three squares is exactly E / 16 with E the integer sum
//   of e squared, and the link's cost is a function of E alone;
// - a diagonal channel difference |a - b| / sqrt(2) takes one of 256 values,
//   whose squares come from a table and are summed blue, green, red as usual.
//   That sum is strictly increasing in Q, the integer sum of the squared byte
//   differences (rounding moves it by far less than a step of Q), so the
//   strongest diagonal link is among those with the largest Q. Links with
//   equal Q may still differ in the last bit, so the largest exact sum is
//   taken over all of them.
// Rounding and the square root are monotonic, so the largest sums give the
// largest strength M. Costs then come from tables: by E for the axis links,
// by the three byte differences for diagonal links with small differences.
// Only the links in directions 0, 5, 6 and 7 are computed per pixel; the
// others are the same links seen from the neighbour.

namespace {

// Rows are handed to the worker threads in bands of this many.
constexpr int kBandRows = 32;

// Walks the interior rows of one band, keeping the rows above, at and below
// the current one split into channels.
class PlanarWindow {
 public:
  PlanarWindow(const cv::Mat& image, int firstRow)
      : image_(image), width_(image.cols), storage_(9 * static_cast<std::size_t>(image.cols)) {
    for (int slot = 0; slot < 3; ++slot) {
      for (int c = 0; c < 3; ++c) planes_[slot][c] = &storage_[(3 * slot + c) * width_];
    }
    split(0, firstRow - 1);
    split(1, firstRow);
    split(2, firstRow + 1);
    current_ = firstRow;
  }

  // Moves to the next row. REQUIRES: the row below the next one exists.
  void advance() {
    std::swap(planes_[0], planes_[1]);
    std::swap(planes_[1], planes_[2]);
    ++current_;
    split(2, current_ + 1);
  }

  PlanarRows rows() const {
    PlanarRows rows;
    for (int c = 0; c < 3; ++c) {
      rows.above[c] = planes_[0][c];
      rows.row[c] = planes_[1][c];
      rows.below[c] = planes_[2][c];
    }
    rows.width = width_;
    return rows;
  }

 private:
  void split(int slot, int y) {
    splitRow(image_.ptr<uchar>(y), width_, planes_[slot][0], planes_[slot][1], planes_[slot][2]);
  }

  const cv::Mat& image_;
  int width_;
  std::vector<int> storage_;
  int* planes_[3][3];
  int current_;
};

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

  // Per band the largest E; per row the largest Q. The exact largest
  // diagonal sum is then looked for only in the rows holding the largest Q.
  std::vector<int> bandAxisSum(bands, 0);
  std::vector<int> rowDiagonalQ(height_, 0);
  cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
    for (int band = range.start; band < range.end; ++band) {
      const int firstRow = 1 + band * kBandRows;
      const int endRow = std::min(firstRow + kBandRows, height_ - 1);
      PlanarWindow window(image, firstRow);
      int axisSum = 0;
      for (int y = firstRow; y < endRow; ++y) {
        if (y > firstRow) window.advance();
        rowMaxima(window.rows(), axisSum, rowDiagonalQ[y]);
      }
      bandAxisSum[band] = axisSum;
    }
  }, bands);
  const int largestAxisSum =
      bands == 0 ? 0 : *std::max_element(bandAxisSum.begin(), bandAxisSum.end());
  const int largestQ = *std::max_element(rowDiagonalQ.begin(), rowDiagonalQ.end());
  double largestDiagonalSum = 0.0;
  if (bands > 0) {
    std::vector<int> right(width_), downLeft(width_), down(width_), downRight(width_);
    for (int y = 1; y + 1 < height_; ++y) {
      if (rowDiagonalQ[y] != largestQ) continue;
      const PlanarWindow window(image, y);
      rowTerms(window.rows(), right.data(), downLeft.data(), down.data(), downRight.data());
      for (int i = 0; i + 2 < width_; ++i) {
        for (int key : {downLeft[i], downRight[i]}) {
          if (squareSum(key) == largestQ) {
            largestDiagonalSum = std::max(largestDiagonalSum, diagonalSum(key, squares));
          }
        }
      }
    }
  }
  strongest = std::max(strongest, axisStrength(largestAxisSum));
  strongest = std::max(strongest, diagonalStrength(largestDiagonalSum));
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

  if (bands == 0) return;
  const CostTables tables(largestAxisSum, m);
  cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
    std::vector<int> right(width_), downLeft(width_), down(width_), downRight(width_);
    for (int band = range.start; band < range.end; ++band) {
      const int firstRow = 1 + band * kBandRows;
      const int endRow = std::min(firstRow + kBandRows, height_ - 1);
      PlanarWindow window(image, firstRow);
      for (int y = firstRow; y < endRow; ++y) {
        if (y > firstRow) window.advance();
        rowTerms(window.rows(), right.data(), downLeft.data(), down.data(), downRight.data());
        tables.storeRow(right.data(), downLeft.data(), down.data(), downRight.data(),
                        width_ - 2, &forwardCosts_[gridIndex(1, y) * 4]);
      }
    }
  }, bands);
}

}  // namespace scribeline
