// Fixed-size item allocator with a free list. Items come from chunks of a
// fixed number of items; chunks are returned to the system only when the
// allocator is destroyed.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "graphcut/memory.h"

namespace scribeline {

// Called with a short message before a fatal stop; may be null.
using GraphErrorCallback = void (*)(const char* message);

// T must be trivially copyable and at least pointer-sized: a free item holds
// the link to the next free item in its first word.
template <typename T>
class Block {
 public:
  // Chunks come from `memory`; an exhausted allocation either calls the
  // callback, prints its fatal message and exits with status 1, or throws
  // std::bad_alloc (see MemoryPolicy).
  Block(int itemsPerChunk, GraphErrorCallback callback,
        const MemoryPolicy& memory = {})
      : itemsPerChunk_(itemsPerChunk), callback_(callback), memory_(memory) {}
  ~Block() {
    while (lastChunk_ != nullptr) {
      Chunk* previous = lastChunk_->previous;
      std::free(lastChunk_);
      lastChunk_ = previous;
    }
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  T* New() {
    if (firstFree_ == nullptr) addChunk();
    Item* item = firstFree_;
    firstFree_ = item->nextFree;
    return &item->value;
  }

  void Delete(T* value) {
    Item* item = reinterpret_cast<Item*>(value);
    item->nextFree = firstFree_;
    firstFree_ = item;
  }

 private:
  union Item {
    T value;
    Item* nextFree;
  };
  // itemsPerChunk_ items follow the link.
  struct Chunk {
    Chunk* previous;
    Item* items() { return reinterpret_cast<Item*>(this + 1); }
  };
  static_assert(alignof(Item) <= alignof(Chunk), "items follow the link");

  void addChunk() {
    std::size_t bytes =
        sizeof(Chunk) + sizeof(Item) * static_cast<std::size_t>(itemsPerChunk_);
    Chunk* chunk = static_cast<Chunk*>(allocateMemory(memory_, bytes));
    if (chunk == nullptr) {
      if (memory_.throwWhenExhausted) throw std::bad_alloc();
      if (callback_ != nullptr) callback_("Not enough memory!");
      std::fputs("Fatal ERROR at Ln239 of block: Not enough memory!", stdout);
      std::exit(1);
    }
    chunk->previous = lastChunk_;
    lastChunk_ = chunk;
    Item* items = chunk->items();
    for (int i = 0; i < itemsPerChunk_ - 1; ++i)
      items[i].nextFree = &items[i + 1];
    items[itemsPerChunk_ - 1].nextFree = nullptr;
    firstFree_ = items;
  }

  int itemsPerChunk_;
  GraphErrorCallback callback_;
  MemoryPolicy memory_;
  Chunk* lastChunk_ = nullptr;
  Item* firstFree_ = nullptr;
};

}  // namespace scribeline
