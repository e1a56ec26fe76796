#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace scribeline {

namespace detail {
void* allocateGridStorage(std::size_t bytes);
struct FreeGridStorage {
  void operator()(void* storage) const { std::free(storage); }
};
}  // namespace detail

// Uninitialised per-pixel storage for a whole image grid, cache-line aligned.
// Large grids are backed by huge pages where the system offers them, which
// spares the first pass over the grid most of its page faults.
// REQUIRES: T is trivially copyable (nothing is constructed or destroyed).
template <typename T>
class GridBuffer {
 public:
  GridBuffer() = default;
  explicit GridBuffer(std::size_t count)
      : storage_(
            static_cast<T*>(detail::allocateGridStorage(count * sizeof(T)))),
        count_(count) {}

  T* data() { return storage_.get(); }
  const T* data() const { return storage_.get(); }
  T& operator[](std::size_t i) { return storage_.get()[i]; }
  const T& operator[](std::size_t i) const { return storage_.get()[i]; }
  std::size_t size() const { return count_; }

 private:
  std::unique_ptr<T[], detail::FreeGridStorage> storage_;
  std::size_t count_ = 0;
};

}  // namespace scribeline
