#include "superpixel/smoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <opencv2/core.hpp>
#include <ostream>
#include <random>
#include <vector>

namespace scribeline {
namespace {

struct MaskCase {
  float sigma;
  std::vector<float> taps;
};

std::ostream& operator<<(std::ostream& out, const MaskCase& row) {
  return out << "sigma " << row.sigma;
}

class GaussianMaskTest : public testing::TestWithParam<MaskCase> {};

TEST_P(GaussianMaskTest, HasTheExpectedTaps) {
  const MaskCase& row = GetParam();
  const GaussianMask mask = gaussianMask(row.sigma);
  ASSERT_EQ(mask.size(), row.taps.size()) << "sigma " << row.sigma;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    EXPECT_NEAR(mask[i], row.taps[i], 1e-7)
        << "sigma " << row.sigma << " tap " << i;
  }
}

// Any sigma up to 0.01, and NaN, is taken as 0.01: two taps, the outer one
// exp(-5000), which is 0 in float.
INSTANTIATE_TEST_SUITE_P(
    Sigmas, GaussianMaskTest,
    testing::Values(
        MaskCase{0.5f, {1.0f, 0.1353353f, 0.0003355f}},
        MaskCase{1.0f, {1.0f, 0.6065307f, 0.1353353f, 0.0111090f, 0.0003355f}},
        MaskCase{0.01f, {1.0f, 0.0f}}, MaskCase{0.0f, {1.0f, 0.0f}},
        MaskCase{-3.0f, {1.0f, 0.0f}},
        MaskCase{std::numeric_limits<float>::quiet_NaN(), {1.0f, 0.0f}}));

TEST(GaussianMask, HugeSigmaStaysAllocatable) {
  const GaussianMask mask =
      gaussianMask(std::numeric_limits<float>::infinity());
  EXPECT_EQ(mask.size(),
            static_cast<std::size_t>(std::ceil(maxMaskSigma * 4.0)) + 1);
}

TEST(NormalizeMask, ScalesTheTwoSidedSumToOne) {
  GaussianMask mask = gaussianMask(0.5f);
  normalizeMask(mask);
  ASSERT_EQ(mask.size(), 3u);
  EXPECT_NEAR(mask[0], 0.7865707f, 1e-7);
  EXPECT_NEAR(mask[1], 0.1064508f, 1e-7);
  EXPECT_NEAR(mask[2], 0.0002639f, 1e-7);
  EXPECT_NEAR(mask[0] + 2.0f * (mask[1] + mask[2]), 1.0f, 1e-6);
}

FloatImage planeFrom(int width, int height, const std::vector<float>& values) {
  FloatImage plane(width, height, FloatImage::Fill::zeros);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      plane.at(y, x) = values[static_cast<std::size_t>(y * width + x)];
    }
  }
  return plane;
}

TEST(ConvolveEven, ReplicatesTheBorderPixelAndTransposes) {
  // Two rows of four; taps 0.5, 0.2, 0.05 reach two pixels beyond each end.
  const FloatImage src = planeFrom(4, 2, {10, 20, 30, 40, 1, 2, 3, 4});
  const GaussianMask mask{0.5f, 0.2f, 0.05f};
  FloatImage dst(2, 4, FloatImage::Fill::uninitialized);
  convolveEven(src, dst, mask);
  const auto tap = [&](int i) { return static_cast<double>(mask[i]); };
  // Column 0: both left neighbours are the border pixel 10 itself.
  EXPECT_FLOAT_EQ(dst.at(0, 0),
                  static_cast<float>(tap(0) * 10 + tap(1) * (10 + 20) +
                                     tap(2) * (10 + 30)));
  EXPECT_FLOAT_EQ(dst.at(1, 0),
                  static_cast<float>(tap(0) * 20 + tap(1) * (10 + 30) +
                                     tap(2) * (10 + 40)));
  EXPECT_FLOAT_EQ(dst.at(3, 0),
                  static_cast<float>(tap(0) * 40 + tap(1) * (30 + 40) +
                                     tap(2) * (20 + 40)));
  EXPECT_FLOAT_EQ(
      dst.at(3, 1),
      static_cast<float>(tap(0) * 4 + tap(1) * (3 + 4) + tap(2) * (2 + 4)));
}

