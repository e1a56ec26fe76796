#include "scissors/live_wire_search.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "scissors/directions.h"

namespace scribeline {

namespace {

// Where the cost of the step in direction k from grid pixel p to its
// neighbour q is stored: directions 0, 5, 6, 7 at p, directions 1 to 4 at q
// (q's link straight back), in slot k & 3 (see IScissor's forward costs).
std::size_t costIndex(std::size_t p, std::size_t q, int k) {
  const bool atStart = k == 0 || k >= 5;
  return 4 * (atStart ? p : q) + static_cast<std::size_t>(k & 3);
}

}  // namespace

LiveWireSearch::LiveWireSearch(int width, int height,
                               const double* forwardCosts)
    : stride_(static_cast<std::size_t>(width) + 2),
      forwardCosts_(forwardCosts),
      cells_(stride_ * (static_cast<std::size_t>(height) + 2)),
      heapPlace_(cells_.size()),
      heap_(heapPlace_.data()) {
  // Image pixels unvisited, the sentinel ring settled. The heap places are
  // written before they are read.
  const std::uint8_t sentinel = cell(kExpanded, kNoPredecessor);
  std::uint8_t* cells = cells_.data();
  std::memset(cells, sentinel, stride_);
  for (int y = 1; y <= height; ++y) {
    std::uint8_t* row = cells + static_cast<std::size_t>(y) * stride_;
    row[0] = sentinel;
    std::memset(row + 1, cell(kUnvisited, kNoPredecessor), stride_ - 2);
    row[stride_ - 1] = sentinel;
  }
  std::memset(cells + (static_cast<std::size_t>(height) + 1) * stride_,
              sentinel, stride_);
}

void LiveWireSearch::start(std::size_t seed) {
  if (started_) {
    // Every pixel the last search reached is within one row of a pixel it
    // settled or seeded; the columns of the ring stay settled.
    const std::size_t firstRow =
        std::max<std::size_t>(firstTouched_ / stride_, 2) - 1;
    const std::size_t lastRow =
        std::min(lastTouched_ / stride_ + 1, cells_.size() / stride_ - 2);
    for (std::size_t row = firstRow; row <= lastRow; ++row) {
      std::memset(cells_.data() + row * stride_ + 1,
                  cell(kUnvisited, kNoPredecessor), stride_ - 2);
    }
  }
  heap_.clear();
  settledCount_ = 0;
  firstTouched_ = lastTouched_ = seed;
  cells_[seed] = cell(kInHeap, kNoPredecessor);
  heap_.insert(static_cast<std::uint32_t>(seed), 0.0);
  started_ = true;
}

void LiveWireSearch::settle(std::size_t target) {
  if (state(target) != kExpanded) expandUntil(target);
}

void LiveWireSearch::settleAll() { expandUntil(cells_.size()); }

void LiveWireSearch::expandUntil(std::size_t target) {
  std::uint8_t* cells = cells_.data();
  const double* costs = forwardCosts_;
  PathHeap& heap = heap_;
  const std::size_t w = stride_;
  std::size_t settled = 0;
  std::size_t firstTouched = firstTouched_;
  std::size_t lastTouched = lastTouched_;
  while (!heap.empty()) {
    const PathHeap::Entry top = heap.removeTop();
    const std::size_t p = top.pixel;
    const double base = top.cost;
    cells[p] = cell(kExpanded, cells[p] & kDirectionMask);
    ++settled;
    firstTouched = std::min(firstTouched, p);
    lastTouched = std::max(lastTouched, p);

    // Offers the path through p to neighbour q, reached by step k, whose link
    // cost sits at costs[costAt]. The cost is read only for pixels not yet
    // expanded: the sentinel ring holds none.
    auto offer = [&](std::size_t q, std::size_t costAt, std::uint8_t k) {
      const std::uint8_t qCell = cells[q];
      if (qCell >> kStateShift == kExpanded) return;
      const double cost = base + costs[costAt];
      if (qCell >> kStateShift == kUnvisited) {
        // When q is expanded, one heap lifetime from now, it reads the links
        // of q and of the row above it; the records are cold (the grid is far
        // larger than the caches), so they are fetched now.
        __builtin_prefetch(costs + 4 * q);
        __builtin_prefetch(costs + 4 * (q - w - 1));
        __builtin_prefetch(costs + 4 * (q - w + 1));
        cells[q] = cell(kInHeap, k);
        heap.insert(static_cast<std::uint32_t>(q), cost);
      } else if (cost < heap.costOf(static_cast<std::uint32_t>(q))) {
        cells[q] = cell(kInHeap, k);
        heap.lower(static_cast<std::uint32_t>(q), cost);
      }
    };
    // Directions 0, 5, 6, 7 are stored at p; 1 to 4 at the neighbour, in
    // slot k & 3 (see costIndex()).
    offer(p + 1, 4 * p + 0, 0);
    offer(p - w + 1, 4 * (p - w + 1) + 1, 1);
    offer(p - w, 4 * (p - w) + 2, 2);
    offer(p - w - 1, 4 * (p - w - 1) + 3, 3);
    offer(p - 1, 4 * (p - 1) + 0, 4);
    offer(p + w - 1, 4 * p + 1, 5);
    offer(p + w, 4 * p + 2, 6);
    offer(p + w + 1, 4 * p + 3, 7);
    if (p == target) break;
  }
  settledCount_ += settled;
  firstTouched_ = firstTouched;
  lastTouched_ = lastTouched;
}

double LiveWireSearch::pathCost(std::size_t pixel) const {
  std::vector<std::size_t> path;  // from `pixel` back to the seed
  path.push_back(pixel);
  for (std::uint8_t k = prevDirection(pixel); k != kNoPredecessor;
       k = prevDirection(path.back())) {
    const std::ptrdiff_t offset =
        directionOffsets[k].dx +
        directionOffsets[k].dy * static_cast<std::ptrdiff_t>(stride_);
    path.push_back(path.back() - offset);
  }
  double cost = 0.0;
  for (std::size_t i = path.size() - 1; i > 0; --i) {
    const std::size_t q = path[i - 1];
    cost = cost + forwardCosts_[costIndex(path[i], q, prevDirection(q))];
  }
  return cost;
}

std::size_t LiveWireSearch::bytesHeld() const {
  return cells_.size() * sizeof(std::uint8_t) +
         heapPlace_.size() * sizeof(std::int32_t) + heap_.capacityBytes();
}

}  // namespace scribeline
