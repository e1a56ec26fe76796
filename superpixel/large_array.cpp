#include "superpixel/large_array.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace scribeline {

namespace {

constexpr std::size_t hugePage = std::size_t{2} << 20;

}  // namespace

void releasePages(void* begin, void* end) {
  static const std::uintptr_t page =
      static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t first =
      (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
  const std::uintptr_t last =
      reinterpret_cast<std::uintptr_t>(end) / page * page;
  if (last <= first) return;
  // A refusal only keeps the memory.
  madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

void* allocateRandomAccessBlock(std::size_t bytes) {
  if (bytes < 2 * hugePage) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
      throw std::bad_alloc();
    }
    return block;
  }
  const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
  void* block = std::aligned_alloc(hugePage, rounded);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
#ifdef MADV_HUGEPAGE
  madvise(block, rounded, MADV_HUGEPAGE);  // a refusal only costs speed
#endif
  return block;
}

}  // namespace scribeline
