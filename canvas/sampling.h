#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "canvas/viewport.h"

namespace scribeline {

// Pictures of a photo-sized image seen through a viewport, one source pixel
// per window pixel. Pure functions over a Viewport and pictures.

// Colour of the window pixels around a photo smaller than its window.
const cv::Scalar kSurroundColour(48, 48, 48);

// Makes `picture` the view's window size with kSurroundColour around the
// photo, and fills `columns` and `rows` with the photo column and row of
// every window column and row. Returns the part of the window that shows the
// photo, which is left for the caller to fill.
cv::Rect prepareView(const Viewport& view, std::vector<int>& columns,
                     std::vector<int>& rows, cv::Mat& picture);

// Fills `picture` (made the view's window size) with `source` seen through
// `view`, one source pixel per window pixel (the nearest), and
// kSurroundColour around the photo. `columns` and `rows` receive the source
// column and row of every window column and row. Returns the part of the
// window that shows the photo.
// REQUIRES: source is 8-bit BGR of the view's photo size.
cv::Rect renderNearest(const cv::Mat& source, const Viewport& view,
                       std::vector<int>& columns, std::vector<int>& rows,
                       cv::Mat& picture);

// out := the pixels of `source` at the given columns and rows of the window
// part `inside`, less `origin` (8-bit BGR, made inside's size).
void samplePixels(const cv::Mat& source, const std::vector<int>& columns,
                  const std::vector<int>& rows, const cv::Rect& inside,
                  cv::Mat& out, cv::Point origin = {});

}  // namespace scribeline
