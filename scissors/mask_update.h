#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "scissors/contour.h"

namespace scribeline {

// Rewrites `mask` (made size.width x size.height, 8-bit, 3-channel when it is
// not already) from the closed contours among `contours`: white everywhere,
// then each closed contour's points inside the image and its closing line
// from its last point to its first in its label colour, later contours over
// earlier ones. With `filled`, every white pixel 4-connected through white
// to a white pixel of the image's border (the outside of every outline)
// becomes label 0, and every remaining white pixel, enclosed by outlines,
// takes the colour of the nearest non-white pixel to its left in its row.
// A contour touching the border is thus filled by its own inside; outline
// pixels keep their colours. An empty size leaves `mask` as it is.
void writeContoursIntoMask(const std::vector<Contour>& contours, cv::Size size,
                           bool filled, cv::Mat& mask);

}  // namespace scribeline
