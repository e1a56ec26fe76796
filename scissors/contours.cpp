#include <algorithm>

#include "scissors/iscissor.h"

namespace scribeline {

void IScissor::startContour(cv::Point start, int label) {
  Contour contour;
  contour.points.push_back(start);
  contour.label = label;
  contours_.push_back(std::move(contour));
}

int IScissor::appendSegment(cv::Point to) {
  if (contours_.empty() || !hasSearched()) return 0;
  Contour& contour = contours_.back();
  if (contour.points.empty() || contour.points.back() != seed_) return 0;
  const std::vector<cv::Point> path = pathToSeed(to);
  contour.points.insert(contour.points.end(), path.rbegin(), path.rend());
  return static_cast<int>(path.size());
}

void IScissor::finishContour(bool closed) {
  if (!contours_.empty()) contours_.back().closed = closed;
}

bool IScissor::undoLastSegment(int length) {
  if (length <= 0 || contours_.empty()) return false;
  std::vector<cv::Point>& points = contours_.back().points;
  if (points.empty()) return false;
  // The start point is never taken back.
  const std::size_t removed =
      std::min(static_cast<std::size_t>(length), points.size() - 1);
  points.resize(points.size() - removed);
  seedSearch(points.back().x, points.back().y);
  return true;
}

void IScissor::removeLastContour() {
  if (!contours_.empty()) contours_.pop_back();
}

}  // namespace scribeline
