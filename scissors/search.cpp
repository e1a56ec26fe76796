#include "scissors/iscissor.h"
#include "scissors/live_wire_search.h"

namespace scribeline {

void IScissor::searchFromSeed(int x, int y) {
  if (!inside(x, y)) return;
  seedSearch(x, y);
  search_.settleAll();
}

void IScissor::seedSearch(int x, int y) {
  if (!inside(x, y)) return;
  search_.start(gridIndex(x, y));
  seed_ = cv::Point(x, y);
}

bool IScissor::settle(cv::Point pixel) const {
  if (!search_.started() || !inside(pixel.x, pixel.y)) return false;
  search_.settle(gridIndex(pixel.x, pixel.y));
  return true;
}

std::optional<cv::Point> IScissor::predecessor(cv::Point at) const {
  if (!settle(at)) return std::nullopt;
  const std::uint8_t k = search_.prevDirection(gridIndex(at.x, at.y));
  if (k == LiveWireSearch::kNoPredecessor) return std::nullopt;
  return cv::Point(at.x - directionOffsets[k].dx,
                   at.y - directionOffsets[k].dy);
}

std::vector<cv::Point> IScissor::pathToSeed(cv::Point from) const {
  std::vector<cv::Point> path;
  // The predecessor of a settled pixel is settled: settling `from` settles
  // its whole path.
  if (!settle(from)) return path;
  cv::Point at = from;
  for (std::uint8_t k = search_.prevDirection(gridIndex(at.x, at.y));
       k != LiveWireSearch::kNoPredecessor;
       k = search_.prevDirection(gridIndex(at.x, at.y))) {
    path.push_back(at);
    at.x -= directionOffsets[k].dx;
    at.y -= directionOffsets[k].dy;
  }
  return path;
}

}  // namespace scribeline
