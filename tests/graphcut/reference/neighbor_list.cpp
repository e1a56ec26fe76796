#include "tests/graphcut/reference/neighbor_list.h"

#include <cstdlib>

#include "graphcut/memory.h"

namespace scribeline {

NeighborList::~NeighborList() {
  int count = newestCount_;
  while (newest_ != nullptr) {
    for (int i = 0; i < count; ++i) delete newest_->entries[i];
    Chunk* older = newest_->next;
    std::free(newest_);
    newest_ = older;
    count = kChunkEntries;
  }
}

bool NeighborList::add(NeighborRecord* record, const MemoryPolicy& memory) {
  if (newestCount_ == kChunkEntries) {
    Chunk* chunk = static_cast<Chunk*>(allocateMemory(memory, sizeof(Chunk)));
    if (chunk == nullptr) return false;
    chunk->next = newest_;
    newest_ = chunk;
    newestCount_ = 0;
  }
  newest_->entries[newestCount_++] = record;
  return true;
}

}  // namespace scribeline
