#pragma once

#include <cstddef>
#include <cstdint>

#include "scissors/grid_buffer.h"
#include "scissors/path_heap.h"

namespace scribeline {

// prevDirection value of the seed (and of pixels no search has reached).
constexpr std::uint8_t kNoPredecessor = 8;

// Per-pixel fields of the live-wire search over the padded grid of an
// IScissor. The sentinel ring around the image is permanently kExpanded, so
// the search never steps onto it.
struct SearchBuffers {
  SearchBuffers(int width, int height);

  // Marks every image pixel unvisited; the sentinel ring stays expanded.
  void resetStates();

  int width;
  int height;
  int stride;
  GridBuffer<std::uint8_t> searchState;  // SearchState values
  GridBuffer<double> pathCost;
  GridBuffer<std::uint8_t>
      prevDirection;  // step k that reached the pixel: prev = pixel - offset k
  GridBuffer<std::int32_t> heapPlace;  // place in the heap while kInHeap
  PathHeap heap;
};

}  // namespace scribeline
