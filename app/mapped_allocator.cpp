#include "app/mapped_allocator.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace scribeline {
namespace {

// Huge pages back only whole, aligned 2 MB stretches of a mapping: a large
// mapping is made one such stretch longer and the picture starts at its
// first aligned address.
constexpr size_t kHugePage = size_t{2} << 20;

size_t mappingBytes(size_t total) { return total + kHugePage; }

}  // namespace

cv::UMatData* MappedAllocator::allocate(int dims, const int* sizes, int type,
                                        void* data, size_t* step,
                                        cv::AccessFlag flags,
                                        cv::UMatUsageFlags usage) const {
  size_t total = CV_ELEM_SIZE(type);
  for (int i = dims - 1; i >= 0; --i) {
    if (step != nullptr) {
      if (data != nullptr && step[i] != cv::Mat::AUTO_STEP)
        total = step[i];
      else
        step[i] = total;
    }
    total *= static_cast<size_t>(sizes[i]);
  }
  if (data != nullptr || total < kLargeBytes) {
    // OpenCV's own allocator lays the steps out as above.
    return cv::Mat::getStdAllocator()->allocate(dims, sizes, type, data, step,
                                                flags, usage);
  }
  void* mapping = ::mmap(nullptr, mappingBytes(total), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapping);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
  // Advice only: without transparent huge pages the pages stay small.
  ::madvise(reinterpret_cast<void*>(aligned), total, MADV_HUGEPAGE);
  auto* block = new cv::UMatData(this);
  block->origdata = static_cast<uchar*>(mapping);
  block->data = reinterpret_cast<uchar*>(aligned);
  block->size = total;
  return block;
}

bool MappedAllocator::allocate(cv::UMatData* block, cv::AccessFlag,
                               cv::UMatUsageFlags) const {
  return block != nullptr;
}

void MappedAllocator::deallocate(cv::UMatData* block) const {
  if (block == nullptr) return;
  ::munmap(block->origdata, mappingBytes(block->size));
  delete block;
}

MappedAllocator& mappedAllocator() {
  static MappedAllocator* const allocator = new MappedAllocator;
  return *allocator;
}

void allocateLargePicturesMapped() {
  cv::Mat::setDefaultAllocator(&mappedAllocator());
}

cv::Mat zeroPicture(cv::Size size, int type) {
  cv::Mat picture;
  if (static_cast<size_t>(size.area()) * CV_ELEM_SIZE(type) <
      MappedAllocator::kLargeBytes) {
    return cv::Mat::zeros(size, type);
  }
  picture.allocator = &mappedAllocator();
  picture.create(size, type);
  return picture;
}

}  // namespace scribeline
