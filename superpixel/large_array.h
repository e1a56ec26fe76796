#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>

namespace scribeline {

struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};

// An array of trivial values, owned like unique_ptr<T[]>.
template <typename T>
using LargeArray = std::unique_ptr<T[], FreeDeleter>;

// Allocates count values without writing them: a large block's pages are
// then only backed once its producer writes them, and nothing is written
// twice. Throws std::bad_alloc when the memory is not available.
template <typename T>
LargeArray<T> allocateLarge(std::size_t count) {
  static_assert(std::is_trivially_default_constructible_v<T> &&
                    std::is_trivially_destructible_v<T>,
                "large arrays hold plain values");
  void* block = std::malloc(count == 0 ? 1 : count * sizeof(T));
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return LargeArray<T>(static_cast<T*>(block));
}

// Allocates count zero values (fresh pages come zeroed from the system and
// are not written again).
template <typename T>
LargeArray<T> allocateLargeZeroed(std::size_t count) {
  static_assert(std::is_trivially_default_constructible_v<T> &&
                    std::is_trivially_destructible_v<T>,
                "large arrays hold plain values");
  void* block = std::calloc(count == 0 ? 1 : count, sizeof(T));
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return LargeArray<T>(static_cast<T*>(block));
}

// Gives the whole pages inside [begin, end) back to the system: they read as
// zeros afterwards and hold no memory until written again. The partial pages
// at either end are kept.
void releasePages(void* begin, void* end);

// Like allocateLarge, for arrays read in random order: a block of several
// megabytes is aligned to 2 MiB and offered to the kernel for transparent huge
// pages, since with 4 KiB pages nearly every random access would also miss
// the TLB.
void* allocateRandomAccessBlock(std::size_t bytes);

template <typename T>
LargeArray<T> allocateRandomAccess(std::size_t count) {
  static_assert(std::is_trivially_default_constructible_v<T> &&
                    std::is_trivially_destructible_v<T>,
                "large arrays hold plain values");
  return LargeArray<T>(
      static_cast<T*>(allocateRandomAccessBlock(count * sizeof(T))));
}

}  // namespace scribeline
