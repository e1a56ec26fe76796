// Per-site neighbour list of the label optimiser: a singly linked list of
// chunks of four record pointers, newest chunk first.
#pragma once

#include <cstdint>

#include "graphcut/memory.h"

namespace scribeline {

struct NeighborRecord {
  int neighbor;
  float weight;
};

// Iteration yields the newest chunk first and, within a chunk, records in
// insertion order: after inserting r1 .. r6 the order is r5 r6 r1 r2 r3 r4.
// The list owns its records.
class NeighborList {
 public:
  static constexpr int kChunkEntries = 4;

  NeighborList() = default;
  ~NeighborList();
  NeighborList(const NeighborList&) = delete;
  NeighborList& operator=(const NeighborList&) = delete;

  // Takes ownership of `record`, which must come from `new`, and returns
  // true; returns false, leaving the list and `record` to the caller as they
  // were, when a new chunk is needed and `memory` cannot give it.
  bool add(NeighborRecord* record, const MemoryPolicy& memory = {});

  // Calls visit(const NeighborRecord&) for every record, in iteration order.
  template <typename Visit>
  void forEach(Visit&& visit) const {
    int count = newestCount_;
    for (const Chunk* chunk = newest_; chunk != nullptr; chunk = chunk->next) {
      for (int i = 0; i < count; ++i) visit(*chunk->entries[i]);
      count = kChunkEntries;
    }
  }

 private:
  struct Chunk {
    NeighborRecord* entries[kChunkEntries];
    Chunk* next;
  };

  Chunk* newest_ = nullptr;
  std::uint8_t newestCount_ = kChunkEntries;
};

}  // namespace scribeline
