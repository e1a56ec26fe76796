#include "canvas/photo_overlay.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace scribeline {

namespace {

// Photo pixels drawn around the visible part, so that lines leaving the
// window are clipped where nobody sees it.
constexpr int kPatchMargin = 16;

}  // namespace

void PhotoOverlay::begin(const cv::Mat& picture, const Viewport& view) {
  picture_ = picture;
  view_ = view;
  anyDrawn_ = false;
  patch_.release();
  drawn_.release();
  const cv::Size photo = view.photoSize();
  const cv::Size cells = view.scaledSize();
  if (cells.width < photo.width || cells.height < photo.height) return;
  const cv::Size window = view.windowSize();
  const cv::Point first = view.toPhoto({0, 0});
  const cv::Point last = view.toPhoto({window.width - 1, window.height - 1});
  const cv::Point margin(kPatchMargin, kPatchMargin);
  patchArea_ = cv::Rect(first - margin, last + margin + cv::Point(1, 1)) &
               cv::Rect({0, 0}, photo);
  if (patchArea_.empty()) patchArea_ = cv::Rect(0, 0, 1, 1);
  patch_.create(patchArea_.size(), CV_8UC3);
  drawn_ = cv::Mat::zeros(patchArea_.size(), CV_8UC1);
}

void PhotoOverlay::paintPixel(cv::Point photo, const cv::Vec3b& colour) {
  if (!active()) return;
  if (enlarged()) {
    if (!patchArea_.contains(photo)) return;
    const cv::Point at = photo - patchArea_.tl();
    patch_.at<cv::Vec3b>(at) = colour;
    drawn_.at<uchar>(at) = 255;
    anyDrawn_ = true;
    return;
  }
  const cv::Rect block =
      view_.toWindow(photo) & cv::Rect({0, 0}, picture_.size());
  if (!block.empty()) picture_(block).setTo(cv::Scalar(colour));
}

void PhotoOverlay::drawLine(cv::Point from, cv::Point to,
                            const cv::Scalar& colour, int thickness,
                            int lineType) {
  if (!active()) return;
  if (enlarged()) {
    const cv::Point origin = patchArea_.tl();
    cv::line(patch_, from - origin, to - origin, colour, thickness, lineType);
    cv::line(drawn_, from - origin, to - origin, cv::Scalar(255), thickness,
             lineType);
    anyDrawn_ = true;
    return;
  }
  const int screenThickness =
      std::max(1, static_cast<int>(std::lround(thickness * view_.scale())));
  cv::line(picture_, view_.toWindowCentre(from), view_.toWindowCentre(to),
           colour, screenThickness, lineType);
}

void PhotoOverlay::finish() {
  if (active() && enlarged() && anyDrawn_) {
    const cv::Size window = picture_.size();
    std::vector<int> columns(window.width);
    for (int x = 0; x < window.width; ++x)
      columns[x] = view_.toPhoto({x, 0}).x - patchArea_.x;
    for (int y = 0; y < window.height; ++y) {
      const int row = view_.toPhoto({0, y}).y - patchArea_.y;
      if (row < 0 || row >= patchArea_.height) continue;
      const uchar* drawn = drawn_.ptr<uchar>(row);
      const cv::Vec3b* patch = patch_.ptr<cv::Vec3b>(row);
      cv::Vec3b* out = picture_.ptr<cv::Vec3b>(y);
      for (int x = 0; x < window.width; ++x) {
        const int column = columns[x];
        if (column >= 0 && column < patchArea_.width && drawn[column] != 0)
          out[x] = patch[column];
      }
    }
  }
  picture_.release();
  patch_.release();
  drawn_.release();
}

}  // namespace scribeline
