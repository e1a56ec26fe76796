#include "superpixel/large_array.h"

#include <sys/mman.h>

namespace scribeline {

namespace {

constexpr std::size_t hugePage = std::size_t{2} << 20;

}  // namespace

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
