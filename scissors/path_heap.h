#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scribeline {

// Binary min-heap of grid pixels ordered on path cost, for the live-wire
// search. Entry i has children 2i + 1 and 2i + 2.
//
// IMPORTANT: the order in which equal costs leave the heap decides which of
// several equally cheap paths the search finds, so the moves below are part
// of the contract, not an implementation detail:
// - moving up (insert, lowered cost): a parent moves down only while its cost
//   is strictly greater; an entry equal to its parent stays below it;
// - remove top: the hole left at the top sinks to the child whose cost is
//   smaller, the right child when the two are equal, down to a node without
//   two children; a lone left child then moves up as well, and the former
//   last entry is put into the hole and moved up.
//
// The place of every pixel in the heap is kept in a caller-owned table so
// that a lowered cost can be moved up from where it is.
class PathHeap {
 public:
  struct Entry {
    double cost;
    std::uint32_t pixel;
  };

  // `places` must hold one slot per pixel index and outlive the heap.
  explicit PathHeap(std::int32_t* places) : places_(places) {}

  bool empty() const { return costs_.empty(); }
  std::size_t size() const { return costs_.size(); }
  // Keeps the capacity, so that the next search allocates nothing.
  void clear() {
    costs_.clear();
    pixels_.clear();
  }

  void insert(std::uint32_t pixel, double cost) {
    costs_.push_back(cost);
    pixels_.push_back(pixel);
    moveUp(costs_.size() - 1, cost, pixel);
  }

  // Current cost of a pixel in the heap. REQUIRES: pixel is in the heap.
  double costOf(std::uint32_t pixel) const {
    return costs_[static_cast<std::size_t>(places_[pixel])];
  }

  // Bytes held by the heap's arrays, spare capacity included.
  std::size_t capacityBytes() const {
    return costs_.capacity() * sizeof(double) +
           pixels_.capacity() * sizeof(std::uint32_t);
  }

  // REQUIRES: pixel is in the heap and cost is not above its current cost.
  void lower(std::uint32_t pixel, double cost) {
    moveUp(static_cast<std::size_t>(places_[pixel]), cost, pixel);
  }

  // REQUIRES: !empty().
  Entry removeTop() {
    const Entry top{costs_[0], pixels_[0]};
    const double lastCost = costs_.back();
    const std::uint32_t lastPixel = pixels_.back();
    costs_.pop_back();
    pixels_.pop_back();
    const std::size_t count = costs_.size();
    if (count == 0) return top;
    const double* costs = costs_.data();
    std::size_t hole = 0;
    for (;;) {
      const std::size_t left = 2 * hole + 1;
      const std::size_t right = left + 1;
      if (right >= count) {
        if (left < count) {
          place(hole, costs[left], pixels_[left]);
          hole = left;
        }
        break;
      }
      // The grandchildren of the hole lie side by side; asking for them now
      // overlaps their load with this comparison.
      __builtin_prefetch(costs + 2 * left + 1);
      // Which child wins is unpredictable; an index sum avoids the branch.
      const std::size_t child =
          right - static_cast<std::size_t>(costs[left] < costs[right]);
      place(hole, costs[child], pixels_[child]);
      hole = child;
    }
    moveUp(hole, lastCost, lastPixel);
    return top;
  }

 private:
  void place(std::size_t at, double cost, std::uint32_t pixel) {
    costs_[at] = cost;
    pixels_[at] = pixel;
    places_[pixel] = static_cast<std::int32_t>(at);
  }

  void moveUp(std::size_t hole, double cost, std::uint32_t pixel) {
    while (hole > 0) {
      const std::size_t parent = (hole - 1) / 2;
      if (!(costs_[parent] > cost)) break;
      place(hole, costs_[parent], pixels_[parent]);
      hole = parent;
    }
    place(hole, cost, pixel);
  }

  // Parallel arrays: the descent of removeTop() walks the costs alone.
  std::vector<double> costs_;
  std::vector<std::uint32_t> pixels_;
  std::int32_t* places_;
};

}  // namespace scribeline
