#include "canvas/viewport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace scribeline {

namespace {

// Relative tolerance when comparing a scale with a zoom level.
constexpr double kLevelTolerance = 1e-9;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) {
  return -floorDiv(-a, b);
}

// One axis of the mapping: `length` photo pixels over `cells` grid cells.
// Cell c shows photo pixel floor((2c + 1) * length / (2 * cells)).
int photoOfCell(int cell, int length, int cells) {
  return static_cast<int>(
      floorDiv((2 * std::int64_t{cell} + 1) * length, 2 * std::int64_t{cells}));
}

// The cells [first, end) that show photo pixel `pixel`: those whose centre
// falls within it. When there are none (the photo is reduced), the cell that
// holds the pixel's centre.
void cellsOfPhoto(int pixel, int length, int cells, int* first, int* end) {
  const std::int64_t twiceLength = 2 * std::int64_t{length};
  std::int64_t from =
      ceilDiv(2 * std::int64_t{cells} * pixel - length, twiceLength);
  std::int64_t to =
      ceilDiv(2 * std::int64_t{cells} * (pixel + 1) - length, twiceLength);
  if (to <= from) {
    from = floorDiv((2 * std::int64_t{pixel} + 1) * cells, twiceLength);
    to = from + 1;
  }
  *first = static_cast<int>(from);
  *end = static_cast<int>(to);
}

int clampAxis(int offset, int cells, int window) {
  if (cells >= window) return std::clamp(offset, 0, cells - window);
  return -((window - cells) / 2);
}

// The zoom levels 2^(k/2): exact powers of two for even k.
double level(int k) {
  const int odd = k & 1;
  return std::ldexp(odd ? std::sqrt(2.0) : 1.0, (k - odd) / 2);
}

}  // namespace

Viewport::Viewport(cv::Size photo, cv::Size window)
    : photo_(photo), window_(window) {
  fit();
}

double Viewport::fitScale() const {
  if (empty()) return 1.0;
  return std::min(static_cast<double>(window_.width) / photo_.width,
                  static_cast<double>(window_.height) / photo_.height);
}

cv::Point Viewport::toPhoto(cv::Point window) const {
  return {photoOfCell(window.x + offset_.x, photo_.width, scaled_.width),
          photoOfCell(window.y + offset_.y, photo_.height, scaled_.height)};
}

bool Viewport::showsPhoto(cv::Point window) const {
  const cv::Point photo = toPhoto(window);
  return photo.x >= 0 && photo.y >= 0 && photo.x < photo_.width &&
         photo.y < photo_.height;
}

cv::Rect Viewport::toWindow(cv::Point photo) const {
  int left = 0, right = 0, top = 0, bottom = 0;
  cellsOfPhoto(photo.x, photo_.width, scaled_.width, &left, &right);
  cellsOfPhoto(photo.y, photo_.height, scaled_.height, &top, &bottom);
  return {left - offset_.x, top - offset_.y, right - left, bottom - top};
}

cv::Point Viewport::toWindowCentre(cv::Point photo) const {
  const cv::Rect block = toWindow(photo);
  return {block.x + (block.width - 1) / 2, block.y + (block.height - 1) / 2};
}

cv::Rect Viewport::photoArea() const { return {-offset_, scaled_}; }

void Viewport::fit() {
  if (empty()) return;
  setScale(fitScale());
  fitted_ = true;
  clampOffset();
}

void Viewport::showActualSize() {
  if (empty()) return;
  const cv::Point2d centre(window_.width / 2.0, window_.height / 2.0);
  const cv::Point2d photo = photoPoint(centre);
  setScale(1.0);
  fitted_ = false;
  offset_ = offsetFor(photo, centre);
  clampOffset();
}

