#include "superpixel/smoothing.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace scribeline {

namespace {

constexpr float minMaskSigma = 0.01f;

// Source rows filtered together, so that the transposed writes of one column
// land in a contiguous run of the destination row.
constexpr int rowBlock = 16;

// Filtered value at column x of one row: centre tap plus, for every distance,
// the tap times the sum of the two mirrored neighbours, the out-of-range one
// replaced by the row's border pixel.
inline double filterAt(const float* row, int width, int x, const float* taps, int len) {
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

void convolveEven(const FloatImage& src, FloatImage& dst, const GaussianMask& mask) {
    const int width = src.width();
    const int height = src.height();
    const int len = static_cast<int>(mask.size());
    const float* taps = mask.data();
    // Columns [interiorBegin, interiorEnd) have every tap inside the row.
    const int interiorBegin = std::min(len - 1, width);
    const int interiorEnd = std::max(interiorBegin, width - (len - 1));
    std::vector<double> sums(static_cast<std::size_t>(width));
    std::vector<float> filtered(static_cast<std::size_t>(rowBlock) * static_cast<std::size_t>(width));
    for (int y0 = 0; y0 < height; y0 += rowBlock) {
        const int y1 = std::min(y0 + rowBlock, height);
        for (int y = y0; y < y1; ++y) {
            const float* in = src.row(y);
            float* out = filtered.data() + static_cast<std::size_t>(y - y0) * width;
            // Tap by tap over the whole interior, in the same order of
            // additions as filterAt, so that the loops vectorise.
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

FloatImage smoothChannel(const FloatImage& src, float sigma) {
    GaussianMask mask = gaussianMask(sigma);
    normalizeMask(mask);
    FloatImage result(src.width(), src.height(), FloatImage::Fill::uninitialized);
    {
        FloatImage transposed(src.height(), src.width(), FloatImage::Fill::uninitialized);
        convolveEven(src, transposed, mask);
        convolveEven(transposed, result, mask);
    }
    return result;
}

}  // namespace scribeline