TEST(ConvolveEven, MatchesADirectSumOnRandomPlanes) {
  const unsigned seed = 20261210;
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> value(0.0f, 255.0f);
  for (const int width : {1, 2, 3, 17, 40}) {
    const int height = 21;
    FloatImage src(width, height, FloatImage::Fill::zeros);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        src.at(y, x) = value(random);
      }
    }
    GaussianMask mask = gaussianMask(1.3f);
    normalizeMask(mask);
    FloatImage dst(height, width, FloatImage::Fill::uninitialized);
    convolveEven(src, dst, mask);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        double expected = 0.0;
        for (int i = -static_cast<int>(mask.size()) + 1;
             i < static_cast<int>(mask.size()); ++i) {
          expected +=
              mask[static_cast<std::size_t>(std::abs(i))] *
              static_cast<double>(src.at(y, std::clamp(x + i, 0, width - 1)));
        }
        ASSERT_NEAR(dst.at(x, y), expected, 1e-4)
            << "seed " << seed << " width " << width << " at " << x << "," << y;
      }
    }
  }
}

TEST(SmoothChannel, KeepsOrientationAndSourceAndFlatPlanes) {
  // A vertical step: smoothing acts along rows only, a flat plane stays flat.
  const FloatImage step =
      planeFrom(4, 3, {0, 0, 100, 100, 0, 0, 100, 100, 0, 0, 100, 100});
  const FloatImage smoothed = smoothChannel(step, 0.5f);
  ASSERT_EQ(smoothed.width(), 4);
  ASSERT_EQ(smoothed.height(), 3);
  GaussianMask mask = gaussianMask(0.5f);
  normalizeMask(mask);
  for (int y = 0; y < 3; ++y) {
    EXPECT_NEAR(smoothed.at(y, 0), 100.0 * mask[2], 1e-4);
    EXPECT_NEAR(smoothed.at(y, 1), 100.0 * (mask[1] + mask[2]), 1e-4);
    EXPECT_NEAR(smoothed.at(y, 2), 100.0 * (mask[0] + mask[1] + mask[2]), 1e-4);
    EXPECT_EQ(step.at(y, 2), 100.0f);
  }
  const FloatImage flat =
      smoothChannel(planeFrom(3, 2, std::vector<float>(6, 42.0f)), 2.0f);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_NEAR(flat.at(y, x), 42.0f, 1e-4);
    }
  }
}

struct ChannelsCase {
  int width;
  int height;
  int channels;
  int planeChannels[3];
  float sigma;
};

std::ostream& operator<<(std::ostream& out, const ChannelsCase& row) {
  return out << row.width << "x" << row.height << " with " << row.channels
             << " channels, sigma " << row.sigma;
}

class SmoothChannelsTest : public testing::TestWithParam<ChannelsCase> {};

// Every plane, with either thread count, equals smoothChannel of the plane
// read out of the bytes, bit for bit. The shapes include planes one pixel
// wide or high, and masks reaching beyond every row of the plane.
TEST_P(SmoothChannelsTest, MatchesSmoothChannelOnEachPlane) {
  const ChannelsCase& row = GetParam();
  const unsigned seed =
      4242 + static_cast<unsigned>(row.width * 31 + row.height);
  cv::RNG random(seed);
  cv::Mat pixels(row.height, row.width, CV_8UC(row.channels));
  random.fill(pixels, cv::RNG::UNIFORM, 0, 256);
  for (const int numThreads : {1, 2}) {
    const SmoothedPlanes smoothed =
        smoothChannels(pixels, row.planeChannels, row.sigma, numThreads);
    for (int c = 0; c < 3; ++c) {
      FloatImage raw(row.width, row.height, FloatImage::Fill::zeros);
      for (int y = 0; y < row.height; ++y) {
        for (int x = 0; x < row.width; ++x) {
          raw.at(y, x) = pixels.ptr<unsigned char>(
              y)[x * row.channels + row.planeChannels[c]];
        }
      }
      const FloatImage expected = smoothChannel(raw, row.sigma);
      const FloatImage& plane = smoothed.planes[c];
      ASSERT_EQ(plane.width(), row.width);
      ASSERT_EQ(plane.height(), row.height);
      for (int y = 0; y < row.height; ++y) {
        for (int x = 0; x < row.width; ++x) {
          ASSERT_EQ(plane.at(y, x), expected.at(y, x))
              << "seed " << seed << ", " << numThreads << " threads, plane "
              << c << " at " << x << "," << y;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SmoothChannelsTest,
    testing::Values(ChannelsCase{1, 1, 3, {2, 1, 0}, 0.5f},
                    ChannelsCase{1, 40, 3, {2, 1, 0}, 0.5f},
                    ChannelsCase{37, 1, 3, {2, 1, 0}, 0.5f},
                    ChannelsCase{53, 33, 3, {2, 1, 0}, 0.5f},
                    ChannelsCase{70, 61, 4, {2, 1, 0}, 1.7f},
                    ChannelsCase{29, 48, 1, {0, 0, 0}, 0.5f},
                    ChannelsCase{17, 15, 2, {0, 1, 0}, 0.0f},
                    ChannelsCase{23, 9, 3, {2, 1, 0}, 3.0f}));

}  // namespace
}  // namespace scribeline
