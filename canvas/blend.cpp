#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/core/utility.hpp>
#include <vector>

#include "canvas/view.h"

#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#define SCRIBELINE_X86_BLEND 1
#endif

// The blend of one byte depends only on the photo byte P and the mask byte M:
// round((1 - a) * P + a * M), evaluated in doubles and rounded the way the
// library stores a double into 8 bits. All 65536 results are tabulated once
// per opacity; the table is the definition.
//
// For speed the bytes are computed in fixed point, (wP * P + wM * M) / 2^14
// rounded half up, with wP and wM the weights scaled to 2^14. Its distance
// from the exact value is below 510 / 2^15 < 1/64, so the fixed-point result
// can differ from the table only when its fraction lies within 1/32 of one
// half ("near ties"). Of the opacities the keys reach, those near a
// multiple of 0.2 have none; at the others up to half of all pairs are near
// ties. They are resolved by
// repeating the defining double arithmetic in vector registers.
//
// The paths, best first, chosen at run time:
// - AVX-512 with VBMI/VBMI2: 64 bytes at a time. Blocks whose mask bytes are
//   all label-colour values (multiples of 64) are looked up in table rows
//   held in registers; other blocks go through fixed point, their near ties
//   compressed into a dense run for the double arithmetic.
// - AVX2 (or AVX-512F): fixed point where it is exact, else the double
//   arithmetic for every byte.
// - SSE2: fixed point with near ties taken from the table one by one.
// Whichever path is chosen is run over all 65536 pairs when the table is
// built and compared with it; if it ever disagreed, the table alone would
// be used.

