#include "superpixel/float_image.h"

namespace scribeline {

FloatImage::FloatImage(int width, int height, Fill fill)
    : width_(width), height_(height) {
  const std::size_t count =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  data_ = fill == Fill::zeros ? allocateLargeZeroed<float>(count)
                              : allocateLarge<float>(count);
  rows_.reset(new float*[static_cast<std::size_t>(height)]);
  for (int y = 0; y < height; ++y) {
    rows_[y] = data_.get() +
               static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
  }
}

}  // namespace scribeline
