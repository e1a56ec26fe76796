#pragma once

#include <cstddef>
#include <memory>

#include "superpixel/large_array.h"

namespace scribeline {

// A width x height plane of 32-bit floats in one row-major block, with a table
// of row starts so that a value is addressed as row y, column x. Move-only:
// planes are large and each has exactly one owner.
class FloatImage {
 public:
  enum class Fill { zeros, uninitialized };

  // An empty 0 x 0 plane.
  FloatImage() = default;
  // REQUIRES: width >= 0, height >= 0. With Fill::uninitialized every entry
  // must be written before it is read.
  FloatImage(int width, int height, Fill fill);

  FloatImage(FloatImage&&) noexcept = default;
  FloatImage& operator=(FloatImage&&) noexcept = default;
  FloatImage(const FloatImage&) = delete;
  FloatImage& operator=(const FloatImage&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }

  float* row(int y) { return rows_[y]; }
  const float* row(int y) const { return rows_[y]; }
  float& at(int y, int x) { return rows_[y][x]; }
  float at(int y, int x) const { return rows_[y][x]; }

 private:
  int width_ = 0;
  int height_ = 0;
  LargeArray<float> data_;
  std::unique_ptr<float*[]> rows_;
};

}  // namespace scribeline