namespace scribeline {
namespace {

constexpr int kFixedShift = 14;
constexpr int kFixedOne = 1 << kFixedShift;
constexpr int kHalf = kFixedOne / 2;
constexpr int kTieBand = kFixedOne / 32;

// The ways of blending (ViewScratch::fixedPointUse).
enum FixedPointUse {
  kTableOnly = 0,
  kFixedExact = 1,
  kFixedWithTies = 2,
  kDoubleArithmetic = 3
};

bool nearTie(int numerator) {
  const int fraction = numerator & (kFixedOne - 1);
  return fraction > kHalf - kTieBand && fraction < kHalf + kTieBand;
}

int fixedBlend(int photoWeight, int maskWeight, int photo, int mask) {
  return (photoWeight * photo + maskWeight * mask + kHalf) >> kFixedShift;
}

// Mask bytes that are multiples of 64, as in every label colour, have their
// blends looked up in registers: paletteRows[j * 256 + P] is the blend of P
// with the mask byte 64 * j.
constexpr int kPaletteBytes = 4 * 256;
constexpr int kPaletteStep = 64;

void tabulatePaletteRows(const ViewScratch& scratch, uchar* paletteRows) {
  for (int j = 0; j < 4; ++j)
    for (int photo = 0; photo < 256; ++photo)
      paletteRows[j * 256 + photo] =
          scratch.blendTable[photo * 256 + j * kPaletteStep];
}

bool blendMatchesTable(const ViewScratch& scratch);
bool hasDoubleArithmetic();
bool hasAvx512Vbmi();

void prepareBlend(double opacity, ViewScratch& scratch) {
  if (scratch.tableOpacity == opacity) return;
  const int photoWeight =
      static_cast<int>(std::lround((1.0 - opacity) * kFixedOne));
  const int maskWeight = static_cast<int>(std::lround(opacity * kFixedOne));
  bool anyTie = false, fixedAgrees = opacity >= 0.0 && opacity <= 1.0;
  for (int photo = 0; photo < 256; ++photo) {
    for (int mask = 0; mask < 256; ++mask) {
      const uchar exact =
          cv::saturate_cast<uchar>((1.0 - opacity) * photo + opacity * mask);
      scratch.blendTable[photo * 256 + mask] = exact;
      if (!fixedAgrees) continue;
      if (nearTie(photoWeight * photo + maskWeight * mask))
        anyTie = true;
      else if (fixedBlend(photoWeight, maskWeight, photo, mask) != exact)
        fixedAgrees = false;
    }
  }
  scratch.photoWeight = photoWeight;
  scratch.maskWeight = maskWeight;
  int use = !fixedAgrees ? kTableOnly : anyTie ? kFixedWithTies : kFixedExact;
  const bool tiesCompressed = use == kFixedWithTies && hasAvx512Vbmi();
  if (use != kFixedExact && !tiesCompressed && hasDoubleArithmetic())
    use = kDoubleArithmetic;
  scratch.fixedPointUse = use;
  scratch.tableOpacity = opacity;
  if (use != kTableOnly && !blendMatchesTable(scratch))
    scratch.fixedPointUse = kTableOnly;
}

void blendBytesByTable(const uchar* photo, const uchar* mask, uchar* out,
                       int count, const uchar* table) {
  for (int i = 0; i < count; ++i) out[i] = table[(photo[i] << 8) | mask[i]];
}

#if SCRIBELINE_X86_BLEND
// Blends count bytes, 16 at a time; returns how many were done.
int blendBytesFixed(const uchar* photo, const uchar* mask, uchar* out,
                    int count, const ViewScratch& scratch) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i weights = _mm_set1_epi32((scratch.maskWeight << 16) |
                                         (scratch.photoWeight & 0xFFFF));
  const __m128i half = _mm_set1_epi32(kHalf);
  const __m128i fractionBits = _mm_set1_epi32(kFixedOne - 1);
  const __m128i tieLow = _mm_set1_epi32(kHalf - kTieBand);
  const __m128i tieHigh = _mm_set1_epi32(kHalf + kTieBand);
  const bool checkTies = scratch.fixedPointUse == kFixedWithTies;
  const uchar* table = scratch.blendTable.data();
  int done = 0;
  for (; done + 16 <= count; done += 16) {
    const __m128i p =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(photo + done));
    const __m128i m =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + done));
    const __m128i pairsLow = _mm_unpacklo_epi8(p, m);  // p0 m0 p1 m1 ...
    const __m128i pairsHigh = _mm_unpackhi_epi8(p, m);
    __m128i numerators[4] = {
        _mm_madd_epi16(_mm_unpacklo_epi8(pairsLow, zero), weights),
        _mm_madd_epi16(_mm_unpackhi_epi8(pairsLow, zero), weights),
        _mm_madd_epi16(_mm_unpacklo_epi8(pairsHigh, zero), weights),
        _mm_madd_epi16(_mm_unpackhi_epi8(pairsHigh, zero), weights)};
    __m128i rounded[4];
    for (int k = 0; k < 4; ++k)
      rounded[k] =
          _mm_srai_epi32(_mm_add_epi32(numerators[k], half), kFixedShift);
    const __m128i bytes =
        _mm_packus_epi16(_mm_packs_epi32(rounded[0], rounded[1]),
                         _mm_packs_epi32(rounded[2], rounded[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done), bytes);
    if (!checkTies) continue;
    __m128i ties[4];
    for (int k = 0; k < 4; ++k) {
      const __m128i fraction = _mm_and_si128(numerators[k], fractionBits);
      ties[k] = _mm_and_si128(_mm_cmpgt_epi32(fraction, tieLow),
                              _mm_cmplt_epi32(fraction, tieHigh));
    }
    int tieBits = _mm_movemask_epi8(_mm_packs_epi16(
        _mm_packs_epi32(ties[0], ties[1]), _mm_packs_epi32(ties[2], ties[3])));
    while (tieBits != 0) {
      const int lane = __builtin_ctz(tieBits);
      tieBits &= tieBits - 1;
      const int i = done + lane;
      out[i] = table[(photo[i] << 8) | mask[i]];
    }
  }
  return done;
}

