#include "superpixel/smoothing.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "superpixel/parallel.h"

namespace scribeline {

namespace {

constexpr float minMaskSigma = 0.01f;

// Source rows filtered together by convolveEven, so that the transposed
// writes of one column land in a contiguous run of the destination row.
constexpr int rowBlock = 16;

// Filtered value at column x of one row: centre tap plus, for every distance,
// the tap times the sum of the two mirrored neighbours, the out-of-range one
// replaced by the row's border pixel.
inline double filterAt(const float* row, int width, int x, const float* taps,
                       int len) {
  double sum = static_cast<double>(taps[0]) * row[x];
  for (int i = 1; i < len; ++i) {
    const float left = row[std::max(x - i, 0)];
    const float right = row[std::min(x + i, width - 1)];
    sum += static_cast<double>(taps[i]) * (static_cast<double>(left) + right);
  }
  return sum;
}

}  // namespace

GaussianMask gaussianMask(float sigma) {
  if (!(sigma > minMaskSigma)) {
    sigma = minMaskSigma;  // also catches NaN
  }
  sigma = std::min(sigma, maxMaskSigma);
  const int len = static_cast<int>(std::ceil(sigma * 4.0)) + 1;
  GaussianMask mask(static_cast<std::size_t>(len));
  for (int i = 0; i < len; ++i) {
    const double scaled = i / static_cast<double>(sigma);
    mask[i] = static_cast<float>(std::exp(-0.5 * scaled * scaled));
  }
  return mask;
}

void normalizeMask(GaussianMask& mask) {
  float sum = 0.0f;
  for (std::size_t i = 1; i < mask.size(); ++i) {
    sum += std::fabs(mask[i]);
  }
  sum = 2.0f * sum + std::fabs(mask[0]);
  for (float& tap : mask) {
    tap /= sum;
  }
}

namespace {

// out[x] = row filtered at x (see filterAt) for every x, with sums as room
// for width doubles. The interior is filtered tap by tap over the whole row,
// in the same order of additions as filterAt, so that the loops vectorise.
void filterRow(const float* in, int width, const GaussianMask& mask,
               double* sums, float* out) {
  const int len = static_cast<int>(mask.size());
  const float* taps = mask.data();
  // Columns [interiorBegin, interiorEnd) have every tap inside the row.
  const int interiorBegin = std::min(len - 1, width);
  const int interiorEnd = std::max(interiorBegin, width - (len - 1));
  for (int x = interiorBegin; x < interiorEnd; ++x) {
    sums[x] = static_cast<double>(taps[0]) * in[x];
  }
  for (int i = 1; i < len; ++i) {
    const double tap = taps[i];
    for (int x = interiorBegin; x < interiorEnd; ++x) {
      sums[x] += tap * (static_cast<double>(in[x - i]) + in[x + i]);
    }
  }
  for (int x = interiorBegin; x < interiorEnd; ++x) {
    out[x] = static_cast<float>(sums[x]);
  }
  for (int x = 0; x < interiorBegin; ++x) {
    out[x] = static_cast<float>(filterAt(in, width, x, taps, len));
  }
  for (int x = interiorEnd; x < width; ++x) {
    out[x] = static_cast<float>(filterAt(in, width, x, taps, len));
  }
}

// convolveEven on every source row, each read through rowOf(y, buffer),
// which returns the row's width values (written to buffer, which has room
// for width floats, or kept elsewhere).
template <typename RowOf>
void convolveRowsTransposed(RowOf&& rowOf, int width, int height,
                            FloatImage& dst, const GaussianMask& mask) {
  std::vector<double> sums(static_cast<std::size_t>(width));
  std::vector<float> rowBuffer(static_cast<std::size_t>(width));
  std::vector<float> filtered(static_cast<std::size_t>(rowBlock) *
                              static_cast<std::size_t>(width));
  for (int y0 = 0; y0 < height; y0 += rowBlock) {
    const int y1 = std::min(y0 + rowBlock, height);
    for (int y = y0; y < y1; ++y) {
      filterRow(rowOf(y, rowBuffer.data()), width, mask, sums.data(),
                filtered.data() + static_cast<std::size_t>(y - y0) * width);
    }
    // Transposed writes: destination row x receives y1 - y0 consecutive
    // values from the block.
    for (int x = 0; x < width; ++x) {
      float* out = dst.row(x);
      for (int y = y0; y < y1; ++y) {
        out[y] = filtered[static_cast<std::size_t>(y - y0) * width + x];
      }
    }
  }
}

// Rows firstRow .. endRow-1 of smoothChannel's result, computed without the
// transposed plane: every source row is filtered along the row (the values
// of the first pass), and each result row combines the filtered rows above
// and below it as the second pass combines the neighbours of the transposed
// row, in the same order of additions. Only the filtered rows within reach
// of the current row are kept, in a ring. The source rows are read through
// rowOf as for convolveRowsTransposed.
template <typename RowOf>
void smoothRows(RowOf&& rowOf, int width, int height, int firstRow, int endRow,
                const GaussianMask& mask, FloatImage& dst) {
  const int len = static_cast<int>(mask.size());
  const float* taps = mask.data();
  const int reach = len - 1;
  // Rows y - reach .. y + reach are needed for row y.
  const int ringRows =
      static_cast<int>(std::min<long long>(2LL * reach + 1, height));
  std::vector<float> ring(static_cast<std::size_t>(ringRows) *
                          static_cast<std::size_t>(width));
  const auto filteredRow = [&ring, ringRows, width](int y) {
    return ring.data() + static_cast<std::size_t>(y % ringRows) *
                             static_cast<std::size_t>(width);
  };
  std::vector<double> sums(static_cast<std::size_t>(width));
  std::vector<float> rowBuffer(static_cast<std::size_t>(width));
  int filteredEnd =
      std::max(firstRow - reach,
               0);  // rows before it are in the ring or no longer needed
  for (int y = firstRow; y < endRow; ++y) {
    for (const int needed = std::min(y + reach, height - 1) + 1;
         filteredEnd < needed; ++filteredEnd) {
      filterRow(rowOf(filteredEnd, rowBuffer.data()), width, mask, sums.data(),
                filteredRow(filteredEnd));
    }
    const float* centre = filteredRow(y);
    for (int x = 0; x < width; ++x) {
      sums[x] = static_cast<double>(taps[0]) * centre[x];
    }
    for (int i = 1; i < len; ++i) {
      const double tap = taps[i];
      const float* above = filteredRow(std::max(y - i, 0));
      const float* below = filteredRow(std::min(y + i, height - 1));
      for (int x = 0; x < width; ++x) {
        sums[x] += tap * (static_cast<double>(above[x]) + below[x]);
      }
    }
    float* out = dst.row(y);
    for (int x = 0; x < width; ++x) {
      out[x] = static_cast<float>(sums[x]);
    }
  }
}

}  // namespace

void convolveEven(const FloatImage& src, FloatImage& dst,
                  const GaussianMask& mask) {
  convolveRowsTransposed([&src](int y, float*) { return src.row(y); },
                         src.width(), src.height(), dst, mask);
}

FloatImage smoothChannel(const FloatImage& src, float sigma) {
  GaussianMask mask = gaussianMask(sigma);
  normalizeMask(mask);
  FloatImage result(src.width(), src.height(), FloatImage::Fill::uninitialized);
  {
    FloatImage transposed(src.height(), src.width(),
                          FloatImage::Fill::uninitialized);
    convolveEven(src, transposed, mask);
    convolveEven(transposed, result, mask);
  }
  return result;
}

SmoothedPlanes smoothChannels(const cv::Mat& pixels, const int (&channels)[3],
                              float sigma, int numThreads) {
  GaussianMask mask = gaussianMask(sigma);
  normalizeMask(mask);
  const int width = pixels.cols;
  const int height = pixels.rows;
  const int step = pixels.channels();
  const int numParts = std::max(1, std::min(numThreads, 2));
  SmoothedPlanes smoothed;
  for (FloatImage& plane : smoothed.planes) {
    plane = FloatImage(width, height, FloatImage::Fill::uninitialized);
  }
  // Each part writes its own rows of the three planes.
  runParts(numParts, [&](int part) {
    const int firstRow =
        static_cast<int>(static_cast<long long>(height) * part / numParts);
    const int endRow = static_cast<int>(static_cast<long long>(height) *
                                        (part + 1) / numParts);
    for (int c = 0; c < 3; ++c) {
      const int channel = channels[c];
      const auto bytesOf = [&pixels, width, step, channel](int y,
                                                           float* buffer) {
        const unsigned char* in = pixels.ptr<unsigned char>(y) + channel;
        for (int x = 0; x < width; ++x) {
          buffer[x] = in[static_cast<std::size_t>(x) * step];
        }
        return static_cast<const float*>(buffer);
      };
      smoothRows(bytesOf, width, height, firstRow, endRow, mask,
                 smoothed.planes[c]);
    }
  });
  return smoothed;
}

}  // namespace scribeline
