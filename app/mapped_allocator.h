#pragma once

#include <cstddef>
#include <mutex>
#include <opencv2/core.hpp>
#include <vector>

namespace scribeline {

// Pixel storage mapped from the system for large pictures (a photo, a mask,
// a view of the screen's size). Its pages come zeroed and cost nothing until
// first written, and the kernel is asked to back them with huge pages
// (madvise MADV_HUGEPAGE, where transparent huge pages allow it), so that
// filling a picture of many megabytes takes a few page faults instead of one
// per 4 KB page; each fault costs microseconds, many more on a virtual
// machine, which made decoding a photo and drawing its first view wait on
// faults more than on work.
//
// Pictures below kLargeBytes go to OpenCV's own allocator. A freed mapping
// of up to kKeepLargest bytes is kept (kKeepAtMost in all) and given to the
// next picture of the same size, as a redraw makes and frees the same
// pictures again and again: their pages are then already there.
class MappedAllocator : public cv::MatAllocator {
 public:
  static constexpr size_t kLargeBytes = size_t{1} << 20;
  static constexpr size_t kKeepLargest = size_t{32} << 20;
  static constexpr size_t kKeepAtMost = size_t{96} << 20;

  // `reuse`: whether freed mappings are kept for later pictures (whose
  // pixels then start as the last picture left them, not zero).
  explicit MappedAllocator(bool reuse) : reuse_(reuse) {}
  ~MappedAllocator() override;

  cv::UMatData* allocate(int dims, const int* sizes, int type, void* data,
                         size_t* step, cv::AccessFlag flags,
                         cv::UMatUsageFlags usage) const override;
  bool allocate(cv::UMatData* block, cv::AccessFlag flags,
                cv::UMatUsageFlags usage) const override;
  void deallocate(cv::UMatData* block) const override;

 private:
  struct Kept {
    void* mapping;
    size_t total;
  };
  const bool reuse_;
  mutable std::mutex mutex_;
  mutable std::vector<Kept> kept_;  // oldest first; guarded by mutex_
  mutable size_t keptBytes_ = 0;    // guarded by mutex_
};

// The process's allocator that keeps freed mappings; never destroyed (a
// picture may outlive static destruction).
MappedAllocator& mappedAllocator();

// Makes mappedAllocator() OpenCV's default for every picture made from now
// on, by any thread. Call once, before other threads make pictures.
void allocateLargePicturesMapped();

// An all-zero picture, made at once whatever its size: its pages are mapped
// only when written (a fresh mapping, never a kept one).
cv::Mat zeroPicture(cv::Size size, int type);

}  // namespace scribeline