// The same with 256-bit registers, for opacities without near ties (the
// others take the double arithmetic where AVX2 is present): unpacking and
// packing both work within 128-bit halves, so the byte order comes out as
// it went in.
__attribute__((target("avx2"))) int blendBytesFixedAvx2(
    const uchar* photo, const uchar* mask, uchar* out, int count,
    const ViewScratch& scratch) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i weights = _mm256_set1_epi32((scratch.maskWeight << 16) |
                                            (scratch.photoWeight & 0xFFFF));
  const __m256i half = _mm256_set1_epi32(kHalf);
  int done = 0;
  for (; done + 32 <= count; done += 32) {
    const __m256i p =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(photo + done));
    const __m256i m =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask + done));
    const __m256i pairsLow = _mm256_unpacklo_epi8(p, m);
    const __m256i pairsHigh = _mm256_unpackhi_epi8(p, m);
    __m256i numerators[4] = {
        _mm256_madd_epi16(_mm256_unpacklo_epi8(pairsLow, zero), weights),
        _mm256_madd_epi16(_mm256_unpackhi_epi8(pairsLow, zero), weights),
        _mm256_madd_epi16(_mm256_unpacklo_epi8(pairsHigh, zero), weights),
        _mm256_madd_epi16(_mm256_unpackhi_epi8(pairsHigh, zero), weights)};
    __m256i rounded[4];
    for (int k = 0; k < 4; ++k)
      rounded[k] =
          _mm256_srai_epi32(_mm256_add_epi32(numerators[k], half), kFixedShift);
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_packs_epi32(rounded[0], rounded[1]),
                            _mm256_packs_epi32(rounded[2], rounded[3]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done), bytes);
  }
  return done;
}

// The defining arithmetic, 16 bytes at a time: (1 - a) * P and a * M each
// rounded to a double, their sum rounded to a double, and that converted
// under the current rounding mode, which is how the library's conversion
// rounds too (ties to even by default). Only separate multiplies and adds
// may be used: a fused multiply-add would round once less, so the operations
// carry an explicit rounding, which the compiler never contracts. Returns
// how many bytes were done.
//
// GCC 12's AVX-512 header leaves some results' untouched parts
// uninitialized on purpose and then warns about them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f"))) inline __m512d blendDoublesAvx512(
    __m256i photo, __m256i mask, __m512d photoWeight, __m512d maskWeight) {
  constexpr int kCurrentRounding = _MM_FROUND_CUR_DIRECTION;
  return _mm512_add_round_pd(_mm512_mul_round_pd(_mm512_cvtepi32_pd(photo),
                                                 photoWeight, kCurrentRounding),
                             _mm512_mul_round_pd(_mm512_cvtepi32_pd(mask),
                                                 maskWeight, kCurrentRounding),
                             kCurrentRounding);
}

__attribute__((target("avx512f"))) int blendBytesDoubleAvx512(
    const uchar* photo, const uchar* mask, uchar* out, int count,
    double opacity) {
  const __m512d photoWeight = _mm512_set1_pd(1.0 - opacity);
  const __m512d maskWeight = _mm512_set1_pd(opacity);
  const __m512i zero = _mm512_setzero_si512();
  int done = 0;
  for (; done + 16 <= count; done += 16) {
    const __m512i p = _mm512_cvtepu8_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(photo + done)));
    const __m512i m = _mm512_cvtepu8_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + done)));
    const __m512d sums[2] = {
        blendDoublesAvx512(_mm512_castsi512_si256(p), _mm512_castsi512_si256(m),
                           photoWeight, maskWeight),
        blendDoublesAvx512(_mm512_extracti64x4_epi64(p, 1),
                           _mm512_extracti64x4_epi64(m, 1), photoWeight,
                           maskWeight)};
    const __m512i rounded =
        _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtpd_epi32(sums[0])),
                           _mm512_cvtpd_epi32(sums[1]), 1);
    // Values out of range convert to INT_MIN, which saturates to 0 as in the
    // library.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done),
                     _mm512_cvtusepi32_epi8(_mm512_max_epi32(rounded, zero)));
  }
  return done;
}

// Bytes are blended in stretches of at most this many.
constexpr int kTieStretch = 4096;

