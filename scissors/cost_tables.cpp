#include "scissors/cost_tables.h"

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
    : squares_(diagonalSquares()), maxStrength_(maxStrength), axis_(largestAxisSum + 1) {
  for (int sum = 0; sum <= largestAxisSum; ++sum) {
    axis_[sum] = normalisedLinkCost(axisStrength(sum), 0, maxStrength);
  }
  small_.resize(kSmallDifference * kSmallDifference * kSmallDifference);
  for (int b = 0; b < kSmallDifference; ++b) {
    for (int g = 0; g < kSmallDifference; ++g) {
      for (int r = 0; r < kSmallDifference; ++r) {
        const int key = (b << 16) | (g << 8) | r;
        small_[smallIndex(key)] = computeDiagonal(key);
      }
    }
  }
}

void CostTables::storeRow(const int* right, const int* downLeft, const int* down,
                          const int* downRight, int count, double* slots) const {
#ifdef SCRIBELINE_HAS_AVX2_PATH
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    storeRowAvx2(right, downLeft, down, downRight, count, slots);
    return;
  }
#endif
  storeRowPortable(right, downLeft, down, downRight, count, slots);
}

void CostTables::storeRowPortable(const int* right, const int* downLeft, const int* down,
                                  const int* downRight, int count, double* slots) const {
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
__attribute__((target("avx2"))) inline __m256d gather(const double* table, __m128i indices) {
  const __m256d everyLane = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, indices, everyLane, 8);
}

// Four pixels at a time: the costs are gathered from the tables, turned
// from four costs per direction into four costs per pixel, and written with
// stores that bypass the caches (the grid is far larger than they are and
// is not read again during construction). A group with a large diagonal
// difference takes the portable path.
__attribute__((target("avx2"))) void CostTables::storeRowAvx2(
    const int* right, const int* downLeft, const int* down, const int* downRight, int count,
    double* slots) const {
  const __m128i largeBits = _mm_set1_epi32(0xe0e0e0);
  const __m128i byteMask = _mm_set1_epi32(0xff);
  auto smallIndices = [&](__m128i keys) {
    const __m128i blue = _mm_srli_epi32(keys, 16);
    const __m128i green = _mm_and_si128(_mm_srli_epi32(keys, 8), byteMask);
    const __m128i red = _mm_and_si128(keys, byteMask);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(blue, 2 * kSmallDifferenceBits),
                                     _mm_slli_epi32(green, kSmallDifferenceBits)),
                        red);
  };
  int i = 0;
  for (; i + 4 <= count; i += 4, slots += 16) {
    const __m128i keysLeft = _mm_loadu_si128(reinterpret_cast<const __m128i*>(downLeft + i));
    const __m128i keysRight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(downRight + i));
    const __m128i large = _mm_and_si128(_mm_or_si128(keysLeft, keysRight), largeBits);
    if (!_mm_testz_si128(large, large)) {
      storeRowPortable(right + i, downLeft + i, down + i, downRight + i, 4, slots);
      continue;
    }
    const __m256d c0 =
        gather(axis_.data(), _mm_loadu_si128(reinterpret_cast<const __m128i*>(right + i)));
    const __m256d c5 = gather(small_.data(), smallIndices(keysLeft));
    const __m256d c6 =
        gather(axis_.data(), _mm_loadu_si128(reinterpret_cast<const __m128i*>(down + i)));
    const __m256d c7 = gather(small_.data(), smallIndices(keysRight));
    const __m256d low05 = _mm256_unpacklo_pd(c0, c5);   // pixels 0 and 2
    const __m256d high05 = _mm256_unpackhi_pd(c0, c5);  // pixels 1 and 3
    const __m256d low67 = _mm256_unpacklo_pd(c6, c7);
    const __m256d high67 = _mm256_unpackhi_pd(c6, c7);
    _mm256_stream_pd(slots, _mm256_permute2f128_pd(low05, low67, 0x20));
    _mm256_stream_pd(slots + 4, _mm256_permute2f128_pd(high05, high67, 0x20));
    _mm256_stream_pd(slots + 8, _mm256_permute2f128_pd(low05, low67, 0x31));
    _mm256_stream_pd(slots + 12, _mm256_permute2f128_pd(high05, high67, 0x31));
  }
  storeRowPortable(right + i, downLeft + i, down + i, downRight + i, count - i, slots);
  _mm_sfence();
}

#else

void CostTables::storeRowAvx2(const int* right, const int* downLeft, const int* down,
                              const int* downRight, int count, double* slots) const {
  storeRowPortable(right, downLeft, down, downRight, count, slots);
}

#endif

}  // namespace scribeline
