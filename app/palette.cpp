#include "app/palette.h"

namespace scribeline {

cv::Scalar labelColor(int label) {
  unsigned red = 0, green = 0, blue = 0;
  for (int bit = 7; label > 0 && bit >= 0; --bit, label >>= 3) {
    red |= (label & 1u) << bit;
    green |= ((label >> 1) & 1u) << bit;
    blue |= ((label >> 2) & 1u) << bit;
  }
  return cv::Scalar(blue, green, red, 0);
}

}  // namespace scribeline
