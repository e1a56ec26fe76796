#pragma once

#include <cstdlib>
#include <memory>
#include <opencv2/core.hpp>

#include "scissors/cost_tables.h"
#include "scissors/directions.h"
#include "scissors/link_costs.h"

namespace scribeline {

// The link costs of one photograph, computed from its pixels whenever they
// are read instead of being stored: construction finds the strongest link M
// and fills two small tables, and needs no memory per pixel.
//
// Each link belongs to one of its two ends: the link in direction 0, 5, 6
// or 7 to the pixel it starts from, the link in direction 1, 2, 3 or 4 to
// the neighbour it leads to (as that neighbour's link straight back). The
// cost of a link is computed from the pixel it belongs to: by the integer
// terms of cost_tables.h when that pixel has all eight neighbours inside the
// image ("interior"), else through edgeStrengths(). A read therefore gives
// the same double every time, whichever end asks.
//
// The photograph must outlive the field and not change.
class LinkCostField {
 public:
  // REQUIRES: image is 8-bit, 3-channel (blue, green, red), or empty.
  explicit LinkCostField(const cv::Mat& image);

  LinkCostField(const LinkCostField&) = delete;
  LinkCostField& operator=(const LinkCostField&) = delete;

  int width() const { return image_.cols; }
  int height() const { return image_.rows; }

  // Largest raw link strength of the image (M); 0 for a uniform image.
  double maxStrength() const { return maxStrength_; }

  // Cost of one step from (x, y) to its neighbour in direction k.
  // REQUIRES: both inside the image, 0 <= k < 8.
  double step(int x, int y, int k) const {
    if (k == 0 || k >= 5) return owned(x, y, k);
    return owned(x + directionOffsets[k].dx, y + directionOffsets[k].dy,
                 oppositeDirection(k));
  }

  // True when (x, y) and its eight neighbours are all interior pixels: every
  // link of (x, y) then belongs to an interior pixel and inner() gives it.
  bool deepInside(int x, int y) const {
    return x >= 2 && y >= 2 && x + 2 < image_.cols && y + 2 < image_.rows;
  }

  // The three image rows around a pixel, each pointing at the pixel left of
  // it: column offsets 0, 3 and 6 are x - 1, x and x + 1.
  struct Around {
    const uchar* above;
    const uchar* row;
    const uchar* below;
  };
  Around around(int x, int y) const {
    const uchar* row = image_.ptr<uchar>(y) + 3 * (x - 1);
    const std::size_t step = image_.step[0];
    return {row - step, row, row + step};
  }

  // Cost of one step in direction k from the pixel `at` describes.
  // REQUIRES: the pixel is deepInside().
  template <int k>
  double inner(const Around& at) const;

 private:
  // Cost of the link of (x, y) in direction k, k one of 0, 5, 6, 7.
  double owned(int x, int y, int k) const;

  // E of an axis link: the sum over the channels of (a + b - c - d)^2.
  static int axisSum(const uchar* a, const uchar* b, const uchar* c,
                     const uchar* d) {
    int sum = 0;
    for (int ch = 0; ch < 3; ++ch) {
      const int e = a[ch] + b[ch] - c[ch] - d[ch];
      sum += e * e;
    }
    return sum;
  }
  // The byte differences of a diagonal link packed blue << 16 | green << 8 |
  // red.
  static int diagonalKey(const uchar* a, const uchar* b) {
    return std::abs(a[0] - b[0]) << 16 | std::abs(a[1] - b[1]) << 8 |
           std::abs(a[2] - b[2]);
  }

  const cv::Mat& image_;
  double maxStrength_ = 0.0;
  // Present when the image has an interior pixel.
  std::unique_ptr<CostTables> tables_;
};

// The terms of the link that pixel (x, y) owns in direction k, with a, r and
// b the rows above, at and below, offset 3 (x - 1), 3 x or 3 (x + 1):
//   0: a[x] + a[x+1] - b[x+1] - b[x]      5: |r[x-1] - b[x]|
//   6: r[x+1] + b[x+1] - r[x-1] - b[x-1]  7: |r[x+1] - b[x]|
// The links in directions 1 to 4 are those of the neighbour they lead to,
// rewritten here around (x, y).
template <int k>
double LinkCostField::inner(const Around& n) const {
  const uchar *a = n.above, *r = n.row, *b = n.below;
  if constexpr (k == 0) {
    return tables_->axis(axisSum(a + 3, a + 6, b + 6, b + 3));
  } else if constexpr (k == 1) {  // link 5 of (x + 1, y - 1)
    return tables_->diagonal(diagonalKey(a + 3, r + 6));
  } else if constexpr (k == 2) {  // link 6 of (x, y - 1)
    return tables_->axis(axisSum(a + 6, r + 6, a, r));
  } else if constexpr (k == 3) {  // link 7 of (x - 1, y - 1)
    return tables_->diagonal(diagonalKey(a + 3, r));
  } else if constexpr (k == 4) {  // link 0 of (x - 1, y)
    return tables_->axis(axisSum(a, a + 3, b + 3, b));
  } else if constexpr (k == 5) {
    return tables_->diagonal(diagonalKey(r, b + 3));
  } else if constexpr (k == 6) {
    return tables_->axis(axisSum(r + 6, b + 6, r, b));
  } else {
    static_assert(k == 7);
    return tables_->diagonal(diagonalKey(r + 6, b + 3));
  }
}

}  // namespace scribeline
