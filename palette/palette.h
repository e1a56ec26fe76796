#pragma once

#include <opencv2/core.hpp>

namespace scribeline {

// Number of labels the program offers (0 to 24).
constexpr int numLabels = 25;

// Fixed display colour of a label, as (blue, green, red, 0). The bits of the
// label are taken in groups of three, lowest group first; group k sets bit
// 7 - k of red (group bit 0), green (bit 1) and blue (bit 2). Label 0 and
// negative labels are black; only the lowest 24 bits contribute.
cv::Scalar labelColor(int label);

// The same colour as the (blue, green, red) bytes a mask pixel holds, so that
// `mask.at<cv::Vec3b>(point) = labelPixel(label)` writes the label. Every
// channel of labelColor is a whole number within 0..255, so the bytes are
// exact. Compute it once per label outside pixel loops.
cv::Vec3b labelPixel(int label);

}  // namespace scribeline