__attribute__((target("avx512f,avx512bw"))) inline __m512i nearTieLanes(
    __m512i numerators, __m512i fractionBits, __m512i tieLow, __m512i tieHigh) {
  const __m512i fraction = _mm512_and_si512(numerators, fractionBits);
  const __mmask16 ties = _mm512_mask_cmpgt_epi32_mask(
      _mm512_cmpgt_epi32_mask(fraction, tieLow), tieHigh, fraction);
  return _mm512_maskz_mov_epi32(ties, _mm512_set1_epi32(-1));
}

// 64 bytes at a time. Blocks whose mask bytes are all multiples of 64 (the
// label colours) are looked up in paletteRows (see tabulatePaletteRows),
// whatever the opacity. Other blocks are blended in fixed point (as in
// blendBytesFixedAvx2); their near ties, gathered over a stretch, are
// compressed into a dense run, blended there by the double arithmetic and
// expanded back into their places, so the costly arithmetic runs only on
// the near ties. Returns how many bytes were done.
__attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,popcnt"))) int
blendBytesAvx512Vbmi(const uchar* photo, const uchar* mask, uchar* out,
                     int count, const ViewScratch& scratch,
                     const uchar* paletteRows) {
  // paletteQuarters[4 * j + q] holds the blends of P = 64 q .. 64 q + 63
  // with the mask byte 64 j.
  __m512i paletteQuarters[16];
  for (int i = 0; i < 16; ++i)
    paletteQuarters[i] = _mm512_loadu_si512(paletteRows + 64 * i);
  const __m512i offPalette = _mm512_set1_epi8(kPaletteStep - 1);
  const __m512i secondPaletteBit = _mm512_set1_epi8(kPaletteStep);
  const __m512i zero = _mm512_setzero_si512();
  const __m512i weights = _mm512_set1_epi32((scratch.maskWeight << 16) |
                                            (scratch.photoWeight & 0xFFFF));
  const __m512i half = _mm512_set1_epi32(kHalf);
  const __m512i fractionBits = _mm512_set1_epi32(kFixedOne - 1);
  const __m512i tieLow = _mm512_set1_epi32(kHalf - kTieBand);
  const __m512i tieHigh = _mm512_set1_epi32(kHalf + kTieBand);
  // A compressed store writes 64 bytes wherever the run ends, hence the
  // slack; the bytes past the run are zeros.
  alignas(64) uchar tiePhoto[kTieStretch + 64], tieMask[kTieStretch + 64],
      tieOut[kTieStretch + 64];
  __mmask64 tieLanes[kTieStretch / 64];
  int done = 0;
  while (done + 64 <= count) {
    const int blocks = std::min(kTieStretch, count - done) / 64;
    int ties = 0;
    for (int b = 0; b < blocks; ++b) {
      const int at = done + 64 * b;
      const __m512i p = _mm512_loadu_si512(photo + at);
      const __m512i m = _mm512_loadu_si512(mask + at);
      if (_mm512_test_epi8_mask(m, offPalette) == 0) {
        // Bit 7 of P picks the half of a row, the two-register byte
        // permutation the quarter within it.
        const __mmask64 upperPhoto = _mm512_movepi8_mask(p);
        __m512i blends[4];
        for (int j = 0; j < 4; ++j)
          blends[j] = _mm512_mask_blend_epi8(
              upperPhoto,
              _mm512_permutex2var_epi8(paletteQuarters[4 * j], p,
                                       paletteQuarters[4 * j + 1]),
              _mm512_permutex2var_epi8(paletteQuarters[4 * j + 2], p,
                                       paletteQuarters[4 * j + 3]));
        const __mmask64 oddQuarter = _mm512_test_epi8_mask(m, secondPaletteBit);
        _mm512_storeu_si512(
            out + at,
            _mm512_mask_blend_epi8(
                _mm512_movepi8_mask(m),
                _mm512_mask_blend_epi8(oddQuarter, blends[0], blends[1]),
                _mm512_mask_blend_epi8(oddQuarter, blends[2], blends[3])));
        tieLanes[b] = 0;
        continue;
      }
      const __m512i pairsLow = _mm512_unpacklo_epi8(p, m);
      const __m512i pairsHigh = _mm512_unpackhi_epi8(p, m);
      const __m512i numerators[4] = {
          _mm512_madd_epi16(_mm512_unpacklo_epi8(pairsLow, zero), weights),
          _mm512_madd_epi16(_mm512_unpackhi_epi8(pairsLow, zero), weights),
          _mm512_madd_epi16(_mm512_unpacklo_epi8(pairsHigh, zero), weights),
          _mm512_madd_epi16(_mm512_unpackhi_epi8(pairsHigh, zero), weights)};
      __m512i rounded[4], near[4];
      for (int k = 0; k < 4; ++k) {
        rounded[k] = _mm512_srai_epi32(_mm512_add_epi32(numerators[k], half),
                                       kFixedShift);
        near[k] = nearTieLanes(numerators[k], fractionBits, tieLow, tieHigh);
      }
      _mm512_storeu_si512(
          out + at,
          _mm512_packus_epi16(_mm512_packs_epi32(rounded[0], rounded[1]),
                              _mm512_packs_epi32(rounded[2], rounded[3])));
      const __mmask64 lanes = _mm512_movepi8_mask(
          _mm512_packs_epi16(_mm512_packs_epi32(near[0], near[1]),
                             _mm512_packs_epi32(near[2], near[3])));
      // Without branches: whether a block holds a near tie is hard to
      // predict, and compressing none is cheap.
      tieLanes[b] = lanes;
      _mm512_storeu_si512(tiePhoto + ties,
                          _mm512_maskz_compress_epi8(lanes, p));
      _mm512_storeu_si512(tieMask + ties, _mm512_maskz_compress_epi8(lanes, m));
      ties += static_cast<int>(_mm_popcnt_u64(lanes));
    }
    if (ties != 0) {
      const int run = (ties + 15) / 16 * 16;
      blendBytesDoubleAvx512(tiePhoto, tieMask, tieOut, run,
                             scratch.tableOpacity);
      int taken = 0;
      for (int b = 0; b < blocks; ++b) {
        const __mmask64 lanes = tieLanes[b];
        const int n = static_cast<int>(_mm_popcnt_u64(lanes));
        const __mmask64 filled =
            n == 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
        uchar* const at = out + done + 64 * b;
        _mm512_storeu_si512(
            at, _mm512_mask_expand_epi8(
                    _mm512_loadu_si512(at), lanes,
                    _mm512_maskz_loadu_epi8(filled, tieOut + taken)));
        taken += n;
      }
    }
    done += 64 * blocks;
  }
  return done;
}
#pragma GCC diagnostic pop

