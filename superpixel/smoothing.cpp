#include "superpixel/smoothing.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "superpixel/parallel.h"

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

namespace {

// convolveEven on the source rows firstRow .. endRow-1 only, each row read
// through rowOf(y, buffer), which returns the row's width values (written to
// buffer, which has room for width floats, or kept elsewhere). Distinct row
// ranges write distinct destination entries, so they may run side by side.
template <typename RowOf>
void convolveRowsTransposed(RowOf&& rowOf, int width, int firstRow, int endRow, FloatImage& dst,
                            const GaussianMask& mask) {
    const int len = static_cast<int>(mask.size());
    const float* taps = mask.data();
    // Columns [interiorBegin, interiorEnd) have every tap inside the row.
    const int interiorBegin = std::min(len - 1, width);
    const int interiorEnd = std::max(interiorBegin, width - (len - 1));
    std::vector<double> sums(static_cast<std::size_t>(width));
    std::vector<float> rowBuffer(static_cast<std::size_t>(width));
    std::vector<float> filtered(static_cast<std::size_t>(rowBlock) * static_cast<std::size_t>(width));
    for (int y0 = firstRow; y0 < endRow; y0 += rowBlock) {
        const int y1 = std::min(y0 + rowBlock, endRow);
        for (int y = y0; y < y1; ++y) {
            const float* in = rowOf(y, rowBuffer.data());
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

// Where part `part` of numParts starts in 0 .. count-1: equal shares, each
// starting on a multiple of rowBlock so that no two parts write the same
// destination cache line of a full block.
int partStart(int count, int part, int numParts) {
    const long long start = static_cast<long long>(count) * part / numParts;
    return part == numParts ? count : static_cast<int>(start / rowBlock * rowBlock);
}

}  // namespace

void convolveEven(const FloatImage& src, FloatImage& dst, const GaussianMask& mask) {
    convolveRowsTransposed([&src](int y, float*) { return src.row(y); }, src.width(), 0, src.height(), dst, mask);
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

SmoothedPlanes smoothChannels(const cv::Mat& pixels, const int (&channels)[3], float sigma, int numThreads) {
    GaussianMask mask = gaussianMask(sigma);
    normalizeMask(mask);
    const int width = pixels.cols;
    const int height = pixels.rows;
    const int step = pixels.channels();
    const int numParts = std::max(1, std::min(numThreads, 2));
    SmoothedPlanes smoothed;
    FloatImage transposed[3];
    for (int c = 0; c < 3; ++c) {
        transposed[c] = FloatImage(height, width, FloatImage::Fill::uninitialized);
        smoothed.planes[c] = FloatImage(width, height, FloatImage::Fill::uninitialized);
    }
    // Rows first, every plane straight from the bytes; then the columns,
    // plane by plane. Each step splits its rows between the parts.
    runParts(numParts, [&](int part) {
        const int firstRow = partStart(height, part, numParts);
        const int endRow = partStart(height, part + 1, numParts);
        for (int c = 0; c < 3; ++c) {
            const int channel = channels[c];
            const auto bytesOf = [&pixels, width, step, channel](int y, float* buffer) {
                const unsigned char* in = pixels.ptr<unsigned char>(y) + channel;
                for (int x = 0; x < width; ++x) {
                    buffer[x] = in[static_cast<std::size_t>(x) * step];
                }
                return static_cast<const float*>(buffer);
            };
            convolveRowsTransposed(bytesOf, width, firstRow, endRow, transposed[c], mask);
        }
    });
    runParts(numParts, [&](int part) {
        const int firstRow = partStart(width, part, numParts);
        const int endRow = partStart(width, part + 1, numParts);
        for (int c = 0; c < 3; ++c) {
            const FloatImage& src = transposed[c];
            convolveRowsTransposed([&src](int y, float*) { return src.row(y); }, height, firstRow, endRow,
                                   smoothed.planes[c], mask);
        }
    });
    return smoothed;
}

}  // namespace scribeline
