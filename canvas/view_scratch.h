#pragma once

#include <array>
#include <opencv2/core.hpp>

namespace scribeline {

// Storage that composeView reuses from one redraw to the next, so that a
// redraw neither allocates a fresh picture nor rebuilds its blend table.
struct ViewScratch {
  cv::Mat picture;
  double tableOpacity = -1.0;
  // blendTable[photo * 256 + mask] is the blended byte at tableOpacity.
  std::array<unsigned char, 256 * 256> blendTable{};
  // Fixed-point weights (scale 2^14) that reproduce blendTable, and how far
  // they may be trusted (see canvas/blend.cpp).
  int photoWeight = 0;
  int maskWeight = 0;
  int fixedPointUse = 0;
};

}  // namespace scribeline
