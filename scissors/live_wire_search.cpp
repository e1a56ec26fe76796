#include "scissors/live_wire_search.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "scissors/directions.h"

namespace scribeline {

LiveWireSearch::LiveWireSearch(const LinkCostField& costs)
    : costs_(costs),
      stride_(static_cast<std::size_t>(costs.width()) + 2),
      rowMagic_(~std::uint64_t{0} / stride_ + 1),
      cells_(stride_ * (static_cast<std::size_t>(costs.height()) + 2)),
      heapPlace_(cells_.size()),
      heap_(heapPlace_.data()) {
  const int height = costs.height();
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

void LiveWireSearch::settleMore(std::size_t count,
                                const std::atomic<int>& interrupt) {
  expandUntil(cells_.size(), count, &interrupt);
}

void LiveWireSearch::expandUntil(std::size_t target, std::size_t budget,
                                 const std::atomic<int>* interrupt) {
  // How many pixels pass between two looks at *interrupt.
  constexpr std::size_t kInterruptMask = 63;
  std::uint8_t* cells = cells_.data();
  const LinkCostField& costs = costs_;
  PathHeap& heap = heap_;
  const std::size_t w = stride_;
  std::size_t settled = 0;
  std::size_t firstTouched = firstTouched_;
  std::size_t lastTouched = lastTouched_;
  while (!heap.empty() && settled < budget) {
    const PathHeap::Entry top = heap.removeTop();
    const std::size_t p = top.pixel;
    const double base = top.cost;
    cells[p] = cell(kExpanded, cells[p] & kDirectionMask);
    ++settled;
    firstTouched = std::min(firstTouched, p);
    lastTouched = std::max(lastTouched, p);
    int x, y;
    coordinates(p, x, y);

    // Offers the path through p to neighbour q, reached by step k;
    // linkCost() gives the step's cost and is called only for pixels not yet
    // expanded (the sentinel ring holds none).
    auto offer = [&](std::size_t q, std::uint8_t k, auto linkCost,
                     auto prefetch) {
      const std::uint8_t qCell = cells[q];
      if (qCell >> kStateShift == kExpanded) return;
      const double cost = base + linkCost();
      if (qCell >> kStateShift == kUnvisited) {
        prefetch();
        cells[q] = cell(kInHeap, k);
        heap.insert(static_cast<std::uint32_t>(q), cost);
      } else if (cost < heap.costOf(static_cast<std::uint32_t>(q))) {
        cells[q] = cell(kInHeap, k);
        heap.lower(static_cast<std::uint32_t>(q), cost);
      }
    };
    if (costs.deepInside(x, y)) {
      // Nearly every pixel: the costs come from the 3 x 3 block around p.
      const LinkCostField::Around at = costs.around(x, y);
      const std::ptrdiff_t row = at.below - at.row;
      // When q is expanded, one heap lifetime from now, it reads the block
      // around it; the photograph is far larger than the caches, so the
      // block's rows are fetched now.
      auto fetchAround = [&](int dx, int dy) {
        return [&at, row, dx, dy] {
          const uchar* centre = at.row + 3 * dx + row * dy;
          __builtin_prefetch(centre - row);
          __builtin_prefetch(centre);
          __builtin_prefetch(centre + row);
        };
      };
      offer(
          p + 1, 0, [&] { return costs.inner<0>(at); }, fetchAround(1, 0));
      offer(
          p - w + 1, 1, [&] { return costs.inner<1>(at); }, fetchAround(1, -1));
      offer(
          p - w, 2, [&] { return costs.inner<2>(at); }, fetchAround(0, -1));
      offer(
          p - w - 1, 3, [&] { return costs.inner<3>(at); },
          fetchAround(-1, -1));
      offer(
          p - 1, 4, [&] { return costs.inner<4>(at); }, fetchAround(-1, 0));
      offer(
          p + w - 1, 5, [&] { return costs.inner<5>(at); }, fetchAround(-1, 1));
      offer(
          p + w, 6, [&] { return costs.inner<6>(at); }, fetchAround(0, 1));
      offer(
          p + w + 1, 7, [&] { return costs.inner<7>(at); }, fetchAround(1, 1));
    } else {
      const std::size_t neighbours[8] = {p + 1, p - w + 1, p - w, p - w - 1,
                                         p - 1, p + w - 1, p + w, p + w + 1};
      for (std::uint8_t k = 0; k < 8; ++k)
        offer(
            neighbours[k], k, [&] { return costs.step(x, y, k); }, [] {});
    }
    if (p == target) break;
    if (interrupt != nullptr && (settled & kInterruptMask) == 0 &&
        interrupt->load(std::memory_order_relaxed) > 0)
      break;
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
    int x, y;
    coordinates(path[i], x, y);
    cost = cost + costs_.step(x, y, prevDirection(path[i - 1]));
  }
  return cost;
}

std::size_t LiveWireSearch::bytesHeld() const {
  return cells_.size() * sizeof(std::uint8_t) +
         heapPlace_.size() * sizeof(std::int32_t) + heap_.capacityBytes();
}

}  // namespace scribeline