// The same with 4 doubles a register.
__attribute__((target("avx2"))) int blendBytesDoubleAvx2(const uchar* photo,
                                                         const uchar* mask,
                                                         uchar* out, int count,
                                                         double opacity) {
  const __m256d photoWeight = _mm256_set1_pd(1.0 - opacity);
  const __m256d maskWeight = _mm256_set1_pd(opacity);
  int done = 0;
  for (; done + 16 <= count; done += 16) {
    __m128i rounded[4];
    for (int k = 0; k < 4; ++k) {
      int photoBytes, maskBytes;
      std::memcpy(&photoBytes, photo + done + 4 * k, sizeof photoBytes);
      std::memcpy(&maskBytes, mask + done + 4 * k, sizeof maskBytes);
      const __m128i p = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(photoBytes));
      const __m128i m = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(maskBytes));
      rounded[k] = _mm256_cvtpd_epi32(
          _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(p), photoWeight),
                        _mm256_mul_pd(_mm256_cvtepi32_pd(m), maskWeight)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + done),
                     _mm_packus_epi16(_mm_packs_epi32(rounded[0], rounded[1]),
                                      _mm_packs_epi32(rounded[2], rounded[3])));
  }
  return done;
}

bool hasAvx2() {
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
}

bool hasAvx512() {
  static const bool supported = __builtin_cpu_supports("avx512f");
  return supported;
}

bool hasAvx512Vbmi() {
  static const bool supported =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vbmi") &&
      __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt");
  return supported;
}

bool hasDoubleArithmetic() { return hasAvx2(); }

