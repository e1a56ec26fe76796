#include "scissors/link_costs.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core/utility.hpp>
#include <vector>

#include "scissors/cost_tables.h"
#include "scissors/link_cost_field.h"
#include "scissors/link_cost_rows.h"

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
// largest strength M. Costs are then functions of E for the axis links and
// of the three byte differences for diagonal links (CostTables).
// A pixel owns its links in directions 0, 5, 6 and 7; the others are the
// same links seen from the neighbour that owns them.

namespace {

// Rows are handed to the worker threads in bands of this many.
constexpr int kBandRows = 32;

// Walks the interior rows of one band, keeping the rows above, at and below
// the current one split into channels.
class PlanarWindow {
 public:
  PlanarWindow(const cv::Mat& image, int firstRow)
      : image_(image),
        width_(image.cols),
        storage_(9 * static_cast<std::size_t>(image.cols)) {
    for (int slot = 0; slot < 3; ++slot) {
      for (int c = 0; c < 3; ++c)
        planes_[slot][c] = &storage_[(3 * slot + c) * width_];
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
    splitRow(image_.ptr<uchar>(y), width_, planes_[slot][0], planes_[slot][1],
             planes_[slot][2]);
  }

  const cv::Mat& image_;
  int width_;
  std::vector<int> storage_;
  int* planes_[3][3];
  int current_;
};

// Calls visit(x, y) once for every pixel on the image border.
template <typename Visit>
void forEachBorderPixel(int width, int height, Visit visit) {
  for (int x = 0; x < width; ++x) {
    visit(x, 0);
    if (height > 1) visit(x, height - 1);
  }
  for (int y = 1; y + 1 < height; ++y) {
    visit(0, y);
    if (width > 1) visit(width - 1, y);
  }
}

int bandCount(const cv::Mat& image) {
  if (image.cols < 3 || image.rows < 3) return 0;
  return (image.rows - 2 + kBandRows - 1) / kBandRows;
}

// Calls visitRow(y, rows) for every interior row y of the band.
template <typename VisitRow>
void forEachRowOfBand(const cv::Mat& image, int band, VisitRow visitRow) {
  const int firstRow = 1 + band * kBandRows;
  const int endRow = std::min(firstRow + kBandRows, image.rows - 1);
  PlanarWindow window(image, firstRow);
  for (int y = firstRow; y < endRow; ++y) {
    if (y > firstRow) window.advance();
    visitRow(y, window.rows());
  }
}

struct InteriorMaxima {
  int axisSum = 0;           // largest E
  double diagonalSum = 0.0;  // largest exact diagonal sum
};

// The largest sums over the interior pixels: per band the largest E, per
// row the largest Q; the exact largest diagonal sum is then looked for only
// in the rows holding the largest Q.
InteriorMaxima largestInteriorSums(const cv::Mat& image) {
  const int bands = bandCount(image);
  InteriorMaxima maxima;
  if (bands == 0) return maxima;
  std::vector<int> bandAxisSum(bands, 0);
  std::vector<int> rowDiagonalQ(image.rows, 0);
  cv::parallel_for_(
      cv::Range(0, bands),
      [&](const cv::Range& range) {
        for (int band = range.start; band < range.end; ++band) {
          int axisSum = 0;
          forEachRowOfBand(image, band, [&](int y, const PlanarRows& rows) {
            rowMaxima(rows, axisSum, rowDiagonalQ[y]);
          });
          bandAxisSum[band] = axisSum;
        }
      },
      bands);
  maxima.axisSum = *std::max_element(bandAxisSum.begin(), bandAxisSum.end());
  const int largestQ =
      *std::max_element(rowDiagonalQ.begin(), rowDiagonalQ.end());
  if (largestQ == 0) return maxima;

  const double* squares = diagonalSquares();
  std::vector<int> right(image.cols), downLeft(image.cols), down(image.cols),
      downRight(image.cols);
  for (int y = 1; y + 1 < image.rows; ++y) {
    if (rowDiagonalQ[y] != largestQ) continue;
    const PlanarWindow window(image, y);
    rowTerms(window.rows(), right.data(), downLeft.data(), down.data(),
             downRight.data());
    for (int i = 0; i + 2 < image.cols; ++i) {
      for (int key : {downLeft[i], downRight[i]}) {
        if (squareSum(key) == largestQ) {
          maxima.diagonalSum =
              std::max(maxima.diagonalSum, diagonalSum(key, squares));
        }
      }
    }
  }
  return maxima;
}

}  // namespace

LinkCostField::LinkCostField(const cv::Mat& image) : image_(image) {
  if (image.empty()) return;
  CV_Assert(image.type() == CV_8UC3);
  double strongest = 0.0;
  forEachBorderPixel(image.cols, image.rows, [&](int x, int y) {
    std::array<double, 8> strengths;
    strongest = std::max(strongest, edgeStrengths(image, x, y, strengths));
  });
  const InteriorMaxima interior = largestInteriorSums(image);
  strongest = std::max(strongest, axisStrength(interior.axisSum));
  strongest = std::max(strongest, diagonalStrength(interior.diagonalSum));
  maxStrength_ = strongest;
  if (bandCount(image) > 0)
    tables_ = std::make_unique<CostTables>(maxStrength_);
}

double LinkCostField::owned(int x, int y, int k) const {
  if (x >= 1 && y >= 1 && x + 1 < image_.cols && y + 1 < image_.rows) {
    const Around n = around(x, y);
    switch (k) {
      case 0:
        return inner<0>(n);
      case 5:
        return inner<5>(n);
      case 6:
        return inner<6>(n);
      default:
        return inner<7>(n);
    }
  }
  std::array<double, 8> strengths;
  edgeStrengths(image_, x, y, strengths);
  return normalisedLinkCost(strengths[k], k, maxStrength_);
}

}  // namespace scribeline
