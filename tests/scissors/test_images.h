#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <ostream>
#include <random>

namespace scribeline {
namespace testing_images {

// An 8-bit colour image whose channels are drawn independently from
// `levels` evenly spaced values between 0 and 255 (levels >= 2). Few levels
// give many equal link costs, and so many ties in the search.
inline cv::Mat randomImage(int width, int height, std::uint32_t seed,
                           int levels = 256) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> level(0, levels - 1);
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      cv::Vec3b& pixel = image.at<cv::Vec3b>(y, x);
      for (int c = 0; c < 3; ++c)
        pixel[c] = static_cast<uchar>(level(generator) * 255 / (levels - 1));
    }
  }
  return image;
}

// Size, number of levels and random seed of a test image (see caseImage()).
struct ImageCase {
  int width, height, levels;
  std::uint32_t seed;
};

inline void PrintTo(const ImageCase& c, std::ostream* os) {
  *os << c.width << "x" << c.height << " levels " << c.levels << " seed "
      << c.seed;
}

// One flat grey when c.levels is 1 (every link costs the same, so the heap's
// tie rules alone decide the paths), otherwise randomImage().
inline cv::Mat caseImage(const ImageCase& c) {
  if (c.levels == 1)
    return cv::Mat(c.height, c.width, CV_8UC3, cv::Scalar::all(90));
  return randomImage(c.width, c.height, c.seed, c.levels);
}

// A smooth colour image: a gentle gradient with a little seeded noise, so
// that neighbouring pixels differ by a few levels only.
inline cv::Mat smoothImage(int width, int height, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> noise(0, 6);
  cv::Mat image(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      cv::Vec3b& pixel = image.at<cv::Vec3b>(y, x);
      for (int c = 0; c < 3; ++c)
        pixel[c] =
            static_cast<uchar>(60 + x + 2 * y + 10 * c + noise(generator));
    }
  }
  return image;
}

// A grey image from rows of values, top row first.
inline cv::Mat greyImage(
    std::initializer_list<std::initializer_list<int>> rows) {
  const int height = static_cast<int>(rows.size());
  const int width = static_cast<int>(rows.begin()->size());
  cv::Mat image(height, width, CV_8UC3);
  int y = 0;
  for (const auto& row : rows) {
    int x = 0;
    for (int value : row) {
      image.at<cv::Vec3b>(y, x) = cv::Vec3b(value, value, value);
      ++x;
    }
    ++y;
  }
  return image;
}

// True when the predecessor chain of the last search leads from `from` to
// `seed` within width * height steps.
template <typename Scissor>
bool chainEndsAtSeed(const Scissor& scissor, cv::Point from, cv::Point seed) {
  cv::Point at = from;
  for (long steps = 0;
       steps <= static_cast<long>(scissor.width()) * scissor.height();
       ++steps) {
    const auto prev = scissor.predecessor(at);
    if (!prev) return at == seed;
    at = *prev;
  }
  return false;
}

}  // namespace testing_images
}  // namespace scribeline
