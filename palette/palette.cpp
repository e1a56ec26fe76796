#include "palette/palette.h"

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

cv::Vec3b labelPixel(int label) {
  const cv::Scalar colour = labelColor(label);
  return cv::Vec3b(cv::saturate_cast<uchar>(colour[0]),
                   cv::saturate_cast<uchar>(colour[1]),
                   cv::saturate_cast<uchar>(colour[2]));
}

}  // namespace scribeline
