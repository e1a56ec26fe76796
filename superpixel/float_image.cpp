#include "superpixel/float_image.h"

#include <algorithm>

namespace scribeline {

FloatImage::FloatImage(int width, int height, Fill fill)
    : width_(width), height_(height) {
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    data_ = allocateLarge<float>(count);
    if (fill == Fill::zeros) {
        std::fill(data_.get(), data_.get() + count, 0.0f);
    }
    rows_.reset(new float*[static_cast<std::size_t>(height)]);
    for (int y = 0; y < height; ++y) {
        rows_[y] = data_.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
}

}  // namespace scribeline
