#include "scissors/cost_tables.h"

#include <algorithm>
#include <opencv2/core/utility.hpp>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define SCRIBELINE_HAS_AVX2_PATH 1
#endif

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

CostTables::CostTables(int largestAxisSum, double maxStrength)
    : squares_(diagonalSquares()),
      maxStrength_(maxStrength),
      axis_(largestAxisSum + 1) {
  // Up to 780301 entries, each a square root and a division: shared out.
  constexpr int kChunk = 1 << 14;
  const int chunks = largestAxisSum / kChunk + 1;
  cv::parallel_for_(cv::Range(0, chunks), [&](const cv::Range& range) {
    const int end = std::min(range.end * kChunk, largestAxisSum + 1);
    for (int sum = range.start * kChunk; sum < end; ++sum) {
      axis_[sum] = normalisedLinkCost(axisStrength(sum), 0, maxStrength);
    }
  });
  small_.resize(kSmallDifference * kSmallDifference * kSmallDifference);
  cv::parallel_for_(cv::Range(0, kSmallDifference),
                    [&](const cv::Range& range) {
                      for (int b = range.start; b < range.end; ++b) {
                        for (int g = 0; g < kSmallDifference; ++g) {
                          for (int r = 0; r < kSmallDifference; ++r) {
                            const int key = (b << 16) | (g << 8) | r;
                            small_[smallIndex(key)] = computeDiagonal(key);
                          }
                        }
                      }
                    });
}

void CostTables::storeRow(const int* right, const int* downLeft,
                          const int* down, const int* downRight, int count,
                          double* slots) const {
#ifdef SCRIBELINE_HAS_AVX2_PATH
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    storeRowAvx2(right, downLeft, down, downRight, count, slots);
    return;
  }
#endif
  storeRowPortable(right, downLeft, down, downRight, count, slots);
}

void CostTables::storeRowPortable(const int* right, const int* downLeft,
                                  const int* down, const int* downRight,
                                  int count, double* slots) const {
  for (int i = 0; i < count; ++i, slots += 4) {
    slots[0] = axis(right[i]);
    slots[1] = diagonal(downLeft[i]);
    slots[2] = axis(down[i]);
    slots[3] = diagonal(downRight[i]);
  }
}

#ifdef SCRIBELINE_HAS_AVX2_PATH

// table[indices[i]] for the four lanes. (The masked form with an explicit
// zero source: the plain one reads an undefined register.)
__attribute__((target("avx2"))) inline __m256d gather(const double* table,
                                                      __m128i indices) {
  const __m256d everyLane = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, indices,
                                  everyLane, 8);
}

// Diagonal costs of four keys, computed with the same operations as
// computeDiagonal(): the squared differences gathered from their table and
// summed blue, green, red; square root; normalisation. The vector square
// root, product and quotient round exactly as the scalar ones.
__attribute__((target("avx2"))) inline __m256d computedDiagonalCosts(
    __m128i keys, const double* squares, double maxStrength) {
  const __m128i byteMask = _mm_set1_epi32(0xff);
  const __m256d blue = gather(squares, _mm_srli_epi32(keys, 16));
  const __m256d green =
      gather(squares, _mm_and_si128(_mm_srli_epi32(keys, 8), byteMask));
  const __m256d red = gather(squares, _mm_and_si128(keys, byteMask));
  const __m256d sum = _mm256_add_pd(_mm256_add_pd(blue, green), red);
  const __m256d strength =
      _mm256_sqrt_pd(_mm256_mul_pd(sum, _mm256_set1_pd(kOneThird)));
  __m256d cost = _mm256_sub_pd(_mm256_set1_pd(maxStrength), strength);
  cost = _mm256_mul_pd(cost, _mm256_set1_pd(linkLength[5]));
  cost = _mm256_mul_pd(cost, _mm256_set1_pd(255.0));
  return _mm256_div_pd(cost, _mm256_set1_pd(kSqrt2 * maxStrength));
}

// Diagonal costs of four keys: from the table of small differences when all
// four are small (always so when M is 0: no difference anywhere), else
// computed.
__attribute__((target("avx2"))) inline __m256d diagonalCostsAvx2(
    __m128i keys, const double* smallTable, const double* squares,
    double maxStrength) {
  const __m128i large =
      _mm_and_si128(keys, _mm_set1_epi32(CostTables::kLargeDifferenceBits));
  if (!_mm_testz_si128(large, large))
    return computedDiagonalCosts(keys, squares, maxStrength);
  const __m128i byteMask = _mm_set1_epi32(0xff);
  const __m128i blue = _mm_srli_epi32(keys, 16);
  const __m128i green = _mm_and_si128(_mm_srli_epi32(keys, 8), byteMask);
  const __m128i red = _mm_and_si128(keys, byteMask);
  const int bits = CostTables::kSmallDifferenceBits;
  const __m128i index = _mm_or_si128(
      _mm_or_si128(_mm_slli_epi32(blue, 2 * bits), _mm_slli_epi32(green, bits)),
      red);
  return gather(smallTable, index);
}

// Four pixels at a time: the costs are gathered from the tables (or, for
// diagonal links with a large difference, computed), turned from four costs
// per direction into four costs per pixel, and written with stores that
// bypass the caches (the grid is far larger than they are and is not read
// again during construction).
__attribute__((target("avx2"))) void CostTables::storeRowAvx2(
    const int* right, const int* downLeft, const int* down,
    const int* downRight, int count, double* slots) const {
  int i = 0;
  for (; i + 4 <= count; i += 4, slots += 16) {
    const __m256d c0 =
        gather(axis_.data(),
               _mm_loadu_si128(reinterpret_cast<const __m128i*>(right + i)));
    const __m256d c5 = diagonalCostsAvx2(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(downLeft + i)),
        small_.data(), squares_, maxStrength_);
    const __m256d c6 =
        gather(axis_.data(),
               _mm_loadu_si128(reinterpret_cast<const __m128i*>(down + i)));
    const __m256d c7 = diagonalCostsAvx2(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(downRight + i)),
        small_.data(), squares_, maxStrength_);
    const __m256d low05 = _mm256_unpacklo_pd(c0, c5);   // pixels 0 and 2
    const __m256d high05 = _mm256_unpackhi_pd(c0, c5);  // pixels 1 and 3
    const __m256d low67 = _mm256_unpacklo_pd(c6, c7);
    const __m256d high67 = _mm256_unpackhi_pd(c6, c7);
    _mm256_stream_pd(slots, _mm256_permute2f128_pd(low05, low67, 0x20));
    _mm256_stream_pd(slots + 4, _mm256_permute2f128_pd(high05, high67, 0x20));
    _mm256_stream_pd(slots + 8, _mm256_permute2f128_pd(low05, low67, 0x31));
    _mm256_stream_pd(slots + 12, _mm256_permute2f128_pd(high05, high67, 0x31));
  }
  storeRowPortable(right + i, downLeft + i, down + i, downRight + i, count - i,
                   slots);
  _mm_sfence();
}

#else

void CostTables::storeRowAvx2(const int* right, const int* downLeft,
                              const int* down, const int* downRight, int count,
                              double* slots) const {
  storeRowPortable(right, downLeft, down, downRight, count, slots);
}

#endif

}  // namespace scribeline
