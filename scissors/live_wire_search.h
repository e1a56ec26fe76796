#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "scissors/grid_buffer.h"
#include "scissors/link_cost_field.h"
#include "scissors/path_heap.h"

namespace scribeline {

enum SearchState : std::uint8_t { kUnvisited = 0, kInHeap = 1, kExpanded = 2 };

// Dijkstra's search from one seed over the padded grid of an IScissor, run
// only as far as its callers need it.
//
// start() only seeds the heap. settle() then removes pixels from the heap and
// expands them until the pixel asked for is settled, and stops; the next call
// resumes where the last one stopped. The pixels leave the heap in the one
// order the search has when run to the end (settleAll()): the same heap
// rules, the same direction order of the offers and the same
// strict-improvement rule, whoever asks and in whatever order. A settled
// pixel's predecessor and path cost never change afterwards, so a path read
// from a settled pixel is the path of the whole-image search.
//
// Per pixel the search keeps one byte (state and the step that reached it)
// and the heap place; the path cost of a pixel waiting in the heap is read
// from the heap, and that of a settled pixel is not kept at all (pathCost()
// adds the links of its path up again, in the order the search added them).
// The sentinel ring around the image is permanently settled, so the search
// never steps onto it.
class LiveWireSearch {
 public:
  // Step of a pixel without predecessor: the seed, or a pixel not reached.
  static constexpr std::uint8_t kNoPredecessor = 8;

  // A search over the links of `costs`, which must outlive it. Allocates
  // every per-pixel field now, so that no later call allocates one.
  explicit LiveWireSearch(const LinkCostField& costs);

  LiveWireSearch(const LiveWireSearch&) = delete;
  LiveWireSearch& operator=(const LiveWireSearch&) = delete;

  // Discards the previous search (in time proportional to the rows it
  // reached) and seeds a new one at grid index `seed`. Settles nothing.
  // REQUIRES: seed is an image pixel of the padded grid.
  void start(std::size_t seed);

  bool started() const { return started_; }

  // Settles pixels in search order until `target` is settled; does nothing
  // when it already is. REQUIRES: started(), target an image pixel.
  void settle(std::size_t target);

  // Runs the search to its end: every image pixel is settled.
  // REQUIRES: started().
  void settleAll();

  // Settles up to `count` more pixels in search order, stopping early once
  // *interrupt is above 0 (looked at every few pixels).
  // REQUIRES: started().
  void settleMore(std::size_t count, const std::atomic<int>& interrupt);

  // True once every pixel the seed reaches is settled.
  bool finished() const { return started_ && heap_.empty(); }

  SearchState state(std::size_t pixel) const {
    return static_cast<SearchState>(cells_[pixel] >> kStateShift);
  }

  // Step k that reached the pixel (its predecessor is the pixel minus offset
  // k), or kNoPredecessor. Final once the pixel is settled.
  std::uint8_t prevDirection(std::size_t pixel) const {
    return cells_[pixel] & kDirectionMask;
  }

  // Cost of the cheapest path from the seed: the sum of the link costs of its
  // steps, added from the seed on as the search adds them.
  // REQUIRES: pixel settled.
  double pathCost(std::size_t pixel) const;

  // Pixels settled since start().
  std::size_t settledCount() const { return settledCount_; }

  // Bytes held: the per-pixel fields and the heap's arrays.
  std::size_t bytesHeld() const;

 private:
  static constexpr int kStateShift = 4;
  static constexpr std::uint8_t kDirectionMask = 0x0f;
  static constexpr std::uint8_t cell(SearchState state, std::uint8_t k) {
    return static_cast<std::uint8_t>(state << kStateShift | k);
  }

  // Removes and expands pixels until `target` has been expanded, `budget`
  // pixels have been, or the heap is empty. The one loop behind settle(),
  // settleAll() and settleMore().
  void expandUntil(std::size_t target, std::size_t budget = SIZE_MAX,
                   const std::atomic<int>* interrupt = nullptr);

  // Image coordinates of grid pixel p.
  // The row comes from a multiplication by 2^64 / stride, rounded up, which
  // gives the quotient exactly for every index below 2^32 and spares the
  // expansion loop a division.
  void coordinates(std::size_t p, int& x, int& y) const {
    const auto row = static_cast<std::uint32_t>(
        (static_cast<unsigned __int128>(p) * rowMagic_) >> 64);
    x = static_cast<int>(p - std::size_t{row} * stride_) - 1;
    y = static_cast<int>(row) - 1;
  }

  const LinkCostField& costs_;
  std::size_t stride_;
  std::uint64_t rowMagic_;
  GridBuffer<std::uint8_t> cells_;      // state << 4 | prevDirection
  GridBuffer<std::int32_t> heapPlace_;  // place in the heap while kInHeap
  PathHeap heap_;
  bool started_ = false;
  std::size_t settledCount_ = 0;
  // Smallest and largest grid index settled (or seeded) since start(): every
  // pixel the search touched lies within one row of them.
  std::size_t firstTouched_ = 0;
  std::size_t lastTouched_ = 0;
};

}  // namespace scribeline
