#include "app/mapped_allocator.h"

#include <sys/mman.h>

#include <cstdint>
#include <iterator>
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
  void* mapping = nullptr;
  if (reuse_) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto kept = kept_.rbegin(); kept != kept_.rend(); ++kept) {
      if (kept->total != total) continue;
      mapping = kept->mapping;
      keptBytes_ -= total;
      kept_.erase(std::next(kept).base());
      break;
    }
  }
  if (mapping == nullptr) {
    mapping = ::mmap(nullptr, mappingBytes(total), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
  }
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
  void* const mapping = block->origdata;
  const size_t total = block->size;
  delete block;
  std::vector<Kept> dropped;
  if (reuse_ && total <= kKeepLargest) {
    std::lock_guard<std::mutex> lock(mutex_);
    kept_.push_back({mapping, total});
    keptBytes_ += total;
    while (keptBytes_ > kKeepAtMost) {
      dropped.push_back(kept_.front());
      keptBytes_ -= kept_.front().total;
      kept_.erase(kept_.begin());
    }
  } else {
    dropped.push_back({mapping, total});
  }
  for (const Kept& gone : dropped)
    ::munmap(gone.mapping, mappingBytes(gone.total));
}

MappedAllocator::~MappedAllocator() {
  for (const Kept& kept : kept_)
    ::munmap(kept.mapping, mappingBytes(kept.total));
}

MappedAllocator& mappedAllocator() {
  static MappedAllocator* const allocator = new MappedAllocator(true);
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
  static MappedAllocator* const fresh = new MappedAllocator(false);
  picture.allocator = fresh;
  picture.create(size, type);
  return picture;
}

}  // namespace scribeline
