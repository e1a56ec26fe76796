#include <cmath>

#include "scissors/directions.h"
#include "scissors/link_costs.h"

namespace scribeline {

namespace {

using Colour = std::array<double, 3>;

// Channel difference of axis link k: abs((N[a] + N[b]) * 0.5 - (N[c] + N[d]) *
// 0.5) * 0.5, the two pixels on one side of the link against the two on the
// other.
struct AxisTerms {
  int a, b, c, d;
};
constexpr AxisTerms kAxisTerms[4] = {
    {2, 1, 7, 6},  // k = 0
    {0, 1, 4, 3},  // k = 2
    {3, 2, 5, 6},  // k = 4
    {0, 7, 4, 5},  // k = 6
};

// Channel difference of diagonal link k: abs(N[a] - N[b]) / sqrt(2), the two
// pixels sharing a side with both ends of the link.
struct DiagonalTerms {
  int a, b;
};
constexpr DiagonalTerms kDiagonalTerms[4] = {
    {0, 2},  // k = 1
    {4, 2},  // k = 3
    {4, 6},  // k = 5
    {0, 6},  // k = 7
};

Colour colourAt(const cv::Mat& image, int x, int y) {
  const cv::Vec3b& pixel = image.at<cv::Vec3b>(y, x);
  return {static_cast<double>(pixel[0]), static_cast<double>(pixel[1]),
          static_cast<double>(pixel[2])};
}

}  // namespace

double edgeStrengths(const cv::Mat& image, int x, int y,
                     std::array<double, 8>& strengths) {
  auto insideAt = [&](int k) {
    const int nx = x + directionOffsets[k].dx;
    const int ny = y + directionOffsets[k].dy;
    return nx >= 0 && ny >= 0 && nx < image.cols && ny < image.rows;
  };
  auto neighbourColour = [&](int k) {
    return colourAt(image, x + directionOffsets[k].dx,
                    y + directionOffsets[k].dy);
  };

  const Colour own = colourAt(image, x, y);
  std::array<Colour, 8> neighbours;
  for (int k = 0; k < 8; ++k) {
    if (insideAt(k)) {
      neighbours[k] = neighbourColour(k);
    } else if (k % 2 == 0) {
      neighbours[k] = own;
    } else if (insideAt((k + 7) & 7)) {
      neighbours[k] = neighbourColour((k + 7) & 7);
    } else if (insideAt((k + 1) & 7)) {
      neighbours[k] = neighbourColour((k + 1) & 7);
    } else {
      neighbours[k] = own;
    }
  }

  double strongest = 0.0;
  for (int k = 0; k < 8; ++k) {
    Colour difference;
    for (int c = 0; c < 3; ++c) {
      if (k % 2 == 0) {
        const AxisTerms& t = kAxisTerms[k / 2];
        difference[c] =
            std::abs((neighbours[t.a][c] + neighbours[t.b][c]) * 0.5 -
                     (neighbours[t.c][c] + neighbours[t.d][c]) * 0.5) *
            0.5;
      } else {
        const DiagonalTerms& t = kDiagonalTerms[k / 2];
        difference[c] =
            std::abs(neighbours[t.a][c] - neighbours[t.b][c]) / kSqrt2;
      }
    }
    strengths[k] = std::sqrt((difference[0] * difference[0] +
                              difference[1] * difference[1] +
                              difference[2] * difference[2]) *
                             kOneThird);
    if (k == 0 || strengths[k] > strongest) strongest = strengths[k];
  }
  return strongest;
}

}  // namespace scribeline
