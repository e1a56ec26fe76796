#include "scissors/grid_buffer.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace scribeline {
namespace detail {

namespace {
constexpr std::size_t kCacheLine = 64;
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}  // namespace

void* allocateGridStorage(std::size_t bytes) {
  // aligned_alloc wants a size that is a multiple of the alignment.
  const bool huge = bytes >= 4 * kHugePage;
  const std::size_t alignment = huge ? kHugePage : kCacheLine;
  const std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
  void* storage =
      std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded);
  if (storage == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (huge) madvise(storage, rounded, MADV_HUGEPAGE);
#endif
  return storage;
}

}  // namespace detail
}  // namespace scribeline
