#include "scissors/iscissor.h"

#include "scissors/link_costs.h"

namespace scribeline {

namespace {

// Directions whose link is stored by the pixel it starts from.
bool storedAtStart(int k) { return k == 0 || k >= 5; }

}  // namespace

IScissor::IScissor(const cv::Mat& image)
    : image_(&image),
      width_(image.cols),
      height_(image.rows),
      stride_(image.cols + 2),
      forwardCosts_(static_cast<std::size_t>(image.cols + 2) *
                    (image.rows + 2) * 4),
      search_(image.cols, image.rows, forwardCosts_.data()) {
  if (image.empty()) return;
  CV_Assert(image.type() == CV_8UC3);
  computeLinkCosts();
}

IScissor::~IScissor() = default;

double IScissor::linkCost(int x, int y, int k) const {
  if (storedAtStart(k)) return forwardCosts_[gridIndex(x, y) * 4 + (k & 3)];
  const int nx = x + directionOffsets[k].dx;
  const int ny = y + directionOffsets[k].dy;
  if (inside(nx, ny)) return forwardCosts_[gridIndex(nx, ny) * 4 + (k & 3)];
  // A link leaving the image is never searched and so not stored.
  std::array<double, 8> strengths;
  edgeStrengths(*image_, x, y, strengths);
  return normalisedLinkCost(strengths[k], k, maxStrength_);
}

ScissorNode IScissor::node(int x, int y) const {
  ScissorNode result;
  for (int k = 0; k < 8; ++k) result.linkCost[k] = linkCost(x, y, k);
  result.x = x;
  result.y = y;
  if (settle(cv::Point(x, y))) {
    const std::size_t at = gridIndex(x, y);
    result.searchState = search_.state(at);
    result.pathCost = search_.pathCost(at);
    result.prev = predecessor(cv::Point(x, y));
  } else {
    result.searchState = kUnvisited;
    result.pathCost = 0.0;
    result.prev = std::nullopt;
  }
  return result;
}

double IScissor::bytesPerPixel() const {
  const double pixels = static_cast<double>(width_) * height_;
  if (pixels == 0) return 0.0;
  const double bytes =
      static_cast<double>(forwardCosts_.size()) * sizeof(double) +
      static_cast<double>(search_.bytesHeld());
  return bytes / pixels;
}

}  // namespace scribeline
