#pragma once

#include <opencv2/core.hpp>

namespace scribeline {

// An 8-bit BGR picture of uniform noise, the same for the same seed.
inline cv::Mat randomImage(cv::Size size, unsigned seed) {
  cv::Mat image(size, CV_8UC3);
  cv::RNG rng(seed);
  rng.fill(image, cv::RNG::UNIFORM, 0, 256);
  return image;
}

}  // namespace scribeline