void Viewport::zoomTo(double scale, cv::Point anchor) {
  if (empty()) return;
  const double lowest = std::min(fitScale(), 1.0);
  scale = std::clamp(scale, lowest, std::max(kMaxScale, lowest));
  if (scale == fitScale()) return fit();
  const cv::Point pixel = toPhoto(anchor);
  const cv::Point2d at(anchor.x + 0.5, anchor.y + 0.5);
  const cv::Point2d photo = photoPoint(at);
  setScale(scale);
  fitted_ = false;
  offset_ = offsetFor(photo, at);
  // Rounding may have moved the anchor onto a neighbouring photo pixel:
  // bring it back onto the cells of the pixel it showed.
  int first = 0, end = 0;
  cellsOfPhoto(pixel.x, photo_.width, scaled_.width, &first, &end);
  offset_.x = std::clamp(anchor.x + offset_.x, first, end - 1) - anchor.x;
  cellsOfPhoto(pixel.y, photo_.height, scaled_.height, &first, &end);
  offset_.y = std::clamp(anchor.y + offset_.y, first, end - 1) - anchor.y;
  clampOffset();
}

void Viewport::zoomSteps(int steps, cv::Point anchor) {
  if (empty() || steps == 0) return;
  zoomTo(stepScale(scale_, steps, fitScale()), anchor);
}

double Viewport::stepScale(double scale, int steps, double fitScale) {
  const double lowest = std::min(fitScale, 1.0);
  const double highest = std::max(kMaxScale, lowest);
  for (; steps > 0; --steps) {
    const double above = scale * (1 + kLevelTolerance);
    int k = static_cast<int>(std::floor(2 * std::log2(scale))) - 1;
    while (level(k) <= above) ++k;
    // The fitted scale is a level of its own between two powers.
    scale = fitScale > above && fitScale < level(k) ? fitScale : level(k);
    scale = std::min(scale, highest);
  }
  for (; steps < 0; ++steps) {
    const double below = scale * (1 - kLevelTolerance);
    int k = static_cast<int>(std::ceil(2 * std::log2(scale))) + 1;
    while (level(k) >= below) --k;
    scale = fitScale < below && fitScale > level(k) ? fitScale : level(k);
    scale = std::max(scale, lowest);
  }
  return scale;
}

void Viewport::pan(cv::Point shift) {
  offset_ -= shift;
  clampOffset();
}

void Viewport::resize(cv::Size window) {
  if (window.empty() || window == window_) return;
  if (fitted_ || window_.empty()) {
    window_ = window;
    return fit();
  }
  const cv::Point2d oldCentre(window_.width / 2.0, window_.height / 2.0);
  const cv::Point2d photo = photoPoint(oldCentre);
  window_ = window;
  if (scale_ < std::min(fitScale(), 1.0)) return fit();
  offset_ = offsetFor(photo, {window_.width / 2.0, window_.height / 2.0});
  clampOffset();
}

Viewport::Focus Viewport::focus() const {
  return {scale_, photoPoint({window_.width / 2.0, window_.height / 2.0}),
          fitted_};
}

void Viewport::setFocus(const Focus& focus) {
  if (empty()) return;
  if (focus.fitted) return fit();
  setScale(focus.scale);
  fitted_ = false;
  offset_ =
      offsetFor(focus.centre, {window_.width / 2.0, window_.height / 2.0});
  clampOffset();
}

void Viewport::setScale(double scale) {
  scale_ = scale;
  scaled_.width =
      std::max(1, static_cast<int>(std::lround(photo_.width * scale)));
  scaled_.height =
      std::max(1, static_cast<int>(std::lround(photo_.height * scale)));
}

void Viewport::clampOffset() {
  offset_.x = clampAxis(offset_.x, scaled_.width, window_.width);
  offset_.y = clampAxis(offset_.y, scaled_.height, window_.height);
}

cv::Point2d Viewport::photoPoint(cv::Point2d window) const {
  return {(window.x + offset_.x) * photo_.width / scaled_.width,
          (window.y + offset_.y) * photo_.height / scaled_.height};
}

cv::Point Viewport::offsetFor(cv::Point2d photo, cv::Point2d window) const {
  return {static_cast<int>(
              std::lround(photo.x * scaled_.width / photo_.width - window.x)),
          static_cast<int>(std::lround(
              photo.y * scaled_.height / photo_.height - window.y))};
}

}  // namespace scribeline
