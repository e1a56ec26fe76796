#include "tests/support/stroke_map.h"

#include <algorithm>
#include <cstdlib>

namespace scribeline {

void stampBrush(int y, int x, unsigned char* strokeMap, unsigned char label,
                int height, int width) {
  forEachBrushPixel(y, x, height, width, [&](int row, int col) {
    strokeMap[static_cast<size_t>(row) * width + col] = label;
  });
}

void paintSegment(cv::Point prev, cv::Point cur, unsigned char* strokeMap,
                  unsigned char label, int height, int width) {
  forEachSegmentPixel(prev, cur, height, width, [&](int row, int col) {
    strokeMap[static_cast<size_t>(row) * width + col] = label;
  });
}

namespace {

// The pixels the brush can reach along a stroke: its points' bounding box
// grown by two pixels on every side.
cv::Rect brushReach(const Stroke& stroke) {
  cv::Point low = stroke.front(), high = stroke.front();
  for (const cv::Point& p : stroke) {
    low.x = std::min(low.x, p.x), low.y = std::min(low.y, p.y);
    high.x = std::max(high.x, p.x), high.y = std::max(high.y, p.y);
  }
  return cv::Rect(low - cv::Point(2, 2), high + cv::Point(3, 3));
}

}  // namespace

cv::Rect paintStrokes(const LabelStrokes& labelStrokes,
                      unsigned char* strokeMap, int height, int width) {
  cv::Rect painted;
  const int numLabels = static_cast<int>(labelStrokes.size());
  for (int label = 0; label < numLabels; ++label) {
    for (const Stroke& stroke : labelStrokes[label]) {
      if (stroke.size() < 2) continue;
      painted |= brushReach(stroke);
      for (size_t k = 1; k < stroke.size(); ++k) {
        paintSegment(stroke[k - 1], stroke[k], strokeMap,
                     static_cast<unsigned char>(label), height, width);
      }
    }
  }
  return painted & cv::Rect(0, 0, width, height);
}

void seedSuperpixels(const unsigned char* strokeMap, const int* superpixelMap,
                     int width, cv::Rect painted,
                     std::vector<Superpixel>& superpixels) {
  for (Superpixel& superpixel : superpixels) superpixel.seed = -1;
  for (int y = painted.y; y < painted.y + painted.height; ++y) {
    const size_t row = static_cast<size_t>(y) * width;
    for (int x = painted.x; x < painted.x + painted.width; ++x) {
      const unsigned char label = strokeMap[row + x];
      if (label == kUnpainted) continue;
      int& seed = superpixels[superpixelMap[row + x]].seed;
      seed = std::max(seed, static_cast<int>(label));
    }
  }
}

}  // namespace scribeline