// The double arithmetic on count bytes, 16 at a time; returns how many were
// done.
int blendBytesDouble(const uchar* photo, const uchar* mask, uchar* out,
                     int count, double opacity) {
  return hasAvx512() ? blendBytesDoubleAvx512(photo, mask, out, count, opacity)
                     : blendBytesDoubleAvx2(photo, mask, out, count, opacity);
}
#else
bool hasAvx512Vbmi() { return false; }
bool hasDoubleArithmetic() { return false; }
#endif

void blendBytes(const uchar* photo, const uchar* mask, uchar* out, int count,
                const ViewScratch& scratch, const uchar* paletteRows) {
  int done = 0;
#if !SCRIBELINE_X86_BLEND
  static_cast<void>(paletteRows);
#else
  if (scratch.fixedPointUse == kDoubleArithmetic) {
    done = blendBytesDouble(photo, mask, out, count, scratch.tableOpacity);
  } else if (scratch.fixedPointUse != kTableOnly && hasAvx512Vbmi()) {
    done = blendBytesAvx512Vbmi(photo, mask, out, count, scratch, paletteRows);
    done += blendBytesDouble(photo + done, mask + done, out + done,
                             count - done, scratch.tableOpacity);
  } else if (scratch.fixedPointUse != kTableOnly) {
    if (hasAvx2() && scratch.fixedPointUse == kFixedExact)
      done = blendBytesFixedAvx2(photo, mask, out, count, scratch);
    done += blendBytesFixed(photo + done, mask + done, out + done, count - done,
                            scratch);
  }
#endif
  blendBytesByTable(photo + done, mask + done, out + done, count - done,
                    scratch.blendTable.data());
}

// Runs the chosen blend over every (photo, mask) pair, then over the pairs
// with label-colour mask bytes arranged in whole blocks, then over a tail
// too short for the widest blocks, and compares with the table.
bool blendMatchesTable(const ViewScratch& scratch) {
  constexpr int kPairs = 256 * 256;
  constexpr int kTail = 63;
  constexpr int kTotal = kPairs + kPaletteBytes + kTail;
  std::vector<uchar> photo(kTotal), mask(kTotal), out(kTotal),
      paletteRows(kPaletteBytes);
  for (int i = 0; i < kPairs; ++i) {
    photo[i] = static_cast<uchar>(i >> 8);
    mask[i] = static_cast<uchar>(i & 0xFF);
  }
  for (int i = 0; i < kPaletteBytes; ++i) {
    photo[kPairs + i] = static_cast<uchar>(i & 0xFF);
    mask[kPairs + i] = static_cast<uchar>((i >> 8) * kPaletteStep);
  }
  for (int i = kPairs + kPaletteBytes; i < kTotal; ++i) {
    photo[i] = static_cast<uchar>(i * 7);
    mask[i] = static_cast<uchar>(i * 13);
  }
  tabulatePaletteRows(scratch, paletteRows.data());
  blendBytes(photo.data(), mask.data(), out.data(), kTotal, scratch,
             paletteRows.data());
  for (int i = 0; i < kTotal; ++i)
    if (out[i] != scratch.blendTable[photo[i] * 256 + mask[i]]) return false;
  return true;
}

}  // namespace

void blendMask(const cv::Mat& photo, const cv::Mat& mask, double opacity,
               ViewScratch& scratch, cv::Mat& out) {
  CV_Assert(photo.type() == CV_8UC3 && mask.type() == CV_8UC3 &&
            photo.size() == mask.size());
  prepareBlend(opacity, scratch);
  out.create(photo.size(), CV_8UC3);
  const int rowBytes = photo.cols * 3;
  alignas(64) uchar paletteRows[kPaletteBytes];
  tabulatePaletteRows(scratch, paletteRows);
  cv::parallel_for_(cv::Range(0, photo.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y)
      blendBytes(photo.ptr<uchar>(y), mask.ptr<uchar>(y), out.ptr<uchar>(y),
                 rowBytes, scratch, paletteRows);
  });
}

}  // namespace scribeline
