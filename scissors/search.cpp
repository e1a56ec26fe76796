#include <algorithm>
#include <cstring>

#include "scissors/iscissor.h"
#include "scissors/search_buffers.h"

namespace scribeline {

SearchBuffers::SearchBuffers(int width, int height)
    : width(width),
      height(height),
      stride(width + 2),
      searchState(static_cast<std::size_t>(width + 2) * (height + 2)),
      pathCost(searchState.size()),
      prevDirection(searchState.size()),
      heapPlace(searchState.size()),
      heap(heapPlace.data()) {
  const std::size_t cells = searchState.size();
  std::memset(searchState.data(), kExpanded, cells);
  std::memset(prevDirection.data(), kNoPredecessor, cells);
  std::fill(pathCost.data(), pathCost.data() + cells, 0.0);
  std::fill(heapPlace.data(), heapPlace.data() + cells, 0);
  resetStates();
}

void SearchBuffers::resetStates() {
  for (int y = 0; y < height; ++y) {
    const std::size_t rowStart = static_cast<std::size_t>(y + 1) * stride + 1;
    std::memset(searchState.data() + rowStart, kUnvisited,
                static_cast<std::size_t>(width));
  }
}

void IScissor::searchFromSeed(int x, int y) {
  if (!inside(x, y)) return;
  if (!search_) search_ = std::make_unique<SearchBuffers>(width_, height_);

  SearchBuffers& s = *search_;
  s.resetStates();
  std::uint8_t* state = s.searchState.data();
  double* pathCost = s.pathCost.data();
  std::uint8_t* prevDirection = s.prevDirection.data();
  const double* costs = forwardCosts_.data();
  PathHeap& heap = s.heap;
  heap.clear();

  const std::size_t seed = gridIndex(x, y);
  pathCost[seed] = 0.0;
  prevDirection[seed] = kNoPredecessor;
  heap.insert(static_cast<std::uint32_t>(seed), 0.0);

  const std::size_t w = static_cast<std::size_t>(stride_);
  while (!heap.empty()) {
    const PathHeap::Entry top = heap.removeTop();
    const std::size_t p = top.pixel;
    const double base = top.cost;
    state[p] = kExpanded;

    // Offers the path through p to neighbour q, reached by step k, whose link
    // cost sits at costs[costAt]. The cost is read only for pixels not yet
    // expanded: the sentinel ring holds none.
    auto offer = [&](std::size_t q, std::size_t costAt, std::uint8_t k) {
      const std::uint8_t qState = state[q];
      if (qState == kExpanded) return;
      const double cost = base + costs[costAt];
      if (qState == kUnvisited) {
        // When q is expanded, one heap lifetime from now, it reads the links
        // of q and of the row above it; the records are cold (the grid is far
        // larger than the caches), so they are fetched now.
        __builtin_prefetch(costs + 4 * q);
        __builtin_prefetch(costs + 4 * (q - w - 1));
        __builtin_prefetch(costs + 4 * (q - w + 1));
        prevDirection[q] = k;
        pathCost[q] = cost;
        heap.insert(static_cast<std::uint32_t>(q), cost);
        state[q] = kInHeap;
      } else if (cost < pathCost[q]) {
        prevDirection[q] = k;
        pathCost[q] = cost;
        heap.lower(static_cast<std::uint32_t>(q), cost);
      }
    };
    // Directions 0, 5, 6, 7 are stored at p; 1 to 4 at the neighbour, in
    // slot k & 3 (see forwardCosts_).
    offer(p + 1, 4 * p + 0, 0);
    offer(p - w + 1, 4 * (p - w + 1) + 1, 1);
    offer(p - w, 4 * (p - w) + 2, 2);
    offer(p - w - 1, 4 * (p - w - 1) + 3, 3);
    offer(p - 1, 4 * (p - 1) + 0, 4);
    offer(p + w - 1, 4 * p + 1, 5);
    offer(p + w, 4 * p + 2, 6);
    offer(p + w + 1, 4 * p + 3, 7);
  }
  heap.clear();
  searched_ = true;
  seed_ = cv::Point(x, y);
}

std::optional<cv::Point> IScissor::predecessor(cv::Point at) const {
  if (!searched_ || !inside(at.x, at.y)) return std::nullopt;
  const std::uint8_t k = search_->prevDirection[gridIndex(at.x, at.y)];
  if (k == kNoPredecessor) return std::nullopt;
  return cv::Point(at.x - directionOffsets[k].dx,
                   at.y - directionOffsets[k].dy);
}

std::vector<cv::Point> IScissor::pathToSeed(cv::Point from) const {
  std::vector<cv::Point> path;
  if (!searched_ || !inside(from.x, from.y)) return path;
  const std::uint8_t* prevDirection = search_->prevDirection.data();
  cv::Point at = from;
  for (std::uint8_t k = prevDirection[gridIndex(at.x, at.y)];
       k != kNoPredecessor; k = prevDirection[gridIndex(at.x, at.y)]) {
    path.push_back(at);
    at.x -= directionOffsets[k].dx;
    at.y -= directionOffsets[k].dy;
  }
  return path;
}

}  // namespace scribeline
