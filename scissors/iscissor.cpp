#include "scissors/iscissor.h"

#include "scissors/link_costs.h"

namespace scribeline {

IScissor::IScissor(const cv::Mat& image)
    : image_(&image),
      width_(image.cols),
      height_(image.rows),
      stride_(image.cols + 2),
      costs_(image),
      search_(costs_) {}

IScissor::~IScissor() { settleAhead(false); }

double IScissor::linkCost(int x, int y, int k) const {
  const int nx = x + directionOffsets[k].dx;
  const int ny = y + directionOffsets[k].dy;
  if (inside(nx, ny)) return costs_.step(x, y, k);
  // A link leaving the image is never searched; it has no owner inside.
  std::array<double, 8> strengths;
  edgeStrengths(*image_, x, y, strengths);
  return normalisedLinkCost(strengths[k], k, costs_.maxStrength());
}

ScissorNode IScissor::node(int x, int y) const {
  const SearchAccess access(*this);
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
  const SearchAccess access(*this);
  return static_cast<double>(search_.bytesHeld()) / pixels;
}

}  // namespace scribeline
