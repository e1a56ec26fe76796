#pragma once

#include <opencv2/core.hpp>

namespace scribeline {

// The part of the photo a window shows, and at what size: the mapping between
// window pixels and photo pixels. Pure arithmetic, no pictures.
//
// The photo is scaled to a grid of scaledSize() cells (at least one per
// axis); the window shows the cells offset() to offset() + windowSize() - 1.
// Window pixel x shows the photo column floor((x + offset.x + 0.5) * W / S)
// for a photo W wide scaled to S cells, computed exactly in integers: the
// cell's centre taken back onto the photo, as the library's resizing maps a
// pixel. The same for rows. Cells beyond the grid (the space around a photo
// smaller than its window) map to photo pixels outside the photo, and so do
// window pixels beyond the window's edges.
//
// Invariants: when the scaled photo is wider than the window, every window
// column shows a photo column (0 <= offset.x <= S - w); otherwise it is
// centred, offset.x = -((w - S) / 2). The same for rows.
class Viewport {
 public:
  // The largest enlargement the zoom steps reach: 32 screen pixels per photo
  // pixel (16 would suffice for pixel work; one more step leaves room).
  static constexpr double kMaxScale = 32.0;

  Viewport() = default;
  // The whole photo fitted to the window, centred.
  // REQUIRES: both sizes at least 1 x 1.
  Viewport(cv::Size photo, cv::Size window);

  cv::Size photoSize() const { return photo_; }
  cv::Size windowSize() const { return window_; }
  bool empty() const { return photo_.empty() || window_.empty(); }
  // Screen pixels per photo pixel, as chosen (the grid rounds each axis to
  // whole cells).
  double scale() const { return scale_; }
  cv::Size scaledSize() const { return scaled_; }
  cv::Point offset() const { return offset_; }
  // True while the view is the whole photo fitted to the window (the
  // free-scale view); a resized window is fitted again then.
  bool fitted() const { return fitted_; }
  // Largest scale at which the whole photo fits the window.
  double fitScale() const;

  // Window pixel to the photo pixel it shows (possibly outside the photo).
  cv::Point toPhoto(cv::Point window) const;
  bool showsPhoto(cv::Point window) const;
  // The window pixels that show a photo pixel: a block of about scale x
  // scale pixels when enlarged. When reduced, several photo pixels share a
  // window pixel and some are shown by none: each is given the one pixel
  // whose cell holds its centre, so neighbouring photo pixels get the same
  // or neighbouring window pixels. Never empty; may lie outside the window.
  cv::Rect toWindow(cv::Point photo) const;
  // The centre pixel of toWindow(photo): where lines between photo pixels
  // are drawn from and to.
  cv::Point toWindowCentre(cv::Point photo) const;
  // The window rectangle covered by the scaled photo (may exceed the
  // window when enlarged).
  cv::Rect photoArea() const;

  // The whole photo, fitted and centred.
  void fit();
  // One to one, keeping the photo pixel at the window's centre there.
  void showActualSize();
  // Sets the scale (clamped to fitScale() .. kMaxScale) and keeps the photo
  // pixel under `anchor` (a window pixel) under it, as far as the pan limits
  // allow.
  void zoomTo(double scale, cv::Point anchor);
  // Zooms `steps` levels in (positive) or out (negative) around `anchor`.
  // The levels are the powers of the square root of 2 (1:1 among them) plus
  // fitScale(), the lowest.
  void zoomSteps(int steps, cv::Point anchor);
  // Moves the picture by `shift` window pixels (the picture follows the
  // pointer), within the pan limits.
  void pan(cv::Point shift);
  // A new window size: a fitted view is fitted again, any other keeps its
  // scale and the photo point at the window's centre.
  void resize(cv::Size window);
  // What two views of one photo share when one follows the other: the
  // scale, the photo point at the window's centre, and whether the whole
  // photo is fitted.
  struct Focus {
    double scale = 1.0;
    cv::Point2d centre;
    bool fitted = true;
  };
  Focus focus() const;
  // Takes a focus: fitted, or the same scale (so the same grid: both show
  // the photo's pixels at one size) centred on the same photo point, within
  // this view's pan limits.
  void setFocus(const Focus& focus);

  // The zoom level next to `scale` in the direction of `steps` (see
  // zoomSteps), for a view whose fitted scale is `fitScale`.
  static double stepScale(double scale, int steps, double fitScale);

 private:
  void setScale(double scale);
  // Offsets within the invariants.
  void clampOffset();
  // Photo coordinate (continuous, in photo pixels) of a window position.
  cv::Point2d photoPoint(cv::Point2d window) const;
  // Offset that puts a photo coordinate at a window position.
  cv::Point offsetFor(cv::Point2d photo, cv::Point2d window) const;

  cv::Size photo_;
  cv::Size window_;
  double scale_ = 1.0;
  cv::Size scaled_;
  cv::Point offset_;
  bool fitted_ = true;
};

}  // namespace scribeline
