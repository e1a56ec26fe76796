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

void IScissor::undoLastSegment(std::deque<int>& segmentLengths) {
  if (segmentLengths.empty() || contours_.empty()) return;
  const int newest = segmentLengths.back();
  if (newest <= 0) return;
  std::vector<cv::Point>& points = contours_.back().points;
  if (points.empty()) return;
  // The start point is never taken back.
  const std::size_t removed =
      std::min(static_cast<std::size_t>(newest), points.size() - 1);
  points.resize(points.size() - removed);
  segmentLengths.pop_back();
  seedSearch(points.back().x, points.back().y);
}

void IScissor::removeLastContour() {
  if (!contours_.empty()) contours_.pop_back();
}

void IScissor::discardOpenContour() {
  if (!contours_.empty()) contours_.pop_back();
}

}  // namespace scribeline
