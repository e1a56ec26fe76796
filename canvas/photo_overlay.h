#pragma once

#include <opencv2/core.hpp>

#include "canvas/viewport.h"

namespace scribeline {

// Drawing in photo coordinates on a picture that shows the photo through a
// viewport: what the tools draw over the main view.
//
// Enlarged (one screen pixel per photo pixel or more), the drawing is done
// on a patch of the photo's pixels around the visible part and shown through
// the viewport, so every drawn photo pixel becomes its whole block on the
// screen. Reduced, it is drawn on the picture itself, at the window pixels of
// the photo points: a chain of neighbouring photo pixels stays an unbroken
// chain there, and a line keeps at least one screen pixel of thickness.
//
// Usage: begin, any number of paintPixel and drawLine, finish. Outside that
// span the calls do nothing.
class PhotoOverlay {
 public:
  // REQUIRES: picture is 8-bit BGR of view.windowSize(); it is drawn on
  // (shared, not copied) until finish.
  void begin(const cv::Mat& picture, const Viewport& view);
  bool active() const { return !picture_.empty(); }
  // One photo pixel in the colour.
  void paintPixel(cv::Point photo, const cv::Vec3b& colour);
  // The library's line between photo points with the thickness in photo
  // pixels and the line type.
  void drawLine(cv::Point from, cv::Point to, const cv::Scalar& colour,
                int thickness, int lineType);
  // Puts the enlarged drawing onto the picture and lets the picture go.
  void finish();

 private:
  bool enlarged() const { return !patch_.empty(); }

  cv::Mat picture_;
  Viewport view_;
  // Enlarged only: the drawing in photo pixels over patchArea_, and which of
  // its pixels were drawn.
  cv::Rect patchArea_;
  cv::Mat patch_;
  cv::Mat drawn_;
  bool anyDrawn_ = false;
};

}  // namespace scribeline
